#pragma once

#include "CheckArchive.h"
#include "CheckCommandLine.h"
#include "CheckRecord.h"
#include "LineSettingsSearch.h"
#include "MSComm.h"
#include "SmaSession.h"
#include "WeightAnswer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ReportSource;
class WeightStreamEngine;

// One compliance check of a scale, start to end, without a window, so that
// sma-check and its tests drive the same run as the tester window does:
//   1. With --line auto, the session finds the line settings first. The
//      session engine opens the port; the operator is told to set the device
//      up, and the discovery run starts once the operator has confirmed at a
//      terminal (Console::confirm), or after half a second of listening (a
//      scale that talks by itself is never judged).
//   2. Once it has finished: the tare test, then the units test, each when
//      asked for.
//   3. The weight stream analysis on the same port, told the published
//      commands, until every box is ticked or the time given runs out; or
//      left out on request. Its tare prompt is confirmed as in 1.
//   4. The report's lines, the JSON, JUnit and PDF files; then finished().
// A discovery run that breaks off (a time-out, the port lost) goes straight
// to 4 with its verdicts so far, and so does a check stopped by interrupt().
// Everything is driven by the event loop and nothing blocks: a silent scale
// ends the run by the session's own time-out.
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
    const SmaSession &session() const { return *m_session; }

signals:
    void finished(int exitStatus);

private:
    enum class Phase { Idle, Searching, Discovery, Tare, Units, WeightStream, Done };
    // How long the port is listened to before the first command.
    static constexpr int kListenMs = 500;

    void findLineSettings();
    void onLineSettingsSearched(const LineSettingsSearch::Outcome &outcome);
    void couldNotOpen(const OpenFailure &failure);
    void openForDiscovery(SmaSession::Record record);
    void startDiscovery();
    void onVerdict(int row);
    void onPortClosed();
    void instruct(const QString &text, std::function<void()> next);
    void afterDiscovery();
    void runTare();
    void runUnits();
    void startSingleTest(Phase phase, const std::function<bool()> &send);
    void runWeightStream();
    void startStreamClock();
    void drawStatus();
    void onStreamTimeout();
    void endWeightStream(CheckRecord::WeightStream outcome);
    void finish(bool brokeOff);
    void recordAndCompare();
    int writeResults();
    bool outputsWritable();
    void progress(const QString &text) const;
    void error(const QString &text) const;

    CheckOptions m_options;
    MSCommFactory m_portFactory;
    Console m_console;
    PdfWriter m_pdfWriter;
    SmaSession *m_session;
    CheckArchive m_archive;
    WeightStreamEngine *m_engine = nullptr;
    QTimer m_streamTimer;
    QTimer m_statusTimer; // redraws the status line while nothing arrives
    QTimer m_listening;
    QElapsedTimer m_clock;
    QElapsedTimer m_streamClock;
    QElapsedTimer m_openedAt; // the port, for the discovery run

    Phase m_phase = Phase::Idle;
    bool m_runFinished = false;
    bool m_interrupted = false;
    std::optional<WeightAnswer> m_lastAnswer; // for the status line
    CheckRecord m_record;
};
