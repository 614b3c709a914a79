#include "RecordStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdlib>
#include <utility>

namespace {

// The columns of a check's own row, in the order checkValues() gives them.
const QStringList kCheckColumns = {
    QStringLiteral("started_ms"),
    QStringLiteral("ended_ms"),
    QStringLiteral("port"),
    QStringLiteral("line_settings"),
    QStringLiteral("program_version"),
    QStringLiteral("host"),
    QStringLiteral("user_name"),
    QStringLiteral("mfg"),
    QStringLiteral("model"),
    QStringLiteral("serial_number"),
    QStringLiteral("revision"),
    QStringLiteral("published"),
    QStringLiteral("level1"),
    QStringLiteral("discovery_finished"),
    QStringLiteral("weight_stream"),
    QStringLiteral("weight_stream_ms"),
    QStringLiteral("elapsed_ms"),
    QStringLiteral("exit_status"),
    QStringLiteral("failed"),
    QStringLiteral("check_uuid"),
    QStringLiteral("edition"),
};

const QString kRoleRun = QStringLiteral("run");
const QString kRoleTare = QStringLiteral("tare");
const QString kRoleUnits = QStringLiteral("units");
const QString kAbout = QStringLiteral("about");
const QString kInfo = QStringLiteral("info");
const QString kReport = QStringLiteral("report");
const QString kFlagSeen = QStringLiteral("flag seen");
const QString kFlagMissing = QStringLiteral("flag missing");

template <typename T> using Names = QList<std::pair<T, QString>>;

const Names<TestedCommand::Result> kResults = {
    {TestedCommand::Result::Awaited, QStringLiteral("awaited")},
    {TestedCommand::Result::Pending, QStringLiteral("pending")},
    {TestedCommand::Result::Passed, QStringLiteral("passed")},
    {TestedCommand::Result::Failed, QStringLiteral("failed")},
};
const Names<TestedCommand::Reason> kReasons = {
    {TestedCommand::Reason::None, QStringLiteral("none")},
    {TestedCommand::Reason::TimedOut, QStringLiteral("timed out")},
    {TestedCommand::Reason::PortLost, QStringLiteral("port lost")},
    {TestedCommand::Reason::ListingCut, QStringLiteral("listing cut")},
    {TestedCommand::Reason::Stopped, QStringLiteral("stopped")},
    {TestedCommand::Reason::Unsolicited, QStringLiteral("unsolicited")},
};

template <typename T> QString nameOf(const Names<T> &names, T value)
{
    for (const auto &[known, name] : names) {
        if (known == value)
            return name;
    }
    return {};
}

template <typename T> T valueOf(const Names<T> &names, const QString &name, T fallback)
{
    for (const auto &[known, text] : names) {
        if (text == name)
            return known;
    }
    return fallback;
}

QVariant bytes(const QByteArray &value)
{
    return value.isNull() ? QVariant(QByteArray("", 0)) : QVariant(value);
}

QVariant number(qint64 value)
{
    return QVariant(value);
}

QVariant time(const QDateTime &value)
{
    return value.isValid() ? QVariant(value.toMSecsSinceEpoch())
                           : QVariant(QMetaType::fromType<qint64>());
}

QDateTime timeFrom(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong());
}

int failedCount(const CheckRecord &record)
{
    int failed = 0;
    for (const TestedCommand &command : record.commands)
        failed += command.result == TestedCommand::Result::Failed;
    return failed;
}

// A check is listed by when it ended; one that never got so far by when it started.
QDateTime listedTime(const CheckRecord &record)
{
    if (record.ended.isValid())
        return record.ended;
    return record.started.isValid() ? record.started : QDateTime::currentDateTime();
}

void bindAll(QSqlQuery &query, const QVariantList &values)
{
    for (const QVariant &value : values)
        query.addBindValue(value);
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
}

