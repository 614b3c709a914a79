#include "FakeReportSource.h"
#include "ReportRenderer.h"
#include "ReportTarget.h"
#include "TextReportTarget.h"

#include <QtTest>

namespace {

// Records every line with the style it was printed in, e.g. "B24 Title" or
// "-8 text", with control characters spelled out; clear and end of document
// appear as "<clear>" and "<end>".
class RecordingTarget : public ReportTarget
{
public:
    QStringList log;
    bool bold = false;
    int size = 0;

    void print(const QString &text) override
    {
        QString shown = text;
        shown.replace(QLatin1Char('\t'), QStringLiteral("\\t"))
            .replace(QLatin1Char('\r'), QStringLiteral("\\r"))
            .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        log << (bold ? QStringLiteral("B") : QStringLiteral("-")) + QString::number(size) + u' ' +
                   shown;
    }
    void setBold(bool on) override { bold = on; }
    void setSize(int points) override { size = points; }
    void endDoc() override { log << QStringLiteral("<end>"); }
    void clear() override { log << QStringLiteral("<clear>"); }
};

const QStringList ReportHead = {
    QStringLiteral("B24 Scale Manufacturers Association"),
    QStringLiteral("B8 Device Description"),
};

} // namespace

class ReportRendererTest : public QObject
{
    Q_OBJECT
private slots:
    void emptyReportOnPreviewAndPrinter();
    void scaleTextsAreEachOnePrint();
    void resultLines_data();
    void resultLines();
    void commandTableRows();
    void lineBreaks_data();
    void lineBreaks();
    void textLinesAreThePreviewLines();
    void linesForATerminal_data();
    void linesForATerminal();
};

void ReportRendererTest::emptyReportOnPreviewAndPrinter()
{
    const FakeReportSource nothingTested;
    const QStringList lines =
        ReportHead + QStringList{
                         QStringLiteral("-8 "),
                         QStringLiteral("B8 Operational Information"),
                         QStringLiteral("-8 "),
                         QStringLiteral("B8 Tested Commands\\t\\t\\tResults"),
                         QStringLiteral("-8 \\r"),
                         QStringLiteral("B8 Weight stream not verified"),
                         QStringLiteral("B8 SMA Level 1 Compliance Not Verified"),
                     };

    RecordingTarget preview;
    renderReport(preview, nothingTested, ReportMedium::Preview);
    QCOMPARE(preview.log, QStringList{QStringLiteral("<clear>")} + lines);

    RecordingTarget printer;
    renderReport(printer, nothingTested, ReportMedium::Printer);
    QCOMPARE(printer.log, lines + QStringList{QStringLiteral("<end>")});

    // Each rendering leaves bold off at 8 points.
    QCOMPARE(printer.bold, false);
    QCOMPARE(printer.size, 8);
}

void ReportRendererTest::scaleTextsAreEachOnePrint()
{
    FakeReportSource source;
    source.about = QStringLiteral("ABT:Acme\r\nVER:1\r\n");
    source.info = QStringLiteral("CMD:HP\r\n");
    RecordingTarget target;
    renderReport(target, source, ReportMedium::Printer);
    QCOMPARE(target.log.mid(2, 4), (QStringList{
                                       QStringLiteral("-8 ABT:Acme\\r\\nVER:1\\r\\n"),
                                       QStringLiteral("B8 Operational Information"),
                                       QStringLiteral("-8 CMD:HP\\r\\n"),
                                       QStringLiteral("B8 Tested Commands\\t\\t\\tResults"),
                                   }));
}

void ReportRendererTest::resultLines_data()
{
    QTest::addColumn<bool>("weightStreamOK");
    QTest::addColumn<bool>("level1");
    QTest::addColumn<bool>("level2");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("level1Calls");
    QTest::addColumn<int>("level2Calls");

    // The checks would say "compliant", but the weight stream decides first.
    QTest::newRow("stream not verified")
        << false << true << true
        << QStringList{QStringLiteral("B8 Weight stream not verified"),
                       QStringLiteral("B8 SMA Level 1 Compliance Not Verified")}
        << 0 << 0;
    QTest::newRow("level 1 not verified")
        << true << false << true
        << QStringList{QStringLiteral("B8 SMA Weight stream verified correct"),
                       QStringLiteral("B8 SMA Level 1 Compliance Not Verified")}
        << 1 << 0;
    QTest::newRow("level 1 without level 2")
        << true << true << false
        << QStringList{QStringLiteral("B8 SMA Weight stream verified correct"),
                       QStringLiteral("B8 SMA Level 1 Compliance Verified( ABDWZ )")}
        << 1 << 1;
    QTest::newRow("level 1 and level 2")
        << true << true << true
        << QStringList{QStringLiteral("B8 SMA Weight stream verified correct"),
                       QStringLiteral("B8 SMA Level 1 Compliance Verified( ABDWZ )"),
                       QStringLiteral("B8 SMA Level 2 commands supported ( H P  Q )")}
        << 1 << 1;
}

void ReportRendererTest::resultLines()
{
    QFETCH(bool, weightStreamOK);
    QFETCH(bool, level1);
    QFETCH(bool, level2);
    QFETCH(QStringList, expected);
    QFETCH(int, level1Calls);
    QFETCH(int, level2Calls);

    FakeReportSource source;
    source.level1 = level1;
    source.level2 = level2;
    source.published = QStringLiteral("H P  Q"); // printed verbatim, blanks and all
    source.weightStream = weightStreamOK;

    RecordingTarget target;
    renderReport(target, source, ReportMedium::Printer);

    const qsizetype separator = target.log.indexOf(QStringLiteral("-8 \\r"));
    QVERIFY(separator > 0);
    QCOMPARE(target.log.mid(separator + 1), expected + QStringList{QStringLiteral("<end>")});
    QCOMPARE(source.level1Calls, level1Calls);
    QCOMPARE(source.level2Calls, level2Calls);
    QCOMPARE(source.publishedCalls, expected.size() == 3 ? 1 : 0);
}

