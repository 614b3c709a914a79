#include "DiscoveryRun.h"

#include <QtTest>

// The discovery run step by step: given where the run stands and the answer,
// what is shown, what is sent next and where the run goes.
class DiscoveryTest : public QObject
{
    Q_OBJECT
private slots:
    void step_data();
    void step();
    void listingEnds_data();
    void listingEnds();
    void wholeRuns_data();
    void wholeRuns();
};

using Show = DiscoveryAction::Show;
Q_DECLARE_METATYPE(DiscoveryAction::Show)

void DiscoveryTest::step_data()
{
    QTest::addColumn<int>("testId");
    QTest::addColumn<QString>("pending");
    QTest::addColumn<int>("listingAnswers");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<Show>("show");
    QTest::addColumn<QString>("send");
    QTest::addColumn<int>("nextTestId");
    QTest::addColumn<QString>("nextPending");
    QTest::addColumn<QString>("nextCur");

    const QString extra = "HPQRSTMCU";
    QTest::newRow("about line") << 1 << "" << 0 << "SMA:2/1.0" << extra << Show::AppendAbout << "B"
                                << 1 << ""
                                << "";
    QTest::newRow("about END") << 1 << "" << 3 << "END:" << extra << Show::Nothing << "I" << 2 << ""
                               << "";
    QTest::newRow("about END anywhere")
        << 1 << "" << 3 << "xxEND:yy" << extra << Show::Nothing << "I" << 2 << ""
        << "";
    QTest::newRow("about end is case sensitive")
        << 1 << "" << 3 << "end:" << extra << Show::AppendAbout << "B" << 1 << ""
        << "";
    QTest::newRow("? to A is shown and the listing goes on")
        << 1 << "" << 0 << "?" << extra << Show::AppendAbout << "B" << 1 << ""
        << "";
    QTest::newRow("? to the first B is shown and the listing goes on")
        << 1 << "" << 1 << "?" << extra << Show::AppendAbout << "B" << 1 << ""
        << "";
    QTest::newRow("? to a repeated B ends the listing")
        << 1 << "" << 2 << "?" << extra << Show::Nothing << "I" << 2 << ""
        << "";
    QTest::newRow("info line") << 2 << "" << 0 << "TYP:S" << extra << Show::AppendInformation << "N"
                               << 2 << ""
                               << "";
    QTest::newRow("info CMD") << 2 << "" << 1 << "CMD:ABDWZXHM" << extra << Show::PublishCommands
                              << "N" << 2 << "ABDWZXHM"
                              << "";
    QTest::newRow("CMD anywhere, letters from the 5th character")
        << 2 << "" << 1 << "xCMD:AB" << extra << Show::PublishCommands << "N" << 2 << ":AB"
        << "";
    QTest::newRow("END before CMD")
        << 2 << "" << 1 << "CMD:END:" << extra << Show::Nothing << "Z" << 3 << ""
        << "";
    QTest::newRow("? to a repeated N ends the listing")
        << 2 << "AB" << 2 << "?" << extra << Show::Nothing << "Z" << 3 << "AB"
        << "";
    QTest::newRow("? to I is shown")
        << 2 << "" << 0 << "?" << extra << Show::AppendInformation << "N" << 2 << ""
        << "";
    QTest::newRow("Z with published letters")
        << 3 << "XAB" << 0 << "Z1G 0" << extra << Show::Nothing << "X" << 4 << "AB"
        << "X";
    QTest::newRow("Z without published letters")
        << 3 << "" << 0 << "Z1G 0" << extra << Show::Nothing << "H" << 5 << "PQRSTMCU"
        << "H";
    QTest::newRow("Z without anything goes to W") << 3 << "" << 0 << "ok"
                                                  << "" << Show::Nothing << "W" << 6 << ""
                                                  << "";
    QTest::newRow("published next")
        << 4 << "DW" << 0 << "ok" << extra << Show::Nothing << "D" << 4 << "W"
        << "D";
    QTest::newRow("one X skipped")
        << 4 << "XHM" << 0 << "ok" << extra << Show::Nothing << "H" << 4 << "M"
        << "H";
    QTest::newRow("second X sent")
        << 4 << "XXM" << 0 << "ok" << extra << Show::Nothing << "X" << 4 << "M"
        << "X";
    QTest::newRow("X last starts the additional ones") << 4 << "X" << 0 << "ok"
                                                       << "HP" << Show::Nothing << "H" << 5 << "P"
                                                       << "H";
    QTest::newRow("published run dry") << 4 << "" << 0 << "ok"
                                       << "HP" << Show::Nothing << "H" << 5 << "P"
                                       << "H";
    QTest::newRow("additional next")
        << 5 << "PQ" << 0 << "?" << extra << Show::Nothing << "P" << 5 << "Q"
        << "P";
    QTest::newRow("additional X sent as it stands")
        << 5 << "XQ" << 0 << "?" << extra << Show::Nothing << "X" << 5 << "Q"
        << "X";
    QTest::newRow("additional run dry")
        << 5 << "" << 0 << "?" << extra << Show::Nothing << "W" << 6 << ""
        << "";
    QTest::newRow("weight") << 6 << "" << 0 << " 1G       5.025lb " << extra << Show::Weight << "D"
                            << 7 << ""
                            << "";
    QTest::newRow("diagnostics ends the run")
        << 7 << "" << 0 << "    " << extra << Show::Nothing << "" << 0 << ""
        << "";
    QTest::newRow("idle does nothing")
        << 0 << "AB" << 0 << "x" << extra << Show::Nothing << "" << 0 << "AB"
        << "";
    QTest::newRow("single test does nothing")
        << -1 << "" << 0 << "x" << extra << Show::Nothing << "" << -1 << ""
        << "";
    QTest::newRow("retest does nothing")
        << 104 << "" << 0 << "x" << extra << Show::Nothing << "" << 104 << ""
        << "";
}

