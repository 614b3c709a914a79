#pragma once

#include "MSComm.h"

class QSerialPort;

// MSComm over QSerialPort.
//
// A device that vanishes while open (a USB adapter pulled, a pseudo-terminal
// whose other side closed) is released at once so that nothing spins on a
// dead descriptor and Lost is raised, but portOpen() keeps reading true until
// the owner closes the port, so the owner's close path runs as always.
class QSerialMSComm : public MSComm
{
    Q_OBJECT
public:
    explicit QSerialMSComm(QObject *parent = nullptr);
    ~QSerialMSComm() override;

    void setCommPort(const QString &device) override;
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

    // True while the device itself is held (false after it vanished).
    bool deviceHeld() const;
    // Bytes received and not yet read by the owner.
    qint64 bytesWaiting() const;

private:
    void applySettings();
    QByteArray asReceived(const QByteArray &bytes) const;
    void onReadyRead();
    void onError(int error);
    void notifyReceived();

    QSerialPort *m_port;
    QString m_device;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    bool m_open = false;
    bool m_notificationQueued = false;
    bool m_lost = false;     // Lost has been raised for this opening
    bool m_draining = false; // input() is fetching what the driver holds
    int m_event = 0;
    OpenFailure m_failure;
};
