#include "HistoryReader.h"
#include "PtyScale.h"
#include "RecordSamples.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The record store on a real PostgreSQL server, started for the test by
// tools/with-postgres.sh: the same round trips as on SQLite, a line of
// eight benches whose sma-check processes record into one new database at
// once, and Check History's reading while the server stops and starts.
class RecordsPostgresTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void eightBenchesAtOnce();
    void historyReadsAgainWhenTheServerIsBack();

private:
    QString makeDatabase(const QString &name);

    QList<RecordSample> m_samples;
};

QString RecordsPostgresTest::makeDatabase(const QString &name)
{
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "admin");
        if (!admin.open())
            return QStringLiteral("cannot reach the server: ") + admin.lastError().text();
        QSqlQuery query(admin);
        if (!query.exec("DROP DATABASE IF EXISTS " + name) ||
            !query.exec("CREATE DATABASE " + name))
            return query.lastError().text();
    }
    QSqlDatabase::removeDatabase("admin");
    return {};
}

// postgresql://user@host:port/name, as an operator types it; the password
// comes from PGPASSWORD, as libpq reads it.
static QString serverUrl(const QString &database)
{
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(qEnvironmentVariable("PGUSER"), qEnvironmentVariable("PGHOST"),
             qEnvironmentVariable("PGPORT"), database);
}

void RecordsPostgresTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("PGHOST") || qEnvironmentVariableIsEmpty("PGPORT"))
        QSKIP("No PostgreSQL server: run this under tools/with-postgres.sh (pg_virtualenv)");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        QFAIL("Qt's PostgreSQL driver is missing (libqt6sql6-psql)");
    m_samples = recordSamples();
    // A NUL in a listing, which PostgreSQL's texts cannot hold, is kept as U+2400.
    CheckRecord nul = m_samples.at(1).record;
    nul.about << QStringLiteral("OP1:a") + QChar(0) + QStringLiteral("b");
    const QString error = makeDatabase("sma_round_trip");
    QVERIFY2(error.isEmpty(), qPrintable(error));
    RecordStore store(serverUrl("sma_round_trip"));
    const std::optional<qint64> id = store.add(nul);
    QVERIFY2(id, qPrintable(store.errorString()));
    QCOMPARE(store.load(*id)->about.last(), QString::fromUtf8("OP1:a\u2400b"));
}

void RecordsPostgresTest::roundTrip_data()
{
    QTest::addColumn<int>("sample");
    for (int i = 0; i < m_samples.size(); ++i)
        QTest::newRow(qPrintable(m_samples.at(i).name)) << i;
}

void RecordsPostgresTest::roundTrip()
{
    QFETCH(int, sample);
    RecordStore store(serverUrl("sma_round_trip"));
    ::roundTrip(store, m_samples.at(sample).record,
                m_samples.at((sample + 1) % m_samples.size()).record);
}

