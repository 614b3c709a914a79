#include "CheckJUnit.h"

#include "CheckRecord.h"
#include "ReportRenderer.h"
#include "VerdictText.h"

#include <QXmlStreamWriter>

namespace {

const QString kClassName = QStringLiteral("sma");

QString seconds(qint64 ms)
{
    return QString::number(double(qMax<qint64>(ms, 0)) / 1000.0, 'f', 3);
}

// The value of the About listing's `field` line ("MFG", "SN "), blanks
// around it dropped; empty when the listing has no such line.
QString aboutField(const CheckRecord &record, const QString &field)
{
    const QString prefix = field + QLatin1Char(':');
    for (const QString &line : record.about) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return {};
}

// "MFG MOD SN" of the scale, as a CI server lists the suite; the port when
// the listing names none of them.
QString suiteName(const CheckRecord &record)
{
    QStringList parts;
    for (const QString &field :
         {QStringLiteral("MFG"), QStringLiteral("MOD"), QStringLiteral("SN ")}) {
        if (const QString value = aboutField(record, field); !value.isEmpty())
            parts << value;
    }
    return parts.isEmpty() ? record.port : parts.join(QLatin1Char(' '));
}

// An additional command that the scale neither publishes nor knows: it
// answered "?" to a command it never offered, which says nothing against it.
bool unpublishedRefusal(const TestedCommand &command, const CheckRecord &record)
{
    return command.result == TestedCommand::Result::Failed && command.answer == "?" &&
           command.command.size() == 1 &&
           SmaSession::kAdditionalCommands.contains(command.command.at(0)) &&
           !record.published.contains(command.command.at(0));
}

void writeProperties(QXmlStreamWriter &xml, const CheckRecord &record)
{
    const QList<QPair<QString, QString>> properties = {
        {QStringLiteral("port"), record.port},
        {QStringLiteral("line_settings"), record.line},
        {QStringLiteral("MFG"), aboutField(record, QStringLiteral("MFG"))},
        {QStringLiteral("MOD"), aboutField(record, QStringLiteral("MOD"))},
        {QStringLiteral("SN"), aboutField(record, QStringLiteral("SN "))},
        {QStringLiteral("REV"), aboutField(record, QStringLiteral("REV"))},
        {QStringLiteral("program_version"), programVersion()},
    };
    xml.writeStartElement(QStringLiteral("properties"));
    for (const auto &[name, value] : properties) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeAttribute(QStringLiteral("value"), value);
    }
    xml.writeEndElement();
}

void writeCommand(QXmlStreamWriter &xml, const TestedCommand &command, const CheckRecord &record)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), command.printable);
    xml.writeAttribute(QStringLiteral("classname"), kClassName);
    if (command.ms >= 0)
        xml.writeAttribute(QStringLiteral("time"), seconds(command.ms));
    if (unpublishedRefusal(command, record)) {
        xml.writeEmptyElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"),
                           QStringLiteral("not published: the scale answered \"?\""));
    } else if (command.result != TestedCommand::Result::Passed) {
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("message"), verdictEvidence(command, record.published));
        xml.writeAttribute(QStringLiteral("type"), resultText(command.result));
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

QString weightStreamFailure(const CheckRecord &record)
{
    if (!record.discoveryFinished)
        return QStringLiteral("The discovery run did not finish, so the weight stream was not "
                              "analysed.");
    if (record.flagsMissing.isEmpty())
        return QStringLiteral("The analysis ended before it could pass.");
    return QStringLiteral("Not seen: %1").arg(record.flagsMissing.join(QStringLiteral(", ")));
}

void writeWeightStream(QXmlStreamWriter &xml, const CheckRecord &record)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("Weight stream"));
    xml.writeAttribute(QStringLiteral("classname"), kClassName);
    if (record.weightStreamMs >= 0)
        xml.writeAttribute(QStringLiteral("time"), seconds(record.weightStreamMs));
    switch (record.weightStream) {
    case CheckRecord::WeightStream::Verified:
        break;
    case CheckRecord::WeightStream::Skipped:
        xml.writeEmptyElement(QStringLiteral("skipped"));
        break;
    case CheckRecord::WeightStream::NotVerified:
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("message"), QStringLiteral("Weight stream not verified"));
        xml.writeCharacters(weightStreamFailure(record));
        xml.writeEndElement();
        break;
    }
    xml.writeEndElement();
}

// tests, failures, errors, skipped and time, as both elements carry them.
void writeCounts(QXmlStreamWriter &xml, const CheckRecord &record)
{
    qsizetype failures = record.weightStream == CheckRecord::WeightStream::NotVerified ? 1 : 0;
    qsizetype skipped = record.weightStream == CheckRecord::WeightStream::Skipped ? 1 : 0;
    for (const TestedCommand &command : record.commands) {
        if (unpublishedRefusal(command, record))
            ++skipped;
        else if (command.result != TestedCommand::Result::Passed)
            ++failures;
    }
    // Every tested command and the weight stream.
    xml.writeAttribute(QStringLiteral("tests"), QString::number(record.commands.size() + 1));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    xml.writeAttribute(QStringLiteral("time"), seconds(record.elapsedMs));
}

} // namespace

QByteArray checkJUnitXml(const CheckRecord &record)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("sma-check"));
    writeCounts(xml, record);

    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suiteName(record));
    writeCounts(xml, record);
    writeProperties(xml, record);
    for (const TestedCommand &command : record.commands)
        writeCommand(xml, command, record);
    writeWeightStream(xml, record);
    xml.writeEndElement();

    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}
