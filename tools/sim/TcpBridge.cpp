#include "TcpBridge.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

} // namespace

TcpBridge::TcpBridge(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TcpBridge::onNewConnection);
}

TcpBridge::~TcpBridge()
{
    stop();
}

bool TcpBridge::start(const QString &device, const LineSettings &line, const QHostAddress &address,
                      quint16 port)
{
    stop();
    m_device = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_device < 0) {
        m_error = QStringLiteral("%1: %2").arg(device, qt_error_string(errno));
        return false;
    }
    // The device server's own line settings: the scale's, so that it is
    // heard clearly.
    termios settings{};
    if (::tcgetattr(m_device, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, speedOf(line.baud));
        ::cfsetospeed(&settings, speedOf(line.baud));
        ::tcsetattr(m_device, TCSANOW, &settings);
    }
    if (!m_server->listen(address, port)) {
        m_error = QStringLiteral("TCP port %1: %2").arg(port).arg(m_server->errorString());
        stop();
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_device, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TcpBridge::fromDevice);
    m_error.clear();
    return true;
}

quint16 TcpBridge::port() const
{
    return m_server->serverPort();
}

void TcpBridge::stop()
{
    dropClient();
    m_server->close();
    m_notifier.reset();
    if (m_device >= 0)
        ::close(m_device);
    m_device = -1;
}

void TcpBridge::dropClient()
{
    if (!m_client)
        return;
    m_client->disconnect(this);
    m_client->abort();
    m_client->deleteLater();
    m_client = nullptr;
}

void TcpBridge::onNewConnection()
{
    while (QTcpSocket *next = m_server->nextPendingConnection()) {
        dropClient();
        m_client = next;
        m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(m_client, &QTcpSocket::readyRead, this, &TcpBridge::toDevice);
        connect(m_client, &QTcpSocket::disconnected, this, &TcpBridge::dropClient);
    }
}

// What the scale sends goes to the client; with no client it is lost, as on
// a device server nobody is connected to.
void TcpBridge::fromDevice()
{
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(m_device, buffer, sizeof buffer);
        if (count > 0) {
            if (m_client)
                m_client->write(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            m_notifier->setEnabled(false); // the scale is gone for good
        break;
    }
}

void TcpBridge::toDevice()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(m_device, bytes.constData() + written, size_t(bytes.size() - written));
        if (count > 0)
            written += count;
        else if (count < 0 && errno == EINTR)
            continue;
        else
            break; // the scale does not take more: what is left is lost, as on a full UART
    }
}
