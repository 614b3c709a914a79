#include "StatusChecklist.h"
#include "WeightAnswer.h"
#include "WeightFrames.h"
#include "WeightStreamBuffer.h"

#include <QtTest>

namespace {

// The flags an answer shows, as letters in checklist order: "Z", "M", "O",
// "G", "N".
QString shownFlags(const WeightAnswer &answer)
{
    QString flags;
    if (answer.showsZero())
        flags += QLatin1Char('Z');
    if (answer.showsMotion())
        flags += QLatin1Char('M');
    if (answer.showsOverCapacity())
        flags += QLatin1Char('O');
    if (answer.showsGross())
        flags += QLatin1Char('G');
    if (answer.showsNet())
        flags += QLatin1Char('N');
    return flags;
}

QString tickedItems(const StatusChecklist &checklist)
{
    QStringList ticked;
    for (int item = 0; item <= StatusChecklist::TareOperation; ++item) {
        if (checklist.isTicked(StatusChecklist::Item(item)))
            ticked << StatusChecklist::itemText(StatusChecklist::Item(item));
    }
    return ticked.join(QLatin1Char(','));
}

WeightAnswer decode(const QByteArray &frame)
{
    WeightStreamBuffer buffer;
    const WeightStreamBuffer::Result result = buffer.receive(frame);
    if (!result.answer)
        qFatal("not an answer: %s", frame.toHex(' ').constData());
    return *result.answer;
}

} // namespace

class WeightDecodingTest : public QObject
{
    Q_OBJECT
private slots:
    // --- one answer ---
    void flagsCountOnlyAtTheirPosition_data();
    void flagsCountOnlyAtTheirPosition();
    void weightAndUnitAreTakenAsSent();
    void readWeightField_data();
    void readWeightField();
    void dashesNeverReadAsZero();

    // --- the receive buffer ---
    void wholeAnswerInOneChunk();
    void answerSplitAtEveryPosition();
    void answerByteByByte();
    void secondAnswerInTheSameChunkIsDropped();
    void chunkNotStartingWithLfIsDroppedWhole_data();
    void chunkNotStartingWithLfIsDroppedWhole();
    void garbageAfterAnOpenAnswerIsKept();
    void wrongCrPositionIsNeverConsumed_data();
    void wrongCrPositionIsNeverConsumed();
    void fortyCharactersAreAllowedFortyOneOverflow();
    void limitCountsAcrossChunks();
    void rejectionsPileUpUntilOverflow();

    // --- the checklist ---
    void fiveFlagsTickAllWithoutTareTest();
    void ticksAreNeverTakenAway();
    void tareTickedByNetZeroInOneAnswer();
    void tareTickedByGrossZeroAfterEarlierNet();
    void tareNeedsNetAndZero_data();
    void tareNeedsNetAndZero();
    void tareTestIsPartOfAllTicked();
};

void WeightDecodingTest::flagsCountOnlyAtTheirPosition_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("flags");

    struct Flag
    {
        char c;
        int position;
        const char *shows;
    };
    const Flag flags[] = {{'Z', 2, "Z"}, {'O', 2, "O"}, {'G', 4, "G"}, {'g', 4, "G"}, {'N', 4, "N"},
                          {'n', 4, "N"}, {'M', 5, "M"}, {'z', 0, ""},  {'o', 0, ""},  {'m', 0, ""}};
    for (const Flag &flag : flags) {
        for (int position = 2; position <= 19; ++position) {
            const bool counts = position == flag.position;
            QTest::addRow("%c at %d", flag.c, position)
                << answerWithCharAt(position, flag.c)
                << QString::fromLatin1(counts ? flag.shows : "");
        }
    }
}

void WeightDecodingTest::flagsCountOnlyAtTheirPosition()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, flags);
    QCOMPARE(shownFlags(decode(frame)), flags);
}

void WeightDecodingTest::weightAndUnitAreTakenAsSent()
{
    const WeightAnswer answer = decode(weightAnswer('Z', 'G', ' ', "     0.000", "lb "));
    QCOMPARE(answer.weightText(), QStringLiteral("     0.000"));
    QCOMPARE(answer.unitText(), QStringLiteral("lb "));
    QCOMPARE(shownFlags(answer), QStringLiteral("ZG"));
    QVERIFY(answer.weightReadsZero());
    QCOMPARE(decode(weightAnswer(' ', 'G', ' ', "    8:08.5", "l/o")).unitText(),
             QStringLiteral("l/o"));

    const WeightAnswer padded = decode(weightAnswer(' ', 'N', ' ', "   0      "));
    QVERIFY(padded.weightReadsZero());
}

