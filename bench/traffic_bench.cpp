// Appends 100,000 lines to the traffic of a session while its "Serial
// Traffic" window is open, in bursts from the event loop as a flooding scale
// would deliver them, and prints how long it took, how long the event loop
// was held up at worst, and how long the window then needs to show the last
// line.
//
//   traffic_bench [lines]   (default 100000)

#include "SmaSession.h"
#include "TrafficWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// A port that is never opened; it only hands the session bytes it threw away.
class FloodingPort : public MSComm
{
public:
    using MSComm::MSComm;
    void setCommPort(const QString &) override {}
    QString commPort() const override { return QStringLiteral("/dev/flood"); }
    void setSettings(const QString &) override {}
    QString settings() const override { return {}; }
    void setRThreshold(int) override {}
    int rThreshold() const override { return 0; }
    void setSThreshold(int) override {}
    int sThreshold() const override { return 0; }
    bool setPortOpen(bool) override { return false; }
    bool portOpen() const override { return false; }
    OpenFailure openFailure() const override { return {}; }
    void setOutput(const QByteArray &) override {}
    QByteArray input() override { return {}; }
    int commEvent() const override { return 0; }

    void flood(const QByteArray &line) { emit Discarded(line); }
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    constexpr int kBurst = 500;

    FloodingPort *port = nullptr;
    SmaSession session([&port](QObject *parent) -> MSComm * {
        port = new FloodingPort(parent);
        return port;
    });
    TrafficWindow window(session);
    window.show();
    auto *view = window.findChild<QTableView *>(QStringLiteral("traffic"));

    QElapsedTimer clock;
    clock.start();
    qint64 lastTurn = 0;
    qint64 worstStall = 0;
    int sent = 0;
    QTimer burst;
    QObject::connect(&burst, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worstStall = std::max(worstStall, now - lastTurn);
        lastTurn = now;
        for (int i = 0; i < kBurst && sent < lines; ++i, ++sent)
            port->flood("\n 1GM      5.025kg \r");
        if (sent >= lines)
            burst.stop();
    });
    burst.start(0);
    while (sent < lines)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 appended = clock.elapsed();
    while (view->model()->rowCount() < lines)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const qint64 shown = clock.elapsed();

    std::printf("traffic lines appended:       %d in bursts of %d\n", lines, kBurst);
    std::printf("appending with the window open: %lld ms\n", static_cast<long long>(appended));
    std::printf("until the window lists them all: %lld ms\n", static_cast<long long>(shown));
    std::printf("longest event-loop turn while appending: %lld ms\n",
                static_cast<long long>(worstStall));
    return 0;
}
