#include "CheckJson.h"

#include "CheckArchive.h"
#include "CheckRecord.h"
#include "VerdictText.h"

#include <QJsonArray>
#include <QJsonDocument>

QJsonObject commandJson(const TestedCommand &command, const QString &published)
{
    return {
        {QStringLiteral("command"), command.command},
        {QStringLiteral("printable"), command.printable},
        {QStringLiteral("result"), resultText(command.result)},
        {QStringLiteral("answer"),
         command.answer ? QJsonValue(QString::fromLatin1(*command.answer)) : QJsonValue()},
        {QStringLiteral("ms"), command.ms >= 0 ? QJsonValue(command.ms) : QJsonValue()},
        {QStringLiteral("evidence"), verdictEvidence(command, published)},
    };
}

QJsonObject checkJson(const CheckRecord &record)
{
    QJsonArray commands;
    for (const TestedCommand &command : record.commands)
        commands.append(commandJson(command, record.published));
    QJsonArray findings;
    for (const Finding &finding : record.findings)
        findings.append(QJsonObject{
            {QStringLiteral("severity"), severityText(finding.severity)},
            {QStringLiteral("code"), finding.code},
            {QStringLiteral("message"), finding.message},
            {QStringLiteral("evidence"), TrafficLog::printable(finding.evidence)},
            {QStringLiteral("count"), finding.count},
        });
    const auto single = [&](const std::optional<TestedCommand> &test) {
        return test ? QJsonValue(commandJson(*test, record.published)) : QJsonValue();
    };
    QJsonObject json{
        {QStringLiteral("port"), record.port},
        {QStringLiteral("line"), record.line},
        {QStringLiteral("ended"), record.ended.toString(Qt::ISODate)},
        {QStringLiteral("about"), QJsonArray::fromStringList(record.about)},
        {QStringLiteral("info"), QJsonArray::fromStringList(record.info)},
        {QStringLiteral("published"), record.published},
        {QStringLiteral("commands"), commands},
        {QStringLiteral("tare"), single(record.tare)},
        {QStringLiteral("units"), single(record.units)},
        {QStringLiteral("weight_stream"), weightStreamText(record.weightStream)},
        {QStringLiteral("flags_seen"), QJsonArray::fromStringList(record.flagsSeen)},
        {QStringLiteral("level1"), record.level1},
        {QStringLiteral("level1_commands"), record.level1Commands},
        {QStringLiteral("level2_commands"), record.published},
        {QStringLiteral("report"), QJsonArray::fromStringList(record.report)},
        {QStringLiteral("findings"), findings},
        {QStringLiteral("exit"), record.exitStatus},
    };
    if (record.comparison)
        json.insert(QStringLiteral("changes"), changesJson(*record.comparison));
    return json;
}

QByteArray checkJsonText(const CheckRecord &record)
{
    return QJsonDocument(checkJson(record)).toJson(QJsonDocument::Indented);
}
