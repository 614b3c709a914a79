#include "Findings.h"

#include "CommandText.h"
#include "LineSettings.h"
#include "WeightAnswer.h"

#include <QSet>

#include <algorithm>

namespace {

using Severity = Finding::Severity;
using Kind = TrafficEntry::Kind;

const QString kCommandLetters = QStringLiteral("ABDWZHPQRSTMCUINX");
const QString kWeightCommands = QStringLiteral("WZTCMUHPQRS");
constexpr qsizetype kWeightAnswerLength = 18; // between LF and CR

// The bytes the scale sent between two commands of the tester, each run cut
// after every CR into the lines the scale meant.
struct ReceivedLine
{
    QByteArray bytes;
    bool discarded = false; // some of it was thrown away unread
};

QList<ReceivedLine> receivedLines(const QList<TrafficEntry> &traffic)
{
    QList<ReceivedLine> lines;
    ReceivedLine current;
    const auto flush = [&] {
        if (!current.bytes.isEmpty())
            lines << current;
        current = {};
    };
    for (const TrafficEntry &entry : traffic) {
        if (entry.kind == Kind::Sent) {
            flush();
            continue;
        }
        for (const char byte : entry.bytes) {
            current.bytes += byte;
            current.discarded = current.discarded || entry.kind == Kind::Discarded;
            if (byte == '\r')
                flush();
        }
    }
    flush();
    return lines;
}

QByteArray frame(const TrafficEntry &answer)
{
    return '\n' + answer.answer + '\r';
}

void framing(const RunEvidence &run, QList<Finding> &findings)
{
    // Answers followed directly by a LF: lines ending CR LF.
    for (qsizetype i = 0; i < run.traffic.size(); ++i) {
        const TrafficEntry &entry = run.traffic.at(i);
        if (entry.kind != Kind::Answer || i + 1 >= run.traffic.size())
            continue;
        const TrafficEntry &next = run.traffic.at(i + 1);
        if (next.kind != Kind::Sent && next.bytes.startsWith('\n')) {
            findings << Finding{Severity::Warning, QStringLiteral("answer-crlf"),
                                QStringLiteral("Answers end with CR LF; an SMA answer ends with "
                                               "CR alone, and the LF is left over as the start "
                                               "of a frame."),
                                frame(entry) + '\n'};
            break;
        }
    }

    bool noLeadingLf = false;
    bool unasked = false;
    for (const ReceivedLine &line : receivedLines(run.traffic)) {
        if (!noLeadingLf && line.bytes.endsWith('\r') && !line.bytes.contains('\n')) {
            noLeadingLf = true;
            findings << Finding{Severity::Error, QStringLiteral("answer-no-leading-lf"),
                                QStringLiteral("A line from the scale has no LF in front; an SMA "
                                               "answer is LF, the text, CR, and the tester takes "
                                               "nothing else for an answer."),
                                line.bytes};
        }
        const QByteArray text = QByteArray(line.bytes).replace('\n', "").replace('\r', "");
        // A scale that talks on and on has its own finding.
        if (!unasked && !run.unsolicited && line.discarded && line.bytes.endsWith('\r') &&
            !text.isEmpty()) {
            unasked = true;
            findings << Finding{Severity::Warning, QStringLiteral("unasked-line"),
                                QStringLiteral("The scale sent a line nobody asked for; it was "
                                               "thrown away. A scale that talks by itself can "
                                               "have its lines taken for answers by other hosts."),
                                line.bytes};
        }
    }

    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind != Kind::Answer)
            continue;
        const bool foreign = std::any_of(entry.answer.cbegin(), entry.answer.cend(), [](char c) {
            const auto code = static_cast<unsigned char>(c);
            return code < 0x20 || code > 0x7e;
        });
        if (foreign) {
            findings << Finding{Severity::Warning, QStringLiteral("answer-control-characters"),
                                QStringLiteral("The answer to %1 holds characters outside "
                                               "printable ASCII.")
                                    .arg(entry.takenFor),
                                frame(entry)};
            break;
        }
    }
}

