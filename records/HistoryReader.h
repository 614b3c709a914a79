#pragma once

#include "RecordQueue.h"
#include "RecordStore.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>

// Reads the check history on a thread of its own, so that a server that
// takes its connect time-out to answer, or never answers, holds up no window:
// every request returns at once with its number, and its answer arrives as a
// signal carrying that number, in the order the requests were made.
//
// The database is opened by the first request that needs it; connecting()
// says so when it starts and opened() or failed() when it ends. When it
// cannot be opened, the requests that were already waiting fail at once with
// the same reason instead of each waiting out the time-out again; a request
// made after the failure tries again. A query that fails drops the
// connection, so that the next request connects afresh to a server that
// came back.
class HistoryReader : public QObject
{
    Q_OBJECT
public:
    // `location` as RecordStore takes it (chooseRecordLocation()'s result).
    explicit HistoryReader(const QString &location, QObject *parent = nullptr);
    // Waits for the request under way, at most the connect time-out.
    ~HistoryReader() override;

    // The requests made after this go to `location`; those made before
    // still go to the database they were made for.
    void setLocation(const QString &location);
    QString location() const { return m_location; }

    // Up to `limit` rows as RecordStore::history() reads them: pageRead().
    // The first page (no `after`) tells first of the checks that `filter`
    // keeps among those still waiting in the bench's queue for the server:
    // queuedRead(), even when the server cannot be read.
    int readPage(const QString &filter, int limit, const std::optional<HistoryRow> &after = {});
    // The whole checks of `rows`, in that order, a queued one from the
    // bench's queue: checksLoaded().
    int load(const QList<HistoryRow> &rows);
    // Every row `filter` keeps, as CSV into `fileName`, replaced only when
    // it is all written: exported().
    int exportCsv(const QString &filter, const QString &fileName);

signals:
    // The database is being opened: for a server, the connect has begun.
    // `where` is the location as messages name it.
    void connecting(const QString &where, bool server);
    void opened(const QString &where);
    void queuedRead(int request, const QList<HistoryRow> &rows);
    void pageRead(int request, const QList<HistoryRow> &rows);
    void checksLoaded(int request, const QList<CheckRecord> &records);
    void exported(int request);
    // Request `request` could not be answered, and why in plain words.
    void failed(int request, const QString &reason);

private:
    class Worker;

    int nextRequest();

    QString m_location;
    // The number of the newest request made, read by the worker to tell the
    // requests made before a failed opening from those made after it.
    std::shared_ptr<std::atomic<int>> m_lastRequest = std::make_shared<std::atomic<int>>(0);
    QThread m_thread;
    Worker *m_worker; // lives on m_thread
};