void WeightDecodingTest::readWeightField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");

    QTest::newRow("zero") << QByteArray("0") << true << 0.0;
    QTest::newRow("blanks around") << QByteArray("  -0.000  ") << true << 0.0;
    QTest::newRow("plus sign") << QByteArray("+12.5") << true << 12.5;
    QTest::newRow("minus sign") << QByteArray("    -1.250") << true << -1.25;
    QTest::newRow("leading point") << QByteArray(".5") << true << 0.5;
    QTest::newRow("trailing point") << QByteArray("5.") << true << 5.0;
    QTest::newRow("leading zeros") << QByteArray("000001.000") << true << 1.0;
    QTest::newRow("pounds-ounces zero") << QByteArray("    0:00.0") << true << 0.0;
    QTest::newRow("pounds-ounces no decimals") << QByteArray("      0:00") << true << 0.0;
    QTest::newRow("pounds-ounces signed zero") << QByteArray("   -0:00.0") << true << 0.0;
    QTest::newRow("pounds-ounces") << QByteArray("    8:08.5") << true << 8.53125;
    QTest::newRow("pounds-ounces negative") << QByteArray("  -1:04.0 ") << true << -1.25;

    QTest::newRow("empty") << QByteArray() << false << 0.0;
    QTest::newRow("only blanks") << QByteArray("          ") << false << 0.0;
    QTest::newRow("letters") << QByteArray("   abc    ") << false << 0.0;
    QTest::newRow("letter after number") << QByteArray("     0kg  ") << false << 0.0;
    QTest::newRow("two signs") << QByteArray("    +-0.00") << false << 0.0;
    QTest::newRow("double minus") << QByteArray("     --0.0") << false << 0.0;
    QTest::newRow("comma") << QByteArray("     0,000") << false << 0.0;
    QTest::newRow("two points") << QByteArray("    0.0.00") << false << 0.0;
    QTest::newRow("blank inside") << QByteArray("    0 000 ") << false << 0.0;
    QTest::newRow("point only") << QByteArray("     .    ") << false << 0.0;
    QTest::newRow("sign only") << QByteArray("     -    ") << false << 0.0;
    QTest::newRow("exponent") << QByteArray("       0e0") << false << 0.0;
    QTest::newRow("hex") << QByteArray("       0x0") << false << 0.0;
    QTest::newRow("tab before") << QByteArray("\t0") << false << 0.0;
    QTest::newRow("nul inside") << QByteArray("0\0"
                                              "0",
                                              3)
                                << false << 0.0;
    QTest::newRow("nan") << QByteArray("       nan") << false << 0.0;
    QTest::newRow("colon, no ounces") << QByteArray("        0:") << false << 0.0;
    QTest::newRow("colon, no pounds") << QByteArray("       :00") << false << 0.0;
    QTest::newRow("ounces start with point") << QByteArray("      0:.5") << false << 0.0;
    QTest::newRow("point in pounds") << QByteArray("    0.0:00") << false << 0.0;
    QTest::newRow("two colons") << QByteArray("   0:00:00") << false << 0.0;
    QTest::newRow("sign after colon") << QByteArray("    0:-0.0") << false << 0.0;
}

void WeightDecodingTest::readWeightField()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const std::optional<double> read = ::readWeightField(field);
    QCOMPARE(read.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*read, value);
}

void WeightDecodingTest::dashesNeverReadAsZero()
{
    QVERIFY(!decode(weightAnswer(' ', 'N', ' ', "   ---.---")).weightReadsZero());
    QVERIFY(!decode(weightAnswer(' ', 'N', ' ', "----------")).weightReadsZero());
    QVERIFY(decode(weightAnswer(' ', 'N', ' ', "        -0")).weightReadsZero());
}

void WeightDecodingTest::wholeAnswerInOneChunk()
{
    WeightStreamBuffer buffer;
    const auto result = buffer.receive(weightAnswer('Z', 'G', ' ', "    12.345"));
    QVERIFY(result.answer);
    QVERIFY(!result.overflowed);
    QCOMPARE(result.answer->weightField, QByteArray("    12.345"));
    QVERIFY(buffer.pending().isEmpty());
}

void WeightDecodingTest::answerSplitAtEveryPosition()
{
    const QByteArray frame = weightAnswer('O', 'n', 'M', "   100.250");
    for (qsizetype split = 1; split < frame.size(); ++split) {
        WeightStreamBuffer buffer;
        const auto head = buffer.receive(frame.first(split));
        QVERIFY2(!head.answer, qPrintable(QString::number(split)));
        QCOMPARE(buffer.pending(), frame.first(split));
        const auto tail = buffer.receive(frame.sliced(split));
        QVERIFY2(tail.answer, qPrintable(QString::number(split)));
        QCOMPARE(shownFlags(*tail.answer), QStringLiteral("MON"));
        QCOMPARE(tail.answer->weightField, QByteArray("   100.250"));
        QVERIFY(buffer.pending().isEmpty());
    }
}

