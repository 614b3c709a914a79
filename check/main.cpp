// sma-check: checks a scale on a serial port for SMA compliance without a
// window, for production lines and firmware CI.

#include "AnyPortMSComm.h"
#include "CheckArchive.h"
#include "CheckCommandLine.h"
#include "CheckPdf.h"
#include "CheckTerminal.h"
#include "PortList.h"
#include "ReportRenderer.h"
#include "ReportTarget.h"
#include "SmaCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <sys/ioctl.h>
#include <unistd.h>

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

// Standard error at a terminal: progress lines with their verdicts in
// colour, and the weight stream's status line redrawn in place, cut to the
// terminal's width so that it never wraps onto a second line.
class TerminalErr
{
public:
    void line(const QString &text)
    {
        endStatus();
        writeLines(stderr, colourVerdict(text));
    }
    void status(const QString &text)
    {
        if (text.isEmpty()) {
            endStatus();
            return;
        }
        winsize size = {};
        const int columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1
                                ? size.ws_col - 1
                                : 79;
        std::fputs("\r\x1b[K", stderr);
        std::fputs(text.left(columns).toUtf8().constData(), stderr);
        std::fflush(stderr);
        m_statusShown = true;
    }

private:
    // The status line stays as it was last drawn; what follows starts below.
    void endStatus()
    {
        if (m_statusShown)
            std::fputs("\n", stderr);
        m_statusShown = false;
    }

    bool m_statusShown = false;
};

// The report's lines for a terminal, which sets its own tab stops: TABs
// become blanks that line the results up, and the verdicts are coloured
// unless NO_COLOR says otherwise. Pipes and files get the exact lines.
QString forTerminal(const QString &lines, bool colour)
{
    QStringList shown;
    for (const QString &line : splitReportLines(lines))
        shown << (colour ? colourVerdict(expandReportTabs(line)) : expandReportTabs(line));
    return shown.join(QLatin1Char('\n'));
}

// One line per serial port: its device, its description and, for a USB
// adapter, vendor:product, separated by TABs; then the network ports used
// last.
QStringList serialPortLines()
{
    QStringList lines;
    for (const PresentPort &port : portsToOffer())
        lines << QStringList{port.location, port.description, port.usbId}.join(QLatin1Char('\t'));
    return lines;
}

// The module that draws PDFs.
struct PdfModule
{
    SmaCheckGuiApplication makeApplication = nullptr;
    SmaCheckSavePdf save = nullptr;
    QString error;
};

// Where the module may lie, both found from the program's own folder: beside
// it in a build folder, in the project's library folder once installed.
QStringList pdfModuleCandidates(const QDir &programFolder)
{
    const QString file = QStringLiteral(SMA_PDF_MODULE_FILE);
    return {programFolder.filePath(file),
            QDir::cleanPath(programFolder.filePath(QStringLiteral(SMA_PKGLIBDIR_FROM_BINDIR)) +
                            QLatin1Char('/') + file)};
}

PdfModule loadPdfModule(const char *argv0)
{
    // There is no application object yet to ask where the program lies.
    QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (program.isEmpty())
        program = QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
    const QStringList candidates = pdfModuleCandidates(QFileInfo(program).dir());
    PdfModule module;
    const auto found = std::find_if(candidates.begin(), candidates.end(),
                                    [](const QString &path) { return QFileInfo::exists(path); });
    if (found == candidates.end()) {
        module.error = QStringLiteral("its module is neither at %1 nor at %2")
                           .arg(candidates.first(), candidates.last());
        return module;
    }
    QLibrary library(*found);
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
    if (commandLine.versionRequested()) {
        writeLines(stdout, QStringLiteral("sma-check ") + programVersion());
        return 0;
    }
    if (options.listPorts) {
        const QStringList ports = serialPortLines();
        if (ports.isEmpty())
            writeLines(stderr,
                       QStringLiteral("No serial ports found, and no network port used lately."));
        else
            writeLines(stdout, ports.join(QLatin1Char('\n')));
        return 0;
    }
    if (options.sync)
        return syncQueue(options, [](const QString &text) { writeLines(stderr, text); });
    if (options.history)
        return listHistory(
            options, [](const QString &text) { writeLines(stdout, text); },
            [](const QString &text) { writeLines(stderr, text); });

    const TerminalUse terminal = TerminalUse::detect(options.yes);
    TerminalErr terminalErr;
    // Only a terminal is watched: standard input may be closed, or a file.
    std::unique_ptr<EnterKeyWait> enterKey;
    SmaCheck::Console console;
    console.out = [](const QString &text) { writeLines(stdout, text); };
    console.err = [](const QString &text) { writeLines(stderr, text); };
    if (terminal.stdoutTerminal && !options.jsonOnStdout()) {
        console.out = [colour = terminal.colourOut](const QString &text) {
            writeLines(stdout, forTerminal(text, colour));
        };
    }
    if (terminal.decorate) {
        console.err = [&terminalErr](const QString &text) { terminalErr.line(text); };
        console.status = [&terminalErr](const QString &text) { terminalErr.status(text); };
    }
    if (terminal.waitForEnter) {
        enterKey = std::make_unique<EnterKeyWait>(STDIN_FILENO);
        console.confirm = [&enterKey](std::function<void()> proceed) {
            enterKey->wait(std::move(proceed));
        };
    }
    SmaCheck check(options, makeAnyPort, console);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &check, &SmaCheck::interrupt);
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
