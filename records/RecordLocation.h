#pragma once

#include <QString>

// Where checks are recorded, as an operator gives it: a file, which holds an
// SQLite database, or postgresql://user@host:port/dbname?options (also
// postgres://) for a PostgreSQL server shared by a line of benches. Parts
// left out of the URL come from libpq's environment (PGHOST, PGPORT, PGUSER,
// PGDATABASE, PGSERVICE), so "postgresql:///" uses it all; options such as
// sslmode, sslrootcert and service go to libpq as they are. The password
// comes from libpq's own means (PGPASSWORD, ~/.pgpass, a service file): an
// address that holds one is refused.
struct RecordLocation
{
    enum class Kind { SqliteFile, PostgreSql, Invalid };

    Kind kind = Kind::Invalid;
    QString file; // SqliteFile: an absolute path
    // PostgreSql: what the URL gives; empty (or -1) where it gives nothing.
    QString host;
    int port = -1;
    QString user;
    QString database;
    QString options; // "key=value;key=value" for the driver
    QString error;   // Invalid: why

    // `text` as given; empty gives the default file.
    static RecordLocation parse(const QString &text);
    // For messages: the file, or the URL without its password.
    QString describe() const;
};

// `text` with any password taken out of a postgresql:// address (its user
// part and a password= option); anything else as it is.
QString withoutPassword(const QString &text);

// The default database, shared by the window and sma-check: the file
// history.sqlite in the tester's data folder (the window's
// QStandardPaths::AppDataLocation, ~/.local/share/SMA Compliance Tester on
// Linux), whichever of the two programs asks.
QString defaultRecordFile();

// What to record into: `given` (sma-check's --db, or the window's setting)
// when not empty, else the environment's SMA_DB when not empty, else the
// default file.
QString chooseRecordLocation(const QString &given);
