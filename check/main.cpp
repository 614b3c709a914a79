// sma-check: checks a scale on a serial port for SMA compliance without a
// window, for production lines and firmware CI.

#include "CheckCommandLine.h"
#include "CheckPdf.h"
#include "PortList.h"
#include "QSerialMSComm.h"
#include "SmaCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <cstdio>
#include <memory>

namespace {

// Writes whole lines: `text` gets its final line end unless it has one.
void writeLines(std::FILE *stream, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    std::fputs(bytes.constData(), stream);
    std::fflush(stream);
}

// One line per serial port: its device, its description and, for a USB
// adapter, vendor:product, separated by TABs.
QStringList serialPortLines()
{
    QStringList lines;
    for (const PresentPort &port : presentPorts())
        lines << QStringList{port.location, port.description, port.usbId}.join(QLatin1Char('\t'));
    return lines;
}

// The module that draws PDFs, from the program's own folder.
struct PdfModule
{
    SmaCheckGuiApplication makeApplication = nullptr;
    SmaCheckSavePdf save = nullptr;
    QString error;
};

PdfModule loadPdfModule(const char *argv0)
{
    // There is no application object yet to ask where the program lies.
    QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (program.isEmpty())
        program = QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
    QLibrary library(QFileInfo(program).dir().filePath(QStringLiteral("sma-check-pdf")));
    PdfModule module;
    module.makeApplication =
        reinterpret_cast<SmaCheckGuiApplication>(library.resolve("smaCheckGuiApplication"));
    module.save = reinterpret_cast<SmaCheckSavePdf>(library.resolve("smaCheckSavePdf"));
    if (!module.makeApplication || !module.save)
        module.error = library.errorString();
    return module;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CheckCommandLine commandLine;
    const bool parsed = commandLine.parse(arguments);
    const CheckOptions &options = commandLine.options();

    // Only drawing a PDF needs a GUI application (for its fonts); every
    // other run makes do with a core application and loads no GUI library.
    PdfModule pdf;
    std::unique_ptr<QCoreApplication> app;
    if (parsed && !commandLine.helpRequested() && !options.pdfFile.isEmpty()) {
        pdf = loadPdfModule(argv[0]);
        if (!pdf.error.isEmpty()) {
            writeLines(stderr, QStringLiteral("sma-check: cannot draw a PDF: ") + pdf.error);
            return SmaCheck::CouldNotRun;
        }
        app.reset(pdf.makeApplication(&argc, argv));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("sma-check"));

    if (!parsed) {
        writeLines(stderr, QStringLiteral("sma-check: ") + commandLine.errorText());
        writeLines(stderr, commandLine.helpText());
        return SmaCheck::CouldNotRun;
    }
    if (commandLine.helpRequested()) {
        writeLines(stdout, commandLine.helpText());
        return 0;
    }
    if (options.listPorts) {
        const QStringList ports = serialPortLines();
        if (ports.isEmpty())
            writeLines(stderr, QStringLiteral("No serial ports found."));
        else
            writeLines(stdout, ports.join(QLatin1Char('\n')));
        return 0;
    }
    if (options.history)
        return listHistory(
            options, [](const QString &text) { writeLines(stdout, text); },
            [](const QString &text) { writeLines(stderr, text); });

    const SmaCheck::Console console{[](const QString &text) { writeLines(stdout, text); },
                                    [](const QString &text) { writeLines(stderr, text); }};
    SmaCheck check(
        options, [](QObject *parent) -> MSComm * { return new QSerialMSComm(parent); }, console);
    if (pdf.save) {
        check.setPdfWriter([save = pdf.save](const QString &fileName, const ReportSource &source) {
            QString error;
            save(fileName, source, error);
            return error;
        });
    }
    QObject::connect(&check, &SmaCheck::finished, app.get(),
                     [](int exitStatus) { QCoreApplication::exit(exitStatus); });
    QMetaObject::invokeMethod(&check, &SmaCheck::start, Qt::QueuedConnection);
    return app->exec();
}
