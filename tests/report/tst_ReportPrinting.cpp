#include "FakeReportSource.h"
#include "PdfText.h"
#include "ReportPrinting.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

class ReportPrintingTest : public QObject
{
    Q_OBJECT
private slots:
    void longReportContinuesOnNewPages();
};

void ReportPrintingTest::longReportContinuesOnNewPages()
{
    if (!PdfText::available())
        QSKIP("pdftotext is not installed (poppler-utils; tools/setup-pdf-printer.sh installs it)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    FakeReportSource source = FakeReportSource::compliantScale();
    source.commands.clear();
    source.results.clear();
    for (int i = 0; i < 250; ++i) {
        source.commands << QStringLiteral("<LF>T%1<CR>").arg(i);
        source.results << (i % 2 ? QStringLiteral("Failed") : QStringLiteral("Passed"));
    }

    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(dir.filePath(QStringLiteral("long.pdf")));
    const PrintOutcome outcome = printReport(pdf, source);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));

    const QString text = PdfText::extract(pdf.outputFileName());
    QVERIFY(text.count(u'\f') >= 2); // pdftotext ends every page with a form feed
    const QStringList expected =
        PdfText::expectedLines(source, {QStringLiteral("Weight stream not verified"),
                                        QStringLiteral("SMA Level 1 Compliance Not Verified")});
    const QString mismatch = PdfText::firstMismatch(text, expected, source);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

QTEST_MAIN(ReportPrintingTest)
#include "tst_ReportPrinting.moc"
