#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

// One line of the traffic with the scale: a frame or a fragment of one.
struct TrafficEntry
{
    enum class Kind {
        Sent,      // a command frame the tester wrote
        Received,  // bytes from the scale not (yet) taken as an answer
        Answer,    // the bytes that completed an answer
        Discarded, // bytes thrown away unread: they came when no answer was wanted
    };

    qint64 ms = 0; // since the recording began (Start)
    Kind kind = Kind::Received;
    QByteArray bytes;       // as they went over the wire
    QString takenFor;       // Answer: the command it answered ("<LF>A<CR>")
    QByteArray answer;      // Answer: the text between LF and CR
    qint64 responseMs = -1; // Answer: from sending the command to this answer
};

// Everything the tester sent to the scale and received from it since Start,
// one entry per frame or fragment, with the answer each command got and what
// was thrown away. Received bytes are split after every CR, so that a frame
// never shares its line with the next.
class TrafficLog : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Empties the log; times count from now.
    void restart();

    void sent(const QByteArray &frame);
    void received(const QByteArray &chunk);
    // Bytes thrown away without ever reaching the answer buffer.
    void discarded(const QByteArray &bytes);
    // The answer buffer gave `consumed` bytes, ending with `answer`'s CR, as
    // the answer to `takenFor`: the received lines they came in are marked.
    void answerTaken(const QByteArray &consumed, const QByteArray &answer, const QString &takenFor,
                     qint64 responseMs);
    // The answer buffer was emptied before a send: what was received and
    // not taken is marked as thrown away.
    void pendingDiscarded();

    const QList<TrafficEntry> &entries() const { return m_entries; }
    qsizetype size() const { return m_entries.size(); }

    // A byte string as the tester lists commands: control characters by
    // their names ("<LF>", "<CR>", "<STX>"), bytes above 126 as "<DEL>" or
    // "<?>", blanks and printable characters as they are.
    static QString printable(const QByteArray &bytes);
    // "0a 41 0d".
    static QString hex(const QByteArray &bytes);
    // "TX", "RX" or "RX" with a note: the direction as the log shows it.
    static QString direction(TrafficEntry::Kind kind);
    // What the log says of an entry besides its bytes: "answer to <LF>A<CR>
    // after 12 ms", "discarded", or nothing.
    static QString note(const TrafficEntry &entry);
    // One line of text for a saved log or a trace file.
    static QString line(const TrafficEntry &entry, bool asHex = false);

signals:
    void appended(qsizetype first, qsizetype last);
    void entryChanged(qsizetype index);
    void cleared();

private:
    void append(TrafficEntry::Kind kind, const QByteArray &bytes);

    QList<TrafficEntry> m_entries;
    QElapsedTimer m_clock;
    qsizetype m_firstPending = -1; // first received line not yet taken or dropped
};
