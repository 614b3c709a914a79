#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The tables of the record store, as one list of migrations: migration n
// (counted from 1) brings a database from schema version n - 1 to n. The
// SQL is the same for SQLite and PostgreSQL but for what the dialect puts
// in for {id}, {int64} and {blob}; a statement that starts with {server} is
// run on PostgreSQL only (the rights of a line's roles), and one that starts
// with {details} once for each table of a check's lists. A migration once released never changes:
// a database of any earlier version is brought forward by running the ones
// it lacks.
const QList<QStringList> &recordMigrations();

// The schema version this program writes: the number of migrations.
int recordSchemaVersion();

// What differs between the two databases, all in one place.
struct SqlDialect
{
    bool postgres = false;

    // `sql` with its type markers put in: {id} an automatic key, {int64} a
    // 64-bit whole number, {blob} bytes.
    QString expand(const QString &sql) const;
    // The statements a migration's `sql` stands for in this database: none,
    // one, or one per table of a check's lists.
    QStringList statements(const QString &sql) const;
    // Starts a transaction that writes: SQLite takes the write lock at once,
    // so that two writers wait for each other instead of failing halfway.
    QString beginWrite() const;
    // Starts a transaction that reads one consistent state of the database.
    QString beginRead() const;
    // How many rows one INSERT carries: on a server every statement is a
    // round trip, so many; SQLite, in the same process, does best with one
    // prepared row used again and again.
    qsizetype rowsPerInsert() const { return postgres ? 100 : 1; }
    // LIKE that ignores case (ASCII letters at least): SQLite's own LIKE does,
    // PostgreSQL's ILIKE.
    QString likeIgnoringCase() const;
    // `text` as the database can hold it: PostgreSQL's texts hold no NUL
    // character, which a scale may send in a listing; it is kept as U+2400
    // (the symbol for NUL) there.
    QString storable(const QString &text) const;
    // Run first in a migration's transaction: on a server, processes opening
    // a new database at once migrate it one after the other. Empty for SQLite,
    // whose write lock does the same.
    QString lockForMigration() const;
};
