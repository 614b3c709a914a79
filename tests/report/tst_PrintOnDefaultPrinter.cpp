// Prints through the real default printer. Meant for a CUPS queue "PDF"
// (cups-pdf) set up by tools/setup-pdf-printer.sh, whose output files are
// read back with pdftotext.
#include "CupsJob.h"
#include "FakeReportSource.h"
#include "ModalAnswerer.h"
#include "PdfText.h"
#include "PrtForm.h"
#include "ReportPrinting.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cups/cups.h>
#include <unistd.h>

namespace {

bool printerRequired()
{
    return qEnvironmentVariable("SMA_REQUIRE_PRINTER") == QLatin1String("1");
}

// Folders where cups-pdf may put the files printed by this user:
// $SMA_CUPS_PDF_DIR when given, else its usual places.
QStringList outputFolders()
{
    const QString configured = qEnvironmentVariable("SMA_CUPS_PDF_DIR");
    if (!configured.isEmpty())
        return {configured};
    return {QDir::home().filePath(QStringLiteral("PDF")),
            QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")};
}

using Snapshot = QHash<QString, QDateTime>;

Snapshot pdfFiles()
{
    Snapshot files;
    for (const QString &folder : outputFolders()) {
        const QFileInfoList found =
            QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
        for (const QFileInfo &file : found)
            files.insert(file.absoluteFilePath(), file.lastModified());
    }
    return files;
}

QStringList newOrChanged(const Snapshot &before, const Snapshot &now)
{
    QStringList paths;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (!before.contains(it.key()) || before.value(it.key()) != it.value())
            paths << it.key();
    return paths;
}

// Presses "Print" in a preview whose default printer is `printer`; returns
// the messages shown.
QStringList pressPrint(const QPrinterInfo &printer, const FakeReportSource &source)
{
    PrtForm form(source);
    form.setDefaultPrinterLookup([printer] { return printer; });
    ModalAnswerer answerer;
    answerer.onModal = [&form](QWidget *modal) {
        if (modal == &form)
            QTimer::singleShot(0, &form, [&form] {
                form.findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
            });
    };
    form.exec();
    return answerer.messages;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Asks CUPS, on this thread, to print on a queue that does not exist; libcups
// keeps the refusal as the thread's last error. Returns CUPS's reason, empty
// when the request did not fail.
QString failOneCupsRequest()
{
    const QByteArray missingQueue = QStringLiteral("SMA-No-Such-Queue-%1")
                                        .arg(QCoreApplication::applicationPid())
                                        .toLocal8Bit();
    if (cupsPrintFile(missingQueue.constData(), "/dev/null", "earlier request", 0, nullptr) != 0 ||
        cupsLastError() < IPP_STATUS_ERROR_BAD_REQUEST)
        return {};
    return QString::fromUtf8(cupsLastErrorString());
}

bool queueEmpty()
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o")});
    return lpstat.waitForFinished(10000) && lpstat.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

class PrintOnDefaultPrinterTest : public QObject
{
    Q_OBJECT
private slots:
    void printPressPrintsOneReport();
    void refusedJobIsReported();
};

void PrintOnDefaultPrinterTest::printPressPrintsOneReport()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull()) {
        if (printerRequired())
            QFAIL("SMA_REQUIRE_PRINTER=1 but there is no default printer; "
                  "run tools/setup-pdf-printer.sh first");
        QSKIP("no default printer (tools/setup-pdf-printer.sh sets up a PDF printer; "
              "SMA_REQUIRE_PRINTER=1 makes this a failure)");
    }
    if (!PdfText::available())
        QFAIL("pdftotext is missing; tools/setup-pdf-printer.sh installs poppler-utils");

    FakeReportSource source = FakeReportSource::compliantScale();
    source.published = QStringLiteral("HPR%1").arg(QDateTime::currentMSecsSinceEpoch());
    source.weightStream = true;

    const Snapshot before = pdfFiles();
    const QStringList messages = pressPrint(printer, source);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(u'\n')));

    const QStringList expected =
        PdfText::expectedLines(source, {QStringLiteral("SMA Weight stream verified correct"),
                                        QStringLiteral("SMA Level 1 Compliance Verified( ABDWZ )"),
                                        QStringLiteral("SMA Level 2 commands supported ( ") +
                                            source.published + QStringLiteral(" )")});

    // This press's documents: other test runs may print on the same queue,
    // but only this one has this list of published commands.
    const auto printedHere = [&] {
        QStringList documents;
        for (const QString &path : newOrChanged(before, pdfFiles()))
            if (PdfText::extract(path).contains(source.published))
                documents << path;
        return documents;
    };

    // Wait for the job to come out (a bounded wait for the queue, not a timing check).
    QDeadlineTimer deadline(60000);
    QStringList documents;
    while ((documents = printedHere()).isEmpty() && !deadline.hasExpired())
        QTest::qWait(250);
    QVERIFY2(
        !documents.isEmpty(),
        qPrintable(
            QStringLiteral("no printed report in %1 after 60 s").arg(outputFolders().join(u' '))));
    const QString text = PdfText::extract(documents.first());
    const QString mismatch = PdfText::firstMismatch(text, expected, source);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch + u'\n' + text));

    // One press, one document: nothing more comes once the queue is empty.
    while (!queueEmpty() && !deadline.hasExpired())
        QTest::qWait(250);
    QCOMPARE(printedHere().size(), 1);
}

