#include "CupsJob.h"

#include <cups/cups.h>

namespace CupsJob {

Submission printPdf(const QString &printer, const QString &pdfPath, const QString &title)
{
    const int jobId =
        cupsPrintFile(printer.toLocal8Bit().constData(), pdfPath.toLocal8Bit().constData(),
                      title.toUtf8().constData(), 0, nullptr);
    if (jobId > 0)
        return {jobId, {}};

    // libcups keeps the outcome of the last request of each thread; read
    // right after the request that failed, it is this job's.
    const QString reason = QString::fromUtf8(cupsLastErrorString());
    if (!reason.isEmpty())
        return {0, reason};
    return {0,
            QStringLiteral("CUPS error 0x%1").arg(int(cupsLastError()), 4, 16, QLatin1Char('0'))};
}

} // namespace CupsJob
