#pragma once

#include "MSComm.h"
#include "PortName.h"
#include "TelnetCodec.h"

#include <QByteArray>
#include <QTimer>

#include <optional>

class QTcpSocket;

// MSComm over a TCP connection to a scale behind a serial device server:
// "tcp://HOST:PORT" carries the scale's bytes as they are, "rfc2217://"
// speaks Telnet with RFC 2217 Com Port Control and sets the line settings on
// the server's serial port.
//
// Connecting never blocks: setPortOpen(true) starts it and returns true, the
// port reads as open, and isReady() turns true (with Ready) once the
// connection stands and, over RFC 2217, the server has confirmed the line
// settings. Bytes handed over before then leave at that moment, in order.
// A connection that cannot be made within kConnectTimeoutMs, or that fails
// at any time (refused, no such host, dropped, the settings answered
// wrongly), raises Lost with the port, the host and the reason, as a serial
// device that goes away does.
class NetworkMSComm : public MSComm
{
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 5000;

    explicit NetworkMSComm(QObject *parent = nullptr);
    ~NetworkMSComm() override;

    void setCommPort(const QString &device) override { m_device = device; }
    QString commPort() const override { return m_device; }
    void setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    void setRThreshold(int threshold) override;
    int rThreshold() const override { return m_rThreshold; }
    void setSThreshold(int threshold) override { m_sThreshold = threshold; }
    int sThreshold() const override { return m_sThreshold; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    OpenFailure openFailure() const override { return m_failure; }
    void setOutput(const QByteArray &bytes) override;
    QByteArray input() override;
    int commEvent() const override { return m_event; }
    bool isReady() const override { return m_open && m_ready; }

private:
    void onConnected();
    void onReadyRead();
    void onError();
    void onTimeout();
    void fetch();
    void sendSettings();
    void becomeReady();
    void fail(const QString &reason);
    void release();
    QByteArray asReceived(const QByteArray &bytes) const;
    bool isTelnet() const;

    QTcpSocket *m_socket = nullptr;
    QTimer m_timeout;
    QString m_device;
    QString m_settings = QStringLiteral("9600,n,8,1");
    std::optional<NetworkPort> m_address;
    TelnetCodec m_telnet;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    bool m_open = false;
    bool m_connected = false;
    bool m_ready = false;
    bool m_lost = false;
    bool m_awaitingConfirm = false; // line settings sent, not yet answered alike
    int m_opening = 0;              // counts openings, so a late Lost meets no later one
    bool m_notificationQueued = false;
    int m_event = 0;
    QByteArray m_held;     // handed over before the port was ready
    QByteArray m_received; // the scale's bytes, not yet read by the owner
    OpenFailure m_failure;
};
