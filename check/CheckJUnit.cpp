#include "CheckJUnit.h"

#include "CheckRecord.h"
#include "VerdictText.h"

#include <QXmlStreamWriter>

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(qMax<qint64>(ms, 0)) / 1000.0, 'f', 3);
}

void writeCommand(QXmlStreamWriter &xml, const TestedCommand &command, const CheckRecord &record,
                  const QString &className)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), command.printable);
    xml.writeAttribute(QStringLiteral("classname"), className);
    if (command.ms >= 0)
        xml.writeAttribute(QStringLiteral("time"), seconds(command.ms));
    if (command.result != TestedCommand::Result::Passed) {
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

void writeWeightStream(QXmlStreamWriter &xml, const CheckRecord &record, const QString &className)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("Weight stream"));
    xml.writeAttribute(QStringLiteral("classname"), className);
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

} // namespace

QByteArray checkJUnitXml(const CheckRecord &record)
{
    const QString className = QStringLiteral("sma.") + record.port;
    const qsizetype tests = record.commands.size() + 1;
    qsizetype failures = record.weightStream == CheckRecord::WeightStream::NotVerified ? 1 : 0;
    for (const TestedCommand &command : record.commands) {
        if (command.result != TestedCommand::Result::Passed)
            ++failures;
    }
    const int skipped = record.weightStream == CheckRecord::WeightStream::Skipped ? 1 : 0;

    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("sma-check"));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    xml.writeAttribute(QStringLiteral("time"), seconds(record.elapsedMs));

    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), className);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    xml.writeAttribute(QStringLiteral("time"), seconds(record.elapsedMs));
    for (const TestedCommand &command : record.commands)
        writeCommand(xml, command, record, className);
    writeWeightStream(xml, record, className);
    xml.writeEndElement();

    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}
