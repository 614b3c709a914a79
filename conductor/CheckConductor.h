#pragma once

#include "CheckRecord.h"
#include "LineSettingsSearch.h"
#include "MSComm.h"
#include "SmaSession.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class WeightStreamEngine;

// One compliance check of a scale, from the set-up message to the finished
// record, free of widgets, so that the tester window and sma-check are two
// views of the same check. It drives the session (the discovery run, the
// tare and units tests), the search for the line settings and the weight
// stream analysis, and fills the check's record once. Its views render its
// signals, answer its questions and hand the record to the records.
//
// A check, phase by phase:
//   FindingSettings  with Plan::findSettingsFirst the line settings are looked
//                    for first and used; Find Settings on request runs here
//                    too, and asks before found settings are used;
//   SettingUp        the port is open and nothing is sent: the operator is
//                    asked to set the scale up (Question::SetUp); whatever the
//                    scale sends meanwhile is watched, not judged, and the run
//                    starts once answered and the port has been listened to
//                    for Plan::listenMs;
//   Discovery        the discovery run; one that breaks off (a time-out, Stop,
//                    the port lost, a scale that talks by itself) ends the
//                    check there, as it stands;
//   Tare, Units      the single tests the plan asks for, in this order;
//   WeightStream     the weight stream analysis, unless the plan leaves it out
//                    (Question::TareWeight first when the scale publishes "T");
//   Ended            checkEnded(): the record is ready. Retests, tare and
//                    units tests made now revise it (checkRevised()), until
//                    the next start.
// Everything is driven by the event loop and nothing blocks.
class CheckConductor : public QObject
{
    Q_OBJECT
public:
    enum class Phase {
        Idle,
        FindingSettings,
        SettingUp,
        Discovery,
        Tare,
        Units,
        WeightStream,
        Ended
    };
    Q_ENUM(Phase)
    // What the conductor waits for answer() to.
    enum class Question {
        SetUp,            // set the scale up for the check; Ok
        TareWeight,       // put a tareable weight on the scale; Ok
        UseFoundSettings, // the search found other settings: use them from now on?
        FindSettings,     // "A" got no answer: look for the line settings?
    };
    // A problem is put to the operator; progress is news a terminal shows
    // and a window need not.
    enum class Tone { Problem, Progress };
    // The check's exit status, as sma-check returns it and the record keeps it.
    enum ExitStatus {
        Compliant = 0,    // Level 1 passed, weight stream verified or left out on request
        NotCompliant = 1, // the run finished with another verdict, or broke off
        Stopped = 2,      // stopped from outside before its end
    };

    // What a check does besides the discovery run.
    struct Plan
    {
        bool findSettingsFirst = false;  // look for the line settings before the check
        bool offerFindSettings = false;  // ask to look when "A" gets no answer
        int listenMs = 0;                // the port is listened to before "A", at the least
        std::optional<QString> tare;     // the tare test after the run, with this value
        std::optional<QString> unitCode; // then the units test, with this code
        bool weightStream = true;        // false: left out
        int streamTimeoutMs = 0;         // from its first request; 0: no limit
        int pollIntervalMs = 1000;
    };

    explicit CheckConductor(const MSCommFactory &portFactory, QObject *parent = nullptr);
    ~CheckConductor() override;

    void setPlan(const Plan &plan) { m_plan = plan; }
    // The line settings every check uses from now on.
    void setLineSettings(const LineSettings &settings);

    SmaSession &session() const { return *m_session; }
    Phase phase() const { return m_phase; }
    // The check since the last start, as last filled.
    const CheckRecord &record() const { return m_record; }
    // Whether the check ended before its weight stream analysis could.
    bool brokeOff() const { return m_brokeOff; }
    // The analysis while it runs, for its view; nullptr otherwise.
    WeightStreamEngine *weightStream() const { return m_engine; }
    // What is left of Plan::streamTimeoutMs, once the analysis polls.
    int streamTimeLeftMs() const;

    // ---- What the operator does ----

    // Start: a new check on the port `portText` names. Returns false when the
    // port could not be opened (told, and notStarted()).
    bool start(const QString &portText);
    // Stop: the port closes and the check ends as it stands.
    void stop() { m_session->close(); }
    // Stopped from outside (Ctrl+C): the command in flight fails as stopped,
    // a running analysis ends unverified, and the check ends as Stopped.
    void interrupt();
    // The answer to the question asked last.
    void answer(bool yes);
    // Find Settings, on request, while no port is open.
    void findSettings(const QString &portText);
    // The weight stream analysis on its own, while no port is open: it
    // changes the check's report and record, and writes nothing.
    void verifyWeight();
    // The analysis's view has closed, `verified` when it saw it pass; ends
    // the analysis unless it has ended already.
    void endWeightStream(bool verified);
    // Close or end of the application: the ports go, nothing else.
    void shutdown();

signals:
    void phaseChanged(CheckConductor::Phase phase);
    // Wants answer() before it goes on.
    void asked(CheckConductor::Question question, const QString &text, const QString &detail);
    void told(CheckConductor::Tone tone, const QString &text, const QString &detail);
    // Found settings were taken over.
    void lineSettingsChanged(const LineSettings &settings);
    // A new check begins: the next checkEnded() is a check of its own.
    void checkStarted();
    // The port could not be opened for the check: no check was made.
    void notStarted();
    // The discovery run broke off at `where` (a printable command, or empty
    // at its start).
    void discoveryStopped(const QString &where);
    // The analysis polls now: its view may show `engine`.
    void weightStreamShown(WeightStreamEngine &engine);
    // The analysis has ended; its view may close.
    void weightStreamEnded(bool verified);
    // The check has ended: record() is ready for the records.
    void checkEnded();
    // A check that ended was revised by a single test: record() again.
    void checkRevised();

private:
    void setPhase(Phase phase);
    void ask(Question question, const QString &text, const QString &detail = {});
    void problem(const QString &text, const QString &detail = {});
    bool openForSetUp(SmaSession::Record record);
    void startDiscovery();
    void onPortClosed();
    void onFirstCommandUnanswered();
    void onLineSettingsSearched(const LineSettingsSearch::Outcome &outcome);
    void runTare();
    void runUnits();
    void runSingleTest(const SmaSession::Outcome &outcome);
    void runWeightStream();
    void startWeightStream();
    void connectWeightStream();
    void startPolling();
    void onStreamTimeout();
    void finishWeightStream(CheckRecord::WeightStream outcome);
    void endCheck(bool brokeOff);

    MSCommFactory m_portFactory;
    SmaSession *m_session;
    Plan m_plan;
    Phase m_phase = Phase::Idle;
    std::optional<Question> m_question;
    LineSettings m_found; // what the search found, while asked about
    QString m_portText;
    bool m_runFinished = false;
    bool m_interrupted = false;
    bool m_brokeOff = false;
    bool m_searchFirst = false;      // the search under way is the check's first phase
    bool m_offerSearch = false;      // "A" went unanswered: offer a search at the end
    bool m_standaloneStream = false; // the analysis runs on request, outside a check
    Phase m_before = Phase::Idle;    // where a search or an analysis on request came from
    CheckRecord m_record;
    QElapsedTimer m_clock; // the whole check, from start()
    QElapsedTimer m_openedAt;
    QTimer m_listening;
    WeightStreamEngine *m_engine = nullptr;
    QTimer m_streamTimer;
    QElapsedTimer m_streamClock;
    std::optional<CheckRecord::WeightStream> m_streamOutcome; // the analysis has ended so
};
