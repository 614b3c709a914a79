#include "VerdictText.h"

#include <QtTest>

// The sentence that states a tested command's verdict and its evidence.
class VerdictTextTest : public QObject
{
    Q_OBJECT
private slots:
    void evidence_data();
    void evidence();
};

namespace {

using Result = TestedCommand::Result;
using Reason = TestedCommand::Reason;

TestedCommand entry(const QString &command, Result result, std::optional<QByteArray> answer = {},
                    qint64 ms = -1, Reason reason = Reason::None)
{
    TestedCommand tested;
    tested.command = command;
    tested.printable = QStringLiteral("<LF>") + command + QStringLiteral("<CR>");
    tested.result = result;
    tested.answer = std::move(answer);
    tested.ms = ms;
    tested.reason = reason;
    return tested;
}

} // namespace

void VerdictTextTest::evidence_data()
{
    QTest::addColumn<TestedCommand>("command");
    QTest::addColumn<QString>("published");
    QTest::addColumn<QString>("expected");

    const QString hp = QStringLiteral("HPTMCU");
    QTest::newRow("passed") << entry("A", Result::Passed, "SMA:2/1.0", 12) << QString()
                            << QString::fromUtf8("Passed — \"SMA:2/1.0\" after 12 ms");
    QTest::newRow("blanks kept, controls named")
        << entry("W", Result::Passed, QByteArray(" 1G  \x02   0.0kg\x7f\xe9"), 0) << hp
        << QString::fromUtf8("Passed — \" 1G  <STX>   0.0kg<DEL><?>\" after 0 ms");
    QTest::newRow("empty answer") << entry("Z", Result::Passed, QByteArray(""), 3) << hp
                                  << QString::fromUtf8("Passed — \"\" after 3 ms");
    QTest::newRow("refused, not published")
        << entry("Q", Result::Failed, "?", 8) << hp
        << QString::fromUtf8("Failed — \"?\" after 8 ms (not published)");
    QTest::newRow("refused, published") << entry("P", Result::Failed, "?", 8) << hp
                                        << QString::fromUtf8("Failed — \"?\" after 8 ms");
    QTest::newRow("refused, Level 1") << entry("B", Result::Failed, "?", 5) << QString()
                                      << QString::fromUtf8("Failed — \"?\" after 5 ms");
    QTest::newRow("refused, with data") << entry("Ukg ", Result::Failed, "?", 4) << QString()
                                        << QString::fromUtf8("Failed — \"?\" after 4 ms");
    QTest::newRow("timed out") << entry("D", Result::Failed, {}, -1, Reason::TimedOut) << hp
                               << QString::fromUtf8("Failed — no answer within 3000 ms");
    QTest::newRow("timed out, not published")
        << entry("R", Result::Failed, {}, -1, Reason::TimedOut) << hp
        << QString::fromUtf8("Failed — no answer within 3000 ms (not published)");
    QTest::newRow("port lost") << entry("T000001.000", Result::Failed, {}, -1, Reason::PortLost)
                               << hp
                               << QString::fromUtf8("Failed — the port was lost before an answer");
    QTest::newRow("listing cut") << entry("B", Result::Failed, {}, -1, Reason::ListingCut) << hp
                                 << QString::fromUtf8(
                                        "Failed — the listing did not end within 100 lines");
    QTest::newRow("stopped") << entry("A", Result::Failed, {}, -1, Reason::Stopped) << hp
                             << QString::fromUtf8("Failed — stopped before an answer");
    QTest::newRow("pending retest") << entry("H", Result::Pending, "?", 9) << hp
                                    << QString::fromUtf8("Pending — waiting for the answer");
    QTest::newRow("awaited") << entry("I", Result::Awaited) << hp
                             << QStringLiteral("waiting for the answer");
}

void VerdictTextTest::evidence()
{
    QFETCH(TestedCommand, command);
    QFETCH(QString, published);
    QFETCH(QString, expected);
    QCOMPARE(verdictEvidence(command, published), expected);
}

QTEST_APPLESS_MAIN(VerdictTextTest)
#include "tst_verdicttext.moc"
