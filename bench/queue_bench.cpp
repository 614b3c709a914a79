// Times the bench's queue in front of a server and prints the figures:
//
//   tools/with-postgres.sh build-tests/bench/queue_bench [checks]   (default 1000)
//
// (a) one check of a whole run (20 commands, 120 frames of serial record,
//     40 report lines) committed to the local queue file: median and worst
//     of 200 (target: median <= 20 ms); needs no server;
// (b) `checks` queued checks forwarded to the local PostgreSQL server
//     (target for 1,000: <= 10 s);
// (c) eight benches, each with a queue and a connection of its own, making
//     a check a second while the server is stopped for 10 s: how long after
//     the server's return every check made is on it, once (target <= 60 s).

#include "BenchRecords.h"
#include "RecordQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

CheckRecord newCheck(const CheckRecord &run)
{
    CheckRecord record = run;
    record.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.edition = 1;
    return record;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

bool cluster(const QString &action)
{
    QProcess list;
    list.start(QStringLiteral("pg_lsclusters"), {QStringLiteral("-h")});
    list.waitForFinished();
    const QStringList fields = QString::fromLocal8Bit(list.readAllStandardOutput())
                                   .split(QLatin1Char('\n'))
                                   .first()
                                   .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.size() < 2)
        return false;
    QProcess control;
    control.setProcessChannelMode(QProcess::ForwardedChannels);
    control.start(QStringLiteral("pg_ctlcluster"), {fields.at(0), fields.at(1), action});
    return control.waitForFinished(60000) && control.exitCode() == 0;
}

// Rows on the server, read as its superuser.
int rowsOnServer(const QString &database)
{
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "count");
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(DISTINCT check_uuid) FROM checks")) &&
                query.next())
                rows = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("count");
    return rows;
}

bool makeDatabase(const QString &name)
{
    bool made = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "admin");
        made = db.open() && QSqlQuery(db).exec("DROP DATABASE IF EXISTS " + name) &&
               QSqlQuery(db).exec("CREATE DATABASE " + name);
    }
    QSqlDatabase::removeDatabase("admin");
    return made;
}

QString serverUrl(const QString &database)
{
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(qEnvironmentVariable("PGUSER"), qEnvironmentVariable("PGHOST"),
             qEnvironmentVariable("PGPORT"), database);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int checks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    QTemporaryDir dir;
    const CheckRecord run = wholeRun(1);

    // (a)
    {
        RecordStore queue(dir.filePath(QStringLiteral("queue-a.sqlite")));
        std::vector<double> puts;
        for (int i = 0; i < 200; ++i) {
            const CheckRecord record = newCheck(run);
            QElapsedTimer clock;
            clock.start();
            if (!queue.put(record)) {
                std::fprintf(stderr, "%s\n", qPrintable(queue.errorString()));
                return 1;
            }
            puts.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::printf("(a) one check committed to the local queue: median %.2f ms, worst %.2f ms "
                    "(target: median <= 20 ms)\n",
                    median(puts), *std::max_element(puts.begin(), puts.end()));
    }
    if (qEnvironmentVariableIsEmpty("PGHOST")) {
        std::printf("(b), (c): no server; run under tools/with-postgres.sh\n");
        return 0;
    }

    // (b)
    {
        if (!makeDatabase(QStringLiteral("sma_queue_bench")))
            return 1;
        const QString file = dir.filePath(QStringLiteral("queue-b.sqlite"));
        {
            RecordStore queue(file);
            for (int i = 0; i < checks; ++i) {
                if (!queue.put(newCheck(run))) {
                    std::fprintf(stderr, "%s\n", qPrintable(queue.errorString()));
                    return 1;
                }
            }
        }
        RecordQueue queue(serverUrl(QStringLiteral("sma_queue_bench")), file);
        if (!queue.destination().open()) { // the schema is made before the clock starts
            std::fprintf(stderr, "%s\n", qPrintable(queue.destination().errorString()));
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        const RecordQueue::Outcome outcome = queue.forward();
        const double seconds = double(clock.elapsed()) / 1000;
        std::printf("(b) %d queued checks forwarded to PostgreSQL: %.2f s, %d waiting after "
                    "(target for 1,000: <= 10 s)%s%s\n",
                    outcome.sent, seconds, outcome.waiting, outcome.why.isEmpty() ? "" : ": ",
                    qPrintable(outcome.why));
    }

    // (c)
    {
        const QString name = QStringLiteral("sma_outage_bench");
        if (!makeDatabase(name) || !RecordStore(serverUrl(name)).open())
            return 1;
        constexpr int kBenches = 8;
        std::atomic<bool> running{true};
        std::atomic<int> made{0};
        std::vector<std::thread> benches;
        for (int bench = 0; bench < kBenches; ++bench) {
            benches.emplace_back([&, bench] {
                RecordQueue queue(serverUrl(name),
                                  dir.filePath(QStringLiteral("bench-%1.sqlite").arg(bench)));
                while (running) {
                    const RecordQueue::Outcome outcome = queue.keep(newCheck(run));
                    if (outcome.failure.isEmpty())
                        ++made;
                    else
                        std::fprintf(stderr, "%s\n", qPrintable(outcome.failure));
                    QThread::msleep(1000);
                }
            });
        }
        QThread::sleep(5);
        if (!cluster(QStringLiteral("stop"))) {
            std::fprintf(stderr, "the server could not be stopped\n");
            return 1;
        }
        const int madeBefore = made;
        QThread::sleep(10);
        // Counted from the start command, the server's own start-up included.
        QElapsedTimer back;
        back.start();
        if (!cluster(QStringLiteral("start"))) {
            std::fprintf(stderr, "the server could not be started again\n");
            return 1;
        }
        const int madeAtReturn = made;
        int onServer = 0;
        while (back.elapsed() < 120000 && (onServer = rowsOnServer(name)) < madeAtReturn)
            QThread::msleep(100);
        const double seconds = double(back.elapsed()) / 1000;
        running = false;
        for (std::thread &bench : benches)
            bench.join();
        std::printf("(c) eight benches through a 10 s outage: all %d checks made until the "
                    "server's return (%d of them during the outage) on it %.1f s after (target "
                    "<= 60 s); %d on it at the end, of %d made\n",
                    madeAtReturn, madeAtReturn - madeBefore, seconds, rowsOnServer(name),
                    int(made));
    }
    return 0;
}
