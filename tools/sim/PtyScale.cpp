#include "PtyScale.h"

#include "ScaleLine.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

// R and S repeat about as fast as a real scale does at 9600 baud.
constexpr int StreamIntervalMs = 110;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), qt_error_string(errno));
}

bool addDescriptorFlags(int fd, int getCommand, int setCommand, int flags)
{
    const int current = ::fcntl(fd, getCommand);
    return current >= 0 && ::fcntl(fd, setCommand, current | flags) == 0;
}

// Raw mode on the slave: no echo and no CR/LF translation, whoever opens the
// device and however little of its settings that host touches.
bool makeRaw(int slave)
{
    termios settings{};
    if (::tcgetattr(slave, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    return ::tcsetattr(slave, TCSANOW, &settings) == 0;
}

int baudOf(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

} // namespace

PtyScale::PtyScale(const ScaleOptions &options, QObject *parent) : QObject(parent), m_model(options)
{
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_answerTimer, &QTimer::timeout, this, &PtyScale::sendDueAnswers);
    m_streamTimer.setInterval(StreamIntervalMs);
    connect(&m_streamTimer, &QTimer::timeout, this, &PtyScale::sendStreamAnswer);
    connect(&m_continuousTimer, &QTimer::timeout, this, &PtyScale::sendContinuousAnswer);
}

PtyScale::~PtyScale()
{
    unplug();
}

bool PtyScale::start()
{
    if (isRunning())
        return true;

    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        m_error = systemError("openpty");
        return false;
    }
    const char *path = ::ptsname(master);
    if (!makeRaw(slave) || !addDescriptorFlags(master, F_GETFL, F_SETFL, O_NONBLOCK) ||
        !addDescriptorFlags(master, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !addDescriptorFlags(slave, F_GETFD, F_SETFD, FD_CLOEXEC) || !path) {
        m_error = systemError("setting up the pseudo-terminal");
        ::close(slave);
        ::close(master);
        return false;
    }

    m_master = master;
    m_slave = slave;
    m_devicePath = QString::fromLocal8Bit(path);
    m_error.clear();

    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyScale::readFromHost);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PtyScale::flushOutgoing);
    if (m_model.options().continuousMs > 0)
        m_continuousTimer.start(m_model.options().continuousMs);
    return true;
}

void PtyScale::unplug()
{
    m_answerTimer.stop();
    m_streamTimer.stop();
    m_continuousTimer.stop();
    m_pending.clear();
    m_outgoing.clear();
    // The notifiers must let go of the descriptor before it is closed.
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
}

void PtyScale::readFromHost()
{
    ++m_readWakeups;
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count > 0) {
            const QByteArray bytes(buffer, count);
            m_received += bytes;
            emit bytesReceived(bytes);
            if (!isRunning())
                return; // a receiver unplugged the scale
            if (hostAtOurBaud()) {
                answerHost(m_model.feed(m_model.options().line.received(bytes)));
            } else {
                // Sampled at the wrong rate, the host's characters are noise
                // to the scale, and what it sends back is noise to the host.
                writeToHost(lineNoise(bytes));
            }
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of file or EIO: no slave is open at all. The server's own slave
        // descriptor rules that out; should it happen anyway, stop listening
        // rather than be woken for the same hang-up forever.
        m_readNotifier->setEnabled(false);
        break;
    }

    if (m_model.isStreaming() && !m_streamTimer.isActive())
        m_streamTimer.start();
    else if (!m_model.isStreaming())
        m_streamTimer.stop();
}

void PtyScale::answerHost(const QByteArray &answer)
{
    if (answer.isEmpty())
        return;
    // Answers never overtake each other: once one waits, the rest queue behind it.
    if (m_answerDelayMs == 0 && m_pending.isEmpty()) {
        sendOnLine(answer);
        return;
    }
    m_pending.append({QDeadlineTimer(m_answerDelayMs), answer});
    scheduleNextAnswer();
}

void PtyScale::sendDueAnswers()
{
    while (!m_pending.isEmpty() && m_pending.first().due.hasExpired())
        sendOnLine(m_pending.takeFirst().bytes);
    scheduleNextAnswer();
}

void PtyScale::scheduleNextAnswer()
{
    if (m_pending.isEmpty() || m_answerTimer.isActive())
        return;
    m_answerTimer.start(int(m_pending.first().due.remainingTime()));
}

void PtyScale::sendStreamAnswer()
{
    if (!m_model.isStreaming()) {
        m_streamTimer.stop();
        return;
    }
    // A host that does not read would otherwise pile up answers without end.
    if (!m_outgoing.isEmpty())
        return;
    answerHost(m_model.nextStreamAnswer());
}

// A scale in continuous output talks whether anyone listens or not; frames
// the host does not read are dropped rather than piled up.
void PtyScale::sendContinuousAnswer()
{
    if (!m_outgoing.isEmpty())
        return;
    sendOnLine(m_model.continuousAnswer());
}

int PtyScale::hostBaud() const
{
    termios settings{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &settings) != 0)
        return 0;
    return baudOf(::cfgetospeed(&settings));
}

bool PtyScale::hostAtOurBaud() const
{
    return hostBaud() == m_model.options().line.baud;
}

void PtyScale::sendOnLine(const QByteArray &bytes)
{
    if (!hostAtOurBaud()) {
        writeToHost(lineNoise(bytes));
        return;
    }
    writeToHost(asReadAt8Bits(bytes, m_model.options().line));
}

void PtyScale::writeToHost(const QByteArray &bytes)
{
    m_sent += bytes;
    emit bytesSent(bytes);
    m_outgoing += bytes;
    flushOutgoing();
}

void PtyScale::flushOutgoing()
{
    if (!isRunning()) {
        m_outgoing.clear();
        return;
    }
    while (!m_outgoing.isEmpty()) {
        const ssize_t count = ::write(m_master, m_outgoing.constData(), size_t(m_outgoing.size()));
        if (count > 0) {
            m_outgoing.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host's input queue is full: carry on once it has read some.
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_outgoing.clear();
    }
    m_writeNotifier->setEnabled(false);
}
