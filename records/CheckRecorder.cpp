#include "CheckRecorder.h"

#include <QUuid>

namespace {

// A line of benches retrying at once should not keep a server that comes
// back busy: the first retry waits a minute, each further one twice as long.
constexpr int kFirstRetryMs = 60 * 1000;
constexpr int kLongestRetryMs = 8 * 60 * 1000;

} // namespace

// The writing side: the queue it writes through is made, used and dropped on
// the writing thread, as a database connection wants.
class CheckRecorder::Writer : public QObject
{
    Q_OBJECT
public:
    explicit Writer(const QString &location) : m_location(location) {}

    void setLocation(const QString &location)
    {
        if (location == m_location)
            return;
        m_location = location;
        m_queue.reset();
    }
    void write(const CheckRecord &record)
    {
        const RecordQueue::Outcome outcome = queue().keep(record);
        tell(outcome);
        emit written(outcome.failure);
    }
    void forward() { tell(queue().forward()); }
    void close() { m_queue.reset(); }

signals:
    void written(const QString &failure);
    void waiting(int count, const QString &why);
    void notice(const QString &text);

private:
    RecordQueue &queue()
    {
        if (!m_queue)
            m_queue = std::make_unique<RecordQueue>(m_location);
        return *m_queue;
    }
    void tell(const RecordQueue::Outcome &outcome)
    {
        if (!outcome.notice.isEmpty())
            emit notice(outcome.notice);
        emit waiting(outcome.waiting, outcome.why);
    }

    QString m_location;
    std::unique_ptr<RecordQueue> m_queue;
};

CheckRecorder::CheckRecorder(QObject *parent)
    : QObject(parent), m_retryMs(kFirstRetryMs), m_writer(new Writer(m_location))
{
    m_thread.setObjectName(QStringLiteral("CheckRecorder"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &Writer::written, this, &CheckRecorder::written);
    connect(m_writer, &Writer::waiting, this, &CheckRecorder::onWaiting);
    connect(m_writer, &Writer::notice, this, &CheckRecorder::notice);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this,
            [this] { QMetaObject::invokeMethod(m_writer, &Writer::forward); });
    m_thread.start();
    // Checks left waiting by an earlier run, or by sma-check, are told and sent.
    QMetaObject::invokeMethod(m_writer, &Writer::forward);
}

CheckRecorder::~CheckRecorder()
{
    QMetaObject::invokeMethod(m_writer, &Writer::close, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_writer;
}

void CheckRecorder::setLocation(const QString &given)
{
    const QString location = chooseRecordLocation(given);
    if (location != m_location)
        m_reader.reset();
    m_location = location;
    m_retry.stop();
    m_retryMs = kFirstRetryMs;
    QMetaObject::invokeMethod(m_writer, [writer = m_writer, location] {
        writer->setLocation(location);
        writer->forward();
    });
}

RecordStore &CheckRecorder::store()
{
    return queue().destination();
}

RecordQueue &CheckRecorder::queue()
{
    if (!m_reader)
        m_reader = std::make_unique<RecordQueue>(m_location);
    return *m_reader;
}

void CheckRecorder::startCheck()
{
    m_uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_edition = 0;
}

void CheckRecorder::write(const CheckRecord &record)
{
    if (m_uuid.isEmpty())
        startCheck();
    CheckRecord stamped = record;
    stamped.uuid = m_uuid;
    stamped.edition = ++m_edition;
    QMetaObject::invokeMethod(m_writer, [writer = m_writer, stamped] { writer->write(stamped); });
}

void CheckRecorder::onWaiting(int count, const QString &why)
{
    if (count == 0) {
        m_retry.stop();
        m_retryMs = kFirstRetryMs;
    } else if (!m_retry.isActive()) {
        m_retry.start(m_retryMs);
        m_retryMs = std::min(m_retryMs * 2, kLongestRetryMs);
    }
    emit waiting(count, why);
}

#include "CheckRecorder.moc"
