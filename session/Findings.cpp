#include "Findings.h"

#include "CommandText.h"
#include "WeightAnswer.h"

#include <QLocale>
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
        // The weight stream throws away what it cannot read, asked for or not.
        if (!unasked && line.discarded && line.source == TrafficEntry::Source::Session &&
            line.bytes.endsWith('\r') && !text.isEmpty()) {
            unasked = true;
            findings << Finding{Severity::Warning, QStringLiteral("unasked-line"),
                                QStringLiteral("The scale sent a line nobody asked for; it was "
                                               "thrown away (%1 bytes in all were). A scale that "
                                               "talks by itself can have its lines taken for "
                                               "answers by other hosts.")
                                    .arg(QLocale(QLocale::English, QLocale::UnitedStates)
                                             .toString(run.totals.bytesDiscarded)),
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
    if (run.about.isEmpty() || !run.about.first().startsWith(QLatin1String("SMA:")))
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

// Judges one weight answer (its text between LF and CR) to `takenFor`; a
// fault already reported in the same words is not reported again.
void judgeWeightAnswer(const QString &takenFor, const QByteArray &text, const QByteArray &evidence,
                       QSet<QString> &reported, QList<Finding> &findings)
{
    if (text.contains('?') || text == "!")
        return;
    const QString fault = weightFrameFault(text);
    if (!fault.isEmpty()) {
        const QString message = QStringLiteral("The answer to %1 %2.").arg(takenFor, fault);
        if (!reported.contains(message)) {
            reported << message;
            findings << Finding{Severity::Error, QStringLiteral("weight-frame"), message, evidence};
        }
        return;
    }
    const QString unit = QString::fromLatin1(text.right(3));
    if (!smaUnitCodes().contains(unit)) {
        const QString message =
            QStringLiteral("The answer to %1 gives the unit \"%2\", which is none of the "
                           "unit codes (left-justified, such as \"kg \" or \"lb \").")
                .arg(takenFor, unit);
        if (!reported.contains(message)) {
            reported << message;
            findings << Finding{Severity::Warning, QStringLiteral("weight-unit"), message,
                                evidence};
        }
    }
}

void weightAnswers(const RunEvidence &run, QList<Finding> &findings)
{
    QSet<QString> reported;
    for (const TrafficEntry &entry : run.traffic) {
        if (entry.kind == Kind::Answer && entry.takenFor.size() >= 5 &&
            kWeightCommands.contains(entry.takenFor.at(4)))
            judgeWeightAnswer(entry.takenFor, entry.answer, frame(entry), reported, findings);
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
        judgeWeightAnswer(line.after, text, line.bytes, reported, findings);
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

QList<Finding> deriveFindings(const RunEvidence &run)
{
    QList<Finding> findings;
    framing(run, findings);
    listings(run, findings);
    weightAnswers(run, findings);
    weightStream(run, findings);
    timing(run, findings);
    return findings;
}
