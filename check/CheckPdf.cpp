#include "CheckPdf.h"

#include "ReportPrinting.h"

#include <QGuiApplication>

extern "C" Q_DECL_EXPORT QCoreApplication *smaCheckGuiApplication(int *argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(*argc, argv);
}

extern "C" Q_DECL_EXPORT void smaCheckSavePdf(const QString &fileName, const ReportSource &source,
                                              QString &error)
{
    error = saveReportAsPdf(fileName, QStringLiteral("SMA Compliance Report"), source).error;
}
