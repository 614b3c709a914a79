#pragma once

#include "CheckRecord.h"
#include "RecordLocation.h"
#include "RecordSchema.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

class QSqlDatabase;
class QSqlQuery;

// One row of the check history: what tells checks apart at a glance.
struct HistoryRow
{
    qint64 id = -1;
    QDateTime ended;
    QString manufacturer;
    QString model;
    QString serialNumber;
    QString revision;
    QString port;
    bool level1 = false; // A, B, D, W and Z passed
    CheckRecord::WeightStream weightStream = CheckRecord::WeightStream::NotVerified;
    int failed = 0;      // how many tested commands failed
    bool queued = false; // kept on the bench, not yet on the server

    bool operator==(const HistoryRow &) const = default;
};

// The records of finished checks in a database: an SQLite file on the bench
// or a PostgreSQL server for a line of benches, through Qt SQL with the same
// SQL for both. Opening a database brings its schema forward to this
// program's version; a check is written in one transaction, so a failure
// leaves nothing half written. Every call that can fail returns so and
// leaves errorString() saying why in plain words; none throws or ends the
// program. Each store has a connection of its own, used from the thread
// that made the store.
class RecordStore
{
public:
    // `location` as RecordLocation::parse() reads it; empty: the default file.
    explicit RecordStore(const QString &location);
    ~RecordStore();
    RecordStore(const RecordStore &) = delete;
    RecordStore &operator=(const RecordStore &) = delete;

    const RecordLocation &location() const { return m_location; }
    QString errorString() const { return m_error; }
    // What the last failure was: the server refused the role the right
    // (PostgreSQL), or the file is damaged (SQLite).
    bool refused() const;
    bool damaged() const;
    // The check asked for is not (or no longer) there.
    bool missing() const;

    // Opens the database (an SQLite file and its folder are made when
    // missing) and migrates it. True at once when it is open.
    bool open();
    bool isOpen() const;
    // The last open() could not reach or use the database at all.
    bool openFailed() const { return m_openFailed; }
    void close();
    // The schema version of the open database.
    int schemaVersion();

    // Writes a new check; returns its id.
    std::optional<qint64> add(const CheckRecord &record);
    // Writes several in one transaction: all or none.
    std::optional<QList<qint64>> add(const QList<CheckRecord> &records);
    // Writes `record` as the check its uuid names: a new one, or over the
    // one already kept unless that one is of a later edition. Written again
    // after a write that was cut off, it still leaves one check. Returns its id.
    std::optional<qint64> put(const CheckRecord &record);
    // Puts several in one transaction: all or none.
    std::optional<QList<qint64>> put(const QList<CheckRecord> &records);
    // Removes check `id` when it is still of `edition`.
    bool remove(qint64 id, int edition);
    // Removes each (id, edition) of `checks` so, in one transaction.
    bool remove(const QList<std::pair<qint64, int>> &checks);
    // Every check's id, oldest first.
    std::optional<QList<qint64>> ids();
    // Replaces what is kept of check `id` with `record`.
    bool update(qint64 id, const CheckRecord &record);
    // The whole check `id`; nullopt when it is not there or cannot be read.
    std::optional<CheckRecord> load(qint64 id);

    // Up to `limit` rows, newest first, after `after` when given (the last
    // row of the page before). `filter` keeps the rows whose MFG, MOD, SN,
    // REV or port contain it, in any case; empty keeps all.
    std::optional<QList<HistoryRow>> history(const QString &filter, int limit,
                                             const std::optional<HistoryRow> &after = {});
    // The id of the newest check of this scale (same MFG, MOD and SN), or
    // -1 when there is none; nullopt on a failure.
    std::optional<qint64> lastCheckOf(const QString &manufacturer, const QString &model,
                                      const QString &serialNumber);

private:
    QSqlDatabase database() const;
    QVariant text(const QString &value) const;
    QVariantList checkValues(const CheckRecord &record) const;
    bool migrate();
    void mayNotMigrate(int version);
    QString roleName() const;
    void withoutRights(const QString &what);
    bool execute(const QString &sql);
    bool failed(const QSqlQuery &query);
    bool fail(const QString &what);
    bool say(const QString &what);
    bool notOnRecord(qint64 id);
    std::optional<qint64> insertCheck(const CheckRecord &record);
    std::optional<qint64> putInTransaction(const CheckRecord &record);
    bool replaceCheck(qint64 id, const CheckRecord &record);
    bool writeDetails(qint64 id, const CheckRecord &record);
    bool insertRows(const QString &table, const QStringList &columns,
                    const QList<QVariantList> &rows);
    bool readDetails(qint64 id, CheckRecord &record);
    bool begin(const QString &transaction);
    bool commit();
    void rollback();

    RecordLocation m_location;
    QString m_connection;
    SqlDialect m_dialect;
    QString m_error;
    QString m_code; // the database's own code of the last failure
    bool m_openFailed = false;
};
