#pragma once

#include "TrafficRecorder.h"

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
        NotKept,   // stands for the entries dropped to keep the record within its budget
    };
    // Whose traffic it is: the session's run and single tests, the weight
    // stream analysis's, or the probes of a search for the line settings.
    enum class Source { Session, WeightStream, SettingsSearch };

    qint64 ms = 0; // since the recording began (Start)
    Kind kind = Kind::Received;
    Source source = Source::Session;
    QByteArray bytes;       // as they went over the wire; of discarded bytes only the first
    QString takenFor;       // Answer: the command it answered ("<LF>A<CR>")
    QByteArray answer;      // Answer: the text between LF and CR
    qint64 responseMs = -1; // Answer: from sending the command to this answer
    qint64 byteCount = 0; // the bytes it stands for; more than bytes.size() when not all were kept
    qint64 entries = 1;   // NotKept: how many entries it stands for
};

// What the record saw in all, whether or not it kept the entries.
struct TrafficTotals
{
    qint64 bytesSent = 0;
    qint64 bytesReceived = 0;  // everything from the scale, thrown away or not
    qint64 bytesDiscarded = 0; // of those, thrown away unread
    qint64 entriesNotKept = 0;
    qint64 bytesNotKept = 0;
};

// Everything the tester sent to the scale and received from it since Start,
// one entry per frame or fragment, with the answer each command got and what
// was thrown away; the session's traffic and the weight stream analysis's on
// one clock. Received bytes are split after every CR, so that a frame never
// shares its line with the next.
//
// The record is bounded, so that a scale flooding the line cannot grow the
// tester without end: consecutive bytes thrown away become one entry that
// keeps their first kDiscardedBytesKept bytes and counts the rest, and past
// kEntryBudget entries or kByteBudget kept bytes the record keeps its
// beginning and its newest entries, with one NotKept entry between them
// saying how many entries and bytes went. totals() counts everything.
class TrafficLog : public QObject, public TrafficRecorder
{
    Q_OBJECT
public:
    static constexpr qsizetype kEntryBudget = 20000;
    static constexpr qsizetype kByteBudget = 4 * 1024 * 1024;
    static constexpr qsizetype kDiscardedBytesKept = 128;

    explicit TrafficLog(QObject *parent = nullptr);

    // Empties the log; times count from now.
    void restart();

    // The session's own traffic.
    void sent(const QByteArray &frame) override;
    void received(const QByteArray &chunk) override;
    void discarded(const QByteArray &bytes) override;
    void answerTaken(const QByteArray &after, const QByteArray &answer, const QString &takenFor,
                     qint64 responseMs) override;
    void pendingDiscarded() override;

    // The weight stream analysis records through this; its entries are
    // marked as its own.
    TrafficRecorder *weightStreamRecorder() { return &m_weightStream; }
    // The same for the search for the line settings.
    TrafficRecorder *settingsSearchRecorder() { return &m_settingsSearch; }

    const QList<TrafficEntry> &entries() const { return m_entries; }
    qsizetype size() const { return m_entries.size(); }
    const TrafficEntry &at(qsizetype index) const { return m_entries.at(index); }
    const TrafficTotals &totals() const { return m_totals; }
    // The bytes the entries keep.
    qint64 keptBytes() const { return m_keptBytes; }

    // A byte string as the tester lists commands: control characters by
    // their names ("<LF>", "<CR>", "<STX>"), bytes above 126 as "<DEL>" or
    // "<?>", blanks and printable characters as they are.
    static QString printable(const QByteArray &bytes);
    // "0a 41 0d".
    static QString hex(const QByteArray &bytes);
    // "1,482,110": a count as the log and the findings write it.
    static QString counted(qint64 number);
    // "TX", "RX", or "--" for entries not kept: the direction as the log shows it.
    static QString direction(TrafficEntry::Kind kind);
    // What the log says of an entry besides its bytes: "answer to <LF>A<CR>
    // after 12 ms", "discarded", "discarded, 1,482,110 bytes", "weight
    // stream: answer to <LF>W<CR> after 95 ms", or nothing.
    static QString note(const TrafficEntry &entry);
    // One line of text for a saved log or a trace file.
    static QString line(const TrafficEntry &entry, bool asHex = false);
    // Every entry as such a line, each ended by LF: the saved log and the trace file.
    QByteArray text(bool asHex = false) const;

signals:
    void appended(qsizetype first, qsizetype last);
    void entryChanged(qsizetype index);
    // Entries first to last go (budget, or received lines joined as discarded).
    void aboutToDrop(qsizetype first, qsizetype last);
    void dropped(qsizetype first, qsizetype last);
    void cleared();

private:
    using Source = TrafficEntry::Source;

    // Records on behalf of one source other than the session.
    class SourceRecorder : public TrafficRecorder
    {
    public:
        SourceRecorder(TrafficLog &log, Source source) : m_log(log), m_source(source) {}
        void sent(const QByteArray &frame) override { m_log.recordSent(m_source, frame); }
        void received(const QByteArray &chunk) override { m_log.recordReceived(m_source, chunk); }
        void discarded(const QByteArray &bytes) override { m_log.recordDiscarded(m_source, bytes); }
        void answerTaken(const QByteArray &after, const QByteArray &answer, const QString &takenFor,
                         qint64 responseMs) override
        {
            m_log.markAnswer(after, answer, takenFor, responseMs);
        }
        void pendingDiscarded() override { m_log.discardPending(); }

    private:
        TrafficLog &m_log;
        Source m_source;
    };

    void recordSent(Source source, const QByteArray &frame);
    void recordReceived(Source source, const QByteArray &chunk);
    void recordDiscarded(Source source, const QByteArray &bytes);
    void markAnswer(const QByteArray &after, const QByteArray &answer, const QString &takenFor,
                    qint64 responseMs);
    void discardPending();

    static bool endsLine(Source source, char byte);
    void append(TrafficEntry::Kind kind, Source source, const QByteArray &bytes);
    // Turns entry `index` into a discarded one, or adds `bytes` to it.
    void keepDiscarded(TrafficEntry &entry, const QByteArray &bytes);
    bool isDiscardedOf(qsizetype index, Source source) const;
    void dropEntries(qsizetype first, qsizetype count);
    void keepWithinBudget();
    void startNotKept();

    QList<TrafficEntry> m_entries;
    QElapsedTimer m_clock;
    TrafficTotals m_totals;
    qint64 m_keptBytes = 0;
    qsizetype m_firstPending = -1; // first received line not yet taken or dropped
    qsizetype m_notKept = -1;      // the NotKept entry, once the budget has been reached
    SourceRecorder m_weightStream{*this, Source::WeightStream};
    SourceRecorder m_settingsSearch{*this, Source::SettingsSearch};
};