QString placeholders(qsizetype count)
{
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

// LIKE's own characters in a filter stand for themselves.
QString containsPattern(const QString &filter)
{
    QString escaped = filter;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QAtomicInteger<quint64> connectionCount;

} // namespace

// Empty texts are written as such, never as NULL.
QVariant RecordStore::text(const QString &value) const
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(m_dialect.storable(value));
}

QVariantList RecordStore::checkValues(const CheckRecord &record) const
{
    return {time(record.started), time(listedTime(record)), text(record.port), text(record.line),
            text(record.programVersion), text(record.host), text(record.user),
            text(record.manufacturer), text(record.model), text(record.serialNumber),
            text(record.revision), text(record.published), int(record.level1Commands),
            int(record.discoveryFinished), text(weightStreamText(record.weightStream)),
            number(record.weightStreamMs), number(record.elapsedMs), record.exitStatus,
            failedCount(record),
            // Checks of older versions have none; NULLs never collide.
            record.uuid.isEmpty() ? QVariant(QMetaType::fromType<QString>())
                                  : QVariant(record.uuid),
            record.edition};
}

RecordStore::RecordStore(const QString &location)
    : m_location(RecordLocation::parse(location)),
      m_connection(QStringLiteral("sma-records-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
{
    m_dialect.postgres = m_location.kind == RecordLocation::Kind::PostgreSql;
}

RecordStore::~RecordStore()
{
    close();
}

QSqlDatabase RecordStore::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool RecordStore::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && database().isOpen();
}

void RecordStore::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    database().close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool RecordStore::fail(const QString &what)
{
    m_code.clear();
    return say(what);
}

bool RecordStore::notOnRecord(qint64 id)
{
    fail(QStringLiteral("check %1 is not on record").arg(id));
    m_code = QStringLiteral("not on record");
    return false;
}

bool RecordStore::say(const QString &what)
{
    m_error = QStringLiteral("%1: %2").arg(m_location.describe(), what);
    return false;
}

bool RecordStore::failed(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    m_code = error.nativeErrorCode();
    return say(oneLine(error.databaseText().isEmpty() ? error.text() : error.databaseText()));
}

bool RecordStore::execute(const QString &sql)
{
    QSqlQuery query(database());
    return query.exec(sql) || failed(query);
}

// A connection the server dropped (it was restarted, or the network went)
// still looks open until it is used: it is made afresh once, so that a
// server back in place is written to at once.
bool RecordStore::begin(const QString &transaction)
{
    const bool wasOpen = isOpen();
    if (!open())
        return false;
    if (execute(transaction))
        return true;
    close();
    return wasOpen && open() && (execute(transaction) || (close(), false));
}

bool RecordStore::commit()
{
    if (execute(QStringLiteral("COMMIT")))
        return true;
    rollback();
    return false;
}

void RecordStore::rollback()
{
    QSqlQuery query(database());
    query.exec(QStringLiteral("ROLLBACK"));
}

bool RecordStore::open()
{
    if (isOpen())
        return true;
    m_error.clear();
    m_code.clear();
    m_openFailed = true;
    const bool postgres = m_location.kind == RecordLocation::Kind::PostgreSql;
    switch (m_location.kind) {
    case RecordLocation::Kind::Invalid:
        m_error = m_location.error;
        return false;
    case RecordLocation::Kind::SqliteFile:
        if (!QDir().mkpath(QFileInfo(m_location.file).absolutePath()))
            return fail(QStringLiteral("its folder cannot be made"));
        break;
    case RecordLocation::Kind::PostgreSql:
        break;
    }
    const QString driver = postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return fail(postgres ? QStringLiteral("Qt's PostgreSQL driver is not installed "
                                              "(Debian package libqt6sql6-psql)")
                             : QStringLiteral("Qt's SQLite driver is not installed "
                                              "(Debian package libqt6sql6-sqlite)"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connection);
        if (postgres) {
            db.setHostName(m_location.host);
            db.setPort(m_location.port);
            db.setUserName(m_location.user);
            db.setDatabaseName(m_location.database);
            db.setConnectOptions(m_location.options);
        } else {
            db.setDatabaseName(m_location.file);
            // Another bench's program writing the same file is waited for.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
        if (!db.open()) {
            const QSqlError error = db.lastError();
            m_code = error.nativeErrorCode();
            say(oneLine(error.databaseText().isEmpty() ? error.text() : error.databaseText()));
            db = QSqlDatabase();
            close();
            return false;
        }
    }
    // Readers go on reading while a check is written.
    const bool ready =
        (postgres || execute(QStringLiteral("PRAGMA journal_mode=WAL"))) && migrate();
    if (!ready)
        close();
    m_openFailed = !ready;
    return ready;
}

bool RecordStore::migrate()
{
    // Most openings find the schema current: a plain read says so without
    // taking the lock that makes benches opening a new database wait for
    // each other.
    {
        QSqlQuery query(database());
        if (query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) && query.next() &&
            query.value(0).toInt() == recordSchemaVersion())
            return true;
        // The tables are there, but this role may not read them.
        if (query.lastError().nativeErrorCode() == QLatin1String("42501") && m_dialect.postgres) {
            failed(query);
            withoutRights(QStringLiteral("read the checks"));
            return false;
        }
    }
    if (!execute(m_dialect.beginWrite()))
        return false;
    const auto abandon = [this] {
        rollback();
        return false;
    };
    if (const QString lock = m_dialect.lockForMigration(); !lock.isEmpty() && !execute(lock))
        return abandon();
    if (!execute(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version "
                                "(version INTEGER NOT NULL)"))) {
        if (refused())
            mayNotMigrate(0);
        return abandon();
    }
    int version = 0;
    {
        QSqlQuery query(database());
        if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version"))) {
            failed(query);
            if (refused())
                withoutRights(QStringLiteral("read the checks"));
            return abandon();
        }
        if (query.next())
            version = query.value(0).toInt();
    }
    const int current = recordSchemaVersion();
    if (version > current) {
        fail(QStringLiteral("it was written by a newer version of this program (schema %1; this "
                            "one knows up to %2)")
                 .arg(version)
                 .arg(current));
        return abandon();
    }
    for (int step = version; step < current; ++step) {
        for (const QString &migration : recordMigrations().at(step)) {
            for (const QString &statement : m_dialect.statements(migration)) {
                if (!execute(statement)) {
                    if (refused())
                        mayNotMigrate(version);
                    return abandon();
                }
            }
        }
    }
    if (version < current &&
        (!execute(QStringLiteral("DELETE FROM schema_version")) ||
         !execute(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(current))))
        return abandon();
    return commit();
}

