#include "AnyPortMSComm.h"

#include "NetworkMSComm.h"
#include "PortName.h"
#include "QSerialMSComm.h"

AnyPortMSComm::AnyPortMSComm(QObject *parent)
    : MSComm(parent), m_serial(new QSerialMSComm(this)), m_network(new NetworkMSComm(this)),
      m_current(m_serial)
{
    follow(m_serial);
    follow(m_network);
}

// Only the port in use is heard: the other one is closed.
void AnyPortMSComm::follow(MSComm *port)
{
    connect(port, &MSComm::OnComm, this, [this, port] {
        if (port == m_current)
            emit OnComm();
    });
    connect(port, &MSComm::Discarded, this, [this, port](const QByteArray &bytes) {
        if (port == m_current)
            emit Discarded(bytes);
    });
    connect(port, &MSComm::Lost, this, [this, port](const QString &description) {
        if (port == m_current)
            emit Lost(description);
    });
    connect(port, &MSComm::Ready, this, [this, port] {
        if (port == m_current)
            emit Ready();
    });
}

void AnyPortMSComm::setCommPort(const QString &device)
{
    MSComm *wanted = isNetworkPortText(device) ? m_network : m_serial;
    if (wanted != m_current) {
        // The settings and thresholds belong to the port, whichever kind it is.
        m_current->setPortOpen(false);
        wanted->setSettings(m_current->settings());
        wanted->setRThreshold(m_current->rThreshold());
        wanted->setSThreshold(m_current->sThreshold());
        m_current = wanted;
    }
    m_current->setCommPort(device);
}

MSComm *makeAnyPort(QObject *parent)
{
    return new AnyPortMSComm(parent);
}
