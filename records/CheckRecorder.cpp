#include "CheckRecorder.h"

void CheckRecorder::setLocation(const QString &given)
{
    const QString location = chooseRecordLocation(given);
    if (location == m_location && m_store)
        return;
    m_location = location;
    m_store.reset();
    m_id = -1;
}

RecordStore &CheckRecorder::store()
{
    if (!m_store)
        m_store = std::make_unique<RecordStore>(m_location);
    return *m_store;
}

QString CheckRecorder::write(const CheckRecord &record)
{
    if (m_id >= 0)
        return store().update(m_id, record) ? QString() : store().errorString();
    const std::optional<qint64> id = store().add(record);
    if (!id)
        return store().errorString();
    m_id = *id;
    return {};
}