bool RecordStore::refused() const
{
    // PostgreSQL's insufficient_privilege, which "must be owner" is too.
    return m_dialect.postgres && m_code == QLatin1String("42501");
}

bool RecordStore::missing() const
{
    return m_code == QLatin1String("not on record");
}

bool RecordStore::damaged() const
{
    // SQLite's SQLITE_CORRUPT and SQLITE_NOTADB.
    return !m_dialect.postgres && (m_code == QLatin1String("11") || m_code == QLatin1String("26") ||
                                   m_error.contains(QLatin1String("malformed")) ||
                                   m_error.contains(QLatin1String("not a database")));
}

QString RecordStore::roleName() const
{
    return m_location.user.isEmpty() ? qEnvironmentVariable("PGUSER", qEnvironmentVariable("USER"))
                                     : m_location.user;
}

void RecordStore::withoutRights(const QString &what)
{
    say(QStringLiteral("the role %1 may not %2 (%3): the database's owner grants a bench's role "
                       "its rights with sma-bench.sql and GRANT sma_bench TO %1")
            .arg(roleName(), what, m_error.mid(m_location.describe().size() + 2)));
}

void RecordStore::mayNotMigrate(int version)
{
    const QString role = roleName();
    const QString how = QStringLiteral("the database's owner opens it once with this version "
                                       "(sma-check --sync --db as the owner) to bring it forward");
    if (version == 0)
        say(QStringLiteral("its tables are not made yet, and the role %1 may not make them: %2")
                .arg(role, how));
    else
        say(QStringLiteral("its schema is version %1 and this program writes version %2, but "
                           "the role %3 may not change the schema: %4")
                .arg(version)
                .arg(recordSchemaVersion())
                .arg(role, how));
}

