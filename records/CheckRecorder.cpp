#include "CheckRecorder.h"

// The writing side: the store it writes through is made, used and dropped on
// the writing thread, as a database connection wants.
class CheckRecorder::Writer : public QObject
{
    Q_OBJECT
public:
    explicit Writer(const QString &location) : m_location(location) {}

    void setLocation(const QString &location)
    {
        if (location == m_location && m_store)
            return;
        m_location = location;
        m_store.reset();
        m_id = -1;
    }
    void startCheck() { m_id = -1; }
    void write(const CheckRecord &record)
    {
        if (!m_store)
            m_store = std::make_unique<RecordStore>(m_location);
        QString failure;
        if (m_id >= 0) {
            if (!m_store->update(m_id, record))
                failure = m_store->errorString();
        } else if (const std::optional<qint64> id = m_store->add(record)) {
            m_id = *id;
        } else {
            failure = m_store->errorString();
        }
        emit written(failure);
    }
    void close() { m_store.reset(); }

signals:
    void written(const QString &failure);

private:
    QString m_location;
    std::unique_ptr<RecordStore> m_store;
    qint64 m_id = -1;
};

CheckRecorder::CheckRecorder(QObject *parent) : QObject(parent), m_writer(new Writer(m_location))
{
    m_thread.setObjectName(QStringLiteral("CheckRecorder"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &Writer::written, this, &CheckRecorder::written);
    m_thread.start();
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
        m_store.reset();
    m_location = location;
    QMetaObject::invokeMethod(m_writer,
                              [writer = m_writer, location] { writer->setLocation(location); });
}

RecordStore &CheckRecorder::store()
{
    if (!m_store)
        m_store = std::make_unique<RecordStore>(m_location);
    return *m_store;
}

void CheckRecorder::startCheck()
{
    QMetaObject::invokeMethod(m_writer, &Writer::startCheck);
}

void CheckRecorder::write(const CheckRecord &record)
{
    QMetaObject::invokeMethod(m_writer, [writer = m_writer, record] { writer->write(record); });
}

#include "CheckRecorder.moc"
