#pragma once

#include "CheckRecord.h"
#include "RecordStore.h"
#include "RecordedReportSource.h"
#include "ReportRenderer.h"
#include "SessionFixture.h"
#include "TextReportTarget.h"

#include <QtTest>

// Checks as the record store meets them, for the round trips through
// SQLite and PostgreSQL.
struct RecordSample
{
    QString name;
    CheckRecord record;
};

// A whole run of a scripted scale with a tare and a units test after it,
// recorded as the window and sma-check record it.
inline CheckRecord recordedSessionRun()
{
    SessionFixture f;
    ScriptedScale scale;
    scale.about = QStringList{"SMA:2/1.0", "MFG:ACME Scales", "MOD:BX-10",
                              "REV:1.04",  "SN :  A-00042 ",  "END:"};
    scale.info = QStringList{"SMA:2/1.0", "TYP:S", "CMD:HTU", "END:"};
    scale.answers["T000001.000"] = " 1N       0.000kg ";
    scale.answers["Ulb "] = " 1G      11.079lb ";
    scale.lineEnd = "\r\n"; // a finding, with its evidence
    f.answerWith(scale);
    f.whileMessageShows = [&] { f.port->deliver("\nPOWER\x01ON\xff\r"); };
    f.pressConnect();
    if (!QTest::qWaitFor([&] { return f.finishedRuns == 1; }))
        return {};
    const auto answered = [&] { return !f.session->isOpen(); };
    f.keyTare();
    if (!QTest::qWaitFor(answered))
        return {};
    f.setUnits();
    if (!QTest::qWaitFor(answered))
        return {};
    f.session->setWeightStreamVerified(true);

    CheckRecord record;
    record.weightStream = CheckRecord::WeightStream::Verified;
    record.weightStreamMs = 4200;
    record.flagsSeen = {"Zero Flag", "Motion Flag", "Overcap Flag", "Gross Flag", "Net Flag"};
    record.discoveryFinished = true;
    record.exitStatus = 0;
    record.elapsedMs = 5100;
    fillCheckRecord(*f.session, record);
    return record;
}

inline QList<RecordSample> recordSamples()
{
    QList<RecordSample> samples;
    samples << RecordSample{QStringLiteral("whole run of a session"), recordedSessionRun()};

    CheckRecord brokenOff;
    brokenOff.port = QStringLiteral("3");
    brokenOff.started = QDateTime(QDate(2026, 3, 1), QTime(8, 0, 0, 5));
    brokenOff.ended = brokenOff.started.addMSecs(3021);
    brokenOff.about = QStringList{"SMA:2/1.0"};
    TestedCommand silent;
    silent.printable = QStringLiteral("<LF>B<CR>");
    silent.command = QStringLiteral("B");
    silent.result = TestedCommand::Result::Failed;
    silent.reason = TestedCommand::Reason::TimedOut;
    silent.bytesArrived = 11; // garbled, none ended an answer
    TestedCommand talking = silent;
    talking.printable = QStringLiteral("<LF>A<CR>");
    talking.command = QStringLiteral("A");
    talking.reason = TestedCommand::Reason::Unsolicited;
    talking.bytesArrived = 0;
    talking.unaskedLines = 5;
    brokenOff.commands = {talking, silent};
    brokenOff.flagsMissing = {"Zero Flag"};
    brokenOff.traffic = {{0, "TX", "\nB\r", {}}};
    samples << RecordSample{QStringLiteral("run broken off by a silent scale"), brokenOff};

    // Every byte value, empty answers and texts that need quoting anywhere.
    CheckRecord awkward;
    awkward.port = QStringLiteral("/dev/ttyUSB0");
    awkward.ended = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 999));
    awkward.host = QString::fromUtf8("bänch-7 \"west\", line 2");
    awkward.user = QStringLiteral("o'brien");
    awkward.programVersion = QStringLiteral("0.9.1"); // an older program made it
    awkward.line = QStringLiteral("19200,7,E,1");
    awkward.serialNumber = QStringLiteral("50%_off\\");
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte += char(value);
    TestedCommand empty;
    empty.printable = QStringLiteral("<LF>D<CR>");
    empty.command = QStringLiteral("D");
    empty.result = TestedCommand::Result::Passed;
    empty.answer = QByteArray("");
    empty.ms = 0;
    TestedCommand binary = empty;
    binary.printable = QStringLiteral("<LF>W<CR>");
    binary.command = QStringLiteral("W");
    binary.answer = everyByte;
    binary.ms = 2999;
    TestedCommand pending = binary;
    pending.printable = QStringLiteral("<LF>Ukg <CR>");
    pending.command = QStringLiteral("Ukg ");
    pending.result = TestedCommand::Result::Pending;
    awkward.commands = {empty, binary, pending};
    awkward.units = pending;
    awkward.report =
        QStringList{"Tested Commands\t\t\tResults", "", "\r", "'; DROP TABLE checks;--"};
    awkward.findings = {{Finding::Severity::Warning, "weight-frame", "it's \"odd\"", everyByte}};
    awkward.traffic = {{1, "RX", everyByte, QString::fromUtf8("discarded — 256 bytes")},
                       {2, "RX", QByteArray(""), {}}};
    awkward.weightStream = CheckRecord::WeightStream::Skipped;
    awkward.uuid = QStringLiteral("5d0c9c5e-6a57-4b1e-9d51-2f0f4b7c1a20");
    awkward.edition = 3;
    samples << RecordSample{QStringLiteral("every byte and awkward texts"), awkward};
    return samples;
}

