#include "QSerialMSComm.h"

#include "LineSettings.h"
#include "PortName.h"

#include <QSerialPort>
#include <QTimer>

QSerialMSComm::QSerialMSComm(QObject *parent) : MSComm(parent), m_port(new QSerialPort(this))
{
    // A device flooding the line is held back by the driver once this much
    // waits unread, rather than growing the program's memory.
    m_port->setReadBufferSize(kReadBufferLimit);
    connect(m_port, &QSerialPort::readyRead, this, &QSerialMSComm::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onError(int(error)); });
}

QSerialMSComm::~QSerialMSComm()
{
    if (m_port->isOpen())
        m_port->close();
}

void QSerialMSComm::setCommPort(const QString &device)
{
    m_device = device;
}

void QSerialMSComm::setSettings(const QString &settings)
{
    m_settings = settings;
    if (m_port->isOpen())
        applySettings();
}

// A UART set to 7 data bits hands over 7 bits a character; a pseudo-terminal
// or a driver that ignores the setting delivers the eighth as it came.
QByteArray QSerialMSComm::asReceived(const QByteArray &bytes) const
{
    const std::optional<LineSettings> line = LineSettings::fromPortSettings(m_settings);
    return line ? line->received(bytes) : bytes;
}

// "baud,parity,data,stop" as in "9600,n,8,1"; unknown fields keep 9600,N,8,1.
void QSerialMSComm::applySettings()
{
    const QStringList parts = m_settings.split(QLatin1Char(','));
    bool ok = false;
    const int baud = parts.value(0).trimmed().toInt(&ok);
    m_port->setBaudRate(ok && baud > 0 ? baud : 9600);

    const QString parity = parts.value(1).trimmed().toLower();
    m_port->setParity(parity == QLatin1String("e")   ? QSerialPort::EvenParity
                      : parity == QLatin1String("o") ? QSerialPort::OddParity
                      : parity == QLatin1String("m") ? QSerialPort::MarkParity
                      : parity == QLatin1String("s") ? QSerialPort::SpaceParity
                                                     : QSerialPort::NoParity);

    const int dataBits = parts.value(2).trimmed().toInt();
    m_port->setDataBits(dataBits == 5   ? QSerialPort::Data5
                        : dataBits == 6 ? QSerialPort::Data6
                        : dataBits == 7 ? QSerialPort::Data7
                                        : QSerialPort::Data8);

    const QString stop = parts.value(3).trimmed();
    m_port->setStopBits(stop == QLatin1String("2")     ? QSerialPort::TwoStop
                        : stop == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                       : QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
}

void QSerialMSComm::setRThreshold(int threshold)
{
    m_rThreshold = threshold;
    if (m_rThreshold > 0 && m_open && m_port->isOpen() && m_port->bytesAvailable() > 0)
        notifyReceived();
}

bool QSerialMSComm::setPortOpen(bool open)
{
    if (!open) {
        if (m_port->isOpen())
            m_port->close();
        m_open = false;
        return true;
    }
    if (m_open)
        return true;
    m_failure = {};
    if (m_device.isEmpty()) {
        m_failure = {OpenFailure::InvalidPort, QStringLiteral("Port"),
                     QStringLiteral("no port is given.")};
        return false;
    }
    m_port->setPortName(m_device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        OpenErrorKind kind = OpenErrorKind::Other;
        switch (m_port->error()) {
        case QSerialPort::DeviceNotFoundError:
            kind = OpenErrorKind::NotFound;
            break;
        case QSerialPort::PermissionError:
            kind = OpenErrorKind::Permission;
            break;
        case QSerialPort::OpenError:
            kind = OpenErrorKind::AlreadyOpen;
            break;
        default:
            break;
        }
        m_failure = describeOpenError(kind, m_device, m_port->errorString());
        m_port->clearError();
        return false;
    }
    applySettings();
    m_open = true;
    m_lost = false;
    return true;
}

void QSerialMSComm::setOutput(const QByteArray &bytes)
{
    if (!m_port->isOpen())
        return; // the device has gone; the owner's time-out reports the silence
    m_port->write(bytes);
    // Hand the bytes to the driver now rather than on the next event loop pass,
    // so a command leaves as soon as it is sent.
    m_port->flush();
}

QByteArray QSerialMSComm::input()
{
    if (!m_port->isOpen())
        return {};
    // Everything received so far includes what the driver holds and the
    // event loop has not fetched yet: a caller discarding input before a
    // command must not find it arriving afterwards as the answer.
    m_draining = true;
    if (m_port->bytesAvailable() < kReadBufferLimit)
        m_port->waitForReadyRead(0);
    m_port->clearError(); // with nothing to fetch, it reports a time-out
    m_draining = false;
    return asReceived(m_port->readAll());
}

bool QSerialMSComm::deviceHeld() const
{
    return m_port->isOpen();
}

qint64 QSerialMSComm::bytesWaiting() const
{
    return m_port->isOpen() ? m_port->bytesAvailable() : 0;
}

void QSerialMSComm::onReadyRead()
{
    if (m_draining)
        return; // input() is fetching the bytes itself
    if (m_rThreshold <= 0) {
        // Nobody waits for an answer now: whatever comes is not one.
        const QByteArray unwanted = asReceived(m_port->readAll());
        if (!unwanted.isEmpty())
            emit Discarded(unwanted);
        return;
    }
    m_event = CommEvents::Received;
    emit OnComm();
}

// Bytes that arrived while the threshold was 0 are announced once the
// threshold is raised. Delivered from the event loop, never from inside the
// setter: the owner is half way through its own handler when it raises it.
void QSerialMSComm::notifyReceived()
{
    if (m_notificationQueued)
        return;
    m_notificationQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_notificationQueued = false;
        if (!m_open || m_rThreshold <= 0 || !m_port->isOpen() || m_port->bytesAvailable() == 0)
            return;
        m_event = CommEvents::Received;
        emit OnComm();
    });
}

void QSerialMSComm::onError(int error)
{
    switch (QSerialPort::SerialPortError(error)) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError: {
        // The device is gone or broken: let go of it so its descriptor cannot
        // keep waking the event loop. The owner still sees the port as open
        // until it closes it, and is told once.
        const QString systemWords = m_port->errorString();
        if (m_port->isOpen())
            m_port->close();
        m_port->clearError();
        if (m_open && !m_lost) {
            // Told from the event loop: the error may surface inside a call
            // of the owner's, which must not find its state changed under it.
            m_lost = true;
            QMetaObject::invokeMethod(
                this,
                [this, description = describeLostDevice(m_device, systemWords)] {
                    if (m_open)
                        emit Lost(description);
                },
                Qt::QueuedConnection);
        }
        break;
    }
    default:
        break;
    }
}
