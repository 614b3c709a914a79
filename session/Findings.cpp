#include "Findings.h"

#include "CommandText.h"
#include "LineSettings.h"
#include "WeightAnswer.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

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
    bool answered = false;  // it ended in an answer
    TrafficEntry::Source source = TrafficEntry::Source::Session;
    QString after; // the command the tester sent last ("<LF>W<CR>")
};

QList<ReceivedLine> receivedLines(const QList<TrafficEntry> &traffic)
{
    QList<ReceivedLine> lines;
    ReceivedLine current;
    QString lastSent;
    const auto flush = [&] {
        if (!current.bytes.isEmpty())
            lines << current;
        current = {};
    };
    for (const TrafficEntry &entry : traffic) {
        if (entry.source != current.source)
            flush();
        if (entry.kind == Kind::Sent || entry.kind == Kind::NotKept) {
            flush();
            lastSent = entry.kind == Kind::Sent ? TrafficLog::printable(entry.bytes) : QString();
            continue;
        }
        current.source = entry.source;
        current.after = lastSent;
        for (const char byte : entry.bytes) {
            current.bytes += byte;
            current.discarded = current.discarded || entry.kind == Kind::Discarded;
            current.answered = entry.kind == Kind::Answer;
            if (byte == '\r')
                flush();
        }
        // Bytes that were counted but not kept leave a gap: what follows
        // starts a line of its own.
        if (entry.byteCount > entry.bytes.size())
            current = {};
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
        // The weight stream throws away what it cannot read, asked for or not,
        // and a scale that talks on and on has a finding of its own.
        if (!unasked && !run.unsolicited && line.discarded &&
            line.source == TrafficEntry::Source::Session && line.bytes.endsWith('\r') &&
            !text.isEmpty()) {
            unasked = true;
            findings << Finding{Severity::Warning, QStringLiteral("unasked-line"),
                                QStringLiteral("The scale sent a line nobody asked for; it was "
                                               "thrown away (%1 bytes in all were). A scale that "
                                               "talks by itself can have its lines taken for "
                                               "answers by other hosts.")
                                    .arg(TrafficLog::counted(run.totals.bytesDiscarded)),
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

    // What came after the session's last command, when none of it was an
    // answer (the weight stream's traffic, which may follow, is its own).
    const auto ours = [](const TrafficEntry &entry) {
        return entry.source == TrafficEntry::Source::Session;
    };
    qsizetype lastSent = -1;
    for (qsizetype i = 0; i < run.traffic.size(); ++i) {
        if (run.traffic.at(i).kind == Kind::Sent && ours(run.traffic.at(i)))
            lastSent = i;
    }
    if (lastSent < 0)
        return;
    QByteArray arrived; // as far as the record kept them
    qint64 count = 0;
    for (qsizetype i = lastSent + 1; i < run.traffic.size(); ++i) {
        const TrafficEntry &entry = run.traffic.at(i);
        if (!ours(entry) || entry.kind == Kind::NotKept)
            continue;
        if (entry.kind == Kind::Answer)
            return;
        arrived += entry.bytes;
        count += qMax<qint64>(entry.byteCount, entry.bytes.size());
    }
    const Bit7Pattern pattern = readBit7(arrived);
    if (pattern == Bit7Pattern::TooFew || pattern == Bit7Pattern::NeverSet)
        return; // no answer, but not for the framing's sake
    findings << Finding{
        Severity::Error, QStringLiteral("line-settings"),
        QStringLiteral("%1 bytes came after %2 and none ended an answer: %3.")
            .arg(count)
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

} // namespace

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

namespace {

// Findings of one code and one cause are one finding, counted, with the
// evidence of the first: a scale that gets the same thing wrong in every
// answer is told so once.
class Grouped
{
public:
    explicit Grouped(QList<Finding> &findings) : m_findings(findings) {}

    void add(const Finding &finding, const QString &cause)
    {
        const QString key = finding.code + QLatin1Char('\n') + cause;
        if (const auto found = m_index.constFind(key); found != m_index.cend()) {
            ++m_findings[*found].count;
            return;
        }
        m_index.insert(key, m_findings.size());
        m_findings << finding;
    }

private:
    QList<Finding> &m_findings;
    QHash<QString, qsizetype> m_index;
};

// Judges the form of one weight answer (its text between LF and CR) to
// `takenFor`.
void judgeWeightAnswer(const QString &takenFor, const QByteArray &text, const QByteArray &evidence,
                       Grouped &findings)
{
    if (text.contains('?') || text == "!")
        return;
    if (const QString fault = weightFrameFault(text); !fault.isEmpty()) {
        findings.add({Severity::Error, QStringLiteral("weight-frame"),
                      QStringLiteral("The answer to %1 %2.").arg(takenFor, fault), evidence},
                     fault);
        return;
    }
    const QString unit = QString::fromLatin1(text.right(3));
    if (!smaUnitCodes().contains(unit))
        findings.add({Severity::Warning, QStringLiteral("weight-unit"),
                      QStringLiteral("The answer to %1 gives the unit \"%2\", which is none of the "
                                     "unit codes (left-justified, such as \"kg \" or \"lb \").")
                          .arg(takenFor, unit),
                      evidence},
                     unit);
}

QString quoted(char c)
{
    return QStringLiteral("\"%1\"").arg(TrafficLog::printable(QByteArray(1, c)));
}

// What a well-formed weight answer says of the command that asked for it:
// that the zero, the tare, the clear, the unit change, the high resolution
// or the wait for a stable weight took. A weight field of dashes is a
// refusal, judged by its status where the command has a refusal status.
void judgeAnswerMeaning(char command, const WeightAnswer &answer,
                        const std::optional<WeightAnswer> &before, const QString &takenFor,
                        const QByteArray &evidence, Grouped &findings)
{
    const bool refused = answer.weightField.contains("---");
    const auto add = [&](Severity severity, const char *code, const QString &said, char seen) {
        findings.add({severity, QLatin1String(code),
                      QStringLiteral("The answer to %1 %2").arg(takenFor, said), evidence},
                     QString(QLatin1Char(seen)) +
                         (refused ? QStringLiteral("refused") : QString()));
    };
    // Z and T have a status of their own for a refusal.
    const auto refusedWith = [&](const char *code, char status, const char *what) {
        if (answer.scaleStatus != status)
            add(Severity::Warning, code,
                QStringLiteral("refuses (a weight of dashes) with status %1; a refused %2 says %3.")
                    .arg(quoted(answer.scaleStatus), QLatin1String(what), quoted(status)),
                answer.scaleStatus);
    };
    switch (command) {
    case 'Z':
        if (refused)
            refusedWith("zero-not-centred", 'E', "zero");
        else if (answer.scaleStatus != 'Z')
            add(Severity::Warning, "zero-not-centred",
                QStringLiteral("has status %1, not \"Z\" (centre of zero): the zero did not take, "
                               "or the answer does not say so.")
                    .arg(quoted(answer.scaleStatus)),
                answer.scaleStatus);
        break;
    case 'T':
        if (refused)
            refusedWith("tare-not-net", 'T', "tare");
        else if (answer.grossNet != 'N')
            add(Severity::Warning, "tare-not-net",
                QStringLiteral("shows %1 where a net weight (\"N\") belongs: the tare did not "
                               "take, or the answer does not say so.")
                    .arg(quoted(answer.grossNet)),
                answer.grossNet);
        break;
    case 'M':
        if (!refused && answer.grossNet != 'T')
            add(Severity::Warning, "memory-not-tare",
                QStringLiteral("shows %1 where the tare held in memory (\"T\") belongs.")
                    .arg(quoted(answer.grossNet)),
                answer.grossNet);
        break;
    case 'C':
        if (!refused && answer.grossNet != 'G')
            add(Severity::Warning, "clear-not-gross",
                QStringLiteral("shows %1 where a gross weight (\"G\") belongs: the tare was not "
                               "cleared, or the answer does not say so.")
                    .arg(quoted(answer.grossNet)),
                answer.grossNet);
        break;
    case 'U':
        if (!refused && before && !before->weightField.contains("---") &&
            answer.unitField == before->unitField)
            add(Severity::Note, "unit-unchanged",
                QStringLiteral("gives the unit \"%1\", as the weight answer before it did; U "
                               "selects the next unit, and only a scale with one unit keeps it.")
                    .arg(answer.unitText()),
                ' ');
        break;
    default:
        break;
    }
    if (!refused && QByteArray("HQS").contains(command) && answer.grossNet != 'g' &&
        answer.grossNet != 'n')
        add(Severity::Warning, "high-res-case",
            QStringLiteral("shows %1 where a high-resolution weight says \"g\" or \"n\" in lower "
                           "case.")
                .arg(quoted(answer.grossNet)),
            answer.grossNet);
    if (!refused && QByteArray("PQ").contains(command) && answer.motion != ' ')
        add(Severity::Warning, "stable-in-motion",
            QStringLiteral("shows motion (%1) where it waits for a stable weight.")
                .arg(quoted(answer.motion)),
            answer.motion);
}

void weightAnswers(const RunEvidence &run, QList<Finding> &list)
{
    Grouped findings(list);
    std::optional<WeightAnswer> before; // the last well-formed weight answer
    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind != Kind::Answer || entry.takenFor.size() < 5 ||
            !kWeightCommands.contains(entry.takenFor.at(4)))
            continue;
        judgeWeightAnswer(entry.takenFor, entry.answer, frame(entry), findings);
        if (entry.source != TrafficEntry::Source::Session || entry.answer.contains('?') ||
            !weightFrameFault(entry.answer).isEmpty())
            continue;
        const WeightAnswer answer = WeightAnswer::fromFrame(frame(entry));
        // Only a command without data claims what the table of commands says.
        if (entry.takenFor.size() == 9)
            judgeAnswerMeaning(entry.takenFor.at(4).toLatin1(), answer, before, entry.takenFor,
                               frame(entry), findings);
        before = answer;
    }
    // The weight stream takes only answers of the right length; every other
    // whole line it received is judged as well.
    for (const ReceivedLine &line : receivedLines(run.traffic)) {
        if (line.source != TrafficEntry::Source::WeightStream || line.answered ||
            !line.bytes.endsWith('\r'))
            continue;
        const qsizetype lf = line.bytes.lastIndexOf('\n');
        if (lf < 0)
            continue; // no answer at all: answer-no-leading-lf says so
        const QByteArray text = line.bytes.mid(lf + 1, line.bytes.size() - lf - 2);
        judgeWeightAnswer(line.after, text, line.bytes, findings);
    }
}

void weightStream(const RunEvidence &run, QList<Finding> &findings)
{
    if (run.weightStreamUnseen.isEmpty())
        return;
    QByteArray lastAnswer;
    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind == Kind::Answer && entry.source == TrafficEntry::Source::WeightStream)
            lastAnswer = frame(entry);
    }
    findings << Finding{Severity::Warning, QStringLiteral("weight-stream-flags-unseen"),
                        QStringLiteral("The weight stream analysis ended before the answers "
                                       "showed every status flag; not seen: %1.")
                            .arg(run.weightStreamUnseen.join(QStringLiteral(", "))),
                        lastAnswer};
}

void timing(const RunEvidence &run, QList<Finding> &findings)
{
    // A scale that talks by itself had its lines taken for answers: how soon
    // they came says nothing of how fast it answers.
    if (run.unsolicited)
        return;
    const TrafficEntry *slowest = nullptr;
    // The weight stream's answers do not answer one request each; only the
    // session waits for an answer.
    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind == Kind::Answer && entry.source == TrafficEntry::Source::Session &&
            (!slowest || entry.responseMs > slowest->responseMs))
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

QString countedMessage(const Finding &finding)
{
    if (finding.count <= 1)
        return finding.message;
    return QStringLiteral("%1 (%2 times)").arg(finding.message).arg(finding.count);
}

QList<Finding> deriveFindings(const RunEvidence &run)
{
    QList<Finding> findings;
    lineSetup(run, findings);
    framing(run, findings);
    listings(run, findings);
    weightAnswers(run, findings);
    weightStream(run, findings);
    timing(run, findings);
    return findings;
}
