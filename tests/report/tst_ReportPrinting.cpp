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
    void initTestCase();
    void pdfHoldsTheReportInOrder();
    void longReportContinuesOnNewPages();
    void unwritableFileIsAnError();

private:
    QTemporaryDir m_dir;
};

void ReportPrintingTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (!PdfText::available())
        QSKIP("pdftotext is not installed (poppler-utils; tools/setup-pdf-printer.sh installs it)");
}

namespace {

PrintOutcome printToPdf(const QString &path, const FakeReportSource &source, bool weightStreamOK)
{
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(path);
    return printReport(pdf, source, weightStreamOK);
}

} // namespace

void ReportPrintingTest::pdfHoldsTheReportInOrder()
{
    FakeReportSource source = FakeReportSource::compliantScale();
    source.level1 = false;
    const QString path = m_dir.filePath(QStringLiteral("level1-failed.pdf"));

    const PrintOutcome outcome = printToPdf(path, source, true);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));

    const QString text = PdfText::extract(path);
    const QStringList expected =
        PdfText::expectedLines(source, {QStringLiteral("SMA Weight stream verified correct"),
                                        QStringLiteral("SMA Level 1 Compliance Not Verified")});
    QVERIFY2(PdfText::firstMissing(text, expected).isEmpty(), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Level 2")));
}

void ReportPrintingTest::longReportContinuesOnNewPages()
{
    FakeReportSource source = FakeReportSource::compliantScale();
    source.commands.clear();
    source.results.clear();
    for (int i = 0; i < 250; ++i) {
        source.commands << QStringLiteral("<LF>T%1<CR>").arg(i);
        source.results << (i % 2 ? QStringLiteral("Failed") : QStringLiteral("Passed"));
    }
    const QString path = m_dir.filePath(QStringLiteral("long.pdf"));

    const PrintOutcome outcome = printToPdf(path, source, false);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));

    const QString text = PdfText::extract(path);
    QVERIFY(text.count(u'\f') >= 2); // pdftotext ends every page with a form feed
    const QStringList expected =
        PdfText::expectedLines(source, {QStringLiteral("Weight stream not verified"),
                                        QStringLiteral("SMA Level 1 Compliance Not Verified")});
    const QString missing = PdfText::firstMissing(text, expected);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

void ReportPrintingTest::unwritableFileIsAnError()
{
    const QString path = m_dir.filePath(QStringLiteral("no-such-folder/report.pdf"));
    const PrintOutcome outcome = printToPdf(path, FakeReportSource(), false);
    QVERIFY(!outcome.ok);
    QVERIFY(!outcome.error.isEmpty());
}

QTEST_MAIN(ReportPrintingTest)
#include "tst_ReportPrinting.moc"