// `record` is written, read back whole, listed, and then written over with
// `next`, as a retest writes a check again.
inline void roundTrip(RecordStore &store, const CheckRecord &record, const CheckRecord &next)
{
    const std::optional<qint64> id = store.add(record);
    QVERIFY2(id, qPrintable(store.errorString()));

    std::optional<CheckRecord> loaded = store.load(*id);
    QVERIFY2(loaded, qPrintable(store.errorString()));
    QCOMPARE(loaded->commands, record.commands);
    QCOMPARE(loaded->traffic, record.traffic);
    QCOMPARE(loaded->findings, record.findings);
    QCOMPARE(loaded->report, record.report);
    QVERIFY(*loaded == record);
    if (record.discoveryFinished) // its report was drawn from the run: it reprints the same
        QCOMPARE(reportLines(RecordedReportSource(*loaded)), record.report);
    // The reprint's footer names what the check was made with, not this program.
    const QString version = record.programVersion.isEmpty()
                                ? QStringLiteral("(version not recorded)")
                                : record.programVersion;
    const QString line = record.line == QLatin1String("9600,8,N,1")
                             ? QString()
                             : QStringLiteral(" at ") + record.line;
    QCOMPARE(reportFooter(1, 2, RecordedReportSource(*loaded)),
             QString::fromUtf8("Page 1 of 2 · %1 · port %2%3 · SMA Compliance Tester %4")
                 .arg(record.ended.toString(QStringLiteral("yyyy-MM-dd HH:mm")), record.port, line,
                      version));

    const std::optional<QList<HistoryRow>> rows = store.history(QString(), 1);
    QVERIFY(rows && rows->size() == 1);
    const HistoryRow &row = rows->first();
    QCOMPARE(row.id, *id);
    QCOMPARE(row.serialNumber, record.serialNumber);
    QCOMPARE(row.level1, record.level1);
    QCOMPARE(row.failed, int(std::count_if(record.commands.cbegin(), record.commands.cend(),
                                           [](const TestedCommand &command) {
                                               return command.result ==
                                                      TestedCommand::Result::Failed;
                                           })));

    if (!record.uuid.isEmpty()) {
        // Forwarded again, as after a forward cut off once the server had
        // committed it: still the one check. An older state arriving late
        // leaves the newer one.
        QCOMPARE(store.put(record), std::optional<qint64>(*id));
        CheckRecord older = next;
        older.uuid = record.uuid;
        older.edition = record.edition - 1;
        QCOMPARE(store.put(older), std::optional<qint64>(*id));
        QVERIFY(*store.load(*id) == record);
    }

    CheckRecord revised = next; // the same check, retested
    revised.uuid = record.uuid;
    QVERIFY2(store.update(*id, revised), qPrintable(store.errorString()));
    loaded = store.load(*id);
    QVERIFY(loaded && *loaded == revised);
    QVERIFY(!store.update(*id + 1000, next));
    QVERIFY(store.errorString().contains(QStringLiteral("not on record")));
}
