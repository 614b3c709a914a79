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
        // 4: a check keeps its identity from the bench to the server, so that
        // forwarding it again never makes a second row; on a server, a bench's
        // role adds checks and revises only its own, while the owner's role
        // alone changes the schema and removes checks.
        {
            QStringLiteral("ALTER TABLE checks ADD COLUMN check_uuid TEXT"),
            QStringLiteral("ALTER TABLE checks ADD COLUMN edition INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("CREATE UNIQUE INDEX checks_by_uuid ON checks (check_uuid)"),
            QStringLiteral("{server}ALTER TABLE checks ADD COLUMN recorded_by TEXT NOT NULL "
                           "DEFAULT session_user"),
            QStringLiteral("{server}ALTER TABLE checks ADD COLUMN recorded_at TIMESTAMPTZ NOT "
                           "NULL DEFAULT now()"),
            QStringLiteral("{server}ALTER TABLE schema_version ENABLE ROW LEVEL SECURITY"),
            QStringLiteral("{server}CREATE POLICY anyone_reads ON schema_version FOR SELECT "
                           "USING (true)"),
            QStringLiteral("{server}ALTER TABLE checks ENABLE ROW LEVEL SECURITY"),
            QStringLiteral("{server}CREATE POLICY anyone_reads ON checks FOR SELECT USING (true)"),
            QStringLiteral("{server}CREATE POLICY adds_as_itself ON checks FOR INSERT "
                           "WITH CHECK (recorded_by = session_user)"),
            QStringLiteral("{server}CREATE POLICY revises_its_own_open ON checks FOR UPDATE "
                           "USING ({open}) WITH CHECK (recorded_by = session_user)"),
            QStringLiteral("{server}{details}ALTER TABLE {table} ENABLE ROW LEVEL SECURITY"),
            QStringLiteral("{server}{details}CREATE POLICY anyone_reads ON {table} FOR SELECT "
                           "USING (true)"),
            QStringLiteral("{server}{details}CREATE POLICY writes_its_own_open ON {table} FOR "
                           "INSERT WITH CHECK (EXISTS (SELECT 1 FROM checks WHERE checks.id = "
                           "{table}.check_id AND {open}))"),
            QStringLiteral("{server}{details}CREATE POLICY replaces_its_own_open ON {table} FOR "
                           "DELETE USING (EXISTS (SELECT 1 FROM checks WHERE checks.id = "
                           "{table}.check_id AND {open}))"),
        },
    };
    return migrations;
}

int recordSchemaVersion()
{
    return int(recordMigrations().size());
}

QStringList SqlDialect::statements(const QString &sql) const
{
    QString statement = sql;
    if (statement.startsWith(QLatin1String("{server}"))) {
        if (!postgres)
            return {};
        statement.remove(0, 8);
    }
    // A check stays open to its bench for a day after the server first had
    // it: long enough for the retests, tare and units tests that belong to it.
    statement.replace(QStringLiteral("{open}"),
                      QStringLiteral("checks.recorded_by = session_user AND checks.recorded_at > "
                                     "now() - interval '1 day'"));
    if (!statement.startsWith(QLatin1String("{details}")))
        return {expand(statement)};
    statement.remove(0, 9);
    QStringList expanded;
    for (const char *table : {"check_commands", "check_texts", "check_findings", "check_traffic"})
        expanded << expand(
            QString(statement).replace(QStringLiteral("{table}"), QLatin1String(table)));
    return expanded;
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
