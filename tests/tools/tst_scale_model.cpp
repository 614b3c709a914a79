#include "ScaleModel.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(ScaleOptions)

namespace {

QByteArray ask(ScaleModel &scale, const QByteArray &command)
{
    return scale.feed('\n' + command + '\r');
}

QByteArray line(const QByteArray &text)
{
    return '\n' + text + '\r';
}

// The fields of a 20-byte weight answer; all blank when the answer is not 20 bytes.
struct Weighing
{
    char status = 0;
    char grossNet = 0;
    char motion = 0;
    QByteArray weight;
    QByteArray unit;

    double value() const { return weight.trimmed().toDouble(); }
};

Weighing decode(const QByteArray &answer)
{
    if (answer.size() != 20)
        return {};
    return {answer.at(1), answer.at(3), answer.at(4), answer.mid(6, 10), answer.mid(16, 3)};
}

} // namespace

class ScaleModelTest : public QObject
{
    Q_OBJECT
private slots:
    void framesMaySplitAnywhere();
    void bytesOutsideFramesAreIgnored_data();
    void bytesOutsideFramesAreIgnored();
    void listings_data();
    void listings();
    void listingRestartsWithAOrI();
    void onlyPublishedLevel2LettersAreAnswered();
    void answerModes();
    void weightAnswerHasTheTwentyByteLayout_data();
    void weightAnswerHasTheTwentyByteLayout();
    void weightRequestsCycleThroughEveryFlag();
    void tareMakesNetZeroAndClearReturnsToGross();
    void unitSelection();
    void repeatsStreamOnlyWhenAsked();
};

void ScaleModelTest::framesMaySplitAnywhere()
{
    const QByteArray hostBytes = "\nA\r\nB\r\nW\r\nI\r";
    ScaleModel whole;
    const QByteArray expected = whole.feed(hostBytes);
    QCOMPARE(expected.count('\r'), 4);

    for (qsizetype split = 1; split < hostBytes.size(); ++split) {
        ScaleModel scale;
        QByteArray answers = scale.feed(hostBytes.left(split));
        answers += scale.feed(hostBytes.mid(split));
        QVERIFY2(answers == expected, qPrintable(QString("split at %1").arg(split)));
    }

    ScaleModel byteByByte;
    QByteArray answers;
    for (const char byte : hostBytes)
        answers += byteByByte.feed(QByteArray(1, byte));
    QCOMPARE(answers, expected);
    QCOMPARE(byteByByte.commands(), (QList<QByteArray>{"A", "B", "W", "I"}));
}

void ScaleModelTest::bytesOutsideFramesAreIgnored_data()
{
    QTest::addColumn<QByteArray>("hostBytes");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<QList<QByteArray>>("commands");

    const QByteArray diagnostics = line("    ");
    QTest::newRow("noise before LF")
        << QByteArray("xyz\r\nD\r") << diagnostics << QList<QByteArray>{"D"};
    QTest::newRow("noise after CR")
        << QByteArray("\nD\rjunk") << diagnostics << QList<QByteArray>{"D"};
    QTest::newRow("ESC abandons a frame")
        << QByteArray("\nA\x1b\r\nD\r") << diagnostics << QList<QByteArray>{"D"};
    QTest::newRow("LF starts afresh")
        << QByteArray("\nAB\nD\r") << diagnostics << QList<QByteArray>{"D"};
    QTest::newRow("empty frame") << QByteArray("\n\r") << line("?") << QList<QByteArray>{""};
    QTest::newRow("overlong frame")
        << QByteArray('\n' + QByteArray(40, 'W') + '\r') << QByteArray() << QList<QByteArray>{};
}

void ScaleModelTest::bytesOutsideFramesAreIgnored()
{
    QFETCH(QByteArray, hostBytes);
    ScaleModel scale;
    QTEST(scale.feed(hostBytes), "answers");
    QTEST(scale.commands(), "commands");
}

