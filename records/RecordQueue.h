#pragma once

#include "RecordStore.h"

#include <QString>

#include <memory>
#include <optional>

// The bench's own queue in front of a line's server. Every finished check
// is first committed to a local SQLite file (the record store's schema,
// beside the default history file, one file per server) and then forwarded
// to the server, the oldest first. A check the server cannot take yet stays
// in the queue until a later forward gets it there; forwarding is by the
// check's uuid, so a forward that was cut off after the server committed it
// is made again without a second row, and a check written again (a retest,
// tare or units test) forwards its newest state. A destination that is a
// file is written directly: it is on the bench already.
//
// Used from one thread, like the stores it holds.
class RecordQueue
{
public:
    // What keeping or forwarding came to.
    struct Outcome
    {
        QString failure; // the check is kept nowhere, and why; empty when it is kept
        int sent = 0;    // checks forwarded to the server
        int waiting = 0; // checks still waiting for the server
        QString why;     // why they wait, in plain words
        QString notice;  // what the operator should know besides (a queue file moved aside)
    };

    // `destination` as chooseRecordLocation() gives it; `queueFile` empty:
    // the server's own queue file beside the default history file.
    explicit RecordQueue(const QString &destination, const QString &queueFile = {});
    ~RecordQueue();
    RecordQueue(const RecordQueue &) = delete;
    RecordQueue &operator=(const RecordQueue &) = delete;

    // Whether checks go through the queue: the destination is a server.
    bool queues() const { return !m_queueFile.isEmpty(); }
    QString queueFile() const { return m_queueFile; }
    RecordStore &destination() { return m_destination; }

    // Keeps `record`: on the queue, then forwarded with the checks waiting
    // before it. When the queue file cannot be written, straight to the server.
    Outcome keep(const CheckRecord &record);
    // Forwards the waiting checks, oldest first, until none is left or the
    // server fails.
    Outcome forward();
    // How many checks wait; nullopt, with errorString(), when the queue
    // cannot be read.
    std::optional<int> waiting();
    // The waiting checks that `filter` keeps (as RecordStore::history()
    // reads it), marked queued, newest first.
    std::optional<QList<HistoryRow>> history(const QString &filter);
    // A waiting check by its id in the queue.
    std::optional<CheckRecord> load(qint64 id);
    QString errorString() const { return m_error; }

private:
    bool openQueue(QString &notice);
    bool moveAside(QString &notice);

    RecordStore m_destination;
    QString m_queueFile;
    std::unique_ptr<RecordStore> m_queue;
    QString m_error;
};

// The queue file of `server`: in the folder of the default history file,
// named after the server so that a bench switching servers keeps each one's
// checks apart.
QString queueFileFor(const RecordLocation &server);

// "1 check waiting for the server", "2 checks waiting for the server".
QString waitingText(int count);
