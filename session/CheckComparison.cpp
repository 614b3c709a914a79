#include "CheckComparison.h"

#include "CheckRecord.h"
#include "CommandText.h"

#include <QHash>

namespace {

const QString kSlowestAnswerCode = QStringLiteral("slowest-answer");

QString quoted(const QByteArray &answer)
{
    return QLatin1Char('"') + printableBytes(answer) + QLatin1Char('"');
}

// "<LF>A<CR> after 51 ms", or empty when no command was answered.
QString slowestAnswer(const CheckRecord &record)
{
    const TestedCommand *slowest = nullptr;
    for (const TestedCommand &command : record.commands) {
        if (command.answer && command.ms >= 0 && (!slowest || command.ms > slowest->ms))
            slowest = &command;
    }
    if (!slowest)
        return {};
    return QStringLiteral("%1 after %2 ms").arg(slowest->printable).arg(slowest->ms);
}

QString findingKey(const Finding &finding)
{
    return severityText(finding.severity) + QLatin1Char('\n') + finding.code + QLatin1Char('\n') +
           finding.message;
}

// The findings of `from` that `other` does not have, as changes of `kind`.
void addFindingsMissingIn(const CheckRecord &from, const CheckRecord &other, CheckChange::Kind kind,
                          QList<CheckChange> &changes)
{
    QHash<QString, int> left;
    for (const Finding &finding : other.findings)
        ++left[findingKey(finding)];
    for (const Finding &finding : from.findings) {
        if (finding.code == kSlowestAnswerCode)
            continue;
        int &count = left[findingKey(finding)];
        if (count > 0) {
            --count;
            continue;
        }
        const QString text =
            severityText(finding.severity) + QStringLiteral(": ") + finding.message;
        changes << CheckChange{
            kind, finding.code, kind == CheckChange::Kind::FindingWent ? text : QString(),
            kind == CheckChange::Kind::FindingAppeared ? text : QString(), false};
    }
}

// A listing line's field and value: "SN :A-17" is SN and A-17; a line
// without a colon is a field of its own with no value.
std::pair<QString, QString> fieldAndValue(const QString &line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {line.trimmed(), QString()};
    return {line.left(colon).trimmed(), line.mid(colon + 1).trimmed()};
}

// The lines of a listing by field, in the listing's order, the second line
// of a field (a scale lists one CAP line per range) as "CAP 2".
QList<std::pair<QString, QString>> listingFields(const QStringList &lines)
{
    QHash<QString, int> seen;
    QList<std::pair<QString, QString>> fields;
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QString field = fieldAndValue(line).first;
        const int place = ++seen[field];
        fields.append({place == 1 ? field : QStringLiteral("%1 %2").arg(field).arg(place), line});
    }
    return fields;
}

// The lines of a listing that changed, appeared or went, as changes of
// `kind` that keep the whole lines, so that a new "END:" still has a text.
void addListingChanges(const QStringList &before, const QStringList &after, CheckChange::Kind kind,
                       QList<CheckChange> &changes)
{
    const QList<std::pair<QString, QString>> earlier = listingFields(before);
    const QList<std::pair<QString, QString>> later = listingFields(after);
    QHash<QString, QString> earlierLines(earlier.cbegin(), earlier.cend());
    QHash<QString, QString> laterLines(later.cbegin(), later.cend());
    for (const auto &[field, line] : later) {
        const QString then = earlierLines.value(field);
        if (fieldAndValue(then).second != fieldAndValue(line).second || then.isEmpty())
            changes << CheckChange{kind, field, then, line, false};
    }
    for (const auto &[field, line] : earlier) {
        if (!laterLines.contains(field))
            changes << CheckChange{kind, field, line, QString(), false};
    }
}

} // namespace

bool CheckComparison::regression() const
{
    for (const CheckChange &change : changes) {
        if (change.regression)
            return true;
    }
    return false;
}