void ScaleModelTest::listings_data()
{
    QTest::addColumn<ScaleOptions>("options");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("next");
    QTest::addColumn<QList<QByteArray>>("lines");

    const QList<QByteArray> about{"SMA:2/1.0", "MFG:Simulated Scale Works", "MOD:SIM-6000",
                                  "REV:1.0", "SN :000001"};
    const QList<QByteArray> information{"SMA:2/1.0", "TYP:S", "CAP:kg :6000:1:0"};
    ScaleOptions plain;
    ScaleOptions noEnd;
    noEnd.endListings = false;
    ScaleOptions noCmd;
    noCmd.sendCommandLine = false;

    QTest::newRow("about") << plain << QByteArray("A") << QByteArray("B")
                           << about + QList<QByteArray>{"END:"};
    QTest::newRow("about without END") << noEnd << QByteArray("A") << QByteArray("B") << about;
    QTest::newRow("information") << plain << QByteArray("I") << QByteArray("N")
                                 << information + QList<QByteArray>{"CMD:HPTMCU", "END:"};
    QTest::newRow("information without CMD")
        << noCmd << QByteArray("I") << QByteArray("N") << information + QList<QByteArray>{"END:"};
    QTest::newRow("information without END") << noEnd << QByteArray("I") << QByteArray("N")
                                             << information + QList<QByteArray>{"CMD:HPTMCU"};
}

void ScaleModelTest::listings()
{
    QFETCH(ScaleOptions, options);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, next);
    QFETCH(QList<QByteArray>, lines);

    ScaleModel scale(options);
    QCOMPARE(ask(scale, next), line("?")); // nothing to continue before the listing starts
    QList<QByteArray> listed{ask(scale, first)};
    for (qsizetype i = 1; i < lines.size(); ++i)
        listed.append(ask(scale, next));
    for (QByteArray &answer : listed)
        answer = answer.mid(1, answer.size() - 2);
    QCOMPARE(listed, lines);
    QCOMPARE(ask(scale, next), line("?"));
    QCOMPARE(ask(scale, next), line("?"));
}

void ScaleModelTest::listingRestartsWithAOrI()
{
    ScaleModel scale;
    QCOMPARE(ask(scale, "A"), line("SMA:2/1.0"));
    QCOMPARE(ask(scale, "B"), line("MFG:Simulated Scale Works"));
    QCOMPARE(ask(scale, "I"), line("SMA:2/1.0"));
    QCOMPARE(ask(scale, "B"), line("MOD:SIM-6000")); // the listings keep separate places
    QCOMPARE(ask(scale, "A"), line("SMA:2/1.0"));
    QCOMPARE(ask(scale, "B"), line("MFG:Simulated Scale Works"));
    QCOMPARE(ask(scale, "N"), line("TYP:S"));
}

void ScaleModelTest::onlyPublishedLevel2LettersAreAnswered()
{
    ScaleOptions options;
    options.level2Commands = "";
    ScaleModel levelOne(options);
    for (const QByteArray command : {"W", "Z", "D", "A", "B", "I", "N"})
        QVERIFY2(!ask(levelOne, command).contains('?'), command.constData());
    for (const QByteArray command : {"H", "P", "Q", "R", "S", "T", "M", "C", "U", "X1", "K"})
        QVERIFY2(ask(levelOne, command) == line("?"), command.constData());

    options.level2Commands = "HX";
    ScaleModel levelTwo(options);
    QCOMPARE(ask(levelTwo, "H").size(), 20);
    QCOMPARE(ask(levelTwo, "T"), line("?"));
    QCOMPARE(ask(levelTwo, "X1"), line("?")); // published, but no maker extensions
    QCOMPARE(ask(levelTwo, "WX"), line("?")); // W takes no data
}