int RecordStore::schemaVersion()
{
    if (!open())
        return 0;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !query.next())
        return failed(query);
    return query.value(0).toInt();
}

std::optional<qint64> RecordStore::insertCheck(const CheckRecord &record)
{
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("INSERT INTO checks (%1) VALUES (%2) RETURNING id")
            .arg(kCheckColumns.join(QStringLiteral(", ")), placeholders(kCheckColumns.size())));
    bindAll(query, checkValues(record));
    if (!query.exec() || !query.next()) {
        failed(query);
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

// Rows go in as few statements as the dialect finds best: eight benches
// writing to one server at once should not wait on hundreds of round trips each.
bool RecordStore::insertRows(const QString &table, const QStringList &columns,
                             const QList<QVariantList> &rows)
{
    const qsizetype kRowsPerStatement = m_dialect.rowsPerInsert();
    const QString row = QLatin1Char('(') + placeholders(columns.size()) + QLatin1Char(')');
    QSqlQuery query(database());
    qsizetype prepared = 0; // rows the prepared statement takes
    for (qsizetype first = 0; first < rows.size(); first += kRowsPerStatement) {
        const qsizetype count = std::min(kRowsPerStatement, rows.size() - first);
        if (count != prepared) {
            QStringList values;
            for (qsizetype i = 0; i < count; ++i)
                values << row;
            query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                              .arg(table, columns.join(QStringLiteral(", ")),
                                   values.join(QStringLiteral(", "))));
            prepared = count;
        }
        for (qsizetype i = first; i < first + count; ++i)
            bindAll(query, rows.at(i));
        if (!query.exec())
            return failed(query);
    }
    return true;
}

