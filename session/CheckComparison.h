#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

struct CheckRecord;

// One difference between an earlier check of a scale and a later one.
struct CheckChange
{
    enum class Kind {
        AboutLine,       // a line of the About listing changed, appeared or went
        InfoLine,        // the same of the Information listing
        Verdict,         // a command's verdict changed
        Answer,          // a command's answer text changed
        CommandNew,      // tested now, not before
        CommandGone,     // tested before, not now
        FindingAppeared, // a finding the earlier check did not have
        FindingWent,     // a finding of the earlier check that is gone
        Level1,          // SMA Level 1 was verified before and not now, or the other way
        WeightStream,    // the weight stream analysis ran both times with other verdicts
        SlowestAnswer,   // the slowest answer of each check
    };

    Kind kind = Kind::Verdict;
    // The command's printable form, the finding's code, or a listing line's
    // field ("REV", "CAP", and "CAP 2" for the second line of a field).
    QString subject;
    // Empty for what is new, or gone; a listing line's are the whole lines
    // as the scale sent them ("REV:1.03").
    QString before;
    QString after;
    // A command that passed and now fails, or Level 1 lost.
    bool regression = false;

    bool operator==(const CheckChange &) const = default;
};

// What a check was compared with, and what differs.
struct CheckComparison
{
    qint64 againstId = -1;  // the recorded check compared with; -1 for a file or none
    QString againstFile;    // the JSON file the earlier check was read from
    QDateTime againstEnded; // when the earlier check ended
    bool found = true;      // false: there was no earlier check to compare with
    QList<CheckChange> changes;

    bool regression() const;
    bool operator==(const CheckComparison &) const = default;
};

// The differences from `before` to `after`: the lines of the About and then
// the Information listing that changed, appeared or went (matched by their
// field, the text before the first colon, and for a field listed more than
// once by its place among them); per command of `after` in its order, the verdict and then the
// answer; commands new, then gone; Level 1; the weight stream; findings that appeared, then went;
// and the slowest answer of each. Commands are matched by their printable form, findings by
// severity, code and message. The slowest answer is always told when either
// check has one; the finding that names it is left to that line.
QList<CheckChange> compareChecks(const CheckRecord &before, const CheckRecord &after);

// "about line", "information line", "verdict", "answer", "new", "gone", "finding appeared",
// "finding went", "level 1", "weight stream", "slowest answer": the kind as JSON names it.
QString changeKindText(CheckChange::Kind kind);

// One line for a person, e.g. "verdict of <LF>U<CR>: Passed -> Failed (regression)",
// "REV: 1.03 -> 1.04" or "Information CMD: HPTMCU -> HPTMC".
QString changeText(const CheckChange &change);
