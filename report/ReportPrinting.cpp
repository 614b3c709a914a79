#include "ReportPrinting.h"

#include "CupsJob.h"
#include "ReportPages.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ReportPrinting", text);
}

QString failureReason(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return tr("The file could not be created or written.");
    return tr("The printer did not accept the report.");
}

} // namespace

PrintOutcome printReport(QPrinter &printer, const ReportSource &source)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return {false, failureReason(printer)};

    // The painter's origin is the top-left corner of the printable area.
    const ReportPages pages(source, printer.pageRect(QPrinter::DevicePixel).size(),
                            printer.resolution());
    const int drawn = pages.draw(painter, ReportMedium::Printer, [&printer](int index) {
        if (index > 0)
            printer.newPage();
    });
    if (drawn == 0 || printer.printerState() == QPrinter::Error)
        return {false, failureReason(printer)};
    return {true, {}};
}

PrintOutcome saveReportAsPdf(const QString &fileName, const QString &title,
                             const ReportSource &source)
{
    // QPrinter only says that it failed; the file itself says why.
    {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly))
            return {false, tr("%1.").arg(file.errorString())};
    }
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(fileName);
    pdf.setDocName(title);
    return printReport(pdf, source);
}

PrintOutcome printReportOn(const QPrinterInfo &printer, const QString &title,
                           const ReportSource &source)
{
    QTemporaryDir spool;
    if (!spool.isValid())
        return {false, tr("No temporary folder for the print job could be made.")};

    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(spool.filePath(QStringLiteral("report.pdf")));
    pdf.setDocName(title);
    // The paper and margins the queue itself would give the report.
    pdf.setPageLayout(QPrinter(printer, QPrinter::HighResolution).pageLayout());
    const PrintOutcome written = printReport(pdf, source);
    if (!written.ok)
        return written;

    const CupsJob::Submission job =
        CupsJob::printPdf(printer.printerName(), pdf.outputFileName(), title);
    if (job.jobId == 0)
        return {false, job.error};
    return {true, {}};
}
