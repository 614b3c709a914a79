// Floods a session with lines while its "Serial Traffic" window is open, in
// bursts from the event loop as a flooding scale would deliver them, and
// prints how long it took, how long the event loop was held up at worst, how
// long the window then needs to show the last line, and what the record kept.
// The lines have no LF in front, so none is an answer and each stays an
// entry of its own while the first command waits (the worst case for the
// record: it must drop entries from its middle all along).
//
//   traffic_bench [lines]   (default 2,000,000: 100,000 lines a second for 20 s)

#include "SmaSession.h"
#include "TrafficWindow.h"

#include "ResidentMemory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// A port that opens on anything and hands the session whatever it is told
// to deliver.
class FloodingPort : public MSComm
{
public:
    using MSComm::MSComm;
    void setCommPort(const QString &) override {}
    QString commPort() const override { return QStringLiteral("/dev/flood"); }
    void setSettings(const QString &) override {}
    QString settings() const override { return {}; }
    void setRThreshold(int threshold) override { m_threshold = threshold; }
    int rThreshold() const override { return m_threshold; }
    void setSThreshold(int) override {}
    int sThreshold() const override { return 0; }
    bool setPortOpen(bool open) override { return m_open = open; }
    bool portOpen() const override { return m_open; }
    OpenFailure openFailure() const override { return {}; }
    void setOutput(const QByteArray &) override {}
    QByteArray input() override { return std::exchange(m_waiting, {}); }
    int commEvent() const override { return CommEvents::Received; }

    void flood(const QByteArray &bytes)
    {
        if (m_open && m_threshold > 0) {
            m_waiting += bytes;
            emit OnComm();
        } else {
            emit Discarded(bytes);
        }
    }

private:
    bool m_open = false;
    int m_threshold = 0;
    QByteArray m_waiting;
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000000;
    constexpr int kBurst = 500;

    FloodingPort *port = nullptr;
    SmaSession session([&port](QObject *parent) -> MSComm * {
        port = new FloodingPort(parent);
        return port;
    });
    TrafficWindow window(session);
    window.show();
    auto *view = window.findChild<QTableView *>(QStringLiteral("traffic"));
    const long before = residentKiB();
    // "A" goes out and waits for its answer without a time-out.
    session.open(QStringLiteral("/dev/flood"));
    session.startRun();
    session.findChild<QTimer *>(QStringLiteral("Timer1"))->stop();

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
            port->flood(" 1GM      5.025kg \r");
        if (sent >= lines)
            burst.stop();
    });
    burst.start(0);
    while (sent < lines)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 appended = clock.elapsed();
    const TrafficLog &traffic = session.traffic();
    while (view->model()->rowCount() < traffic.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const qint64 shown = clock.elapsed();

    std::printf("traffic lines flooded:          %d in bursts of %d\n", lines, kBurst);
    std::printf("flooding with the window open:  %lld ms\n", static_cast<long long>(appended));
    std::printf("until the window lists the record: %lld ms\n", static_cast<long long>(shown));
    std::printf("longest event-loop turn while flooding: %lld ms (at most 100 ms wanted)\n",
                static_cast<long long>(worstStall));
    std::printf("record: %lld entries (budget %lld) keeping %lld bytes; %lld entries of %lld "
                "bytes not kept\n",
                static_cast<long long>(traffic.size()),
                static_cast<long long>(TrafficLog::kEntryBudget),
                static_cast<long long>(traffic.keptBytes()),
                static_cast<long long>(traffic.totals().entriesNotKept),
                static_cast<long long>(traffic.totals().bytesNotKept));
    std::printf("resident memory grown while flooding: %.1f MiB\n",
                (residentKiB() - before) / 1024.0);
    return 0;
}
