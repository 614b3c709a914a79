#pragma once

#include "CheckRecord.h"
#include "CommandText.h"

#include <QDateTime>
#include <QStringList>

// A check as a whole run against a scale publishing HPTMCU leaves it, of
// about the size of a real one (commands, traffic, report, findings), for
// the benches that time its way into the records. `serial` tells the
// scales apart and orders their checks, the higher the older.
inline CheckRecord wholeRun(int serial)
{
    CheckRecord record;
    record.port = QStringLiteral("/dev/ttyUSB0");
    record.started = QDateTime::currentDateTime().addSecs(-serial - 60);
    record.ended = record.started.addSecs(40);
    record.programVersion = QStringLiteral("1.0");
    record.host = QStringLiteral("bench-3");
    record.user = QStringLiteral("operator");
    record.manufacturer = serial % 2 ? QStringLiteral("ACME Scales") : QStringLiteral("Weighworks");
    record.model = QStringLiteral("BX-%1").arg(serial % 50);
    record.serialNumber = QStringLiteral("SN-%1").arg(serial, 6, 10, QLatin1Char('0'));
    record.revision = QStringLiteral("1.0%1").arg(serial % 7);
    record.about = {"SMA:2/1.0", "MFG:" + record.manufacturer, "MOD:" + record.model,
                    "REV:" + record.revision, "SN :" + record.serialNumber};
    record.info = {"SMA:2/1.0", "TYP:S", "CAP:kg :6000:1:0", "CMD:HPTMCU"};
    record.published = QStringLiteral("HPTMCU");
    const QString letters = QStringLiteral("ABBBBINNZHPTMCUQRSWD");
    for (qsizetype i = 0; i < letters.size(); ++i) {
        TestedCommand command;
        command.command = letters.at(i);
        command.printable = printableForm(command.command);
        const bool refused = QStringLiteral("QRS").contains(letters.at(i));
        command.result = refused ? TestedCommand::Result::Failed : TestedCommand::Result::Passed;
        command.answer = refused ? QByteArray("?") : QByteArray(" 1G       5.025kg ");
        command.ms = 40 + i;
        record.commands << command;
        record.traffic << RecordedTraffic{
            i * 50, "TX", '\n' + command.command.toLatin1() + '\r', {}};
        record.traffic << RecordedTraffic{i * 50 + 40, "RX", '\n' + *command.answer + '\r',
                                          "answer to " + command.printable + " after 40 ms"};
    }
    while (record.traffic.size() < 120)
        record.traffic << RecordedTraffic{5000, "RX", "\nPOWER ON\r", "discarded"};
    for (int line = 0; line < 40; ++line)
        record.report << QStringLiteral("<LF>A<CR>\t\t\t\t\tPassed %1").arg(line);
    record.findings = {{Finding::Severity::Note, "slowest-answer", "The slowest answer", "\nA\r"}};
    record.level1 = true;
    record.weightStream = CheckRecord::WeightStream::Verified;
    return record;
}
