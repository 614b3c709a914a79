#pragma once

#include "CheckArchive.h"
#include "CheckCommandLine.h"
#include "CheckConductor.h"
#include "CheckRecord.h"
#include "MSComm.h"
#include "SmaSession.h"
#include "WeightAnswer.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ReportSource;
class WeightStreamEngine;

// One compliance check of a scale at a terminal or on CI, a view of the
// check's conductor: it plans the check from the command line, prints its
// progress and questions on standard error (waiting for Enter at a terminal,
// Console::confirm), redraws the weight stream's status line, and once the
// check has ended compares and records it and writes the report, the JSON,
// JUnit and PDF files. It listens half a second before "A", so that a scale
// that talks by itself is never judged.
class SmaCheck : public QObject
{
    Q_OBJECT
public:
    enum ExitStatus {
        Compliant = 0,         // Level 1 passed, weight stream verified or skipped on request
        NotCompliant = 1,      // the run finished with another verdict, or broke off
        CouldNotRun = 2,       // the port or an output file could not be opened, or
        Stopped = CouldNotRun, // the check was stopped (Ctrl+C) before its end
    };

    // Where text goes. `out` takes results (standard output), `err`
    // progress, instructions and errors (standard error). Each call passes
    // one or more whole lines without the final line end. The two others
    // are given only for a person at a terminal.
    struct Console
    {
        std::function<void(const QString &)> out;
        std::function<void(const QString &)> err;
        // Redraws the one status line of the weight stream analysis in place;
        // an empty text ends it, keeping what it shows. Without it, each box
        // is printed as it is ticked.
        std::function<void(const QString &)> status;
        // Waits for the operator to press Enter, then calls `proceed`.
        // Without it, the check goes on at once.
        std::function<void(std::function<void()> proceed)> confirm;
    };
    // Writes the report to a PDF file; returns why it could not, or nothing.
    using PdfWriter = std::function<QString(const QString &fileName, const ReportSource &source)>;

    SmaCheck(const CheckOptions &options, const MSCommFactory &portFactory, const Console &console,
             QObject *parent = nullptr);
    ~SmaCheck() override;

    // Needed only when the options ask for a PDF.
    void setPdfWriter(const PdfWriter &writer) { m_pdfWriter = writer; }

    // Runs the check. finished() is raised once, from the event loop or, when
    // the port cannot be opened, before start() returns.
    void start();

    // Ends the check early: the port is closed, the files asked for are
    // written with what was judged so far, and finished() says Stopped.
    void interrupt();

    const CheckRecord &record() const { return m_record; }
    const SmaSession &session() const;

signals:
    void finished(int exitStatus);

private:
    // How long the port is listened to before the first command.
    static constexpr int kListenMs = 500;

    void instruct(const QString &text, std::function<void()> next);
    void onVerdict(int row);
    void showWeightStream(WeightStreamEngine &engine);
    void drawStatus();
    void finish();
    void recordAndCompare();
    int writeResults();
    bool outputsWritable();
    void progress(const QString &text) const;
    void error(const QString &text) const;

    CheckOptions m_options;
    Console m_console;
    PdfWriter m_pdfWriter;
    CheckConductor *m_conductor;
    CheckArchive m_archive;
    QTimer m_statusTimer; // redraws the status line while nothing arrives
    bool m_started = false;
    bool m_done = false;
    std::optional<WeightAnswer> m_lastAnswer; // for the status line
    CheckRecord m_record;
};
