#include "NetworkMSComm.h"

#include "LineSettings.h"

#include <QTcpSocket>

NetworkMSComm::NetworkMSComm(QObject *parent) : MSComm(parent)
{
    m_timeout.setSingleShot(true);
    // The message must come when the time-out says, not a coarse timer's
    // few per cent later.
    m_timeout.setTimerType(Qt::PreciseTimer);
    connect(&m_timeout, &QTimer::timeout, this, &NetworkMSComm::onTimeout);
}

NetworkMSComm::~NetworkMSComm()
{
    release();
}

bool NetworkMSComm::isTelnet() const
{
    return m_address && m_address->kind == NetworkPort::Kind::Rfc2217;
}

void NetworkMSComm::setSettings(const QString &settings)
{
    m_settings = settings;
    if (m_open && m_connected && !m_lost && isTelnet())
        sendSettings();
}

void NetworkMSComm::setRThreshold(int threshold)
{
    m_rThreshold = threshold;
    if (m_rThreshold <= 0 || !m_open || m_received.isEmpty() || m_notificationQueued)
        return;
    // Told from the event loop: the owner is half way through its own handler.
    m_notificationQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_notificationQueued = false;
        if (m_open && m_rThreshold > 0 && !m_received.isEmpty()) {
            m_event = CommEvents::Received;
            emit OnComm();
        }
    });
}

bool NetworkMSComm::setPortOpen(bool open)
{
    if (!open) {
        release();
        m_open = false;
        return true;
    }
    if (m_open)
        return true;
    m_failure = {};
    QString why;
    m_address = parseNetworkPort(m_device, &why);
    if (!m_address) {
        m_failure = {OpenFailure::InvalidPort, m_device, why};
        return false;
    }
    release();
    m_telnet = TelnetCodec();
    m_connected = m_ready = m_lost = m_awaitingConfirm = false;
    m_held.clear();
    m_received.clear();
    ++m_opening;
    m_socket = new QTcpSocket(this);
    // What the owner has not read waits in the socket, and past that in the
    // system: a scale flooding the line is slowed down by TCP, not buffered.
    m_socket->setReadBufferSize(kReadBufferLimit);
    connect(m_socket, &QTcpSocket::connected, this, &NetworkMSComm::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkMSComm::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkMSComm::onError);
    m_socket->connectToHost(m_address->host, m_address->port);
    m_timeout.start(kConnectTimeoutMs);
    m_open = true;
    return true;
}

void NetworkMSComm::release()
{
    m_timeout.stop();
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void NetworkMSComm::onConnected()
{
    m_connected = true;
    // Every command is a few bytes that must leave at once.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!isTelnet()) {
        becomeReady();
        return;
    }
    m_socket->write(m_telnet.greeting());
    sendSettings();
}

void NetworkMSComm::sendSettings()
{
    const LineSettings line = LineSettings::fromPortSettings(m_settings).value_or(LineSettings{});
    m_socket->write(m_telnet.setLineSettings(line));
    m_socket->flush();
    m_awaitingConfirm = true;
    m_timeout.start(kConnectTimeoutMs);
}

void NetworkMSComm::becomeReady()
{
    m_timeout.stop();
    m_awaitingConfirm = false;
    const bool first = !m_ready;
    m_ready = true;
    if (!m_held.isEmpty()) {
        const QByteArray held = m_held;
        m_held.clear();
        setOutput(held);
    }
    if (first)
        emit Ready();
}

void NetworkMSComm::setOutput(const QByteArray &bytes)
{
    if (!m_open || m_lost || !m_socket)
        return; // gone: the owner hears of it through Lost
    if (!m_ready || m_awaitingConfirm) {
        // Commands are a few bytes; a bound keeps an owner that sends into a
        // connection that never comes from growing without end.
        if (m_held.size() + bytes.size() <= kReadBufferLimit)
            m_held += bytes;
        return;
    }
    m_socket->write(isTelnet() ? m_telnet.encode(bytes) : bytes);
    m_socket->flush();
}

