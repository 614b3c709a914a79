#pragma once

#include "TrafficLog.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Something an engineer should know about how the scale speaks, beyond the
// verdicts: what is wrong, how badly, and the bytes that show it.
struct Finding
{
    enum class Severity { Error, Warning, Note };

    Severity severity = Severity::Note;
    QString code;        // short and stable, e.g. "answer-crlf"
    QString message;     // one plain sentence
    QByteArray evidence; // the frame as received, the first time it was found
    int count = 1;       // how often: the same code for the same cause is one finding

    bool operator==(const Finding &) const = default;
};

// "error", "warning", "note".
QString severityText(Finding::Severity severity);
// The message, saying how often when more than once: "... (20 times)".
QString countedMessage(const Finding &finding);

// How a listing came to its end.
enum class ListingEnding {
    None,    // it never ended (the run stopped inside it, or never got there)
    EndLine, // with its "END:" line
    Refused, // with "?" to a repeated B or N
    Cut,     // after too many lines
};

// A scale that sent line after line unasked, so that the run stopped.
struct UnsolicitedOutput
{
    int lines = 0;
    QByteArray first; // the first of them, as read
    double perSecond = 0;
};

// What the findings are drawn from: one run's traffic and what it learnt.
struct RunEvidence
{
    QList<TrafficEntry> traffic; // the session's and the weight stream's, as kept
    TrafficTotals totals;        // what the traffic held in all
    QStringList about;           // About lines as shown, "END:" left out
    QStringList info;            // Information lines as shown
    ListingEnding aboutEnding = ListingEnding::None;
    ListingEnding infoEnding = ListingEnding::None;
    QString published;              // the CMD: letters
    QStringList weightStreamUnseen; // boxes the weight stream analysis left unticked
    std::optional<UnsolicitedOutput> unsolicited;
};

// What is out of place in a weight answer (`text`, between LF and CR: status,
// range, gross/net, motion, a blank, 10 weight and 3 unit characters), in
// words; empty for a well-formed one.
QString weightFrameFault(const QByteArray &text);

// Every finding, in the order: framing, listings, weight answers, the weight
// stream, timing.
QList<Finding> deriveFindings(const RunEvidence &run);
