#include "HistoryReader.h"
#include "PtyScale.h"
#include "RecordQueue.h"
#include "RecordSamples.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <functional>
#include <memory>

// The record store on a real PostgreSQL server, started for the test by
// tools/with-postgres.sh: the same round trips as on SQLite, a line of
// eight benches whose sma-check processes record into one new database at
// once, Check History's reading while the server stops and starts, and a line set up as dist/sql
// sets one up, whose benches work as their own roles in sma_bench: what such a role may do, and
// checks made while the server is stopped reaching it exactly once when it is back.
class RecordsPostgresTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void eightBenchesAtOnce();
    void historyReadsAgainWhenTheServerIsBack();
    void benchRights_data();
    void benchRights();
    void benchMeetsWhatItMayNotChange();
    void connectionOptions_data();
    void connectionOptions();
    void serverStoppedAndStarted();
    void eightBenchesThroughAStop();
    void aCutForwardLeavesOneRow();

private:
    QString makeDatabase(const QString &name);
    QString setUpLine();
    QString startTls();
    bool server(const QString &action);
    QMap<QString, int> rowsPerCheck();
    CheckRecord sample(int index);

    QString m_lineError; // why the line could not be set up
    QTemporaryDir m_home;

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

// A bench's own login role, in sma_bench, with the server's password
// (which libpq takes from PGPASSWORD, as it would from ~/.pgpass).
static QString benchUrl(int bench)
{
    return QStringLiteral("postgresql://bench_%1@%2:%3/sma_line")
        .arg(bench)
        .arg(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT"));
}

// Runs `program` to its end (as PGUSER `user` when given) while the event
// loop goes on, for the simulated scales on this thread; returns what went
// wrong, or nothing.
static QString run(const QString &program, const QStringList &arguments, const QString &user = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!user.isEmpty())
        environment.insert("PGUSER", user);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000) &&
        process.error() == QProcess::UnknownError && process.exitCode() == 0)
        return {};
    return QStringLiteral("%1 %2: %3%4")
        .arg(program, arguments.join(' '), process.readAllStandardError(), process.errorString());
}

static QString psql(const QStringList &arguments, const QString &user)
{
    return run("psql", QStringList{"-X", "-q", "-v", "ON_ERROR_STOP=1"} + arguments, user);
}