bool RecordStore::writeDetails(qint64 id, const CheckRecord &record)
{
    QList<QVariantList> commands;
    const auto addCommand = [&](const QString &role, int seq, const TestedCommand &tested) {
        commands << QVariantList{id,
                                 role,
                                 seq,
                                 text(tested.printable),
                                 text(tested.command),
                                 nameOf(kResults, tested.result),
                                 tested.answer ? bytes(*tested.answer)
                                               : QVariant(QMetaType::fromType<QByteArray>()),
                                 number(tested.ms),
                                 nameOf(kReasons, tested.reason),
                                 number(tested.bytesArrived),
                                 tested.unaskedLines};
    };
    for (int seq = 0; seq < record.commands.size(); ++seq)
        addCommand(kRoleRun, seq, record.commands.at(seq));
    if (record.tare)
        addCommand(kRoleTare, 0, *record.tare);
    if (record.units)
        addCommand(kRoleUnits, 0, *record.units);

    QList<QVariantList> lines;
    for (const auto &[kind, texts] :
         {std::pair{kAbout, &record.about}, std::pair{kInfo, &record.info},
          std::pair{kReport, &record.report}, std::pair{kFlagSeen, &record.flagsSeen},
          std::pair{kFlagMissing, &record.flagsMissing}}) {
        for (int seq = 0; seq < texts->size(); ++seq)
            lines << QVariantList{id, kind, seq, text(texts->at(seq))};
    }

    QList<QVariantList> findings;
    for (int seq = 0; seq < record.findings.size(); ++seq) {
        const Finding &found = record.findings.at(seq);
        findings << QVariantList{id,
                                 seq,
                                 severityText(found.severity),
                                 text(found.code),
                                 text(found.message),
                                 bytes(found.evidence),
                                 found.count};
    }

    QList<QVariantList> traffic;
    for (int seq = 0; seq < record.traffic.size(); ++seq) {
        const RecordedTraffic &entry = record.traffic.at(seq);
        traffic << QVariantList{
            id, seq, number(entry.ms), text(entry.direction), bytes(entry.bytes), text(entry.note)};
    }

    return insertRows(QStringLiteral("check_commands"),
                      {QStringLiteral("check_id"), QStringLiteral("role"), QStringLiteral("seq"),
                       QStringLiteral("printable"), QStringLiteral("command"),
                       QStringLiteral("result"), QStringLiteral("answer"), QStringLiteral("ms"),
                       QStringLiteral("reason"), QStringLiteral("bytes_arrived"),
                       QStringLiteral("unasked_lines")},
                      commands) &&
           insertRows(QStringLiteral("check_texts"),
                      {QStringLiteral("check_id"), QStringLiteral("kind"), QStringLiteral("seq"),
                       QStringLiteral("text")},
                      lines) &&
           insertRows(QStringLiteral("check_findings"),
                      {QStringLiteral("check_id"), QStringLiteral("seq"),
                       QStringLiteral("severity"), QStringLiteral("code"),
                       QStringLiteral("message"), QStringLiteral("evidence"),
                       QStringLiteral("count")},
                      findings) &&
           insertRows(QStringLiteral("check_traffic"),
                      {QStringLiteral("check_id"), QStringLiteral("seq"), QStringLiteral("ms"),
                       QStringLiteral("direction"), QStringLiteral("bytes"),
                       QStringLiteral("note")},
                      traffic);
}

std::optional<qint64> RecordStore::add(const CheckRecord &record)
{
    const std::optional<QList<qint64>> ids = add(QList<CheckRecord>{record});
    if (!ids)
        return std::nullopt;
    return ids->first();
}

std::optional<QList<qint64>> RecordStore::add(const QList<CheckRecord> &records)
{
    if (!begin(m_dialect.beginWrite()))
        return std::nullopt;
    QList<qint64> ids;
    for (const CheckRecord &record : records) {
        const std::optional<qint64> id = insertCheck(record);
        if (!id || !writeDetails(*id, record)) {
            rollback();
            close(); // a lost connection is made afresh next time
            return std::nullopt;
        }
        ids << *id;
    }
    if (!commit()) {
        close();
        return std::nullopt;
    }
    return ids;
}

std::optional<qint64> RecordStore::put(const CheckRecord &record)
{
    if (record.uuid.isEmpty())
        return add(record);
    const std::optional<QList<qint64>> ids = put(QList<CheckRecord>{record});
    if (!ids)
        return std::nullopt;
    return ids->first();
}

std::optional<qint64> RecordStore::putInTransaction(const CheckRecord &record)
{
    if (record.uuid.isEmpty()) {
        const std::optional<qint64> id = insertCheck(record);
        return id && writeDetails(*id, record) ? id : std::nullopt;
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT id, edition FROM checks WHERE check_uuid = ?"));
    query.addBindValue(record.uuid);
    if (!query.exec()) {
        failed(query);
        return std::nullopt;
    }
    if (!query.next()) {
        const std::optional<qint64> id = insertCheck(record);
        return id && writeDetails(*id, record) ? id : std::nullopt;
    }
    const qint64 id = query.value(0).toLongLong();
    // An older state forwarded late leaves the newer one in place.
    if (query.value(1).toInt() > record.edition || replaceCheck(id, record))
        return id;
    return std::nullopt;
}

std::optional<QList<qint64>> RecordStore::put(const QList<CheckRecord> &records)
{
    // Two benches' programs putting the same check at once: the second
    // meets the first's row and replaces it instead.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!begin(m_dialect.beginWrite()))
            return std::nullopt;
        QList<qint64> ids;
        for (const CheckRecord &record : records) {
            const std::optional<qint64> id = putInTransaction(record);
            if (!id)
                break;
            ids << *id;
        }
        if (ids.size() == records.size() && commit()) {
            // For the test of a forward cut after the server committed it.
            if (m_dialect.postgres && qEnvironmentVariableIsSet("SMA_TEST_DIE_AFTER_COMMIT"))
                std::abort();
            return ids;
        }
        const bool collided = m_code == QLatin1String("23505"); // unique_violation
        if (refused())
            withoutRights(QStringLiteral("add checks"));
        rollback();
        close();
        if (!collided)
            return std::nullopt;
    }
    return std::nullopt;
}

