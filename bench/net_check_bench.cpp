// Runs whole sma-check processes against the simulated scale served here,
// over a pseudo-terminal, over its raw TCP port (sma-scale-sim --tcp) and over
// Debian's ser2net bridging the pseudo-terminal as an RFC 2217 port, taking
// turns so that the three are measured in one run, and prints the median of
// each and its ratio to the pseudo-terminal's. Then times an unreachable
// device server: a loopback port whose queue of connections is full, so that
// the connection hangs as one to a host that is off does, from starting
// sma-check to its message.
//
//   net_check_bench [runs]   (default 5 of each)

#include "PtyScale.h"
#include "Ser2net.h"
#include "TcpBridge.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Serves the event loop (and so the scale) until `process` ends; returns its
// wall time in milliseconds, or -1 when it failed.
qint64 timedCheck(const QStringList &arguments)
{
    QProcess check;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QObject::connect(&check, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    check.start(QStringLiteral(SMA_CHECK), arguments);
    loop.exec();
    const qint64 ms = clock.elapsed();
    if (check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0) {
        std::fprintf(stderr, "sma-check %s failed: %s\n", qPrintable(arguments.join(' ')),
                     check.readAllStandardError().constData());
        return -1;
    }
    return ms;
}

double median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? double(values[n / 2]) : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // A scale for each path: a pseudo-terminal has one host at a time.
    PtyScale scale;
    PtyScale onTcp;
    PtyScale bridged;
    TcpBridge bridge;
    if (!scale.start() || !onTcp.start() || !bridged.start() ||
        !bridge.start(onTcp.devicePath(), {}, QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "cannot serve the scale: %s%s\n", qPrintable(scale.errorString()),
                     qPrintable(bridge.errorString()));
        return 1;
    }
    // As sma-scale-sim answers by default.
    for (PtyScale *each : {&scale, &onTcp, &bridged})
        each->setAnswerDelay(50);
    QTemporaryDir dir;
    // The network ports the checks use are remembered here, not in the user's settings.
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    Ser2net ser2net;
    const QString ser2netFailed = ser2net.start(bridged.devicePath());
    const quint16 rfc2217Port = ser2net.port;

    const QStringList common = {"--poll-ms", "100", "--no-record", "--quiet"};
    const QStringList ports = {scale.devicePath(),
                               QStringLiteral("tcp://127.0.0.1:%1").arg(bridge.port()),
                               QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217Port)};
    QList<QList<qint64>> times(ports.size());
    for (int run = 0; run < runs; ++run) {
        for (qsizetype which = 0; which < ports.size(); ++which) {
            if (which == 2 && !ser2netFailed.isEmpty())
                continue;
            const qint64 ms = timedCheck(QStringList{"--port", ports[which]} + common);
            if (ms >= 0)
                times[which] << ms;
        }
    }
    const double pty = median(times[0]);
    const char *names[] = {"pseudo-terminal", "raw TCP (sma-scale-sim --tcp)",
                           "RFC 2217 (ser2net)"};
    std::printf("full sma-check (--poll-ms 100), median of %d runs each, taking turns:\n", runs);
    for (qsizetype which = 0; which < ports.size(); ++which) {
        if (times[which].isEmpty()) {
            std::printf("  %-30s not measured %s\n", names[which],
                        qPrintable(which == 2 ? ser2netFailed : QString()));
            continue;
        }
        std::printf("  %-30s %7.0f ms  %.3fx the pseudo-terminal (goal <= 1.2x)\n", names[which],
                    median(times[which]), median(times[which]) / pty);
    }

    // A device server that does not answer: a listening socket whose queue
    // of connections is full drops every further connection attempt unseen.
    const int full = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(full, reinterpret_cast<sockaddr *>(&address), length);
    ::listen(full, 0);
    ::getsockname(full, reinterpret_cast<sockaddr *>(&address), &length);
    const quint16 hung = ntohs(address.sin_port);
    QList<QTcpSocket *> fillers;
    for (int i = 0; i < 3; ++i) {
        auto *filler = new QTcpSocket(&app);
        filler->connectToHost(QHostAddress::LocalHost, hung);
        filler->waitForConnected(200);
        fillers << filler;
    }
    QProcess check;
    QElapsedTimer clock;
    clock.start();
    qint64 toMessage = -1;
    check.start(QStringLiteral(SMA_CHECK),
                {"--port", QStringLiteral("tcp://127.0.0.1:%1").arg(hung), "--weight-stream",
                 "skip", "--no-record"});
    QByteArray said;
    QEventLoop loop;
    QObject::connect(&check, &QProcess::readyReadStandardError, &loop, [&] {
        said += check.readAllStandardError();
        if (toMessage < 0 && said.contains("no answer within"))
            toMessage = clock.elapsed();
    });
    QObject::connect(&check, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    ::close(full);
    std::printf("unreachable device server: its message after %lld ms (connect time-out "
                "5000 ms; goal <= 5100 ms)\n\n",
                static_cast<long long>(toMessage));
    if (toMessage < 0)
        std::printf("  sma-check said: %s\n", said.constData());
    return 0;
}
