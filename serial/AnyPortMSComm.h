#pragma once

#include "MSComm.h"

class QSerialMSComm;
class NetworkMSComm;

// The port the programs open: whatever the operator typed into Port, a local
// serial device or a scale on the network (tcp:// or rfc2217://), behind the
// one MSComm seam, so that everything that drives a port works unchanged on
// either. The kind is chosen from the device name each time it is set.
class AnyPortMSComm : public MSComm
{
    Q_OBJECT
public:
    explicit AnyPortMSComm(QObject *parent = nullptr);

    void setCommPort(const QString &device) override;
    QString commPort() const override { return m_current->commPort(); }
    void setSettings(const QString &settings) override { m_current->setSettings(settings); }
    QString settings() const override { return m_current->settings(); }
    void setRThreshold(int threshold) override { m_current->setRThreshold(threshold); }
    int rThreshold() const override { return m_current->rThreshold(); }
    void setSThreshold(int threshold) override { m_current->setSThreshold(threshold); }
    int sThreshold() const override { return m_current->sThreshold(); }
    bool setPortOpen(bool open) override { return m_current->setPortOpen(open); }
    bool portOpen() const override { return m_current->portOpen(); }
    OpenFailure openFailure() const override { return m_current->openFailure(); }
    void setOutput(const QByteArray &bytes) override { m_current->setOutput(bytes); }
    QByteArray input() override { return m_current->input(); }
    int commEvent() const override { return m_current->commEvent(); }
    bool isReady() const override { return m_current->isReady(); }

private:
    void follow(MSComm *port);

    MSComm *m_serial;
    MSComm *m_network;
    MSComm *m_current;
};

// The factory the programs hand their windows and checks.
MSComm *makeAnyPort(QObject *parent);
