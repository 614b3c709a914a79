#include "CheckTerminal.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

TerminalUse TerminalUse::detect(bool yes)
{
    const bool stderrTerminal = ::isatty(STDERR_FILENO) == 1;
    TerminalUse use;
    use.waitForEnter = !yes && ::isatty(STDIN_FILENO) == 1 && stderrTerminal;
    // A dumb terminal cannot clear a line to redraw it.
    const bool colourAllowed =
        qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != QByteArrayLiteral("dumb");
    use.decorate = stderrTerminal && colourAllowed;
    use.stdoutTerminal = ::isatty(STDOUT_FILENO) == 1;
    use.colourOut = use.stdoutTerminal && colourAllowed;
    return use;
}

QString colourVerdict(const QString &line)
{
    static const QRegularExpression verdict(
        QStringLiteral("(^|\\t|  )(Passed|Failed)(?= \\x{2014} |$)"));
    const QRegularExpressionMatch match = verdict.match(line);
    if (!match.hasMatch())
        return line;
    const bool passed = match.captured(2) == QLatin1String("Passed");
    QString coloured = line;
    coloured.insert(match.capturedEnd(2), QStringLiteral("\x1b[0m"));
    coloured.insert(match.capturedStart(2),
                    passed ? QStringLiteral("\x1b[32m") : QStringLiteral("\x1b[31m"));
    return coloured;
}

QString weightStreamStatus(const std::optional<WeightAnswer> &last,
                           const StatusChecklist &checklist, int secondsLeft)
{
    QString status =
        last ? (last->weightText().trimmed() + QLatin1Char(' ') + last->unitText().trimmed())
                   .trimmed()
             : QStringLiteral("no answer yet");
    QStringList seen;
    QStringList missing;
    for (int item = 0; item < checklist.itemCount(); ++item) {
        const auto which = StatusChecklist::Item(item);
        // "Zero Flag" reads "Zero", "Tare Operation" "Tare": the line must fit.
        const QString name = StatusChecklist::itemText(which).section(QLatin1Char(' '), 0, 0);
        (checklist.isTicked(which) ? seen : missing) << name;
    }
    if (!seen.isEmpty())
        status += QStringLiteral("  seen: ") + seen.join(QLatin1Char(' '));
    if (!missing.isEmpty())
        status += QStringLiteral("  missing: ") + missing.join(QLatin1Char(' '));
    return status + QStringLiteral("  %1 s left").arg(secondsLeft);
}

EnterKeyWait::EnterKeyWait(int fd, QObject *parent)
    : QObject(parent), m_fd(fd), m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &EnterKeyWait::onReadable);
}

void EnterKeyWait::wait(std::function<void()> pressed)
{
    ::tcflush(m_fd, TCIFLUSH);
    m_pressed = std::move(pressed);
    m_notifier->setEnabled(true);
}

void EnterKeyWait::cancel()
{
    m_notifier->setEnabled(false);
    m_pressed = nullptr;
}

void EnterKeyWait::onReadable()
{
    char bytes[256];
    const ssize_t count = ::read(m_fd, bytes, sizeof bytes);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count > 0 && !QByteArrayView(bytes, count).contains('\n') &&
        !QByteArrayView(bytes, count).contains('\r'))
        return;
    m_notifier->setEnabled(false);
    if (auto pressed = std::exchange(m_pressed, nullptr))
        pressed();
}

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no clean stop, but the signals still end the program
    m_notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(stopPipe[0], &byte, 1) > 0) {
        }
        emit stopRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // The handler is used once: a second Ctrl+C ends a check that hangs.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    stopPipe[0] = stopPipe[1] = -1;
}
