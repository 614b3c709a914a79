#include "RecordQueue.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

QString queueFileFor(const RecordLocation &server)
{
    const QByteArray name =
        QCryptographicHash::hash(server.describe().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    return QFileInfo(defaultRecordFile())
        .dir()
        .filePath(QStringLiteral("queue-%1.sqlite").arg(QString::fromLatin1(name)));
}

QString waitingText(int count)
{
    return count == 1 ? QStringLiteral("1 check waiting for the server")
                      : QStringLiteral("%1 checks waiting for the server").arg(count);
}

RecordQueue::RecordQueue(const QString &destination, const QString &queueFile)
    : m_destination(destination)
{
    if (m_destination.location().kind == RecordLocation::Kind::PostgreSql)
        m_queueFile = queueFile.isEmpty() ? queueFileFor(m_destination.location()) : queueFile;
}

RecordQueue::~RecordQueue() = default;

// A damaged file is no reason to lose the next check: it is kept for the
// operator under another name, and a new queue starts beside it.
bool RecordQueue::moveAside(QString &notice)
{
    m_queue.reset();
    const QString aside = m_queueFile + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(m_queueFile, aside)) {
        m_error = QStringLiteral("%1 is damaged and cannot be moved aside")
                      .arg(QDir::toNativeSeparators(m_queueFile));
        return false;
    }
    for (const char *companion : {"-wal", "-shm"}) {
        const QString file = m_queueFile + QLatin1String(companion);
        if (QFileInfo::exists(file))
            QFile::rename(file, aside + QLatin1String(companion));
    }
    notice = QStringLiteral("The queue file %1 was damaged: it is kept as %2 for the operator, "
                            "and a new one was started.")
                 .arg(QDir::toNativeSeparators(m_queueFile), QDir::toNativeSeparators(aside));
    return true;
}

bool RecordQueue::openQueue(QString &notice)
{
    if (!m_queue)
        m_queue = std::make_unique<RecordStore>(m_queueFile);
    if (m_queue->open())
        return true;
    if (m_queue->damaged() && moveAside(notice)) {
        m_queue = std::make_unique<RecordStore>(m_queueFile);
        if (m_queue->open())
            return true;
    }
    if (m_queue)
        m_error = m_queue->errorString();
    return false;
}

RecordQueue::Outcome RecordQueue::keep(const CheckRecord &record)
{
    Outcome outcome;
    if (!queues()) {
        if (!m_destination.put(record))
            outcome.failure = m_destination.errorString();
        return outcome;
    }
    bool queued = openQueue(outcome.notice) && m_queue->put(record);
    if (!queued && m_queue && m_queue->damaged() && moveAside(outcome.notice))
        queued = openQueue(outcome.notice) && m_queue->put(record);
    if (!queued) {
        // Read-only, full or locked: the server, when it answers, still gets it.
        const QString queueFailure = m_queue ? m_queue->errorString() : m_error;
        if (m_destination.put(record)) {
            outcome.sent = 1;
            outcome.notice += (outcome.notice.isEmpty() ? QString() : QStringLiteral(" ")) +
                              QStringLiteral("The queue cannot be written (%1): the check went "
                                             "straight to the server.")
                                  .arg(queueFailure);
        } else {
            outcome.failure = QStringLiteral("the queue cannot be written (%1), and the server "
                                             "cannot be reached either (%2)")
                                  .arg(queueFailure, m_destination.errorString());
        }
        return outcome;
    }
    const Outcome forwarded = forward();
    outcome.sent = forwarded.sent;
    outcome.waiting = forwarded.waiting;
    outcome.why = forwarded.why;
    if (!forwarded.notice.isEmpty())
        outcome.notice += forwarded.notice;
    return outcome;
}

RecordQueue::Outcome RecordQueue::forward()
{
    Outcome outcome;
    if (!queues())
        return outcome;
    if (!openQueue(outcome.notice)) {
        outcome.why = m_error;
        return outcome;
    }
    const std::optional<QList<qint64>> ids = m_queue->ids();
    if (!ids) {
        outcome.why = m_queue->errorString();
        return outcome;
    }
    // Many checks to a transaction, each a round trip fewer; one the server
    // refuses holds up those of its batch only until they go one by one.
    constexpr qsizetype kBatch = 25;
    for (qsizetype first = 0; first < ids->size() && outcome.why.isEmpty(); first += kBatch) {
        QList<CheckRecord> batch;
        QList<std::pair<qint64, int>> sent;
        for (const qint64 id : ids->mid(first, kBatch)) {
            const std::optional<CheckRecord> record = m_queue->load(id);
            if (!record && m_queue->missing())
                continue; // forwarded meanwhile by another program of this bench
            if (!record) {
                outcome.why = m_queue->errorString();
                break;
            }
            batch << *record;
            sent << std::pair{id, record->edition};
        }
        if (!batch.isEmpty() && !m_destination.put(batch)) {
            // One by one, as far as the server takes them; a server that
            // cannot be reached is not asked again for each.
            qsizetype taken = 0;
            if (batch.size() > 1 && !m_destination.openFailed()) {
                while (taken < batch.size() && m_destination.put(batch.at(taken)))
                    ++taken;
            }
            if (taken < batch.size())
                outcome.why = m_destination.errorString();
            sent = sent.mid(0, taken);
        }
        // Should this fail, they are forwarded again later, still once each.
        if (!sent.isEmpty())
            m_queue->remove(sent);
        outcome.sent += int(sent.size());
    }
    outcome.waiting = waiting().value_or(int(ids->size()) - outcome.sent);
    return outcome;
}

std::optional<int> RecordQueue::waiting()
{
    if (!queues())
        return 0;
    QString notice;
    if (!openQueue(notice))
        return std::nullopt;
    const std::optional<QList<qint64>> ids = m_queue->ids();
    if (!ids) {
        m_error = m_queue->errorString();
        return std::nullopt;
    }
    return int(ids->size());
}

std::optional<QList<HistoryRow>> RecordQueue::history(const QString &filter)
{
    if (!queues())
        return QList<HistoryRow>();
    QString notice;
    if (!openQueue(notice))
        return std::nullopt;
    std::optional<QList<HistoryRow>> rows = m_queue->history(filter, 1000000);
    if (!rows) {
        m_error = m_queue->errorString();
        return std::nullopt;
    }
    for (HistoryRow &row : *rows)
        row.queued = true;
    return rows;
}

std::optional<CheckRecord> RecordQueue::load(qint64 id)
{
    QString notice;
    if (!queues() || !openQueue(notice))
        return std::nullopt;
    std::optional<CheckRecord> record = m_queue->load(id);
    if (!record)
        m_error = m_queue->errorString();
    return record;
}