void WeightDecodingTest::answerByteByByte()
{
    const QByteArray frame = weightAnswer('Z', 'g', ' ');
    WeightStreamBuffer buffer;
    int answers = 0;
    for (char c : frame) {
        const auto result = buffer.receive(QByteArrayView(&c, 1));
        answers += result.answer ? 1 : 0;
        QVERIFY(!result.overflowed);
    }
    QCOMPARE(answers, 1);
}

void WeightDecodingTest::secondAnswerInTheSameChunkIsDropped()
{
    WeightStreamBuffer buffer;
    const auto result =
        buffer.receive(weightAnswer('Z', 'G', ' ') + weightAnswer('O', 'N', 'M', "     5.000"));
    QVERIFY(result.answer);
    QCOMPARE(shownFlags(*result.answer), QStringLiteral("ZG"));
    QVERIFY(buffer.pending().isEmpty());
}

void WeightDecodingTest::chunkNotStartingWithLfIsDroppedWhole_data()
{
    QTest::addColumn<QByteArray>("chunk");
    const QByteArray frame = weightAnswer('Z', 'G', ' ');
    QTest::newRow("tail of an answer then an answer") << frame.sliced(7) + frame;
    QTest::newRow("blank then an answer") << ' ' + frame;
    QTest::newRow("CR then an answer") << '\r' + frame;
    QTest::newRow("CR LF line end then an answer") << "\r\n" + frame;
    QTest::newRow("empty") << QByteArray();
}

void WeightDecodingTest::chunkNotStartingWithLfIsDroppedWhole()
{
    QFETCH(QByteArray, chunk);
    WeightStreamBuffer buffer;
    const auto result = buffer.receive(chunk);
    QVERIFY(!result.answer);
    QVERIFY(!result.overflowed);
    QVERIFY(buffer.pending().isEmpty());

    // The next chunk that starts an answer resynchronises.
    QVERIFY(buffer.receive(weightAnswer(' ', 'N', ' ')).answer);
}

void WeightDecodingTest::garbageAfterAnOpenAnswerIsKept()
{
    // Once the buffer starts with LF, later chunks are appended whatever
    // they start with: this is how a split answer gets completed.
    WeightStreamBuffer buffer;
    QVERIFY(!buffer.receive("\nxy").answer);
    QVERIFY(!buffer.receive("zz").answer);
    QCOMPARE(buffer.pending(), QByteArray("\nxyzz"));
}

void WeightDecodingTest::wrongCrPositionIsNeverConsumed_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::newRow("one short") << '\n' + QByteArray(17, ' ') + '\r';
    QTest::newRow("one long") << '\n' + QByteArray(19, ' ') + '\r';
    QTest::newRow("CR inside") << '\n' + QByteArray(8, ' ') + '\r' + QByteArray(9, ' ') + '\r';
    QTest::newRow("rejection") << QByteArray("\n?\r");
    QTest::newRow("CR LF line end") << QByteArray(weightAnswer('Z', 'G', ' ')).insert(19, '\n');
}

void WeightDecodingTest::wrongCrPositionIsNeverConsumed()
{
    QFETCH(QByteArray, chunk);
    WeightStreamBuffer buffer;
    const auto result = buffer.receive(chunk);
    QVERIFY(!result.answer);
    QCOMPARE(buffer.pending(), chunk);
    // A good answer behind it does not rescue it.
    QVERIFY(!buffer.receive(weightAnswer('Z', 'G', ' ')).answer);
}

void WeightDecodingTest::fortyCharactersAreAllowedFortyOneOverflow()
{
    WeightStreamBuffer forty;
    const auto kept = forty.receive('\n' + QByteArray(39, 'x'));
    QVERIFY(!kept.overflowed);
    QCOMPARE(forty.pending().size(), 40);

    WeightStreamBuffer fortyOne;
    const auto over = fortyOne.receive('\n' + QByteArray(40, 'x'));
    QVERIFY(over.overflowed);
    QVERIFY(!over.answer);
    QVERIFY(fortyOne.pending().isEmpty());
}

void WeightDecodingTest::limitCountsAcrossChunks()
{
    WeightStreamBuffer buffer;
    QVERIFY(!buffer.receive('\n' + QByteArray(19, 'x')).overflowed);
    QVERIFY(!buffer.receive(QByteArray(20, 'x')).overflowed);
    QCOMPARE(buffer.pending().size(), 40);
    QVERIFY(buffer.receive("x").overflowed);

    // A long chunk that holds an answer at its start is decoded, not refused.
    WeightStreamBuffer longChunk;
    const auto result = longChunk.receive(weightAnswer('Z', 'G', ' ') + QByteArray(100, 'x'));
    QVERIFY(result.answer);
    QVERIFY(!result.overflowed);
}

