// sma-scale-sim: serves a simulated SMA scale on a pseudo-terminal (and, with
// --tcp, on a TCP port) until it is interrupted.

#include "PtyScale.h"
#include "ScaleCommandLine.h"
#include "TcpBridge.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    // Only async-signal-safe work here: wake the event loop through the pipe.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

// Lets SIGINT, SIGTERM and SIGHUP end the event loop normally, so the
// pseudo-terminal is closed on the way out like on any other exit.
bool quitOnTerminationSignals(QCoreApplication &app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (::sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sma-scale-sim"));

    ScaleCommandLine commandLine;
    if (!commandLine.parse(app.arguments())) {
        std::fprintf(stderr, "sma-scale-sim: %s\nTry 'sma-scale-sim --help'.\n",
                     qPrintable(commandLine.errorText()));
        return 2;
    }
    if (commandLine.helpRequested()) {
        std::fputs(qPrintable(commandLine.helpText()), stdout);
        return 0;
    }

    if (!quitOnTerminationSignals(app)) {
        std::perror("sma-scale-sim: cannot watch for termination signals");
        return 1;
    }

    PtyScale scale(commandLine.scaleOptions());
    scale.setAnswerDelay(commandLine.answerDelayMs());
    if (!scale.start()) {
        std::fprintf(stderr, "sma-scale-sim: %s\n", qPrintable(scale.errorString()));
        return 1;
    }

    // Flushed at once: whoever started the simulator may be waiting for this
    // line on a pipe.
    std::printf("Simulated SMA scale ready. Type this into Port: %s\n",
                qPrintable(scale.devicePath()));

    TcpBridge bridge;
    if (const std::optional<quint16> port = commandLine.tcpPort()) {
        if (!bridge.start(scale.devicePath(), commandLine.scaleOptions().line,
                          commandLine.tcpAddress(), *port)) {
            std::fprintf(stderr, "sma-scale-sim: %s\n", qPrintable(bridge.errorString()));
            return 1;
        }
        const QHostAddress address = commandLine.tcpAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(address.toString())
                                 : address.toString();
        std::printf("On the network as a raw TCP port: tcp://%s:%u\n", qPrintable(host),
                    unsigned(bridge.port()));
    }
    std::fflush(stdout);

    return app.exec();
}