void ScaleModelTest::answerModes()
{
    ScaleOptions rejecting;
    rejecting.rejectAll = true;
    ScaleModel rejectAll(rejecting);
    QCOMPARE(rejectAll.feed("\nA\r\nW\r"), line("?") + line("?"));

    ScaleOptions silence;
    silence.silent = true;
    ScaleModel silent(silence);
    QCOMPARE(silent.feed("\nA\r\nW\r"), QByteArray());
    QCOMPARE(silent.commands(), (QList<QByteArray>{"A", "W"}));

    ScaleOptions crlfEnds;
    crlfEnds.crlf = true;
    ScaleModel crlf(crlfEnds);
    QCOMPARE(crlf.feed("\nA\r\nD\r"), QByteArray("\nSMA:2/1.0\r\n\n    \r\n"));
    QCOMPARE(ask(crlf, "W").size(), 21);
    crlfEnds.leadingLf = false;
    ScaleModel bare(crlfEnds);
    QCOMPARE(bare.feed("\nA\r"), QByteArray("SMA:2/1.0\r\n"));
}

void ScaleModelTest::weightAnswerHasTheTwentyByteLayout_data()
{
    QTest::addColumn<QByteArray>("command");
    for (const char *command : {"W", "H", "P", "Q", "R", "S", "Z", "T", "M", "C", "U", "Ulb "})
        QTest::newRow(command) << QByteArray(command);
}

void ScaleModelTest::weightAnswerHasTheTwentyByteLayout()
{
    QFETCH(QByteArray, command);
    ScaleOptions options;
    options.level2Commands = "HPQRSTMCU";
    // Every state, so that short, long, negative and over-capacity weights all show.
    for (const WeightState state :
         {WeightState::CentreOfZero, WeightState::Motion, WeightState::OverCapacity,
          WeightState::StableGross, WeightState::Net}) {
        ScaleModel scale(options);
        scale.setWeightState(state);
        const QByteArray answer = ask(scale, command);
        QCOMPARE(answer.size(), 20);
        QCOMPARE(answer.front(), '\n');
        QCOMPARE(answer.back(), '\r');
        QVERIFY(QByteArray(" ZOUEIT").contains(answer.at(1)));
        QCOMPARE(answer.at(2), '1');
        QVERIFY(QByteArray("GNgnT").contains(answer.at(3)));
        QVERIFY(QByteArray(" M").contains(answer.at(4)));
        QCOMPARE(answer.at(5), ' ');
        const QByteArray weight = answer.mid(6, 10);
        QVERIFY2(QRegularExpression("^ *-?\\d+(\\.\\d+)?$")
                     .match(QString::fromLatin1(weight))
                     .hasMatch(),
                 weight.constData());
        QVERIFY(QList<QByteArray>({"kg ", "lb ", "g  ", "oz ", "t  "}).contains(answer.mid(16, 3)));
    }
}

void ScaleModelTest::weightRequestsCycleThroughEveryFlag()
{
    ScaleModel scale;
    QSet<char> flags;
    QList<QByteArray> firstRound;
    for (int poll = 0; poll < 5; ++poll) {
        const QByteArray answer = ask(scale, "W");
        firstRound.append(answer);
        const Weighing w = decode(answer);
        flags << w.status << w.grossNet << w.motion;
    }
    for (const char flag : {'Z', 'M', 'O', 'G', 'N'})
        QVERIFY2(flags.contains(flag), QByteArray(1, flag).constData());

    for (const QByteArray &expected : firstRound)
        QCOMPARE(ask(scale, "W"), expected); // the cycle repeats exactly

    ScaleModel highResolution;
    QCOMPARE(ask(highResolution, "H"), line("Z1g         0.0kg "));
    QCOMPARE(ask(highResolution, "H"), line(" 1gM     1247.6kg "));

    ScaleOptions holding;
    holding.cycleWeights = false;
    ScaleModel held(holding);
    held.setWeightState(WeightState::Motion);
    QCOMPARE(ask(held, "W"), line(" 1GM       1248kg "));
    QCOMPARE(ask(held, "W"), line(" 1GM       1248kg "));
    QCOMPARE(ask(held, "P"), line(" 1G        1248kg ")); // P waits until the load is still
}

