#pragma once

#include "Findings.h"
#include "UnaskedLines.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Tells a scale whose serial output is set to continuous from one that
// answers, by what arrives and when, whatever the rate. A scale that sends a
// line a second ignores the commands, but each of its lines arrives while a
// command waits and would pass for that command's answer; only what the
// lines say and when they come give it away:
//  - a weight answer where the command asks for none (A, B, I, N, D): no
//    honest scale answers a listing or the diagnostics with a weight;
//  - an answer that is a line the scale already sent unasked;
//  - one line over and over at a steady period that the commands do not
//    explain: some of it came unasked, or its delays after the commands
//    differ far more than a scale's own turnaround does;
//  - lines still waiting after two answers in a row (a scale that answers and
//    streams as well).
// One piece of evidence may be a start-up line that came late: the answer is
// suspect, its verdict waits for the next answer. Two pieces over suspect
// answers in a row stop the run. What R and S stream until the next command
// is their answer and never counts.
//
// Times are milliseconds on one clock of the caller's, so that tests give
// them as plain values.
class ContinuousOutputWatch
{
public:
    enum class Verdict {
        Answer,        // nothing speaks against it: judge it
        Suspect,       // it may be the scale's own talk: hold its verdict back
        TalksByItself, // the scale talks by itself: stop the run
    };
    // Evidence over suspect answers in a row that stops the run.
    static constexpr int kEvidenceToStop = 2;

    // Forgets everything: a new run starts.
    void clear();
    // Bytes that arrived while no command waited for them; returns how many
    // lines they completed. A line may come in pieces.
    int heardUnasked(const QByteArray &bytes, qint64 ms);
    // What comes next does not continue a line begun so far (a command is
    // about to go out).
    void breakOff() { m_unasked.breakOff(); }
    // `command` (what went out between LF and CR) was sent.
    void sent(const QString &command, qint64 ms);
    // `answer` (the text between LF and CR) was taken for the command last
    // sent; `after` is what waited behind it and is thrown away.
    Verdict answered(const QByteArray &answer, qint64 ms, const QByteArray &after);

    // Lines heard unasked since clear().
    int unaskedLines() const { return m_unasked.count(); }
    // The lines the scale sent by itself, those taken for answers included
    // once the run stopped for them: how many, the first and how fast.
    UnsolicitedOutput evidence() const;
    // Whether `answer` was one of those lines.
    bool isOwnTalk(const QByteArray &answer) const;
    // Whether `command` asks for no weight, so that a weight answer to it
    // is no answer at all.
    static bool asksNoWeight(const QString &command);

private:
    struct Arrival
    {
        QByteArray text;
        qint64 ms = 0;
        qint64 delay = -1; // after the command sent; -1: nobody asked
    };
    void arrived(const QByteArray &text, qint64 ms, qint64 delay);
    void counted(const QByteArray &line, qint64 ms);
    bool repeatsOnItsOwnClock() const;
    int evidenceIn(const QByteArray &answer) const;

    UnaskedLines m_unasked;
    QString m_command;                // the command last sent
    qint64 m_sentMs = 0;              // when it went out
    QList<Arrival> m_recent;          // the newest lines, answers and unasked
    QList<QByteArray> m_heardTexts;   // the distinct lines heard unasked
    QList<QByteArray> m_ownTexts;     // the lines taken for the scale's own talk
    QList<Arrival> m_suspect;         // suspect answers in a row
    int m_evidence = 0;               // over m_suspect
    int m_answersFollowedByLines = 0; // answers in a row with lines behind them
    // The scale's own lines: how many, the first as read, when they came.
    int m_ownLines = 0;
    QByteArray m_first;
    qint64 m_firstMs = 0;
    qint64 m_lastMs = 0;
};
