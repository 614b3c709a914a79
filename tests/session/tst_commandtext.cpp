#include "AnswerBuffer.h"
#include "CommandText.h"
#include "ComplianceChecks.h"
#include "SmaLine.h"
#include "TestedCommands.h"

#include <QtTest>

// Character names, frames, printable forms, the tested-command list rule,
// answer extraction and the compliance checks: the widget-free rules the
// tester window is built on.
class CommandTextTest : public QObject
{
    Q_OBJECT
private slots:
    void charNameCoversEveryCode();
    void framesAreLfCommandCr();
    void printableFormsWrapTheCommand();
    void crMarkerCutsDataUnlessAtItsStart_data();
    void crMarkerCutsDataUnlessAtItsStart();
    void addTestedCommand_data();
    void addTestedCommand();
    void takeAnswer_data();
    void takeAnswer();
    void floodedBufferStaysBounded();
    void level1_data();
    void level1();
    void level2();
};

void CommandTextTest::charNameCoversEveryCode()
{
    const QStringList controls = {"<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>",
                                  "<BEL>", "<BS>",  "<HT>",  "<LF>",  "<VT>",  "<FF>",  "<CR>",
                                  "<SO>",  "<SI>",  "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>",
                                  "<NAK>", "<SYN>", "<ETB>", "<CAN>", "<EM>",  "<SUB>", "<ESC>",
                                  "<FS>",  "<GS>",  "<RS>",  "<US>"};
    for (int code = 0; code < 256; ++code) {
        QString expected;
        if (code < 32)
            expected = controls.at(code);
        else if (code == 32)
            expected = "^";
        else if (code < 127)
            expected = QString(QChar(code));
        else if (code == 127)
            expected = "<DEL>";
        else
            expected = "<?>";
        QCOMPARE(CharName(uchar(code)), expected);
    }
}

void CommandTextTest::framesAreLfCommandCr()
{
    QCOMPARE(frameCommand("A"), QByteArray::fromHex("0a410d"));
    QCOMPARE(frameCommand("T000001.000"), QByteArray("\nT000001.000\r"));
    QCOMPARE(frameCommand("Ulb "), QByteArray::fromHex("0a556c62200d"));
    QCOMPARE(frameCommand("U   "), QByteArray::fromHex("0a552020200d"));
    QCOMPARE(frameCommand(""), QByteArray("\n\r"));
    // Every character is one byte, Latin-1 included.
    QCOMPARE(frameCommand(QString(QChar(0xE9))), QByteArray("\n\xE9\r"));
}

void CommandTextTest::printableFormsWrapTheCommand()
{
    QCOMPARE(printableForm("A"), QString("<LF>A<CR>"));
    QCOMPARE(printableForm("A").size(), kPlainEntryLength);
    QCOMPARE(printableForm("Ulb "), QString("<LF>Ulb <CR>"));
    QCOMPARE(printableForm(""), QString("<LF><CR>"));
}

void CommandTextTest::crMarkerCutsDataUnlessAtItsStart_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("expected");
    QTest::newRow("marker after data") << "000001.000<CR>"
                                       << "000001.000";
    QTest::newRow("marker at the start") << "<CR>xyz"
                                         << "<CR>xyz";
    QTest::newRow("no marker") << "lb "
                               << "lb ";
    QTest::newRow("first of two markers") << "ab<CR>cd<CR>"
                                          << "ab";
    QTest::newRow("lower case is no marker") << "ab<cr>"
                                             << "ab<cr>";
    QTest::newRow("empty") << ""
                           << "";
}

void CommandTextTest::crMarkerCutsDataUnlessAtItsStart()
{
    QFETCH(QString, data);
    QFETCH(QString, expected);
    QCOMPARE(trimAtCrMarker(data), expected);
}