// The line as an administrator and its owner set it up from dist/sql: the
// roles and the database, the schema made by the owner with sma-check
// --sync, the benches' rights, nine bench roles and one outside sma_bench.
QString RecordsPostgresTest::setUpLine()
{
    const QString sql = QStringLiteral(SMA_SOURCE_DIR "/dist/sql/");
    const QString password = qEnvironmentVariable("PGPASSWORD");
    QStringList roles = {QStringLiteral("ALTER ROLE sma_owner PASSWORD '%1'").arg(password),
                         QStringLiteral("CREATE ROLE outsider LOGIN PASSWORD '%1'").arg(password),
                         QStringLiteral("GRANT CONNECT ON DATABASE sma_line TO outsider")};
    for (int bench = 0; bench < 9; ++bench)
        roles << QStringLiteral("CREATE ROLE bench_%1 LOGIN PASSWORD '%2' IN ROLE sma_bench")
                     .arg(bench)
                     .arg(password);
    const QString admin = qEnvironmentVariable("PGUSER");
    const QString owner = QStringLiteral("postgresql://sma_owner@%1:%2/sma_line")
                              .arg(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT"));
    QString error =
        psql({"-d", "postgres", "-f", sql + "sma-owner.sql", "-v", "db=sma_line"}, admin);
    for (const auto &step : std::initializer_list<std::function<QString()>>{
             [&] {
                 return psql({"-d", "postgres", "-c", roles.join("; ")}, admin);
             },
             [&] {
                 return run(QStringLiteral(SMA_CHECK), {"--sync", "--db", owner});
             },
             [&] {
                 return psql({"-d", "sma_line", "-f", sql + "sma-bench.sql"}, "sma_owner");
             },
             [&] { return startTls(); }}) {
        if (error.isEmpty())
            error = step();
    }
    return error;
}

// TLS as the README has a line set it up: the server's certificate (here
// its own CA) in postgresql.conf, and a second CA that signed nothing of it.
QString RecordsPostgresTest::startTls()
{
    QFile::setPermissions(m_home.path(),
                          QFile::permissions(m_home.path()) | QFile::ExeOther | QFile::ReadOther);
    const QString key = m_home.filePath("server.key");
    for (const QString &name : {"server", "other"}) {
        if (QString error =
                run("openssl", {"req", "-new", "-x509", "-days", "1", "-nodes", "-subj",
                                "/CN=localhost", "-keyout", m_home.filePath(name + ".key"), "-out",
                                m_home.filePath(name + ".crt")});
            !error.isEmpty())
            return error;
    }
    run("chown", {"postgres", key});
    return psql(
        {"-d", "postgres", "-c",
         QStringLiteral("ALTER SYSTEM SET ssl_cert_file = '%1'").arg(m_home.filePath("server.crt")),
         "-c", QStringLiteral("ALTER SYSTEM SET ssl_key_file = '%1'").arg(key), "-c",
         "ALTER SYSTEM SET ssl = on", "-c", "SELECT pg_reload_conf()"},
        qEnvironmentVariable("PGUSER"));
}

// Stops or starts the test's cluster, as an operator would.
bool RecordsPostgresTest::server(const QString &action)
{
    QProcess list;
    list.start("pg_lsclusters", {"-h"});
    list.waitForFinished();
    const QStringList cluster = QString::fromLocal8Bit(list.readAllStandardOutput())
                                    .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return cluster.size() >= 2 &&
           run("pg_ctlcluster", {cluster.at(0), cluster.at(1), action}).isEmpty();
}

// How many rows the server holds of each check, by its uuid.
QMap<QString, int> RecordsPostgresTest::rowsPerCheck()
{
    QMap<QString, int> rows;
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "count");
    admin.setDatabaseName("sma_line");
    if (admin.open()) {
        QSqlQuery query(admin);
        query.exec("SELECT check_uuid, COUNT(*) FROM checks GROUP BY check_uuid");
        while (query.next())
            rows[query.value(0).toString()] = query.value(1).toInt();
    }
    admin = QSqlDatabase();
    QSqlDatabase::removeDatabase("count");
    return rows;
}

CheckRecord RecordsPostgresTest::sample(int index)
{
    CheckRecord record = m_samples.at(index % m_samples.size()).record;
    record.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.edition = 1;
    return record;
}

void RecordsPostgresTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("PGHOST") || qEnvironmentVariableIsEmpty("PGPORT"))
        QSKIP("No PostgreSQL server: run this under tools/with-postgres.sh (pg_virtualenv)");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        QFAIL("Qt's PostgreSQL driver is missing (libqt6sql6-psql)");
    m_samples = recordSamples();
    // The benches' queues of this test, and of the sma-check processes it starts.
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    // A NUL in a listing, which PostgreSQL's texts cannot hold, is kept as U+2400.
    CheckRecord nul = m_samples.at(1).record;
    nul.about << QStringLiteral("OP1:a") + QChar(0) + QStringLiteral("b");
    const QString error = makeDatabase("sma_round_trip");
    QVERIFY2(error.isEmpty(), qPrintable(error));
    RecordStore store(serverUrl("sma_round_trip"));
    const std::optional<qint64> id = store.add(nul);
    QVERIFY2(id, qPrintable(store.errorString()));
    QCOMPARE(store.load(*id)->about.last(), QString::fromUtf8("OP1:a\u2400b"));
    m_lineError = setUpLine();
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

// Check History keeps its connection between requests: when the server goes
// away the next page says why, and once it is back the page after reads
// again, on a new connection, without a new window.
void RecordsPostgresTest::historyReadsAgainWhenTheServerIsBack()
{
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

    QVERIFY(server("stop"));
    reader.readPage(QString(), 10);
    QTRY_COMPARE(failures.size(), 1);
    const QString reason = failures.at(0).at(1).toString();
    QVERIFY(server("start"));
    QVERIFY2(!reason.isEmpty(), "no reason given");
    reader.readPage(QString(), 10);
    QTRY_COMPARE_WITH_TIMEOUT(pages.size() + failures.size(), 3, 10000);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(rowsRead(1), 2);
}

