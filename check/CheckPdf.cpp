#include "CheckPdf.h"

#include "ReportPrinting.h"

#include <QGuiApplication>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" Q_DECL_EXPORT QCoreApplication *smaCheckGuiApplication(int *argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // While it picks its platform, Qt looks for a Wayland display in the
    // user's runtime directory, and warns on a machine that has none (a CI
    // runner, a service): noise on standard error about a display that a PDF
    // does not need. What it says while it sets up is dropped.
    const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    auto *application = new QGuiApplication(*argc, argv);
    qInstallMessageHandler(previous);
    return application;
}

extern "C" Q_DECL_EXPORT void smaCheckSavePdf(const QString &fileName, const ReportSource &source,
                                              QString &error)
{
    error = saveReportAsPdf(fileName, QStringLiteral("SMA Compliance Report"), source).error;
}