void ReportRendererTest::commandTableRows()
{
    FakeReportSource source;
    source.commands = {QStringLiteral("<LF>A<CR>"), QStringLiteral("<LF>T123.4<CR>"),
                       QStringLiteral("<LF>B<CR>"), QStringLiteral("<LF>D<CR>")};
    // "D" was just sent: its result has no entry yet, so its column stays empty.
    source.results = {QStringLiteral("Passed"), QStringLiteral("Failed"),
                      QStringLiteral("Pending")};

    RecordingTarget target;
    renderReport(target, source, ReportMedium::Preview);

    const qsizetype heading =
        target.log.indexOf(QStringLiteral("B8 Tested Commands\\t\\t\\tResults"));
    QVERIFY(heading > 0);
    QCOMPARE(target.log.mid(heading + 1, 5),
             (QStringList{
                 QStringLiteral("-8 <LF>A<CR>\\t\\t\\t\\t\\tPassed"),
                 QStringLiteral("-8 <LF>T123.4<CR>\\t\\t\\t\\t\\tFailed"),
                 QStringLiteral("-8 <LF>B<CR>\\t\\t\\t\\t\\tPending"),
                 QStringLiteral("-8 <LF>D<CR>\\t\\t\\t\\t\\t"),
                 QStringLiteral("-8 \\r"),
             }));
}

// Every target breaks a print() into lines here, the painter and the text
// target alike.
void ReportRendererTest::lineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty text: one empty line") << QString() << QStringList{""};
    QTest::newRow("scale text ending CR LF") << "SMA:2/1.0\r\nEND:\r\n"
                                             << QStringList{"SMA:2/1.0", "END:", ""};
    QTest::newRow("lone CR: the separator") << "\r" << QStringList{"", ""};
    QTest::newRow("lone CR and lone LF") << "a\rb\nc" << QStringList{"a", "b", "c"};
    QTest::newRow("LF CR is two line ends") << "a\n\rb" << QStringList{"a", "", "b"};
    QTest::newRow("CR CR LF") << "\r\r\n" << QStringList{"", "", ""};
    QTest::newRow("TABs and blanks stay")
        << "<LF>U   <CR>\t\t\t\t\tPassed\t" << QStringList{"<LF>U   <CR>\t\t\t\t\tPassed\t"};
}

void ReportRendererTest::lineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitReportLines(text), lines);
}

void ReportRendererTest::textLinesAreThePreviewLines()
{
    FakeReportSource source = FakeReportSource::compliantScale();
    source.weightStream = true;
    TextReportTarget target;
    target.print(QStringLiteral("left over from an earlier rendering"));
    renderReport(target, source, ReportMedium::Preview);
    const QStringList expected = {
        "Scale Manufacturers Association",
        "Device Description",
        "ABT:Acme Scales",
        "VER:2.10",
        "",
        "Operational Information",
        "TYP:Shelf floor scale",
        "CMD:HPR",
        "",
        "Tested Commands\t\t\tResults",
        "<LF>A<CR>\t\t\t\t\tPassed",
        "<LF>B<CR>\t\t\t\t\tPassed",
        "<LF>Z<CR>\t\t\t\t\tPassed",
        "<LF>W<CR>\t\t\t\t\tPassed",
        "<LF>D<CR>\t\t\t\t\tPassed",
        "<LF>Ulb <CR>\t\t\t\t\tPassed",
        "",
        "",
        "SMA Weight stream verified correct",
        "SMA Level 1 Compliance Verified( ABDWZ )",
        "SMA Level 2 commands supported ( HPR )",
    };
    QCOMPARE(target.lines(), expected);
    QCOMPARE(reportLines(source), expected);
}

// A terminal's tab stops lie every 8 columns; the lines shown there have
// their TABs as blanks that put the results of every row in one column.
void ReportRendererTest::linesForATerminal_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("shown");
    const auto blanks = [](int count) { return QString(count, u' '); };
    QTest::newRow("no TAB") << "SMA Level 1 Compliance Verified( ABDWZ )"
                            << "SMA Level 1 Compliance Verified( ABDWZ )";
    QTest::newRow("heading") << "Tested Commands\t\t\tResults"
                             << "Tested Commands" + blanks(9) + "Results";
    QTest::newRow("command") << "<LF>A<CR>\t\t\t\t\tPassed"
                             << "<LF>A<CR>" + blanks(31) + "Passed";
    QTest::newRow("tare") << "<LF>T000001.000<CR>\t\t\t\t\tFailed"
                          << "<LF>T000001.000<CR>" + blanks(21) + "Failed";
    QTest::newRow("long tare row") << "<LF>T000000000000000000001.000<CR>\t\t\t\t\tPassed"
                                   << "<LF>T000000000000000000001.000<CR>" + blanks(6) + "Passed";
    QTest::newRow("result not there yet") << "<LF>D<CR>\t\t\t\t\t"
                                          << "<LF>D<CR>" + blanks(31);
}

void ReportRendererTest::linesForATerminal()
{
    QFETCH(QString, line);
    QFETCH(QString, shown);
    QCOMPARE(expandReportTabs(line), shown);
}

QTEST_APPLESS_MAIN(ReportRendererTest)
#include "tst_ReportRenderer.moc"