void RecordsPostgresTest::benchRights_data()
{
    QTest::addColumn<QString>("sql"); // %1: another bench's check, %2: its own
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<int>("rows"); // rows it changed, when allowed

    QTest::newRow("reads the history") << "SELECT id FROM checks WHERE id = %1" << true << 1;
    QTest::newRow("revises its own open check")
        << "UPDATE checks SET port = 'COM9' WHERE id = %2" << true << 1;
    QTest::newRow("writes its own check's lists anew")
        << "DELETE FROM check_texts WHERE check_id = %2 AND seq = 0 AND kind = 'about'" << true
        << 1;
    QTest::newRow("leaves another bench's check as it is")
        << "UPDATE checks SET port = 'COM9' WHERE id = %1" << true << 0;
    QTest::newRow("leaves another bench's lists as they are")
        << "DELETE FROM check_texts WHERE check_id = %1 AND seq = 0 AND kind = 'about'" << true
        << 0;
    QTest::newRow("adds nothing to another bench's check")
        << "INSERT INTO check_texts VALUES (%1, 'about', 99, 'x')" << false << 0;
    QTest::newRow("deletes no check") << "DELETE FROM checks WHERE id = %2" << false << 0;
    QTest::newRow("drops no table") << "DROP TABLE check_traffic" << false << 0;
    QTest::newRow("alters no table") << "ALTER TABLE checks ADD COLUMN note TEXT" << false << 0;
    QTest::newRow("makes no table") << "CREATE TABLE notes (note TEXT)" << false << 0;
    QTest::newRow("changes no schema version")
        << "UPDATE schema_version SET version = 1" << false << 0;
    QTest::newRow("records in no other name")
        << "UPDATE checks SET recorded_by = 'bench_1' WHERE id = %2" << false << 0;
}

// A bench's role, as sma-bench.sql grants it, against the SQL a careless or
// hostile program would send.
void RecordsPostgresTest::benchRights()
{
    QFETCH(QString, sql);
    QFETCH(bool, allowed);
    QFETCH(int, rows);
    QVERIFY2(m_lineError.isEmpty(), qPrintable(m_lineError));
    std::optional<qint64> ids[2];
    for (int bench = 0; bench < 2; ++bench) {
        RecordStore store(benchUrl(bench + 7));
        ids[bench] = store.put(sample(0));
        QVERIFY2(ids[bench], qPrintable(store.errorString()));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "bench");
    db.setDatabaseName("sma_line");
    db.setUserName("bench_8");
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    {
        QSqlQuery query(db);
        QSqlQuery(db).exec("BEGIN");
        const bool ran = query.exec(QString(sql)
                                        .replace("%1", QString::number(*ids[0]))
                                        .replace("%2", QString::number(*ids[1])));
        QVERIFY2(ran == allowed, qPrintable(query.lastError().text()));
        if (ran && query.isSelect())
            QVERIFY(query.next());
        else if (ran)
            QCOMPARE(query.numRowsAffected(), rows);
        QSqlQuery(db).exec("ROLLBACK");
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("bench");
}

// A bench's role on a database whose tables are not made yet, and on a
// check of another bench that it forwards as revised: plain words, and the
// check stays queued.
void RecordsPostgresTest::benchMeetsWhatItMayNotChange()
{
    QVERIFY2(m_lineError.isEmpty(), qPrintable(m_lineError));
    QVERIFY(makeDatabase("sma_empty").isEmpty());
    RecordStore empty(QString(benchUrl(0)).replace("sma_line", "sma_empty"));
    QVERIFY(!empty.open());
    QVERIFY2(empty.errorString().contains(
                 "its tables are not made yet, and the role bench_0 may not make them: the "
                 "database's owner opens it once"),
             qPrintable(empty.errorString()));

    CheckRecord record = sample(1);
    RecordStore other(benchUrl(1));
    QVERIFY(other.put(record));
    record.edition = 2;
    QTemporaryDir dir;
    RecordQueue queue(benchUrl(0), dir.filePath("queue.sqlite"));
    const RecordQueue::Outcome kept = queue.keep(record);
    QCOMPARE(kept.waiting, 1);
    QVERIFY2(kept.why.contains("revise only the checks it recorded itself"), qPrintable(kept.why));

    RecordQueue outsider(QString(benchUrl(0)).replace("bench_0", "outsider"),
                         dir.filePath("outsider.sqlite"));
    const RecordQueue::Outcome refused = outsider.keep(sample(2));
    QCOMPARE(refused.waiting, 1);
    QVERIFY2(refused.why.contains("the role outsider may not read the checks (") &&
                 refused.why.contains("permission denied for table schema_version") &&
                 refused.why.endsWith("with sma-bench.sql and GRANT sma_bench TO outsider"),
             qPrintable(refused.why));
}

void RecordsPostgresTest::connectionOptions_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("saying"); // empty: it opens

    QTest::newRow("sslmode=disable") << "?sslmode=disable" << QString();
    QTest::newRow("TLS verified against the line's CA")
        << "?sslmode=verify-full&sslrootcert={home}/server.crt" << QString();
    QTest::newRow("TLS verified against another CA")
        << "?sslmode=verify-full&sslrootcert={home}/other.crt"
        << "certificate verify failed";
    QTest::newRow("a root certificate that is not there")
        << "?sslmode=verify-ca&sslrootcert=/nonexistent/root.crt"
        << "root certificate file \"/nonexistent/root.crt\" does not exist";
    QTest::newRow("a service file names the server") << "service" << QString();
}