bool RecordStore::remove(qint64 id, int edition)
{
    return remove(QList<std::pair<qint64, int>>{{id, edition}});
}

bool RecordStore::remove(const QList<std::pair<qint64, int>> &checks)
{
    if (!begin(m_dialect.beginWrite()))
        return false;
    bool removed = true;
    for (const auto &[id, edition] : checks) {
        QSqlQuery query(database());
        query.prepare(QStringLiteral("DELETE FROM checks WHERE id = ? AND edition = ?"));
        bindAll(query, {id, edition});
        removed = query.exec() || failed(query);
        // A newer state written meanwhile stays.
        if (!removed || query.numRowsAffected() == 0)
            continue;
        for (const char *table :
             {"check_commands", "check_texts", "check_findings", "check_traffic"}) {
            QSqlQuery details(database());
            details.prepare(
                QStringLiteral("DELETE FROM %1 WHERE check_id = ?").arg(QLatin1String(table)));
            details.addBindValue(id);
            removed = removed && (details.exec() || failed(details));
        }
        if (!removed)
            break;
    }
    if (removed && commit())
        return true;
    rollback();
    return false;
}

std::optional<QList<qint64>> RecordStore::ids()
{
    if (!open())
        return std::nullopt;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id FROM checks ORDER BY id"))) {
        failed(query);
        query = QSqlQuery();
        close();
        return std::nullopt;
    }
    QList<qint64> ids;
    while (query.next())
        ids << query.value(0).toLongLong();
    return ids;
}

bool RecordStore::update(qint64 id, const CheckRecord &record)
{
    if (!begin(m_dialect.beginWrite()))
        return false;
    if (replaceCheck(id, record) && commit())
        return true;
    rollback();
    close(); // a lost connection is made afresh next time
    return false;
}

bool RecordStore::replaceCheck(qint64 id, const CheckRecord &record)
{
    QStringList assignments;
    for (const QString &column : kCheckColumns)
        assignments << column + QStringLiteral(" = ?");
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE checks SET %1 WHERE id = ?")
                      .arg(assignments.join(QStringLiteral(", "))));
    bindAll(query, checkValues(record));
    query.addBindValue(id);
    if (!query.exec())
        return failed(query);
    if (query.numRowsAffected() == 0) {
        // The server's row policies hide another bench's check from an UPDATE.
        QSqlQuery exists(database());
        exists.prepare(QStringLiteral("SELECT 1 FROM checks WHERE id = ?"));
        exists.addBindValue(id);
        if (exists.exec() && exists.next())
            return fail(QStringLiteral("the server lets a bench revise only the checks it "
                                       "recorded itself, for a day after it did"));
        return notOnRecord(id);
    }
    for (const char *table : {"check_commands", "check_texts", "check_findings", "check_traffic"}) {
        QSqlQuery remove(database());
        remove.prepare(
            QStringLiteral("DELETE FROM %1 WHERE check_id = ?").arg(QLatin1String(table)));
        remove.addBindValue(id);
        if (!remove.exec())
            return failed(remove);
    }
    return writeDetails(id, record);
}

