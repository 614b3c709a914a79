#include "CheckComparison.h"
#include "CheckRecord.h"

#include <QtTest>

// What changed between two checks of a scale, and what is a regression.
class CheckComparisonTest : public QObject
{
    Q_OBJECT
private slots:
    void differences_data();
    void differences();
};

namespace {

// "A=Passed:SMA:2/1.0@12 U=Failed:?@9 W=Failed" — letter, result, answer
// (none when left out) and milliseconds; findings as "warning/code/message".
CheckRecord check(const QString &commands, const QStringList &findings = {}, bool level1 = true,
                  CheckRecord::WeightStream stream = CheckRecord::WeightStream::Verified)
{
    CheckRecord record;
    record.about = QStringList{"SMA:2/1.0", "MFG:ACME", "REV:1.03", "END:"};
    record.info = QStringList{"SMA:2/1.0", "CAP:kg :6000:1:0", "CMD:U"};
    for (const QString &given : commands.split(' ', Qt::SkipEmptyParts)) {
        TestedCommand command;
        const QString letter = given.section('=', 0, 0);
        const QString verdict = given.section('=', 1);
        command.command = letter;
        command.printable = "<LF>" + letter + "<CR>";
        command.result = verdict.startsWith("Passed") ? TestedCommand::Result::Passed
                                                      : TestedCommand::Result::Failed;
        if (verdict.contains(':')) {
            command.answer = verdict.section(':', 1).section('@', 0, 0).toLatin1();
            command.ms = verdict.section('@', 1).toLongLong();
        }
        record.commands << command;
    }
    for (const QString &finding : findings)
        record.findings << Finding{severityFromText(finding.section('/', 0, 0)),
                                   finding.section('/', 1, 1),
                                   finding.section('/', 2),
                                   {}};
    record.level1Commands = level1;
    record.weightStream = stream;
    return record;
}

} // namespace

void CheckComparisonTest::differences_data()
{
    QTest::addColumn<CheckRecord>("before");
    QTest::addColumn<CheckRecord>("after");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<bool>("regression");

    const QString slowestSame = "slowest answer: <LF>A<CR> after 12 ms -> <LF>A<CR> after 12 ms";
    const CheckRecord base = check("A=Passed:SMA:2/1.0@12 U=Passed:kg@9");
    QTest::newRow("nothing changed") << base << base << QStringList{slowestSame} << false;
    QTest::newRow("a command that passed now fails")
        << base << check("A=Passed:SMA:2/1.0@12 U=Failed:?@9")
        << QStringList{"verdict of <LF>U<CR>: Passed -> Failed (regression)",
                       "answer of <LF>U<CR>: \"kg\" -> \"?\"", slowestSame}
        << true;
    QTest::newRow("a command that failed now passes")
        << check("A=Passed:SMA:2/1.0@12 U=Failed") << base
        << QStringList{"verdict of <LF>U<CR>: Failed -> Passed", slowestSame} << false;
    QTest::newRow("answers changed, control characters named")
        << base << check("A=Passed:SMA:2/1.1@40 U=Passed:kg\t@9")
        << QStringList{"answer of <LF>A<CR>: \"SMA:2/1.0\" -> \"SMA:2/1.1\"",
                       "answer of <LF>U<CR>: \"kg\" -> \"kg<HT>\"",
                       "slowest answer: <LF>A<CR> after 12 ms -> <LF>A<CR> after 40 ms"}
        << false;
    QTest::newRow("commands new and gone")
        << base << check("A=Passed:SMA:2/1.0@12 X=Failed:?@50")
        << QStringList{"new command <LF>X<CR>: Failed", "command gone <LF>U<CR>: was Passed",
                       "slowest answer: <LF>A<CR> after 12 ms -> <LF>X<CR> after 50 ms"}
        << false;
    QTest::newRow("findings appeared and went; the slowest is its own line")
        << check("A=Passed", {"warning/answer-crlf/CR LF", "note/slowest-answer/12 ms"})
        << check("A=Passed", {"error/weight-unit/bad unit", "note/slowest-answer/99 ms"})
        << QStringList{"finding appeared weight-unit: error: bad unit",
                       "finding went answer-crlf: warning: CR LF"}
        << false;
    QTest::newRow("Level 1 lost") << check("A=Passed") << check("A=Passed", {}, false)
                                  << QStringList{"Level 1: verified -> not verified (regression)"}
                                  << true;
    QTest::newRow("Level 1 gained, weight stream lost")
        << check("A=Passed", {}, false)
        << check("A=Passed", {}, true, CheckRecord::WeightStream::NotVerified)
        << QStringList{"Level 1: not verified -> verified",
                       "weight stream: verified -> not verified"}
        << false;
    CheckRecord firmware = base;
    firmware.about = QStringList{"SMA:2/1.0", "MFG:ACME ", "REV:1.04", "SN :A-17"};
    firmware.info = QStringList{"SMA:2/1.1", "CAP:kg :6000:1:0", "CAP:lb :12000:2:0", "CMD:U"};
    firmware.commands[1].result = TestedCommand::Result::Failed;
    QTest::newRow("listing lines by field, before the verdicts")
        << base << firmware
        << QStringList{"REV: 1.03 -> 1.04",
                       "SN: A-17 (new line)",
                       "END: (line gone)",
                       "Information SMA: 2/1.0 -> 2/1.1",
                       "Information CAP 2: lb :12000:2:0 (new line)",
                       "verdict of <LF>U<CR>: Passed -> Failed (regression)",
                       slowestSame}
        << true;
    QTest::newRow("a skipped weight stream is no change")
        << check("A=Passed") << check("A=Passed", {}, true, CheckRecord::WeightStream::Skipped)
        << QStringList{} << false;
}

void CheckComparisonTest::differences()
{
    QFETCH(CheckRecord, before);
    QFETCH(CheckRecord, after);
    QFETCH(QStringList, changes);
    QFETCH(bool, regression);
    CheckComparison comparison;
    comparison.changes = compareChecks(before, after);
    QStringList texts;
    for (const CheckChange &change : comparison.changes)
        texts << changeText(change);
    QCOMPARE(texts, changes);
    QCOMPARE(comparison.regression(), regression);
}

QTEST_GUILESS_MAIN(CheckComparisonTest)
#include "tst_checkcomparison.moc"