// What the address says of the connection reaches libpq as it is.
void RecordsPostgresTest::connectionOptions()
{
    QFETCH(QString, options);
    QFETCH(QString, saying);
    QVERIFY2(m_lineError.isEmpty(), qPrintable(m_lineError));
    QTemporaryDir dir;
    QString location = benchUrl(2) + QString(options).replace("{home}", m_home.path());
    if (options == QLatin1String("service")) {
        QFile services(dir.filePath("pg_service.conf"));
        QVERIFY(services.open(QIODevice::WriteOnly));
        services.write(QStringLiteral("[line]\nhost=%1\nport=%2\ndbname=sma_line\nuser=bench_2\n")
                           .arg(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT"))
                           .toUtf8());
        services.close();
        qputenv("PGSERVICEFILE", services.fileName().toLocal8Bit());
        location = QStringLiteral("postgresql:///?service=line");
    }
    RecordStore store(location);
    const bool opened = store.open();
    qunsetenv("PGSERVICEFILE");
    if (saying.isEmpty()) {
        QVERIFY2(opened, qPrintable(store.errorString()));
    } else {
        QVERIFY(!opened);
        QVERIFY2(store.errorString().contains(saying), qPrintable(store.errorString()));
    }
}

// Checks made by one bench while the server stops and starts again, one of
// them revised while it waits: each on the server once, in its newest
// state, and the queue empty.
void RecordsPostgresTest::serverStoppedAndStarted()
{
    QVERIFY2(m_lineError.isEmpty(), qPrintable(m_lineError));
    QTemporaryDir dir;
    RecordQueue queue(benchUrl(3), dir.filePath("queue.sqlite"));
    CheckRecord first = sample(0);
    const RecordQueue::Outcome before = queue.keep(first);
    QVERIFY2(before.waiting == 0 && before.sent == 1, qPrintable(before.why));
    // Restarted between two checks: the next one finds the connection gone,
    // makes it afresh and is on the server at once.
    QVERIFY(server("restart"));
    const CheckRecord second = sample(1);
    const RecordQueue::Outcome restarted = queue.keep(second);
    QVERIFY2(restarted.waiting == 0 && restarted.sent == 1, qPrintable(restarted.why));

    QVERIFY(server("stop"));
    auto restart = qScopeGuard([this] { server("start"); });
    QList<CheckRecord> made{first, sample(1), sample(2)};
    first.edition = 2; // a retest after the run
    first.units = made.at(1).commands.first();
    made.first() = first;
    int waiting = 0;
    for (const CheckRecord &record : made) {
        const RecordQueue::Outcome kept = queue.keep(record);
        QVERIFY2(kept.failure.isEmpty(), qPrintable(kept.failure));
        QCOMPARE(kept.waiting, ++waiting);
        QVERIFY2(kept.why.startsWith(benchUrl(3) + ": "), qPrintable(kept.why));
    }
    restart.dismiss();
    QVERIFY(server("start"));
    made << sample(0) << second;
    const RecordQueue::Outcome after = queue.keep(made.at(made.size() - 2));
    QVERIFY2(after.waiting == 0, qPrintable(after.why));
    QCOMPARE(after.sent, 4);
    QCOMPARE(queue.waiting(), std::optional<int>(0));

    const QMap<QString, int> rows = rowsPerCheck();
    RecordStore store(benchUrl(3));
    for (const CheckRecord &record : made) {
        QCOMPARE(rows.value(record.uuid), 1);
        const std::optional<qint64> id = store.put(record); // finds it, changes nothing
        QVERIFY(id);
        QVERIFY(*store.load(*id) == record);
    }
}

// Eight benches, each as its own role with a queue of its own, checking
// while the server is stopped under them: each check keeps its status and
// says it waits; after the server is back, sma-check --sync on each bench
// leaves every check on the server once and every queue empty.
void RecordsPostgresTest::eightBenchesThroughAStop()
{
    QVERIFY2(m_lineError.isEmpty(), qPrintable(m_lineError));
    const QMap<QString, int> earlier = rowsPerCheck();
    constexpr int kBenches = 8;
    QTemporaryDir dir;
    std::vector<std::unique_ptr<PtyScale>> scales;
    std::vector<std::unique_ptr<QProcess>> checks;
    const auto bench = [&](int index) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dir.filePath(QString::number(index)));
        process->setProcessEnvironment(environment);
        return process;
    };
    for (int index = 0; index < kBenches; ++index) {
        ScaleOptions options;
        options.serialNumber = QByteArray("STOP-") + QByteArray::number(index);
        scales.push_back(std::make_unique<PtyScale>(options));
        QVERIFY2(scales.back()->start(), qPrintable(scales.back()->errorString()));
        checks.push_back(bench(index));
        checks.back()->start(QStringLiteral(SMA_CHECK),
                             {"--port", scales.back()->devicePath(), "--weight-stream", "skip",
                              "--quiet", "--db", benchUrl(index)});
    }
    QVERIFY(server("stop"));
    auto restart = qScopeGuard([this] { server("start"); });
    for (const auto &check : checks) {
        QVERIFY(QTest::qWaitFor([&] { return check->state() == QProcess::NotRunning; }, 120000));
        const QString err = QString::fromUtf8(check->readAllStandardError());
        // The check's own status, and what became of its record.
        QVERIFY2(
            check->exitCode() == 0 &&
                err.contains("The check is kept on this bench: 1 check waiting for the server ("),
            qPrintable(err));
    }
    restart.dismiss();
    QVERIFY(server("start"));
    for (int index = 0; index < kBenches; ++index) {
        const auto sync = bench(index);
        sync->start(QStringLiteral(SMA_CHECK), {"--sync", "--db", benchUrl(index)});
        QVERIFY(sync->waitForFinished(60000));
        const QString err = QString::fromUtf8(sync->readAllStandardError());
        QVERIFY2(sync->exitCode() == 0 && err.contains("Sent 1 check to") &&
                     err.contains("none is waiting"),
                 qPrintable(err));
    }
    const QMap<QString, int> rows = rowsPerCheck();
    QCOMPARE(rows.size(), earlier.size() + kBenches);
    for (auto row = rows.cbegin(); row != rows.cend(); ++row)
        QCOMPARE(row.value(), 1);
}

