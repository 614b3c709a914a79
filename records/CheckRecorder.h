#pragma once

#include "CheckRecord.h"
#include "RecordQueue.h"
#include "RecordStore.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <memory>

// Keeps the tester window's checks on record. A check is written when its
// run ends; the retests, tare and units tests made after it belong to it
// until the next Start, so each one writes the check again over its record.
//
// Writes go to a thread of their own, one after the other in the order they
// were asked for, so that a server that takes seconds to refuse a bench never
// holds up the window; written() tells how each went. A database that cannot
// be written costs nothing but the reason: the next write tries again.
//
// A check for a server goes through the bench's queue (RecordQueue): it is
// kept when the server is away, and waiting() says how many wait and why.
// They are forwarded with the next check and, while checks wait, on a timer
// that tries at most once a minute and less often the longer the server
// stays away.
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
    // The checks waiting for that database's server, for reading on the
    // caller's thread.
    RecordQueue &queue();

    // Start: the next write records a new check, with a uuid of its own.
    void startCheck();
    // Writes the check under way: a new record the first time, its own
    // record after that.
    void write(const CheckRecord &record);

signals:
    // A write has ended; `failure` says why it did not take, or is empty.
    void written(const QString &failure);
    // After each write or forward: how many checks wait for the server
    // (0: none), and why, in plain words.
    void waiting(int count, const QString &why);
    // What the operator should know besides: a damaged queue file moved
    // aside, a check that went straight to the server.
    void notice(const QString &text);

private:
    class Writer;

    void onWaiting(int count, const QString &why);

    QString m_location = chooseRecordLocation({});
    QString m_uuid; // of the check under way
    int m_edition = 0;
    std::unique_ptr<RecordQueue> m_reader; // for reading
    QTimer m_retry;
    int m_retryMs;
    QThread m_thread;
    Writer *m_writer; // lives on m_thread
};
