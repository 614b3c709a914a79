#pragma once

#include "CheckRecord.h"
#include "RecordStore.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <memory>

// Keeps the tester window's checks on record. A check is written when its
// run ends; the retests, tare and units tests made after it belong to it
// until the next Start, so each one writes the check again over its record.
//
// Writes go to a thread of their own, one after the other in the order they
// were asked for, so that a server that takes seconds to refuse a bench never
// holds up the window; written() tells how each went. A database that cannot
// be written costs nothing but the reason: the next write tries again.
class CheckRecorder : public QObject
{
    Q_OBJECT
public:
    explicit CheckRecorder(QObject *parent = nullptr);
    // Waits for the writes asked for to end.
    ~CheckRecorder() override;

    // `given` as chooseRecordLocation() takes it: the window's setting, or
    // empty for SMA_DB or the default file. A check under way goes on in
    // the new database as a new record.
    void setLocation(const QString &given);
    // The database in use: the setting, SMA_DB or the default file.
    QString location() const { return m_location; }
    // The database in use, opened when asked for, for reading on the
    // caller's thread.
    RecordStore &store();

    // Start: the next write records a new check.
    void startCheck();
    // Writes the check under way: a new record the first time, its own
    // record after that.
    void write(const CheckRecord &record);

signals:
    // A write has ended; `failure` says why it did not take, or is empty.
    void written(const QString &failure);

private:
    class Writer;

    QString m_location = chooseRecordLocation({});
    std::unique_ptr<RecordStore> m_store; // for reading
    QThread m_thread;
    Writer *m_writer; // lives on m_thread
};