// A forward killed right after the server committed, before the bench heard
// so: the check stays queued, and the next forward leaves one row.
void RecordsPostgresTest::aCutForwardLeavesOneRow()
{
    QVERIFY2(m_lineError.isEmpty(), qPrintable(m_lineError));
    QTemporaryDir dir;
    const QByteArray home = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    const QString queueFile = queueFileFor(RecordLocation::parse(benchUrl(4)));
    qputenv("XDG_DATA_HOME", home);
    const CheckRecord record = sample(2);
    QVERIFY(RecordStore(queueFile).put(record));

    for (const bool cut : {true, false}) {
        QProcess sync;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dir.path());
        if (cut)
            environment.insert("SMA_TEST_DIE_AFTER_COMMIT", "1");
        sync.setProcessEnvironment(environment);
        sync.start(QStringLiteral(SMA_CHECK), {"--sync", "--db", benchUrl(4)});
        QVERIFY(sync.waitForFinished(60000));
        QCOMPARE(sync.exitStatus(), cut ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(rowsPerCheck().value(record.uuid), 1);
        QCOMPARE(RecordStore(queueFile).ids()->size(), cut ? 1 : 0);
    }
}

QTEST_GUILESS_MAIN(RecordsPostgresTest)
#include "tst_records_postgres.moc"
