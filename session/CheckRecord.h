#pragma once

#include "CheckComparison.h"
#include "Findings.h"
#include "SmaSession.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One entry of the serial record as a check keeps it: the traffic log's
// entry reduced to what it showed, so that a record read back from a
// database, or one written by a later version with more kinds of entries,
// still shows it the same way.
struct RecordedTraffic
{
    qint64 ms = 0;     // since Start
    QString direction; // "TX" or "RX"
    QByteArray bytes;  // as they went over the wire
    QString note;      // what became of them ("answer to <LF>A<CR> after 12 ms"), or empty

    bool operator==(const RecordedTraffic &) const = default;
};

// Everything one finished check found: what sma-check writes as JSON and
// JUnit, and what the record store keeps of the check.
struct CheckRecord
{
    enum class WeightStream { Verified, NotVerified, Skipped };

    // Made when the check starts (a UUID): the check is the same one on the
    // bench's queue and on the server, however often it is forwarded.
    QString uuid;
    // Counts the writes of the check (retests, tare and units tests after its
    // run write it again): an older state never replaces a newer one.
    int edition = 0;

    QString port;      // as typed
    QDateTime started; // local time Start opened the port
    QDateTime ended;   // local time the check ended, the weight stream included: the footer says it
    QString line = QStringLiteral("9600,8,N,1"); // the line settings the scale was spoken to with
    QString programVersion;
    QString host;
    QString user;
    QStringList about;
    QStringList info;
    // Read from the About lines "MFG:", "MOD:", "SN :" and "REV:"; empty when missing.
    QString manufacturer;
    QString model;
    QString serialNumber;
    QString revision;
    QString published; // the "CMD:" letters, empty when none
    QList<TestedCommand> commands;
    std::optional<TestedCommand> tare;
    std::optional<TestedCommand> units;
    WeightStream weightStream = WeightStream::NotVerified;
    qint64 weightStreamMs = -1; // how long the analysis ran; -1 when it did not
    QStringList flagsSeen;      // check list texts, in the list's order
    QStringList flagsMissing;   // the boxes left unticked
    bool discoveryFinished = false;
    bool level1 = false;         // the report's verdict: "SMA Level 1 Compliance Verified( ABDWZ )"
    bool level1Commands = false; // A, B, D, W and Z passed, whatever became of the weight stream
    QStringList report;          // the report's lines, as the preview shows them
    QList<Finding> findings;
    QList<RecordedTraffic> traffic; // the serial record
    qint64 elapsedMs = 0;
    int exitStatus = 1;
    // Set only when the check was compared with an earlier one; never stored.
    std::optional<CheckComparison> comparison;

    bool operator==(const CheckRecord &) const = default;
};

// "verified", "not verified" or "skipped", and back (nullopt for another text).
QString weightStreamText(CheckRecord::WeightStream stream);
std::optional<CheckRecord::WeightStream> weightStreamFromText(const QString &text);

// A finding's severity from its text ("error", "warning", "note"); a note
// for any other text.
Finding::Severity severityFromText(const QString &text);

// Level 1 as a record tells it: "verified" or "not verified".
QString level1Text(bool verified);

// The value of the About line that starts with `field` ("MFG:", "MOD:",
// "SN :", "REV:"), its blanks trimmed; empty when there is none. A serial
// number line written "SN:" is taken as well.
QString aboutField(const QStringList &about, const QString &field);

// Fills `record` with everything `session` knows of the check: port, times,
// listings, the scale's identity, verdicts, tare and units, Level 1, the
// report's lines (as the session's weight stream verdict makes them), the
// findings and the serial record, with this program's version, the host and
// the user. What only the caller knows (the weight stream's outcome, its
// flags and time, how long the check took, its exit status) is left as the
// caller set it. The window and sma-check both record a check with it.
void fillCheckRecord(const SmaSession &session, CheckRecord &record);
