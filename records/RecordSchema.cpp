#include "RecordSchema.h"

const QList<QStringList> &recordMigrations()
{
    static const QList<QStringList> migrations = {
        // 1: one row per check, its lists in tables of their own.
        {
            QStringLiteral("CREATE TABLE checks ("
                           "id {id}, "
                           "started_ms {int64}, "
                           "ended_ms {int64} NOT NULL, "
                           "port TEXT NOT NULL, "
                           "line_settings TEXT NOT NULL, "
                           "program_version TEXT NOT NULL, "
                           "host TEXT NOT NULL, "
                           "user_name TEXT NOT NULL, "
                           "mfg TEXT NOT NULL, "
                           "model TEXT NOT NULL, "
                           "serial_number TEXT NOT NULL, "
                           "revision TEXT NOT NULL, "
                           "published TEXT NOT NULL, "
                           "level1 INTEGER NOT NULL, " // A, B, D, W and Z passed
                           "discovery_finished INTEGER NOT NULL, "
                           "weight_stream TEXT NOT NULL, "
                           "weight_stream_ms {int64} NOT NULL, "
                           "elapsed_ms {int64} NOT NULL, "
                           "exit_status INTEGER NOT NULL)"),
            // role: "run" for the list of tested commands, "tare" and
            // "units" for the single tests.
            QStringLiteral("CREATE TABLE check_commands ("
                           "check_id {int64} NOT NULL REFERENCES checks(id) ON DELETE CASCADE, "
                           "role TEXT NOT NULL, "
                           "seq INTEGER NOT NULL, "
                           "printable TEXT NOT NULL, "
                           "command TEXT NOT NULL, "
                           "result TEXT NOT NULL, "
                           "answer {blob}, "
                           "ms {int64} NOT NULL, "
                           "reason TEXT NOT NULL, "
                           "PRIMARY KEY (check_id, role, seq))"),
            // kind: "about", "info", "report", "flag seen", "flag missing".
            QStringLiteral("CREATE TABLE check_texts ("
                           "check_id {int64} NOT NULL REFERENCES checks(id) ON DELETE CASCADE, "
                           "kind TEXT NOT NULL, "
                           "seq INTEGER NOT NULL, "
                           "text TEXT NOT NULL, "
                           "PRIMARY KEY (check_id, kind, seq))"),
            QStringLiteral("CREATE TABLE check_findings ("
                           "check_id {int64} NOT NULL REFERENCES checks(id) ON DELETE CASCADE, "
                           "seq INTEGER NOT NULL, "
                           "severity TEXT NOT NULL, "
                           "code TEXT NOT NULL, "
                           "message TEXT NOT NULL, "
                           "evidence {blob} NOT NULL, "
                           "PRIMARY KEY (check_id, seq))"),
            QStringLiteral("CREATE TABLE check_traffic ("
                           "check_id {int64} NOT NULL REFERENCES checks(id) ON DELETE CASCADE, "
                           "seq INTEGER NOT NULL, "
                           "ms {int64} NOT NULL, "
                           "direction TEXT NOT NULL, "
                           "bytes {blob} NOT NULL, "
                           "note TEXT NOT NULL, "
                           "PRIMARY KEY (check_id, seq))"),
        },
        // 2: the history lists checks newest first with how many commands
        // failed, and finds a scale's last check, without reading every row.
        {
            QStringLiteral("ALTER TABLE checks ADD COLUMN failed INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("UPDATE checks SET failed = (SELECT COUNT(*) FROM check_commands "
                           "WHERE check_commands.check_id = checks.id "
                           "AND check_commands.role = 'run' AND check_commands.result = 'failed')"),
            QStringLiteral("CREATE INDEX checks_by_end ON checks (ended_ms, id)"),
            QStringLiteral("CREATE INDEX checks_by_scale ON checks "
                           "(serial_number, model, mfg, ended_ms, id)"),
        },
        // 3: findings of one code and one cause are one, with how often; a
        // command that failed without an answer says what came instead.
        {
            QStringLiteral(
                "ALTER TABLE check_findings ADD COLUMN count INTEGER NOT NULL DEFAULT 1"),
            QStringLiteral("ALTER TABLE check_commands ADD COLUMN bytes_arrived {int64} NOT NULL "
                           "DEFAULT 0"),
            QStringLiteral("ALTER TABLE check_commands ADD COLUMN unasked_lines INTEGER NOT NULL "
                           "DEFAULT 0"),
        },
    };
    return migrations;
}

int recordSchemaVersion()
{
    return int(recordMigrations().size());
}

QString SqlDialect::expand(const QString &sql) const
{
    QString expanded = sql;
    expanded.replace(QStringLiteral("{id}"),
                     postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                              : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"));
    expanded.replace(QStringLiteral("{int64}"),
                     postgres ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER"));
    expanded.replace(QStringLiteral("{blob}"),
                     postgres ? QStringLiteral("BYTEA") : QStringLiteral("BLOB"));
    return expanded;
}

QString SqlDialect::beginWrite() const
{
    return postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
}

QString SqlDialect::beginRead() const
{
    return postgres ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")
                    : QStringLiteral("BEGIN");
}

QString SqlDialect::lockForMigration() const
{
    // Any number of the database's own; "SMA" in ASCII.
    return postgres ? QStringLiteral("SELECT pg_advisory_xact_lock(5459265)") : QString();
}

QString SqlDialect::likeIgnoringCase() const
{
    return postgres ? QStringLiteral("ILIKE") : QStringLiteral("LIKE");
}

QString SqlDialect::storable(const QString &text) const
{
    if (!postgres || !text.contains(QChar(0)))
        return text;
    return QString(text).replace(QChar(0), QChar(0x2400));
}
