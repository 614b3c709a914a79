#include "ReportPrinting.h"

#include "PainterReportTarget.h"
#include "ReportRenderer.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPrinter>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ReportPrinting", text);
}

QString describeFailure(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return tr("The file \"%1\" could not be written.").arg(printer.outputFileName());
    return tr("The printer \"%1\" did not accept the report.").arg(printer.printerName());
}

} // namespace

PrintOutcome printReport(QPrinter &printer, const ReportSource &source, bool weightStreamOK)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return {false, describeFailure(printer)};

    // The painter's origin is the top-left corner of the printable area.
    const QRectF printable(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    PainterReportTarget target(painter, printable, Qt::white,
                               [&printer] { return printer.newPage(); });
    renderReport(target, source, weightStreamOK, ReportMedium::Printer);

    if (!target.endedCleanly() || printer.printerState() == QPrinter::Error)
        return {false, describeFailure(printer)};
    return {true, {}};
}
