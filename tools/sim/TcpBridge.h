#pragma once

#include "LineSettings.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// Serves a serial device on a TCP port as a serial device server's raw TCP
// port does: the bytes go both ways as they are, at line settings that are
// the server's own (the scale's, here) and that no client can change. One
// client at a time; a new one takes the device over from the one before, so
// that a client whose connection died unseen is never locked out.
//
// sma-scale-sim uses it to put the simulated scale's pseudo-terminal on the
// network, so that a scale behind a device server can be checked without one.
class TcpBridge : public QObject
{
    Q_OBJECT
public:
    explicit TcpBridge(QObject *parent = nullptr);
    ~TcpBridge() override;

    // Opens `device` at `line` and listens on `address`:`port` (0 picks a
    // free port). False with errorString() when either fails.
    bool start(const QString &device, const LineSettings &line, const QHostAddress &address,
               quint16 port);
    quint16 port() const;
    QString errorString() const { return m_error; }
    bool hasClient() const { return m_client != nullptr; }

    // Closes the client's connection, as a device server that is switched
    // off or loses its network does.
    void dropClient();

private:
    void onNewConnection();
    void fromDevice();
    void toDevice();
    void stop();

    QTcpServer *m_server;
    QTcpSocket *m_client = nullptr;
    int m_device = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QString m_error;
};