// How the scale's serial output is set up: talking by itself, or framing its
// bytes otherwise than the tester reads them.
void lineSetup(const RunEvidence &run, QList<Finding> &findings)
{
    if (run.unsolicited) {
        const QString rate = run.unsolicited->perSecond > 0
                                 ? QStringLiteral(", about %1 lines a second")
                                       .arg(run.unsolicited->perSecond, 0, 'f', 1)
                                 : QString();
        findings << Finding{Severity::Error, QStringLiteral("unsolicited-output"),
                            QStringLiteral("The scale sends lines without being asked%1 "
                                           "(continuous output), so they cannot be told from "
                                           "answers. Set its serial output to answer on "
                                           "request.")
                                .arg(rate),
                            run.unsolicited->first};
    }

    // What came after the last command sent, when none of it was an answer.
    qsizetype lastSent = -1;
    for (qsizetype i = 0; i < run.traffic.size(); ++i) {
        if (run.traffic.at(i).kind == Kind::Sent)
            lastSent = i;
    }
    if (lastSent < 0)
        return;
    QByteArray arrived;
    for (qsizetype i = lastSent + 1; i < run.traffic.size(); ++i) {
        if (run.traffic.at(i).kind == Kind::Answer)
            return;
        arrived += run.traffic.at(i).bytes;
    }
    const Bit7Pattern pattern = readBit7(arrived);
    if (pattern == Bit7Pattern::TooFew || pattern == Bit7Pattern::NeverSet)
        return; // no answer, but not for the framing's sake
    findings << Finding{
        Severity::Error, QStringLiteral("line-settings"),
        QStringLiteral("%1 bytes came after %2 and none ended an answer: %3.")
            .arg(arrived.size())
            .arg(TrafficLog::printable(run.traffic.at(lastSent).bytes), describeBit7(pattern)),
        arrived};
}

QString endingWords(ListingEnding ending, const QString &repeat)
{
    switch (ending) {
    case ListingEnding::Refused:
        return QStringLiteral("the scale answered \"?\" to a further %1 instead").arg(repeat);
    case ListingEnding::Cut:
        return QStringLiteral("the tester cut it off after 100 lines");
    case ListingEnding::None:
    case ListingEnding::EndLine:
        break;
    }
    return QStringLiteral("the run never saw its end");
}

// "2" of "SMA:2/1.0"; empty when there is no SMA: line.
QString smaLevel(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("SMA:")))
            return line.mid(4).section(QLatin1Char('/'), 0, 0);
    }
    return {};
}

QByteArray smaLine(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("SMA:")))
            return line.toLatin1();
    }
    return {};
}

void listings(const RunEvidence &run, QList<Finding> &findings)
{
    // An About listing the scale never answered says nothing of its lines.
    if (!run.about.isEmpty() && !run.about.first().startsWith(QLatin1String("SMA:")))
        findings << Finding{Severity::Error, QStringLiteral("about-no-sma-line"),
                            QStringLiteral("The About listing does not start with an SMA: line "
                                           "giving the SMA level and revision."),
                            run.about.value(0).toLatin1()};
    if (run.aboutEnding != ListingEnding::EndLine && !run.about.isEmpty())
        findings << Finding{Severity::Warning, QStringLiteral("about-no-end-line"),
                            QStringLiteral("The About listing does not end with an END: line: %1.")
                                .arg(endingWords(run.aboutEnding, QStringLiteral("B"))),
                            run.about.last().toLatin1()};

    const QString aboutLevel = smaLevel(run.about);
    const QString infoLevel = smaLevel(run.info);
    if (!aboutLevel.isEmpty() && !infoLevel.isEmpty() && aboutLevel != infoLevel)
        findings << Finding{Severity::Warning, QStringLiteral("sma-level-mismatch"),
                            QStringLiteral("The Information listing gives SMA level %1, the "
                                           "About listing level %2.")
                                .arg(infoLevel, aboutLevel),
                            smaLine(run.info)};

    QByteArray cmdLine;
    for (const QString &line : run.info) {
        if (line.contains(QLatin1String("CMD:")))
            cmdLine = line.toLatin1();
    }
    QSet<QChar> seen;
    QSet<QChar> reported;
    for (const QChar letter : run.published) {
        if (!kCommandLetters.contains(letter) && !reported.contains(letter)) {
            reported << letter;
            findings << Finding{Severity::Error, QStringLiteral("cmd-unknown-letter"),
                                QStringLiteral("The CMD: line publishes \"%1\", which is no SMA "
                                               "command letter.")
                                    .arg(TrafficLog::printable(QString(letter).toLatin1())),
                                cmdLine};
        } else if (seen.contains(letter) && !reported.contains(letter)) {
            reported << letter;
            findings << Finding{
                Severity::Warning, QStringLiteral("cmd-duplicate-letter"),
                QStringLiteral("The CMD: line publishes \"%1\" more than once.").arg(letter),
                cmdLine};
        }
        seen << letter;
    }
}