std::optional<CheckRecord> RecordStore::load(qint64 id)
{
    if (!begin(m_dialect.beginRead()))
        return std::nullopt;
    CheckRecord record;
    bool found = false;
    {
        QSqlQuery query(database());
        query.prepare(QStringLiteral("SELECT %1 FROM checks WHERE id = ?")
                          .arg(kCheckColumns.join(QStringLiteral(", "))));
        query.addBindValue(id);
        if (!query.exec()) {
            failed(query);
            rollback();
            return std::nullopt;
        }
        found = query.next();
        if (found) {
            int column = 0;
            const auto next = [&] { return query.value(column++); };
            record.started = timeFrom(next());
            record.ended = timeFrom(next());
            record.port = next().toString();
            record.line = next().toString();
            record.programVersion = next().toString();
            record.host = next().toString();
            record.user = next().toString();
            record.manufacturer = next().toString();
            record.model = next().toString();
            record.serialNumber = next().toString();
            record.revision = next().toString();
            record.published = next().toString();
            record.level1Commands = next().toInt() != 0;
            record.discoveryFinished = next().toInt() != 0;
            record.weightStream = weightStreamFromText(next().toString())
                                      .value_or(CheckRecord::WeightStream::NotVerified);
            // The report verifies Level 1 only after the weight stream.
            record.level1 =
                record.level1Commands && record.weightStream == CheckRecord::WeightStream::Verified;
            record.weightStreamMs = next().toLongLong();
            record.elapsedMs = next().toLongLong();
            record.exitStatus = next().toInt();
            next(); // failed: counted from the commands
            record.uuid = next().toString();
            record.edition = next().toInt();
        }
    }
    if (!found) {
        notOnRecord(id);
        rollback();
        return std::nullopt;
    }
    const bool read = readDetails(id, record);
    rollback(); // it only read
    if (!read)
        return std::nullopt;
    return record;
}

bool RecordStore::readDetails(qint64 id, CheckRecord &record)
{
    const auto select = [&](QSqlQuery &query, const QString &sql) {
        query.prepare(sql);
        query.addBindValue(id);
        return query.exec() || failed(query);
    };

    QSqlQuery commands(database());
    if (!select(commands, QStringLiteral("SELECT role, printable, command, result, answer, ms, "
                                         "reason, bytes_arrived, unasked_lines FROM "
                                         "check_commands WHERE check_id = ? ORDER BY role, seq")))
        return false;
    while (commands.next()) {
        TestedCommand command;
        command.printable = commands.value(1).toString();
        command.command = commands.value(2).toString();
        command.result =
            valueOf(kResults, commands.value(3).toString(), TestedCommand::Result::Awaited);
        if (!commands.value(4).isNull())
            command.answer = commands.value(4).toByteArray();
        command.ms = commands.value(5).toLongLong();
        command.reason =
            valueOf(kReasons, commands.value(6).toString(), TestedCommand::Reason::None);
        command.bytesArrived = commands.value(7).toLongLong();
        command.unaskedLines = commands.value(8).toInt();
        const QString role = commands.value(0).toString();
        if (role == kRoleTare)
            record.tare = command;
        else if (role == kRoleUnits)
            record.units = command;
        else
            record.commands << command;
    }

    QSqlQuery lines(database());
    if (!select(lines, QStringLiteral("SELECT kind, text FROM check_texts WHERE check_id = ? "
                                      "ORDER BY kind, seq")))
        return false;
    while (lines.next()) {
        const QString kind = lines.value(0).toString();
        const QString line = lines.value(1).toString();
        if (kind == kAbout)
            record.about << line;
        else if (kind == kInfo)
            record.info << line;
        else if (kind == kReport)
            record.report << line;
        else if (kind == kFlagSeen)
            record.flagsSeen << line;
        else if (kind == kFlagMissing)
            record.flagsMissing << line;
    }

    QSqlQuery findings(database());
    if (!select(findings, QStringLiteral("SELECT severity, code, message, evidence, count FROM "
                                         "check_findings WHERE check_id = ? ORDER BY seq")))
        return false;
    while (findings.next())
        record.findings << Finding{severityFromText(findings.value(0).toString()),
                                   findings.value(1).toString(), findings.value(2).toString(),
                                   findings.value(3).toByteArray(), findings.value(4).toInt()};

    QSqlQuery traffic(database());
    if (!select(traffic, QStringLiteral("SELECT ms, direction, bytes, note FROM check_traffic "
                                        "WHERE check_id = ? ORDER BY seq")))
        return false;
    while (traffic.next())
        record.traffic << RecordedTraffic{
            traffic.value(0).toLongLong(), traffic.value(1).toString(),
            traffic.value(2).toByteArray(), traffic.value(3).toString()};
    return true;
}