QList<CheckChange> compareChecks(const CheckRecord &before, const CheckRecord &after)
{
    QHash<QString, const TestedCommand *> earlier;
    for (const TestedCommand &command : before.commands)
        earlier.insert(command.printable, &command);
    QHash<QString, const TestedCommand *> later;
    for (const TestedCommand &command : after.commands)
        later.insert(command.printable, &command);

    QList<CheckChange> changes;
    using Kind = CheckChange::Kind;
    using Result = TestedCommand::Result;
    // What the scale says of itself first: a new firmware revision is what
    // an engineer looks for before the verdicts it explains.
    addListingChanges(before.about, after.about, Kind::AboutLine, changes);
    addListingChanges(before.info, after.info, Kind::InfoLine, changes);
    for (const TestedCommand &now : after.commands) {
        const TestedCommand *then = earlier.value(now.printable);
        if (!then)
            continue;
        if (then->result != now.result)
            changes << CheckChange{Kind::Verdict, now.printable, resultText(then->result),
                                   resultText(now.result),
                                   then->result == Result::Passed && now.result == Result::Failed};
        if (then->answer && now.answer && *then->answer != *now.answer)
            changes << CheckChange{Kind::Answer, now.printable, quoted(*then->answer),
                                   quoted(*now.answer), false};
    }
    for (const TestedCommand &now : after.commands) {
        if (!earlier.contains(now.printable))
            changes << CheckChange{
                Kind::CommandNew, now.printable, {}, resultText(now.result), false};
    }
    for (const TestedCommand &then : before.commands) {
        if (!later.contains(then.printable))
            changes << CheckChange{
                Kind::CommandGone, then.printable, resultText(then.result), {}, false};
    }
    // Level 1 as its five commands give it: the weight stream is compared
    // on its own below, and a check that left it out loses no Level 1.
    if (before.level1Commands != after.level1Commands)
        changes << CheckChange{Kind::Level1, QStringLiteral("Level 1"),
                               level1Text(before.level1Commands), level1Text(after.level1Commands),
                               before.level1Commands};
    const auto skipped = CheckRecord::WeightStream::Skipped;
    if (before.weightStream != after.weightStream && before.weightStream != skipped &&
        after.weightStream != skipped)
        changes << CheckChange{Kind::WeightStream, QStringLiteral("weight stream"),
                               weightStreamText(before.weightStream),
                               weightStreamText(after.weightStream), false};
    addFindingsMissingIn(after, before, Kind::FindingAppeared, changes);
    addFindingsMissingIn(before, after, Kind::FindingWent, changes);
    const QString slowestBefore = slowestAnswer(before);
    const QString slowestAfter = slowestAnswer(after);
    if (!slowestBefore.isEmpty() || !slowestAfter.isEmpty())
        changes << CheckChange{Kind::SlowestAnswer, QStringLiteral("slowest answer"), slowestBefore,
                               slowestAfter, false};
    return changes;
}

QString changeKindText(CheckChange::Kind kind)
{
    switch (kind) {
    case CheckChange::Kind::AboutLine:
        return QStringLiteral("about line");
    case CheckChange::Kind::InfoLine:
        return QStringLiteral("information line");
    case CheckChange::Kind::Verdict:
        return QStringLiteral("verdict");
    case CheckChange::Kind::Answer:
        return QStringLiteral("answer");
    case CheckChange::Kind::CommandNew:
        return QStringLiteral("new");
    case CheckChange::Kind::CommandGone:
        return QStringLiteral("gone");
    case CheckChange::Kind::FindingAppeared:
        return QStringLiteral("finding appeared");
    case CheckChange::Kind::FindingWent:
        return QStringLiteral("finding went");
    case CheckChange::Kind::Level1:
        return QStringLiteral("level 1");
    case CheckChange::Kind::WeightStream:
        return QStringLiteral("weight stream");
    case CheckChange::Kind::SlowestAnswer:
        break;
    }
    return QStringLiteral("slowest answer");
}

QString changeText(const CheckChange &change)
{
    const QString none = QStringLiteral("none");
    QString text;
    switch (change.kind) {
    case CheckChange::Kind::AboutLine:
    case CheckChange::Kind::InfoLine: {
        const QString field = change.kind == CheckChange::Kind::InfoLine
                                  ? QStringLiteral("Information ") + change.subject
                                  : change.subject;
        // A line with nothing after its colon ("END:") is named by its field alone.
        const auto value = [](const QString &line) {
            const QString text = fieldAndValue(line).second;
            return text.isEmpty() ? QString() : QLatin1Char(' ') + text;
        };
        if (change.before.isEmpty())
            text = QStringLiteral("%1:%2 (new line)").arg(field, value(change.after));
        else if (change.after.isEmpty())
            text = QStringLiteral("%1:%2 (line gone)").arg(field, value(change.before));
        else
            text = QStringLiteral("%1: %2 -> %3")
                       .arg(field, fieldAndValue(change.before).second,
                            fieldAndValue(change.after).second);
        break;
    }
    case CheckChange::Kind::Verdict:
    case CheckChange::Kind::Answer:
        text = QStringLiteral("%1 of %2: %3 -> %4")
                   .arg(changeKindText(change.kind), change.subject, change.before, change.after);
        break;
    case CheckChange::Kind::CommandNew:
        text = QStringLiteral("new command %1: %2").arg(change.subject, change.after);
        break;
    case CheckChange::Kind::CommandGone:
        text = QStringLiteral("command gone %1: was %2").arg(change.subject, change.before);
        break;
    case CheckChange::Kind::FindingAppeared:
        text = QStringLiteral("finding appeared %1: %2").arg(change.subject, change.after);
        break;
    case CheckChange::Kind::FindingWent:
        text = QStringLiteral("finding went %1: %2").arg(change.subject, change.before);
        break;
    case CheckChange::Kind::Level1:
    case CheckChange::Kind::WeightStream:
    case CheckChange::Kind::SlowestAnswer:
        text = QStringLiteral("%1: %2 -> %3")
                   .arg(change.subject, change.before.isEmpty() ? none : change.before,
                        change.after.isEmpty() ? none : change.after);
        break;
    }
    if (change.regression)
        text += QStringLiteral(" (regression)");
    return text;
}
