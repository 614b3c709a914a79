#pragma once

#include "CheckRecord.h"
#include "RecordStore.h"

#include <QString>

#include <memory>

// Keeps the tester window's checks on record. A check is written when its
// run ends; the retests, tare and units tests made after it belong to it
// until the next Start, so each one writes the check again over its record.
// A database that cannot be written costs nothing but the reason: the next
// write tries again.
class CheckRecorder
{
public:
    // `given` as chooseRecordLocation() takes it: the window's setting, or
    // empty for SMA_DB or the default file. A check under way goes on in
    // the new database as a new record.
    void setLocation(const QString &given);
    // The database in use: the setting, SMA_DB or the default file.
    QString location() const { return m_location; }
    // The database in use, opened when asked for.
    RecordStore &store();

    // Start: the next write records a new check.
    void startCheck() { m_id = -1; }
    // Writes the check under way: a new record the first time, its own
    // record after that. Returns why it could not be written, or nothing.
    QString write(const CheckRecord &record);
    // The record of the check under way, -1 before it is written.
    qint64 recordId() const { return m_id; }

private:
    QString m_location = chooseRecordLocation({});
    std::unique_ptr<RecordStore> m_store;
    qint64 m_id = -1;
};