void DiscoveryTest::step()
{
    QFETCH(int, testId);
    QFETCH(QString, pending);
    QFETCH(int, listingAnswers);
    QFETCH(QString, answer);
    QFETCH(QString, extra);
    DiscoveryState state;
    state.TestId = qint16(testId);
    state.PendingCmds = pending;
    state.ListingAnswers = listingAnswers;
    const DiscoveryAction action = advanceDiscovery(state, answer, extra);
    QTEST(action.show, "show");
    QTEST(action.send, "send");
    QTEST(int(state.TestId), "nextTestId");
    QTEST(state.PendingCmds, "nextPending");
    QTEST(state.CurCmd, "nextCur");
    if (action.show == Show::PublishCommands)
        QCOMPARE(action.published, answer.mid(4));
}

// How a listing ends: "END:", an answer that is exactly "?" to a repeated B
// or N, or the line limit, which also fails the repeating command.
void DiscoveryTest::listingEnds_data()
{
    QTest::addColumn<int>("testId");
    QTest::addColumn<int>("listingAnswers");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Show>("show");
    QTest::addColumn<QString>("send");
    QTest::addColumn<int>("nextTestId");
    QTest::addColumn<QString>("failed");

    QTest::newRow("a line holding ? goes on")
        << 1 << 2 << "OP1:AUTO?" << Show::AppendAbout << "B" << 1 << "";
    QTest::newRow("? between blanks ends") << 1 << 2 << " ? " << Show::Nothing << "I" << 2 << "";
    QTest::newRow("99th about line goes on")
        << 1 << 98 << "OP9:X" << Show::AppendAbout << "B" << 1 << "";
    QTest::newRow("100th about line is shown and cuts the listing")
        << 1 << 99 << "OP9:X" << Show::AppendAbout << "I" << 2 << "B";
    QTest::newRow("END: as 100th line is a plain end")
        << 1 << 99 << "END:" << Show::Nothing << "I" << 2 << "";
    QTest::newRow("100th information line cuts the listing")
        << 2 << 99 << "CAP:kg :6000:1:0" << Show::AppendInformation << "Z" << 3 << "N";
}

void DiscoveryTest::listingEnds()
{
    QFETCH(int, testId);
    QFETCH(int, listingAnswers);
    QFETCH(QString, answer);
    DiscoveryState state;
    state.TestId = qint16(testId);
    state.ListingAnswers = listingAnswers;
    const DiscoveryAction action = advanceDiscovery(state, answer, "HP");
    QTEST(action.show, "show");
    QTEST(action.send, "send");
    QTEST(int(state.TestId), "nextTestId");
    QTEST(action.failed, "failed");
}

// Whole runs driven answer by answer: the commands in the order they go out.
void DiscoveryTest::wholeRuns_data()
{
    QTest::addColumn<QStringList>("about");
    QTest::addColumn<QStringList>("info");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("sent");

    QTest::newRow("level 2 scale")
        << QStringList{"SMA:2/1.0", "MFG:ACME", "END:"}
        << QStringList{"SMA:2/1.0", "CMD:ABDWZXHM", "END:"} << "HPQRSTMCU"
        << "A B B I N N Z A B D W Z H M H P Q R S T M C U W D";
    QTest::newRow("no CMD line") << QStringList{"END:"} << QStringList{"TYP:S", "END:"} << "HP"
                                 << "A I N Z H P W D";
    QTest::newRow("no END lines, listings end with ?")
        << QStringList{"SMA:2/1.0", "REV:1", "?"} << QStringList{"SMA:2/1.0", "CMD:T", "?"} << ""
        << "A B B I N N Z T W D";
    QTest::newRow("first published X is sent")
        << QStringList{"END:"} << QStringList{"CMD:XAB", "END:"} << ""
        << "A I N Z X A B W D";
}

void DiscoveryTest::wholeRuns()
{
    QFETCH(QStringList, about);
    QFETCH(QStringList, info);
    QFETCH(QString, extra);
    QFETCH(QString, sent);

    DiscoveryState state;
    state.TestId = TestIds::About;
    QStringList commands{"A"};
    QStringList answers = about + info;
    for (int guard = 0; guard < 100 && state.TestId != TestIds::Finished; ++guard) {
        const QString answer = answers.isEmpty() ? QString("ok") : answers.takeFirst();
        const DiscoveryAction action = advanceDiscovery(state, answer, extra);
        if (!action.send.isEmpty())
            commands << action.send;
    }
    QCOMPARE(int(state.TestId), int(TestIds::Finished));
    QCOMPARE(commands.join(' '), sent);
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