void WeightDecodingTest::rejectionsPileUpUntilOverflow()
{
    WeightStreamBuffer buffer;
    for (int i = 1; i <= 13; ++i)
        QVERIFY2(!buffer.receive("\n?\r").overflowed, qPrintable(QString::number(i)));
    QCOMPARE(buffer.pending().size(), 39);
    QVERIFY(buffer.receive("\n?\r").overflowed);
}

void WeightDecodingTest::fiveFlagsTickAllWithoutTareTest()
{
    StatusChecklist checklist;
    QCOMPARE(checklist.itemCount(), 5);
    checklist.record(decode(weightAnswer('Z', 'G', ' ')));
    checklist.record(decode(weightAnswer(' ', 'n', 'M', "     1.000")));
    QVERIFY(!checklist.allTicked());
    checklist.record(decode(weightAnswer('O', ' ', ' ', "   ---.---")));
    QVERIFY(checklist.allTicked());
    // No tare test: a net answer with zero weight looks at no sixth box.
    checklist.record(decode(weightAnswer(' ', 'N', ' ')));
    QVERIFY(!checklist.isTicked(StatusChecklist::TareOperation));
}

void WeightDecodingTest::ticksAreNeverTakenAway()
{
    StatusChecklist checklist(true);
    checklist.record(decode(weightAnswer('Z', 'N', 'M')));
    const QString before = tickedItems(checklist);
    checklist.record(decode(answerWithCharAt(2, ' ')));
    checklist.record(decode(weightAnswer('z', 'x', 'm', "abcdefghij")));
    QCOMPARE(tickedItems(checklist), before);
}

void WeightDecodingTest::tareTickedByNetZeroInOneAnswer()
{
    StatusChecklist checklist(true);
    checklist.record(decode(weightAnswer('Z', 'N', ' ', "     0.000")));
    QCOMPARE(tickedItems(checklist), QStringLiteral("Zero Flag,Net Flag,Tare Operation"));
}

void WeightDecodingTest::tareTickedByGrossZeroAfterEarlierNet()
{
    StatusChecklist checklist(true);
    checklist.record(decode(weightAnswer(' ', 'N', ' ', "     2.500")));
    QVERIFY(!checklist.isTicked(StatusChecklist::TareOperation));
    checklist.record(decode(weightAnswer(' ', 'G', ' ', "    -0.000")));
    QVERIFY(checklist.isTicked(StatusChecklist::TareOperation));
}

void WeightDecodingTest::tareNeedsNetAndZero_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("tareTicked");
    QTest::newRow("net zero") << weightAnswer(' ', 'n', ' ', "     0.000") << true;
    QTest::newRow("net nonzero") << weightAnswer(' ', 'N', ' ', "     0.001") << false;
    QTest::newRow("net negative: the tare did not zero")
        << weightAnswer(' ', 'N', ' ', "    -1.000") << false;
    QTest::newRow("gross zero, no net yet") << weightAnswer('Z', 'G', ' ') << false;
    QTest::newRow("net dashes") << weightAnswer('Z', 'N', 'M', "   ---.---") << false;
    QTest::newRow("net all dashes") << weightAnswer(' ', 'N', ' ', "----------") << false;
    QTest::newRow("net letters") << weightAnswer(' ', 'N', ' ', "    ABCDEF") << false;
    QTest::newRow("net blanks") << weightAnswer(' ', 'N', ' ', "          ") << false;
    QTest::newRow("net two signs") << weightAnswer(' ', 'N', ' ', "    +-0.00") << false;
    QTest::newRow("net comma") << weightAnswer(' ', 'N', ' ', "     0,000") << false;
    QTest::newRow("net zero with unit glued") << weightAnswer(' ', 'N', ' ', "    0.00kg") << false;
    QTest::newRow("net pounds-ounces zero")
        << weightAnswer(' ', 'N', ' ', "    0:00.0", "l/o") << true;
    QTest::newRow("net pounds-ounces nonzero")
        << weightAnswer(' ', 'N', ' ', "    0:00.1", "l/o") << false;
}

void WeightDecodingTest::tareNeedsNetAndZero()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, tareTicked);
    StatusChecklist checklist(true);
    checklist.record(decode(frame));
    QCOMPARE(checklist.isTicked(StatusChecklist::TareOperation), tareTicked);
}

void WeightDecodingTest::tareTestIsPartOfAllTicked()
{
    StatusChecklist checklist(true);
    QCOMPARE(checklist.itemCount(), 6);
    checklist.record(decode(weightAnswer('Z', 'G', 'M', "     1.000")));
    checklist.record(decode(weightAnswer('O', 'N', ' ', "     1.000")));
    QVERIFY(!checklist.allTicked());
    checklist.record(decode(weightAnswer(' ', 'G', ' ', "     0.000")));
    QVERIFY(checklist.allTicked());
}

QTEST_APPLESS_MAIN(WeightDecodingTest)
#include "tst_weightdecoding.moc"