std::optional<QList<HistoryRow>> RecordStore::history(const QString &filter, int limit,
                                                      const std::optional<HistoryRow> &after)
{
    if (!open())
        return std::nullopt;
    QStringList conditions;
    const QStringList searched = {QStringLiteral("mfg"), QStringLiteral("model"),
                                  QStringLiteral("serial_number"), QStringLiteral("revision"),
                                  QStringLiteral("port")};
    if (!filter.isEmpty()) {
        QStringList matches;
        for (const QString &column : searched)
            matches
                << QStringLiteral("%1 %2 ? ESCAPE '\\'").arg(column, m_dialect.likeIgnoringCase());
        conditions << QLatin1Char('(') + matches.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    if (after)
        conditions << QStringLiteral("(ended_ms < ? OR (ended_ms = ? AND id < ?))");
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, ended_ms, mfg, model, serial_number, revision, port, "
                                 "level1, weight_stream, failed FROM checks %1 "
                                 "ORDER BY ended_ms DESC, id DESC LIMIT ?")
                      .arg(conditions.isEmpty() ? QString()
                                                : QStringLiteral("WHERE ") +
                                                      conditions.join(QStringLiteral(" AND "))));
    if (!filter.isEmpty()) {
        for (qsizetype i = 0; i < searched.size(); ++i)
            query.addBindValue(containsPattern(filter));
    }
    if (after) {
        const qint64 ended = after->ended.toMSecsSinceEpoch();
        bindAll(query, {ended, ended, after->id});
    }
    query.addBindValue(limit);
    if (!query.exec()) {
        failed(query);
        query = QSqlQuery();
        close(); // a lost connection is made afresh next time
        return std::nullopt;
    }
    QList<HistoryRow> rows;
    while (query.next()) {
        HistoryRow row;
        row.id = query.value(0).toLongLong();
        row.ended = timeFrom(query.value(1));
        row.manufacturer = query.value(2).toString();
        row.model = query.value(3).toString();
        row.serialNumber = query.value(4).toString();
        row.revision = query.value(5).toString();
        row.port = query.value(6).toString();
        row.level1 = query.value(7).toInt() != 0;
        row.weightStream = weightStreamFromText(query.value(8).toString())
                               .value_or(CheckRecord::WeightStream::NotVerified);
        row.failed = query.value(9).toInt();
        rows << row;
    }
    return rows;
}

std::optional<qint64> RecordStore::lastCheckOf(const QString &manufacturer, const QString &model,
                                               const QString &serialNumber)
{
    if (!open())
        return std::nullopt;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT id FROM checks WHERE mfg = ? AND model = ? AND "
                                 "serial_number = ? ORDER BY ended_ms DESC, id DESC LIMIT 1"));
    bindAll(query, {text(manufacturer), text(model), text(serialNumber)});
    if (!query.exec()) {
        failed(query);
        query = QSqlQuery();
        close();
        return std::nullopt;
    }
    return query.next() ? query.value(0).toLongLong() : -1;
}