// Eight scales, each with a serial number of its own, checked at the same
// moment by eight sma-check processes recording into one database that none
// of them has seen before: all eight are there, each with its own traffic.
void RecordsPostgresTest::eightBenchesAtOnce()
{
    const QString error = makeDatabase("sma_benches");
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString url = serverUrl("sma_benches");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    constexpr int kBenches = 8;
    std::vector<std::unique_ptr<PtyScale>> scales;
    std::vector<std::unique_ptr<QProcess>> checks;
    for (int bench = 0; bench < kBenches; ++bench) {
        ScaleOptions options;
        options.serialNumber = QByteArray("BENCH-") + QByteArray::number(bench);
        scales.push_back(std::make_unique<PtyScale>(options));
        QVERIFY2(scales.back()->start(), qPrintable(scales.back()->errorString()));
    }
    for (int bench = 0; bench < kBenches; ++bench) {
        checks.push_back(std::make_unique<QProcess>());
        checks.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        checks.back()->start(QStringLiteral(SMA_CHECK),
                             {"--port", scales.at(bench)->devicePath(), "--weight-stream", "skip",
                              "--quiet", "--db", url, "--json",
                              dir.filePath(QString::number(bench) + ".json")});
    }
    const auto running = [&] {
        return std::any_of(checks.cbegin(), checks.cend(), [](const auto &check) {
            return check->state() != QProcess::NotRunning;
        });
    };
    QDeadlineTimer deadline(120000);
    while (running() && !deadline.hasExpired())
        QTest::qWait(20);
    for (const auto &check : checks) {
        if (check->state() != QProcess::NotRunning) {
            check->kill();
            check->waitForFinished();
        }
        QCOMPARE(check->exitStatus(), QProcess::NormalExit);
        QCOMPARE(check->exitCode(), 0);
    }

    RecordStore store(url);
    const std::optional<QList<HistoryRow>> rows = store.history(QString(), 100);
    QVERIFY2(rows, qPrintable(store.errorString()));
    QCOMPARE(rows->size(), kBenches);
    QSet<int> benchesSeen;
    for (const HistoryRow &row : *rows) {
        const int bench = row.serialNumber.mid(6).toInt();
        QVERIFY2(row.serialNumber.startsWith("BENCH-") && !benchesSeen.contains(bench),
                 qPrintable(row.serialNumber));
        benchesSeen.insert(bench);
        const std::optional<CheckRecord> record = store.load(row.id);
        QVERIFY2(record, qPrintable(store.errorString()));
        const PtyScale &scale = *scales.at(bench);
        QCOMPARE(record->port, scale.devicePath());
        QByteArray sent;
        for (const RecordedTraffic &entry : record->traffic) {
            if (entry.direction == QLatin1String("TX"))
                sent += entry.bytes;
        }
        QCOMPARE(sent, scale.received()); // every frame its own scale got, and no other

        QFile jsonFile(dir.filePath(QString::number(bench) + ".json"));
        QVERIFY(jsonFile.open(QIODevice::ReadOnly));
        const QJsonObject json = QJsonDocument::fromJson(jsonFile.readAll()).object();
        QCOMPARE(record->commands.size(), json.value("commands").toArray().size());
        QStringList report;
        for (const QJsonValue &line : json.value("report").toArray())
            report << line.toString();
        QCOMPARE(record->report, report);
    }
}

// The server pg_virtualenv started, as pg_ctlcluster names it ("15 regress").
static QStringList cluster()
{
    QProcess list;
    list.start(QStringLiteral("pg_lsclusters"), {QStringLiteral("-h")});
    list.waitForFinished();
    return QString::fromLocal8Bit(list.readAllStandardOutput())
        .section(QLatin1Char('\n'), 0, 0)
        .split(QLatin1Char(' '), Qt::SkipEmptyParts)
        .mid(0, 2);
}

// Check History keeps its connection between requests: when the server goes
// away the next page says why, and once it is back the page after reads
// again, on a new connection, without a new window.
void RecordsPostgresTest::historyReadsAgainWhenTheServerIsBack()
{
    const QStringList server = cluster();
    if (server.size() != 2)
        QSKIP("pg_lsclusters does not name the server");
    const QString error = makeDatabase("sma_history");
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString url = serverUrl("sma_history");
    {
        RecordStore store(url);
        QVERIFY2(store.add({m_samples.at(0).record, m_samples.at(1).record}),
                 qPrintable(store.errorString()));
    }
    HistoryReader reader(url);
    QSignalSpy pages(&reader, &HistoryReader::pageRead);
    QSignalSpy failures(&reader, &HistoryReader::failed);
    const auto rowsRead = [&](int page) {
        return pages.at(page).at(1).value<QList<HistoryRow>>().size();
    };
    reader.readPage(QString(), 10);
    QTRY_COMPARE(pages.size(), 1);
    QCOMPARE(rowsRead(0), 2);

    const auto ctl = [&](const QString &action) {
        return QProcess::execute(QStringLiteral("pg_ctlcluster"), server + QStringList{action});
    };
    QCOMPARE(ctl(QStringLiteral("stop")), 0);
    reader.readPage(QString(), 10);
    QTRY_COMPARE(failures.size(), 1);
    const QString reason = failures.at(0).at(1).toString();
    QCOMPARE(ctl(QStringLiteral("start")), 0);
    QVERIFY2(!reason.isEmpty(), "no reason given");
    reader.readPage(QString(), 10);
    QTRY_COMPARE_WITH_TIMEOUT(pages.size() + failures.size(), 3, 10000);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(rowsRead(1), 2);
}

QTEST_GUILESS_MAIN(RecordsPostgresTest)
#include "tst_records_postgres.moc"
