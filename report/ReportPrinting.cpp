#include "ReportPrinting.h"

#include "CupsStatus.h"
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

QString failureReason(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return tr("The file could not be created or written.");
    return tr("The printer did not accept the report.");
}

} // namespace

PrintOutcome printReport(QPrinter &printer, const ReportSource &source, bool weightStreamOK)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return {false, failureReason(printer)};

    // The painter's origin is the top-left corner of the printable area.
    const QRectF printable(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    PainterReportTarget target(painter, printable, Qt::white,
                               [&printer] { return printer.newPage(); });
    renderReport(target, source, weightStreamOK, ReportMedium::Printer);

    if (!target.endedCleanly() || printer.printerState() == QPrinter::Error)
        return {false, failureReason(printer)};
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        const QString refused = CupsStatus::lastRequestError();
        if (!refused.isEmpty())
            return {false, refused};
    }
    return {true, {}};
}