void PrintOnDefaultPrinterTest::refusedJobIsReported()
{
    if (QPrinterInfo::defaultPrinter().isNull()) {
        if (printerRequired())
            QFAIL("SMA_REQUIRE_PRINTER=1 but there is no default printer");
        QSKIP("no default printer, so CUPS is not set up here");
    }
    if (geteuid() != 0)
        QSKIP("adding a CUPS queue for this test needs root");

    // A queue of its own, stopped so that it holds the jobs it takes; removed
    // again at the end, with its jobs.
    const QString queue = QStringLiteral("SMA-Refusing-%1").arg(QCoreApplication::applicationPid());
    QVERIFY(run(QStringLiteral("lpadmin"),
                {QStringLiteral("-p"), queue, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
                 QStringLiteral("-m"), QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"),
                 QStringLiteral("-E")}));
    const auto removeQueue = qScopeGuard([&queue] {
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue});
    });
    QVERIFY(run(QStringLiteral("cupsdisable"), {queue}));

    // A job the queue takes is reported as taken, even right after a request
    // of this thread that CUPS refused.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString heldPdf = dir.filePath(QStringLiteral("held.pdf"));
    QVERIFY(saveReportAsPdf(heldPdf, QStringLiteral("held"), FakeReportSource()).ok);
    QVERIFY(!failOneCupsRequest().isEmpty());
    const CupsJob::Submission held =
        CupsJob::printPdf(queue, heldPdf, QStringLiteral("SMA held job"));
    QVERIFY2(held.jobId > 0, qPrintable(held.error));
    QVERIFY(held.error.isEmpty());

    // Once it refuses jobs, "Print" says so, with CUPS's reason for this job.
    QVERIFY(run(QStringLiteral("cupsreject"), {queue}));
    const QPrinterInfo refusing = QPrinterInfo::printerInfo(queue);
    QVERIFY(!refusing.isNull());
    const QStringList messages = pressPrint(refusing, FakeReportSource::compliantScale());
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().section(u'\n', 0, 0),
             QStringLiteral("The report could not be printed on \"%1\".").arg(queue));
    const QString reason = messages.first().section(u'\n', 1);
    QVERIFY2(reason.contains(queue), qPrintable(reason));
}

QTEST_MAIN(PrintOnDefaultPrinterTest)
#include "tst_PrintOnDefaultPrinter.moc"
