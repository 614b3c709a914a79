// Runs sma-check, as a process of its own, against a simulated scale served
// here that streams weight lines without pause, as a scale set to continuous
// output does, and prints the check's peak resident memory and the size of
// its --trace file. The streamed weight never shows every status flag, so the
// weight stream analysis runs until its time-out.
//
//   stream_check_bench [seconds] [lines-per-second]
//   (defaults: 30 seconds, 100,000 lines a second)

#include "PtyScale.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    const long long linesPerSecond = argc > 2 ? std::max(1LL, std::atoll(argv[2])) : 100000;

    // A scale whose weight holds its state, so that only the stream could
    // tick the boxes, and it shows a gross weight alone.
    ScaleOptions options;
    options.cycleWeights = false;
    PtyScale scale(options);
    if (!scale.start()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", qPrintable(scale.errorString()));
        return 1;
    }
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("KEEP_TRACE"));
    const QString traceFile = dir.filePath(QStringLiteral("trace.txt"));

    // One millisecond's lines at a time, held back while the host does not
    // read, as a serial line would hold them.
    const QByteArray line = "\n 1G       5.025kg \r";
    const QByteArray chunk = line.repeated(int(std::max(1LL, linesPerSecond / 1000)));
    long long streamed = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer stream;
    QObject::connect(&stream, &QTimer::timeout, [&] {
        const long long due = clock.elapsed() * linesPerSecond / 1000;
        while (streamed < due && scale.unsentBytes() < 4096) {
            scale.sendUnasked(chunk);
            streamed += chunk.size() / line.size();
        }
    });
    stream.start(1);

    // The discovery run takes a second or two; the weight stream analysis the rest.
    const std::string timeout = std::to_string(seconds - 2);
    const std::string device = scale.devicePath().toStdString();
    const std::string trace = traceFile.toStdString();
    std::vector<std::string> arguments = {SMA_CHECK, "--port",           device,  "--trace",
                                          trace,     "--stream-timeout", timeout, "--quiet"};
    std::vector<char *> argvList;
    for (std::string &argument : arguments)
        argvList.push_back(argument.data());
    argvList.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, SMA_CHECK, &actions, nullptr, argvList.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "cannot start %s\n", SMA_CHECK);
        return 1;
    }

    int status = 0;
    rusage usage{};
    QTimer reap;
    QObject::connect(&reap, &QTimer::timeout, [&] {
        if (wait4(pid, &status, WNOHANG, &usage) == pid)
            app.quit();
    });
    reap.start(50);
    app.exec();

    const double wallSeconds = double(clock.elapsed()) / 1000.0;
    std::printf("scale streamed %lld lines in %.1f s (%.0f lines a second asked, %.0f "
                "delivered)\n",
                streamed, wallSeconds, double(linesPerSecond), double(streamed) / wallSeconds);
    std::printf("sma-check exit status %d; peak resident memory %.1f MiB (at most 40 MiB "
                "wanted)\n",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, double(usage.ru_maxrss) / 1024.0);
    std::printf("--trace file: %.2f MB (at most 5 MB wanted)\n",
                double(QFileInfo(traceFile).size()) / 1e6);
    return 0;
}
