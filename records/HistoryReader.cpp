#include "HistoryReader.h"

#include "HistoryExport.h"

#include <QDir>

#include <QSaveFile>
#include <algorithm>

// The reading side: its store is made, used and dropped on the reading
// thread, as a database connection wants. What it finds goes back to the
// reader's thread as queued calls, which are dropped with the reader.
class HistoryReader::Worker : public QObject
{
public:
    Worker(HistoryReader *reader, const QString &location,
           std::shared_ptr<std::atomic<int>> lastRequest)
        : m_reader(reader), m_location(location), m_lastRequest(std::move(lastRequest))
    {}

    void setLocation(const QString &location)
    {
        if (location == m_location)
            return;
        m_location = location;
        m_store.reset();
        m_queue.reset();
        m_failedThrough = 0;
    }

    void readPage(int request, const QString &filter, int limit,
                  const std::optional<HistoryRow> &after)
    {
        if (!after) {
            const QList<HistoryRow> queued = queue().history(filter).value_or(QList<HistoryRow>());
            tell([request, queued](HistoryReader *reader) {
                emit reader->queuedRead(request, queued);
            });
        }
        if (!ready(request))
            return;
        const std::optional<QList<HistoryRow>> rows = m_store->history(filter, limit, after);
        if (!rows)
            return queryFailed(request);
        tell([request, rows = *rows](HistoryReader *reader) {
            emit reader->pageRead(request, rows);
        });
    }

    void load(int request, const QList<HistoryRow> &rows)
    {
        const bool fromServer = std::any_of(rows.begin(), rows.end(),
                                            [](const HistoryRow &row) { return !row.queued; });
        if (fromServer && !ready(request))
            return;
        QList<CheckRecord> records;
        for (const HistoryRow &row : rows) {
            if (row.queued) {
                const std::optional<CheckRecord> record = queue().load(row.id);
                if (!record)
                    return fail(request, queue().errorString());
                records << *record;
                continue;
            }
            const std::optional<CheckRecord> record = m_store->load(row.id);
            if (!record)
                return queryFailed(request);
            records << *record;
        }
        tell([request, records](HistoryReader *reader) {
            emit reader->checksLoaded(request, records);
        });
    }

    void exportCsv(int request, const QString &filter, const QString &fileName)
    {
        if (!ready(request))
            return;
        QSaveFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return fail(request, file.errorString());
        file.write((csvLine(historyHeader()) + QLatin1Char('\n')).toUtf8());
        const bool read = forEachHistoryRow(*m_store, filter, [&](const HistoryRow &row) {
            file.write((csvLine(historyFields(row)) + QLatin1Char('\n')).toUtf8());
        });
        if (!read)
            return queryFailed(request);
        if (!file.commit())
            return fail(request, file.errorString());
        tell([request](HistoryReader *reader) { emit reader->exported(request); });
    }

    void close()
    {
        m_store.reset();
        m_queue.reset();
    }

private:
    // The bench's queue for the server, read from its local file.
    RecordQueue &queue()
    {
        if (!m_queue)
            m_queue = std::make_unique<RecordQueue>(m_location);
        return *m_queue;
    }

    template <typename Call> void tell(Call call)
    {
        QMetaObject::invokeMethod(m_reader, [reader = m_reader, call] { call(reader); });
    }

    void fail(int request, const QString &reason)
    {
        tell([request, reason](HistoryReader *reader) { emit reader->failed(request, reason); });
    }

    // Whether the store is open for `request`, opening it when it is not.
    bool ready(int request)
    {
        if (m_store && m_store->isOpen())
            return true;
        if (request <= m_failedThrough) {
            fail(request, m_failure);
            return false;
        }
        if (!m_store)
            m_store = std::make_unique<RecordStore>(m_location);
        const QString where = m_store->location().describe();
        const bool server = m_store->location().kind == RecordLocation::Kind::PostgreSql;
        tell([where, server](HistoryReader *reader) { emit reader->connecting(where, server); });
        if (!m_store->open()) {
            queryFailed(request);
            return false;
        }
        tell([where](HistoryReader *reader) { emit reader->opened(where); });
        return true;
    }

    // A database that could not be opened, or a connection lost, would fail
    // the requests already waiting the same way: they are told without
    // trying. A query refused on a sound connection (a check not on record)
    // is this request's alone. Either way the next request connects afresh.
    void queryFailed(int request)
    {
        const QString reason = m_store->errorString();
        if (!m_store->isOpen()) {
            m_failure = reason;
            m_failedThrough = m_lastRequest->load();
        }
        m_store.reset();
        fail(request, reason);
    }

    HistoryReader *m_reader;
    QString m_location;
    std::shared_ptr<std::atomic<int>> m_lastRequest;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<RecordQueue> m_queue;
    int m_failedThrough = 0; // the requests up to this one fail with m_failure
    QString m_failure;
};

HistoryReader::HistoryReader(const QString &location, QObject *parent)
    : QObject(parent), m_location(location), m_worker(new Worker(this, location, m_lastRequest))
{
    m_thread.setObjectName(QStringLiteral("HistoryReader"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

HistoryReader::~HistoryReader()
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->close(); });
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

int HistoryReader::nextRequest()
{
    return ++*m_lastRequest;
}

void HistoryReader::setLocation(const QString &location)
{
    m_location = location;
    QMetaObject::invokeMethod(m_worker,
                              [worker = m_worker, location] { worker->setLocation(location); });
}

int HistoryReader::readPage(const QString &filter, int limit,
                            const std::optional<HistoryRow> &after)
{
    const int request = nextRequest();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, request, filter, limit, after] {
        worker->readPage(request, filter, limit, after);
    });
    return request;
}

int HistoryReader::load(const QList<HistoryRow> &rows)
{
    const int request = nextRequest();
    QMetaObject::invokeMethod(m_worker,
                              [worker = m_worker, request, rows] { worker->load(request, rows); });
    return request;
}

int HistoryReader::exportCsv(const QString &filter, const QString &fileName)
{
    const int request = nextRequest();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, request, filter, fileName] {
        worker->exportCsv(request, filter, fileName);
    });
    return request;
}
