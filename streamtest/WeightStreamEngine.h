#pragma once

#include "LineSettings.h"
#include "MSComm.h"
#include "StatusChecklist.h"
#include "TrafficRecorder.h"
#include "WeightAnswer.h"
#include "WeightStreamBuffer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

// The weight stream analysis, free of widgets: it polls the scale for its
// weight once a second on a port of its own and ticks a box for every status
// flag the answers show (zero, motion, over capacity, gross, net). When the
// scale publishes the tare command "T", a tare test comes first and adds a
// sixth box, "Tare Operation". The analysis passes on the first poll after
// every box is ticked.
//
// A run, step by step:
//   1. start(portText, publishedCommands, line) opens the port at the line
//      settings the tester uses (9600,8,N,1 unless told otherwise).
//      - The port does not open: openFailed() is raised and start() returns
//        Cancelled. Nothing else happens.
//      - "T" is published (exact case): the checklist gets its sixth box,
//        tareWeightNeeded() is raised and start() returns TarePrompt (or
//        Polling, if a listener called startPolling() straight away). The
//        engine now waits, sending nothing and throwing away whatever the
//        scale sends, until the caller has told the operator to put a
//        tareable weight on the scale and calls startPolling().
//      - Otherwise polling starts at once and start() returns Polling.
//   2. Polling: every pollInterval() ms one request goes out: "T" until "Tare
//      Operation" is ticked, then exactly one "C" (clear tare), then "W".
//      Requests and answers are not paired: every weight answer that arrives
//      is decoded (weightDecoded(), then itemTicked() for each box it ticks
//      for the first time), whichever request it answers.
//   3. The run ends in one of these ways, each leaving the poll timer stopped
//      and the port closed before its signal is raised:
//      - passed(): the first poll after every box was ticked (and after the
//        "C", with the tare test). The analysis is verified.
//      - unknownDataStream(): more than WeightStreamBuffer::kLimit characters
//        piled up without forming a weight answer. Not verified.
//      - portLost(description): the device went away. Not verified.
//      - cancel() by the caller. Not verified; no signal.
//
// Everything runs on the thread that owns the engine, driven by its event
// loop (the poll timer and the port's notifications); no call blocks. A
// silent scale is polled without end: only cancel() stops that.
// openFailed(), tareWeightNeeded(), passed(), unknownDataStream() and
// portLost() are each the last thing the engine does in that call, with the
// timer stopped and the port closed or throwing away what arrives, so a
// listener may show a modal message from them and nothing piles up
// meanwhile. A listener that need not wait may call startPolling() straight
// from tareWeightNeeded().
//
// A command-line program drives it like this:
//   WeightStreamEngine engine(portFactory);
//   connect(&engine, &WeightStreamEngine::tareWeightNeeded, [&] {
//       print("Place a tareable weight on the scale and press Ok to continue");
//       engine.startPolling(); // or once the operator has pressed Enter
//   });
//   connect(&engine, &WeightStreamEngine::itemTicked, print each box's text);
//   connect(&engine, &WeightStreamEngine::passed, quit with success);
//   connect(&engine, &WeightStreamEngine::unknownDataStream, print, quit with failure);
//   connect(&engine, &WeightStreamEngine::portLost, print the description, quit);
//   if (engine.start(portText, publishedCommands) == WeightStreamEngine::State::Cancelled)
//       quit with failure; // openFailed() has said why
class WeightStreamEngine : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,       // nothing started yet
        TarePrompt, // port open, waiting for startPolling(); nothing is sent
        Polling,    // the poll timer runs and answers are decoded
        Passed,     // every box was ticked; the port is closed
        Cancelled,  // ended without a pass; the port is closed
    };
    Q_ENUM(State)

    // Once a second, as an operator watches the scale; a simulated scale
    // may be polled faster (setPollInterval()).
    static constexpr int kPollIntervalMs = 1000;

    // `portFactory` makes the engine's port (object name "MSComm2") once,
    // owned by the engine. The poll timer is a child named "Timer2".
    explicit WeightStreamEngine(const MSCommFactory &portFactory, QObject *parent = nullptr);
    // Stops polling and closes the port, however the run stood.
    ~WeightStreamEngine() override;

    // Starts a run afresh: a run in progress is dropped without a signal, and
    // the receive buffer and the checklist start empty. `portText` names the
    // port as the tester's Port box does (a number, COMn, a device name or a
    // path); `publishedCommands` is the text of the scale's "CMD:" line, and
    // the tare test is set up when it contains "T". Returns the state the run
    // is in: Polling, TarePrompt, or Cancelled when the port did not open.
    // openFailed() or tareWeightNeeded() is raised before it returns.
    State start(const QString &portText, const QString &publishedCommands,
                const LineSettings &line = {});

    // After tareWeightNeeded(): the operator has put the weight on, so polling
    // starts. Whatever the scale sent meanwhile was thrown away. Returns false,
    // and does nothing, in any state other than TarePrompt (for instance when
    // the port was lost while the operator read the prompt).
    bool startPolling();

    // The time between two requests; takes effect when polling next starts.
    void setPollInterval(int ms) { m_pollIntervalMs = ms; }
    int pollInterval() const { return m_pollIntervalMs; }

    // Ends the run as not verified: the timer stops and the port closes. Does
    // nothing once the run has ended. Raises no signal.
    void cancel();

    // Where the polls, the answers and whatever else crosses the port are
    // recorded, or nowhere (nullptr, the default). Not owned; it must outlive
    // the engine's runs.
    void setTrafficRecorder(TrafficRecorder *recorder) { m_recorder = recorder; }

    State state() const { return m_state; }
    // The boxes of the current run: five, six with the tare test.
    const StatusChecklist &checklist() const { return m_checklist; }
    // Why the last start() could not open the port.
    const OpenFailure &openFailure() const { return m_openFailure; }

signals:
    // The port did not open; `failure.describe()` names the port and why.
    void openFailed(const OpenFailure &failure);
    // The tare test is set up: the operator must put a tareable weight on the
    // scale, then the caller calls startPolling().
    void tareWeightNeeded();
    // A weight answer was accepted; its flags are already in checklist().
    void weightDecoded(const WeightAnswer &answer);
    // `item` was ticked for the first time in this run.
    void itemTicked(StatusChecklist::Item item);
    // Every box was ticked: the weight stream is verified.
    void passed();
    // The scale sends something other than weight answers.
    void unknownDataStream();
    // The device went away while the port was open; `description` names the
    // port and the reason in plain words.
    void portLost(const QString &description);

private:
    void onTimer();
    void onComm();
    void onLost(const QString &description);
    void beginPolling();
    void send(const QString &command);
    // Sets both thresholds: 1 to take answers, 0 to let the port throw away
    // whatever arrives.
    void wantAnswers(bool wanted);
    // Stops the timer and closes the port, leaving the run in `end`.
    void stop(State end);

    MSComm *m_port = nullptr;
    QTimer *m_timer = nullptr;
    State m_state = State::Idle;
    WeightStreamBuffer m_buffer;
    StatusChecklist m_checklist;
    bool m_tarePending = false; // tare test set up, its clear-tare "C" not sent yet
    OpenFailure m_openFailure;
    int m_pollIntervalMs = kPollIntervalMs;
    TrafficRecorder *m_recorder = nullptr;
    QString m_lastPoll; // "<LF>W<CR>": what the next answer is recorded as answering
    QElapsedTimer m_polledAt;
};