void ScaleModelTest::tareMakesNetZeroAndClearReturnsToGross()
{
    ScaleModel scale;
    scale.setWeightState(WeightState::StableGross);
    const Weighing tared = decode(ask(scale, "T"));
    QCOMPARE(tared.grossNet, 'N');
    QCOMPARE(tared.weight, QByteArray("         0"));
    QCOMPARE(tared.status, 'Z');
    QCOMPARE(scale.hostTareKg().value_or(-1.0), 1250.0);

    QCOMPARE(ask(scale, "M"), line(" 1T        1250kg "));
    QCOMPARE(decode(ask(scale, "W")).grossNet, 'N'); // the tare holds across requests

    scale.setWeightState(WeightState::StableGross);
    QCOMPARE(ask(scale, "C"), line(" 1G        1250kg "));
    QVERIFY(!scale.hostTareKg());
    QCOMPARE(ask(scale, "M"), line(" 1T           0kg "));

    // The net state's own container tare is cleared by C as well.
    scale.setWeightState(WeightState::Net);
    QCOMPARE(ask(scale, "M"), line(" 1T         250kg "));
    QCOMPARE(decode(ask(scale, "C")).grossNet, 'G');

    scale.setWeightState(WeightState::Motion);
    ask(scale, "T");
    QCOMPARE(ask(scale, "Z"), line("Z1G           0kg "));
    QVERIFY(!scale.hostTareKg());

    // A preset tare is taken as it is typed, in the current unit.
    scale.setWeightState(WeightState::StableGross);
    QCOMPARE(decode(ask(scale, "T000100.000")).value(), 1150.0);
    QCOMPARE(ask(scale, "T   abc    "), line("T1N  ----------kg "));
    QCOMPARE(ask(scale, "T-000001.00"), line("T1N  ----------kg "));
    QCOMPARE(scale.hostTareKg().value_or(-1.0), 100.0); // a refused preset leaves the tare alone
}

void ScaleModelTest::unitSelection()
{
    ScaleModel scale;
    scale.setWeightState(WeightState::StableGross);
    scale.feed("\nU\r");
    QCOMPARE(scale.unitCode(), QByteArray("lb "));
    QCOMPARE(ask(scale, "Ug  "), line(" 1G     1250000g  "));
    QCOMPARE(ask(scale, "Ukg "), line(" 1G        1250kg "));
    QCOMPARE(ask(scale, "Ut  "), line(" 1G       1.250t  "));

    QCOMPARE(ask(scale, "Utlh"), line("?"));
    QCOMPARE(ask(scale, "Ukg"), line("?"));
    QCOMPARE(scale.unitCode(), QByteArray("t  "));
}

void ScaleModelTest::repeatsStreamOnlyWhenAsked()
{
    ScaleOptions options;
    options.level2Commands = "RS";
    ScaleModel once(options);
    QCOMPARE(decode(ask(once, "R")).status, 'Z');
    QVERIFY(!once.isStreaming());
    QCOMPARE(once.nextStreamAnswer(), QByteArray());

    options.streamRepeats = true;
    ScaleModel streaming(options);
    ask(streaming, "S");
    QVERIFY(streaming.isStreaming());
    QCOMPARE(decode(streaming.nextStreamAnswer()).motion, 'M');
    QCOMPARE(decode(streaming.nextStreamAnswer()).status, 'O');
    ask(streaming, "K"); // even a command the scale does not know ends it
    QVERIFY(!streaming.isStreaming());

    ask(streaming, "R");
    QVERIFY(streaming.isStreaming());
    streaming.feed("\x1b");
    QVERIFY(!streaming.isStreaming());
}

QTEST_GUILESS_MAIN(ScaleModelTest)
#include "tst_scale_model.moc"