// What is out of place in a weight answer, or nothing.
QString weightFrameFault(const QByteArray &text)
{
    if (text.size() != kWeightAnswerLength)
        return QStringLiteral("is %1 characters long between LF and CR instead of 18 (status, "
                              "range, gross/net, motion, a blank, 10 weight characters, 3 unit "
                              "characters)")
            .arg(text.size());
    const auto notOneOf = [](const char *what, char c, const char *allowed) {
        return QStringLiteral("has \"%1\" as its %2 character, which is none of %3")
            .arg(TrafficLog::printable(QByteArray(1, c)), QLatin1String(what),
                 QLatin1String(allowed));
    };
    if (!QByteArray(" ZOUEIT").contains(text.at(0)))
        return notOneOf("status", text.at(0), "blank, Z, O, U, E, I, T");
    if (text.at(1) < '1' || text.at(1) > '9')
        return notOneOf("range", text.at(1), "1 to 9");
    if (!QByteArray("GNgnT").contains(text.at(2)))
        return notOneOf("gross/net", text.at(2), "G, N, g, n, T");
    if (!QByteArray(" M").contains(text.at(3)))
        return notOneOf("motion", text.at(3), "blank, M");
    if (text.at(4) != ' ')
        return notOneOf("reserved", text.at(4), "blank");
    const QByteArray weight = text.mid(5, 10);
    if (!weight.contains("---") && !readWeightField(weight))
        return QStringLiteral("has \"%1\" as its weight field, which reads as no weight")
            .arg(TrafficLog::printable(weight));
    return {};
}

void weightAnswers(const RunEvidence &run, QList<Finding> &findings)
{
    QSet<QString> reported;
    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind != Kind::Answer || entry.takenFor.size() < 5 ||
            !kWeightCommands.contains(entry.takenFor.at(4)) || entry.answer.contains('?') ||
            entry.answer == "!")
            continue;
        const QString fault = weightFrameFault(entry.answer);
        if (!fault.isEmpty()) {
            const QString message =
                QStringLiteral("The answer to %1 %2.").arg(entry.takenFor, fault);
            if (!reported.contains(message)) {
                reported << message;
                findings << Finding{Severity::Error, QStringLiteral("weight-frame"), message,
                                    frame(entry)};
            }
            continue;
        }
        const QString unit = QString::fromLatin1(entry.answer.right(3));
        if (!smaUnitCodes().contains(unit)) {
            const QString message =
                QStringLiteral("The answer to %1 gives the unit \"%2\", which is none of the "
                               "unit codes (left-justified, such as \"kg \" or \"lb \").")
                    .arg(entry.takenFor, unit);
            if (!reported.contains(message)) {
                reported << message;
                findings << Finding{Severity::Warning, QStringLiteral("weight-unit"), message,
                                    frame(entry)};
            }
        }
    }
}

void timing(const RunEvidence &run, QList<Finding> &findings)
{
    const TrafficEntry *slowest = nullptr;
    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind == Kind::Answer && (!slowest || entry.responseMs > slowest->responseMs))
            slowest = &entry;
    }
    if (slowest)
        findings << Finding{Severity::Note, QStringLiteral("slowest-answer"),
                            QStringLiteral("The slowest answer was the one to %1: %2 ms (the "
                                           "tester waits 3000 ms).")
                                .arg(slowest->takenFor)
                                .arg(slowest->responseMs),
                            frame(*slowest)};
}

} // namespace

QString severityText(Finding::Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return QStringLiteral("error");
    case Severity::Warning:
        return QStringLiteral("warning");
    case Severity::Note:
        break;
    }
    return QStringLiteral("note");
}

QList<Finding> deriveFindings(const RunEvidence &run)
{
    QList<Finding> findings;
    lineSetup(run, findings);
    framing(run, findings);
    listings(run, findings);
    weightAnswers(run, findings);
    timing(run, findings);
    return findings;
}