void CommandTextTest::addTestedCommand_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("removedRow");
    QTest::addColumn<bool>("append");

    const QStringList run = {"<LF>A<CR>", "<LF>B<CR>", "<LF>T000001.000<CR>", "<LF>Ulb <CR>"};
    QTest::newRow("new letter is appended") << run << "I" << -1 << true;
    QTest::newRow("listed letter stays put") << run << "B" << -1 << false;
    QTest::newRow("first entry ever") << QStringList() << "A" << -1 << true;
    QTest::newRow("tare with new data replaces the tare entry")
        << run << "T000002.000" << 2 << true;
    QTest::newRow("same tare again still moves it") << run << "T000001.000" << 2 << true;
    QTest::newRow("units replaces the units entry") << run << "Ukg " << 3 << true;
    QTest::newRow("plain T is not replacing anything") << run << "T" << -1 << true;
    QTest::newRow("plain T already listed")
        << QStringList{"<LF>T<CR>", "<LF>T000001.000<CR>"} << "T" << -1 << false;
    // Every entry holds "<LF>" and "<CR>", so a command with data starting
    // with one of these letters replaces the first entry with data.
    QTest::newRow("L replaces any data entry") << run << "Lxyz" << 2 << true;
    QTest::newRow("F replaces any data entry") << run << "Fxyz" << 2 << true;
    QTest::newRow("C replaces any data entry") << run << "Cxyz" << 2 << true;
    QTest::newRow("R replaces any data entry") << run << "Rxyz" << 2 << true;
    QTest::newRow("letter inside a data entry counts")
        << QStringList{"<LF>A<CR>", "<LF>T0U1<CR>", "<LF>Ulb <CR>"} << "Ukg " << 1 << true;
    QTest::newRow("no data entry with the letter")
        << QStringList{"<LF>A<CR>", "<LF>Ulb <CR>"} << "T5" << -1 << true;
    QTest::newRow("plain entries are never replaced")
        << QStringList{"<LF>T<CR>"} << "T000001.000" << -1 << true;
}

void CommandTextTest::addTestedCommand()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, command);
    QFETCH(int, removedRow);
    QFETCH(bool, append);
    const TestedCommandChange change = ::addTestedCommand(entries, command);
    QCOMPARE(change.removedRow, removedRow);
    QCOMPARE(change.append, append);
    QCOMPARE(change.entry, "<LF>" + command + "<CR>");
}

void CommandTextTest::takeAnswer_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("rest");
    QTest::newRow("plain") << QByteArray("\nSMA:2/1.0\r") << true << QByteArray("SMA:2/1.0")
                           << QByteArray();
    QTest::newRow("noise before the LF goes")
        << QByteArray("xx\nOK\r") << true << QByteArray("OK") << QByteArray();
    QTest::newRow("second answer waits")
        << QByteArray("\nA1\r\nA2\r") << true << QByteArray("A1") << QByteArray("\nA2\r");
    QTest::newRow("no CR yet") << QByteArray("\nhalf") << false << QByteArray()
                               << QByteArray("\nhalf");
    QTest::newRow("CR without LF is noise")
        << QByteArray("text\r\nha") << false << QByteArray() << QByteArray("\nha");
    QTest::newRow("empty answer takes only LF CR")
        << QByteArray("\n\r\nNEXT\r") << true << QByteArray() << QByteArray("\nNEXT\r");
    QTest::newRow("lines ending CR LF without a leading LF are no answers")
        << QByteArray("SMA:2/1.0\r\n") << false << QByteArray() << QByteArray("\n");
    QTest::newRow("CR before LF is dropped, the answer after it is taken")
        << QByteArray("\r\n\nNEXT\r") << true << QByteArray("NEXT") << QByteArray();
    QTest::newRow("CR LF line ends leave the LF behind")
        << QByteArray("\nOK\r\n") << true << QByteArray("OK") << QByteArray("\n");
    QTest::newRow("empty buffer") << QByteArray() << false << QByteArray() << QByteArray();
}

