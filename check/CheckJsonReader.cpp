#include "CheckJsonReader.h"

#include "ComplianceChecks.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QStringList strings(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list << item.toString();
    return list;
}

TestedCommand::Result resultFrom(const QString &text)
{
    for (const auto result : {TestedCommand::Result::Pending, TestedCommand::Result::Passed,
                              TestedCommand::Result::Failed}) {
        if (text == resultText(result))
            return result;
    }
    return TestedCommand::Result::Awaited;
}

TestedCommand commandFrom(const QJsonObject &json)
{
    TestedCommand command;
    command.command = json.value(QStringLiteral("command")).toString();
    command.printable = json.value(QStringLiteral("printable")).toString();
    command.result = resultFrom(json.value(QStringLiteral("result")).toString());
    const QJsonValue answer = json.value(QStringLiteral("answer"));
    if (answer.isString())
        command.answer = answer.toString().toLatin1();
    command.ms = json.value(QStringLiteral("ms")).toInteger(-1);
    return command;
}

std::optional<TestedCommand> singleTestFrom(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    return commandFrom(value.toObject());
}

} // namespace

std::optional<CheckRecord> readCheckJson(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    const QJsonObject json = document.object();
    if (parse.error != QJsonParseError::NoError || !document.isObject() ||
        !json.value(QStringLiteral("commands")).isArray()) {
        *error = QStringLiteral("%1 is no check that sma-check --json wrote%2")
                     .arg(path, parse.error != QJsonParseError::NoError
                                    ? QStringLiteral(" (%1)").arg(parse.errorString())
                                    : QString());
        return std::nullopt;
    }

    CheckRecord record;
    record.port = json.value(QStringLiteral("port")).toString();
    record.ended =
        QDateTime::fromString(json.value(QStringLiteral("ended")).toString(), Qt::ISODate);
    record.about = strings(json.value(QStringLiteral("about")));
    record.info = strings(json.value(QStringLiteral("info")));
    record.manufacturer = aboutField(record.about, QStringLiteral("MFG:"));
    record.model = aboutField(record.about, QStringLiteral("MOD:"));
    record.serialNumber = aboutField(record.about, QStringLiteral("SN :"));
    record.revision = aboutField(record.about, QStringLiteral("REV:"));
    record.published = json.value(QStringLiteral("published")).toString();
    for (const QJsonValue &command : json.value(QStringLiteral("commands")).toArray())
        record.commands << commandFrom(command.toObject());
    record.tare = singleTestFrom(json.value(QStringLiteral("tare")));
    record.units = singleTestFrom(json.value(QStringLiteral("units")));
    record.weightStream =
        weightStreamFromText(json.value(QStringLiteral("weight_stream")).toString())
            .value_or(CheckRecord::WeightStream::NotVerified);
    record.flagsSeen = strings(json.value(QStringLiteral("flags_seen")));
    // A file from before level1_commands: its commands tell.
    record.level1Commands =
        json.contains(QStringLiteral("level1_commands"))
            ? json.value(QStringLiteral("level1_commands")).toBool()
            : checkSmaLevel1(commandEntries(record.commands), commandResultTexts(record.commands));
    record.level1 =
        record.level1Commands && record.weightStream == CheckRecord::WeightStream::Verified;
    record.report = strings(json.value(QStringLiteral("report")));
    for (const QJsonValue &value : json.value(QStringLiteral("findings")).toArray()) {
        const QJsonObject finding = value.toObject();
        record.findings << Finding{
            severityFromText(finding.value(QStringLiteral("severity")).toString()),
            finding.value(QStringLiteral("code")).toString(),
            finding.value(QStringLiteral("message")).toString(),
            finding.value(QStringLiteral("evidence")).toString().toUtf8(),
            finding.value(QStringLiteral("count")).toInt(1)};
    }
    record.exitStatus = json.value(QStringLiteral("exit")).toInt(1);
    return record;
}
