// Floods the tester's port with short weight lines, as a scale in continuous
// output mode does, while the set-up message is up (or sends one burst), and
// prints how much the tester held: bytes flooded, peak and final resident
// memory, how much it grew, and what the traffic record kept.
//
//   flood_bench [seconds] [burst-MB] [lines-per-second]
//   (defaults: 10 seconds, continuous, as fast as the line takes them;
//   a burst of 0 MB is continuous)

#include "QSerialMSComm.h"
#include "smaForm.h"

#include "ResidentMemory.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// The tester with the set-up message held up for a while, its other modal
// windows left out.
class FloodedForm : public smaForm
{
public:
    using smaForm::smaForm;
    int messageSeconds = 10;

protected:
    void showMessage(const QString &, const QString &) override
    {
        QEventLoop loop;
        QTimer::singleShot(messageSeconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    void showWeightStreamAnalysis(WeightStreamEngine &) override {}
    void showReportPreview() override {}
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The checks are recorded as the window records them, but not among the operator's.
    QTemporaryDir records;
    qputenv("SMA_DB", records.filePath(QStringLiteral("history.sqlite")).toUtf8());
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const long long burstBytes = argc > 2 ? std::atoll(argv[2]) * 1000000LL : 0;
    const long long linesPerSecond = argc > 3 ? std::atoll(argv[3]) : 0;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw = {};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    std::atomic<bool> stop{false};
    std::atomic<long long> flooded{0};
    std::thread writer([&] {
        const QByteArray line = "\n 1GM      5.025kg \r";
        // At a set rate, one millisecond's lines at a time.
        const int linesPerWrite =
            linesPerSecond > 0 ? int(std::max(1LL, linesPerSecond / 1000)) : 1000;
        const QByteArray chunk = line.repeated(linesPerWrite);
        const auto start = std::chrono::steady_clock::now();
        long long linesWritten = 0;
        while (!stop && (burstBytes == 0 || flooded < burstBytes)) {
            if (linesPerSecond > 0) {
                const auto due =
                    start + std::chrono::microseconds(linesWritten * 1000000LL / linesPerSecond);
                std::this_thread::sleep_until(due);
            }
            const ssize_t written = ::write(master, chunk.constData(), size_t(chunk.size()));
            if (written > 0) {
                flooded += written;
                linesWritten += written / line.size();
            } else if (errno == EAGAIN) {
                ::usleep(200);
            }
        }
    });

    FloodedForm form([](QObject *parent) -> MSComm * { return new QSerialMSComm(parent); });
    form.messageSeconds = seconds;
    const long before = residentKiB();
    form.findChild<QLineEdit *>(QStringLiteral("Port"))->setText(QString::fromLocal8Bit(name));
    form.findChild<QPushButton *>(QStringLiteral("Connect"))->click(); // returns after the message
    const long afterMessage = residentKiB();
    stop = true;
    writer.join();
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();

    rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    const TrafficLog &traffic = form.session().traffic();
    std::printf(
        "flooded while the set-up message was up: %.1f MB (%.0f lines a second) in %d s%s\n",
        double(flooded) / 1e6, double(flooded) / 20.0 / seconds, seconds,
        burstBytes ? " (one burst)" : "");
    std::printf(
        "resident memory: %.1f MiB before Start, %.1f MiB when OK was pressed, peak %.1f MiB, "
        "now %.1f MiB\n",
        before / 1024.0, afterMessage / 1024.0, usage.ru_maxrss / 1024.0, residentKiB() / 1024.0);
    std::printf("grown while the message was up: %.1f MiB (at most 10 MiB wanted)\n",
                (afterMessage - before) / 1024.0);
    std::printf("traffic record: %lld entries keeping %lld bytes; %lld bytes received, %lld "
                "thrown away\n",
                static_cast<long long>(traffic.size()), static_cast<long long>(traffic.keptBytes()),
                static_cast<long long>(traffic.totals().bytesReceived),
                static_cast<long long>(traffic.totals().bytesDiscarded));
    form.findChild<QPushButton *>(QStringLiteral("Connect"))->click();
    ::close(master);
    ::close(slave);
    return 0;
}