void CommandTextTest::takeAnswer()
{
    QFETCH(QByteArray, buffer);
    QFETCH(bool, complete);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, rest);
    const std::optional<QByteArray> taken = ::takeAnswer(buffer);
    QCOMPARE(taken.has_value(), complete);
    if (taken)
        QCOMPARE(*taken, answer);
    QCOMPARE(buffer, rest);

    QVERIFY(answerPasses("SMA:2/1.0"));
    QVERIFY(answerPasses(""));
    QVERIFY(!answerPasses("?"));
    QVERIFY(!answerPasses("ERR?X"));
}

void CommandTextTest::floodedBufferStaysBounded()
{
    QByteArray buffer;
    for (int i = 0; i < 1000; ++i) {
        buffer += QByteArray(100, 'x');
        limitUnansweredBuffer(buffer, 4096);
        QVERIFY(buffer.size() <= 4096);
    }
    // The start of an answer that arrives at the end of a flood survives.
    buffer = QByteArray(5000, 'x') + "\nSTAR";
    limitUnansweredBuffer(buffer, 4096);
    QCOMPARE(buffer, QByteArray("\nSTAR"));
    buffer += "T\r";
    QCOMPARE(::takeAnswer(buffer).value(), QByteArray("START"));
    // A buffer within the limit is left exactly as it is.
    buffer = QByteArray("\r garbage \n partial");
    limitUnansweredBuffer(buffer, 4096);
    QCOMPARE(buffer, QByteArray("\r garbage \n partial"));
}

void CommandTextTest::level1_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<bool>("verified");
    const QStringList five = {"<LF>A<CR>", "<LF>B<CR>", "<LF>D<CR>", "<LF>Z<CR>", "<LF>W<CR>"};
    const QStringList passed(5, "Passed");
    QTest::newRow("empty") << QStringList() << QStringList() << false;
    QTest::newRow("all five") << five << passed << true;
    QTest::newRow("among others, shuffled")
        << QStringList{"<LF>I<CR>", "<LF>W<CR>", "<LF>H<CR>",    "<LF>Z<CR>",
                       "<LF>B<CR>", "<LF>A<CR>", "<LF>Ulb <CR>", "<LF>D<CR>"}
        << QStringList{"Failed", "Passed", "Failed", "Passed",
                       "Passed", "Passed", "Failed", "Passed"}
        << true;
    QTest::newRow("one failed") << five
                                << QStringList{"Passed", "Passed", "Failed", "Passed", "Passed"}
                                << false;
    QTest::newRow("one pending") << five
                                 << QStringList{"Passed", "Passed", "Passed", "Pending", "Passed"}
                                 << false;
    QTest::newRow("one missing") << five.mid(0, 4) << passed.mid(0, 4) << false;
    QTest::newRow("newest still awaiting its result") << five << passed.mid(0, 4) << false;
    QTest::newRow("letters inside data do not count")
        << QStringList{"<LF>A<CR>", "<LF>B<CR>", "<LF>D<CR>", "<LF>Z<CR>", "<LF>TW<CR>"} << passed
        << false;
    QTest::newRow("lower case does not count")
        << QStringList{"<LF>A<CR>", "<LF>B<CR>", "<LF>D<CR>", "<LF>Z<CR>", "<LF>w<CR>"} << passed
        << false;
    QTest::newRow("a letter twice cannot stand in for another")
        << QStringList{"<LF>A<CR>", "<LF>A<CR>", "<LF>A<CR>", "<LF>D<CR>", "<LF>Z<CR>", "<LF>W<CR>"}
        << QStringList(6, "Passed") << false;
}

void CommandTextTest::level1()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, results);
    QFETCH(bool, verified);
    QCOMPARE(checkSmaLevel1(entries, results), verified);
}

void CommandTextTest::level2()
{
    QVERIFY(!checkSmaLevel2(""));
    QVERIFY(checkSmaLevel2("HPTMCU"));
    QVERIFY(checkSmaLevel2("   "));
}

QTEST_GUILESS_MAIN(CommandTextTest)
#include "tst_commandtext.moc"
