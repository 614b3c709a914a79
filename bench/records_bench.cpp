// Times the record of checks and prints the figures:
//
//   records_bench [checks] [database]   (default 100000, /tmp/sma-records-bench.sqlite)
//
// (a) writing one check of a whole run (20 commands, 120 frames of serial
//     record, 40 report lines) into a new SQLite file: median and worst of
//     200, and writing it again over its record as a retest does; the same
//     into PostgreSQL when a server is at hand (tools/with-postgres.sh);
// (b) "Check History" over `checks` recorded checks (made once and kept in
//     `database`): from making the window to its first rows painted, and
//     from typing a filter to the filtered rows painted (the window waits
//     120 ms for the typing to pause, which is counted);
// (c) "Check History" against a server that takes the connection and never
//     answers (a socket on the loopback that says nothing, with the
//     connection's 5 s time-out): the longest turn of the window's event loop
//     while it is made, shown and filtered, until it has said twice (once
//     for the first filter, once for a second) that it could not read.

#include "BenchRecords.h"
#include "CheckHistoryWindow.h"
#include "CheckRecorder.h"
#include "HistoryModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// The time from start() to the first paint of the view's rows after its
// model was reset (or at all, when `afterReset` is false).
class PaintClock : public QObject
{
public:
    explicit PaintClock(QAbstractItemView *view)
    {
        view->viewport()->installEventFilter(this);
        connect(view->model(), &QAbstractItemModel::modelReset, this, [this] { m_reset = true; });
    }
    void start(bool afterReset)
    {
        m_painted = -1;
        m_reset = !afterReset;
        m_clock.start();
    }
    // Waits for the paint; returns its time in milliseconds.
    double waitForPaint()
    {
        QElapsedTimer limit;
        limit.start();
        while (m_painted < 0 && limit.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return double(m_painted) / 1e6;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_reset && m_painted < 0)
            m_painted = m_clock.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer m_clock;
    qint64 m_painted = -1;
    bool m_reset = false;
};

// The longest turn of the event loop from now until `done`, as the longest
// gap between the ticks of a timer that asks to run every millisecond.
double longestTurn(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    tick.start();
    loop.exec();
    return double(longest) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int checks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const QString database = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                      : QStringLiteral("/tmp/sma-records-bench.sqlite");

    // (a)
    QTemporaryDir dir;
    QStringList locations{dir.filePath(QStringLiteral("one.sqlite"))};
    if (!qEnvironmentVariableIsEmpty("PGHOST"))
        locations << QStringLiteral("postgresql:///"); // the server of tools/with-postgres.sh
    for (const QString &location : locations) {
        RecordStore store(location);
        const CheckRecord record = wholeRun(1);
        std::vector<double> adds;
        std::vector<double> updates;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer clock;
            clock.start();
            const std::optional<qint64> id = store.add(record);
            adds.push_back(double(clock.nsecsElapsed()) / 1e6);
            clock.start();
            if (!id || !store.update(*id, record)) {
                std::fprintf(stderr, "%s\n", qPrintable(store.errorString()));
                return 1;
            }
            updates.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::printf("(a) one check (20 commands, 120 frames, 40 report lines) into %s:\n"
                    "    written median %.2f ms, worst %.2f ms (target for SQLite <= 20 ms); "
                    "written again median %.2f ms, worst %.2f ms\n",
                    location.startsWith(QLatin1String("postgresql")) ? "PostgreSQL"
                                                                     : "SQLite (WAL)",
                    median(adds), *std::max_element(adds.begin(), adds.end()), median(updates),
                    *std::max_element(updates.begin(), updates.end()));
    }

    // (b)
    {
        RecordStore history(database);
        const CheckRecord oldest = wholeRun(checks - 1);
        const std::optional<qint64> made =
            history.lastCheckOf(oldest.manufacturer, oldest.model, oldest.serialNumber);
        if (!made) {
            std::fprintf(stderr, "%s\n", qPrintable(history.errorString()));
            return 1;
        }
        if (*made < 0) {
            QFile::remove(database);
            RecordStore fresh(database);
            QElapsedTimer clock;
            clock.start();
            for (int first = 0; first < checks; first += 1000) {
                QList<CheckRecord> batch;
                for (int serial = first; serial < std::min(checks, first + 1000); ++serial) {
                    CheckRecord check = wholeRun(serial);
                    check.traffic.clear();
                    check.report.clear();
                    batch << check;
                }
                if (!fresh.add(batch)) {
                    std::fprintf(stderr, "%s\n", qPrintable(fresh.errorString()));
                    return 1;
                }
            }
            std::printf("    (made %d checks in %s in %.1f s)\n", checks, qPrintable(database),
                        double(clock.elapsed()) / 1000);
        }
    }
    qputenv("SMA_DB", database.toLocal8Bit());
    CheckRecorder recorder;
    PaintClock *clock = nullptr;
    QElapsedTimer opening;
    opening.start();
    CheckHistoryWindow window(recorder);
    auto *view = window.findChild<QTableView *>(QStringLiteral("history"));
    clock = new PaintClock(view);
    clock->start(true); // the rows come from the reading thread after the window is made
    const double built = double(opening.nsecsElapsed()) / 1e6;
    window.show();
    const double firstRows = built + clock->waitForPaint();
    std::printf("(b) Check History over %d checks: first %d rows painted %.1f ms after the window "
                "was made (target <= 1000 ms)\n",
                checks, view->model()->rowCount(), firstRows);
    auto *filter = window.findChild<QLineEdit *>(QStringLiteral("Filter"));
    for (const QString &typed : {QStringLiteral("acme"), QStringLiteral("sn-099999"),
                                 QStringLiteral("nothing like it"), QString()}) {
        clock->start(true);
        filter->setText(typed);
        const double shown = clock->waitForPaint();
        std::printf("    filter \"%s\": %d rows painted %.1f ms after typing, 120 ms pause "
                    "included (target <= 300 ms)\n",
                    qPrintable(typed), view->model()->rowCount(), shown);
    }
    delete clock;

    // (c)
    {
        QTcpServer silent; // takes the connection, never says a word
        if (!silent.listen(QHostAddress::LocalHost)) {
            std::fprintf(stderr, "%s\n", qPrintable(silent.errorString()));
            return 1;
        }
        const QString server =
            QStringLiteral("postgresql://bench@127.0.0.1:%1/sma_checks").arg(silent.serverPort());
        CheckRecorder unreachable;
        unreachable.setLocation(server);
        std::unique_ptr<CheckHistoryWindow> shown;
        QLabel *state = nullptr;
        int told = 0;
        QElapsedTimer since;
        since.start();
        // Made within a turn of the loop, as Ctrl+H makes it.
        QTimer::singleShot(0, [&] {
            shown = std::make_unique<CheckHistoryWindow>(unreachable);
            shown->show();
            state = shown->findChild<QLabel *>(QStringLiteral("HistoryState"));
            shown->findChild<QLineEdit *>(QStringLiteral("Filter"))
                ->setText(QStringLiteral("acme"));
        });
        QString lastState;
        const double longest = longestTurn(
            [&] {
                if (!state || state->text() == lastState)
                    return false;
                lastState = state->text();
                if (!lastState.startsWith(QLatin1String("The history could not be read")))
                    return false;
                if (++told == 1) // another filter: the server is tried again
                    shown->findChild<QLineEdit *>(QStringLiteral("Filter"))
                        ->setText(QStringLiteral("bx"));
                return told == 2;
            },
            30000);
        std::printf("(c) Check History against a server that never answers (%s, 5 s time-out): "
                    "told twice in %.1f s, \"%s\"; the window's longest event-loop turn "
                    "%.1f ms (target <= 100 ms)\n",
                    qPrintable(server), double(since.elapsed()) / 1000, qPrintable(lastState),
                    longest);
    }
    return 0;
}