QByteArray NetworkMSComm::asReceived(const QByteArray &bytes) const
{
    // A raw port delivers what the device server's receiver made of the
    // line; over RFC 2217 the settings are the tester's, as on a local port.
    if (!isTelnet())
        return bytes;
    const std::optional<LineSettings> line = LineSettings::fromPortSettings(m_settings);
    return line ? line->received(bytes) : bytes;
}

// Moves what the socket holds into the scale's bytes, answering Telnet
// negotiation on the way, up to the limit of what waits unread.
void NetworkMSComm::fetch()
{
    while (m_socket && m_received.size() < kReadBufferLimit && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(kReadBufferLimit - m_received.size());
        if (chunk.isEmpty())
            break;
        if (!isTelnet()) {
            m_received += chunk;
            continue;
        }
        const TelnetCodec::Decoded decoded = m_telnet.decode(chunk);
        if (!decoded.reply.isEmpty())
            m_socket->write(decoded.reply);
        m_received += asReceived(decoded.data);
        if (!m_telnet.fault().isEmpty()) {
            fail(m_telnet.fault() + QStringLiteral(" (%1).").arg(m_address->hostAndPort()));
            return;
        }
        if (m_awaitingConfirm && m_telnet.settingsConfirmed())
            becomeReady();
    }
}

void NetworkMSComm::onReadyRead()
{
    fetch();
    if (!m_open || m_received.isEmpty())
        return;
    if (m_rThreshold <= 0) {
        // Nobody waits for an answer now: whatever comes is not one.
        const QByteArray unwanted = m_received;
        m_received.clear();
        emit Discarded(unwanted);
        fetch();
        return;
    }
    m_event = CommEvents::Received;
    emit OnComm();
}

QByteArray NetworkMSComm::input()
{
    fetch();
    const QByteArray bytes = m_received;
    m_received.clear();
    // What the socket still holds past the limit is told of once this is read.
    if (m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &NetworkMSComm::onReadyRead, Qt::QueuedConnection);
    return bytes;
}

void NetworkMSComm::onError()
{
    if (!m_socket)
        return;
    const QString at = m_address->hostAndPort();
    switch (m_socket->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        fail(QStringLiteral("connection refused by %1: nothing takes connections at that port. "
                            "Check the host and port, and that the device server is running.")
                 .arg(at));
        return;
    case QAbstractSocket::HostNotFoundError:
        fail(QStringLiteral("host not found: no host \"%1\" is known. Check the device "
                            "server's name or address.")
                 .arg(m_address->host));
        return;
    case QAbstractSocket::RemoteHostClosedError:
        fail(QStringLiteral("the device server closed the connection (%1).").arg(at));
        return;
    default:
        break;
    }
    fail(QStringLiteral("the connection to %1 failed: %2.").arg(at, m_socket->errorString()));
}

void NetworkMSComm::onTimeout()
{
    const QString at = m_address ? m_address->hostAndPort() : m_device;
    if (!m_connected)
        fail(QStringLiteral("no answer within %1 s from %2. Check the host and port, and that "
                            "the device server is on the network.")
                 .arg(kConnectTimeoutMs / 1000)
                 .arg(at));
    else
        fail(QStringLiteral("the device server at %1 did not answer the Telnet negotiation of "
                            "the line settings within %2 s. A raw TCP port takes "
                            "tcp://%1 instead.")
                 .arg(at)
                 .arg(kConnectTimeoutMs / 1000));
}

void NetworkMSComm::fail(const QString &reason)
{
    if (m_lost || !m_open)
        return;
    m_lost = true;
    m_ready = false;
    m_held.clear();
    release();
    // Told from the event loop: the failure may surface inside a call of the
    // owner's, which must not find its state changed under it.
    QMetaObject::invokeMethod(
        this,
        [this, opening = m_opening, description = QStringLiteral("%1: %2").arg(m_device, reason)] {
            if (m_open && opening == m_opening)
                emit Lost(description);
        },
        Qt::QueuedConnection);
}
