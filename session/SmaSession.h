#pragma once

#include "ContinuousOutputWatch.h"
#include "DiscoveryRun.h"
#include "Findings.h"
#include "LineSettings.h"
#include "LineSettingsSearch.h"
#include "MSComm.h"
#include "ReportSource.h"
#include "TrafficLog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QTimer;

// One entry of the tested-command list and what became of it.
struct TestedCommand
{
    enum class Result {
        Awaited, // sent, no verdict yet: only ever the newest entry
        Pending, // a retest is under way
        Passed,
        Failed,
    };
    // Why a command failed without an answer that says so.
    enum class Reason { None, TimedOut, PortLost, ListingCut, Stopped, Unsolicited };

    QString printable;                // "<LF>A<CR>": the entry as listed
    QString command;                  // what went out between LF and CR
    Result result = Result::Awaited;  // its verdict
    std::optional<QByteArray> answer; // the answer that decided the verdict
    qint64 ms = -1;                   // from sending to that answer
    Reason reason = Reason::None;
    qsizetype bytesArrived = 0; // TimedOut: bytes that came and formed no answer
    int unaskedLines = 0;       // Unsolicited: lines the scale sent unasked
    bool ticked = false;        // the operator's tick in the checklist

    bool hasVerdict() const { return result != Result::Awaited; }
    bool operator==(const TestedCommand &) const = default;
};

// "Pending", "Passed", "Failed"; empty while awaited.
QString resultText(TestedCommand::Result result);

// What the report reads of a list of tested commands: the entries, and the
// results as `cmdresult` lists them (the awaited newest entry has none yet).
QStringList commandEntries(const QList<TestedCommand> &commands);
QStringList commandResultTexts(const QList<TestedCommand> &commands);
// Lines as the answer boxes hold them: each followed by CR LF.
QString linesWithCrLf(const QStringList &lines);

// One connection's whole life with an SMA scale, free of widgets so that the
// tester window and the command-line check drive the very same run: the
// port, the 3000 ms response time-out, the receive buffer, the discovery
// run, the checklist retests, the tare and units tests, and a typed record
// of everything learnt. Listeners hear of it through signals and read the
// record back; the compliance report reads it through ReportSource.
//
// A run is started in two steps, so that the operator can adjust the scale
// in between: open() opens the port with notifications held back (what
// arrives meanwhile is thrown away), startRun() sends the first command.
class SmaSession : public QObject, public ReportSource
{
    Q_OBJECT
public:
    static constexpr int kResponseTimeoutMs = 3000;
    // Retests are for this many entries at the most.
    static constexpr int kRetestableEntries = 100;

    explicit SmaSession(const MSCommFactory &portFactory, QObject *parent = nullptr);
    ~SmaSession() override;

    // ---- what the operator does ----

    // The first step of Start: every tick is cleared, then the port that
    // `portText` names is opened at the line settings. On failure nothing
    // else changes (ticks included) and the failure says why. The serial
    // record starts afresh, or goes on after a search for the settings.
    enum class Record { Restart, Continue };
    OpenFailure open(const QString &portText, Record record = Record::Restart);
    // The second step, once the operator has confirmed: the lists and
    // listings start empty, the queue too, and "A" is sent. Does nothing when
    // the port is no longer open (it was lost meanwhile). When the scale sent
    // line after line while the operator read the message, it talks by
    // itself and cannot be judged: "A" is listed as failed, nothing is sent
    // and continuousOutput() follows.
    void startRun();
    // Stop: closes the port; everything learnt stays.
    void close();
    // Stopped from outside (Ctrl+C at the command line): closes the port as
    // Stop does, and the command in flight fails as stopped before its answer.
    void interrupt();
    // Close or end of the application: the port goes, nothing else.
    void shutdown();

    // What became of a request the operator made. `message` and `detail`
    // are set when the operator must be told.
    struct Outcome
    {
        bool started = false;
        QString message;
        QString detail;
    };
    // A tick on entry `row`: sends that command again on the port opened
    // last. Refused while the port is open and beyond the retestable rows.
    Outcome retest(int row);
    // An untick only records it.
    void untick(int row);
    // "Key Tare" and "Set Units": open the port `portText` names and send T
    // or U with the value. Nothing at all happens while the port is open.
    Outcome tareTest(const QString &value, const QString &portText);
    Outcome unitsTest(const QString &unitCode, const QString &portText);

    // The letters tried after the published ones, at first.
    static constexpr QLatin1String kAdditionalCommands{"HPQRSTMCU"};
    // The line settings every opening uses from now on; 9600,8,N,1 at first.
    void setLineSettings(const LineSettings &settings) { m_line = settings; }
    LineSettings lineSettings() const { return m_line; }

    // Find Settings: listens on the port `portText` names, then asks for "A"
    // at each baud rate (LineSettingsSearch). lineSettingsSearched() tells
    // the outcome; the settings are not taken over by themselves. The probes
    // are added to the serial record. Refused while the port is open.
    OpenFailure findLineSettings(const QString &portText);
    bool isSearching() const { return m_search->isRunning(); }

    // The letters tried after the published ones (kAdditionalCommands at first).
    void setAdditionalCommands(const QString &letters) { m_additionalCommands = letters; }
    QString additionalCommands() const { return m_additionalCommands; }

    // The weight stream analysis runs elsewhere; its verdict is kept here
    // for the report.
    void setWeightStreamVerified(bool verified) { m_weightStreamVerified = verified; }
    // The weight stream analysis records its polls and answers here, on the
    // clock of the session's own traffic.
    TrafficRecorder *weightStreamRecorder() { return m_traffic->weightStreamRecorder(); }
    // The analysis has ended with `verified` (or was left out, or never ran),
    // `unseen` naming the boxes it left unticked: the check ends now, and
    // runEnded() says so; the findings are derived afresh, the analysis's
    // traffic included.
    void endWeightStream(bool verified, const QStringList &unseen = {});

    // ---- the record ----

    bool isOpen() const;
    QString status() const { return m_status; }
    const QList<TestedCommand> &commands() const { return m_commands; }
    QStringList aboutLines() const { return m_about; }
    QStringList infoLines() const { return m_info; }
    QString published() const { return m_published; } // the CMD: letters
    QString weight() const { return m_weight; }       // the answer to "W"
    // The port as typed at the last opening or single test.
    QString portText() const override { return m_portText; }
    // When Start last opened the port (invalid before any).
    QDateTime runStarted() const { return m_runStarted; }
    // When the port was last closed, or the weight stream analysis ended.
    QDateTime runEnded() const override { return m_runEnded; }
    QString lineSettingsText() const override;
    // The line settings as the set-up message names them: "9600,8,N,1", or
    // for a raw network port, whose settings are the device server's, "the
    // device server's line settings".
    QString lineSettingsWords() const;
    bool isTicked(int row) const;
    // Every byte sent and received since Start, and what became of it.
    const TrafficLog &traffic() const { return *m_traffic; }
    // What the traffic and the answers say beyond the verdicts, as of the
    // last time the port closed.
    const QList<Finding> &findings() const { return m_findings; }
    RunEvidence evidence() const;

    // Where the run stands, for tests and diagnostics.
    qint16 testId() const { return m_run.TestId; }
    QByteArray rxText() const { return m_rxText; }
    QByteArray rxLine() const { return m_rxLine; }
    MSComm *port() const { return m_port; }

    // ReportSource
    QString scaleAboutText() const override;
    QString scaleInfoText() const override;
    QStringList testedCommands() const override;
    QStringList commandResults() const override;
    QString publishedCommands() const override { return m_published; }
    bool weightStreamVerified() const override { return m_weightStreamVerified; }
    bool CheckSMALevel1() const override;
    bool CheckSMALevel2() const override;

public slots:
    // The response time-out (also run by tests).
    void onResponseTimeout();

signals:
    // Anything of the record or the status changed.
    void changed();
    void connectionChanged(bool open);
    // Entry `row` got its verdict (Passed or Failed).
    void verdict(int row);
    // The discovery run is over and the port closed: the weight stream
    // analysis and the report come next.
    void runFinished();
    // The device went away; `description` names the port and why.
    void portLost(const QString &description);
    // The findings were derived afresh.
    void findingsChanged();
    // The run stopped because the scale sends lines without being asked.
    void continuousOutput();
    // The run stopped at its first command, which got no answer in time:
    // the scale may speak at other line settings.
    void firstCommandUnanswered();
    // Find Settings is over and the port closed again.
    void lineSettingsSearched(const LineSettingsSearch::Outcome &outcome);

private:
    void onReceived();
    void onPortLost(const QString &description);
    void queryAbout();
    void sendCommand(const QString &command);
    void transmit(const QString &command);
    QByteArray discardWaiting();
    bool judgedAsTalk(const QByteArray &answer, const QByteArray &after);
    void stopForContinuousOutput(int row);
    void releaseHeldVerdicts();
    int addTestedCommand(const QString &command);
    void recordResult(const QByteArray &answer);
    void setVerdict(int row, TestedCommand::Result result, const std::optional<QByteArray> &answer,
                    TestedCommand::Reason reason = TestedCommand::Reason::None);
    void failInFlight(TestedCommand::Reason reason);
    void showDiscoveryAnswer(const DiscoveryAction &action, const QByteArray &answer);
    void endCheck();
    void closeConnection();
    Outcome runSingleTest(qint16 testId, const QString &letter, const QString &value,
                          const QString &portText);
    bool isRow(int row) const { return row >= 0 && row < m_commands.size(); }

    MSComm *m_port;
    QTimer *m_timer;
    TrafficLog *m_traffic;
    LineSettingsSearch *m_search;
    QElapsedTimer m_sentAt;
    QString m_inFlight;           // printable form of the command last sent
    bool m_awaitingReady = false; // sent into a port still connecting: no time-out yet
    qsizetype m_bytesSinceSend = 0;
    LineSettings m_line;
    QElapsedTimer m_clock;         // since the port was opened: when lines come
    ContinuousOutputWatch m_watch; // whether the scale talks by itself
    // Entries whose answer may be the scale's own talk: "Pending" until the
    // next answer tells.
    QList<int> m_heldRows;
    bool m_holdVerdict = false;                     // the answer being recorded is suspect
    std::optional<UnsolicitedOutput> m_unsolicited; // the run or search stopped for it

    QString m_status;
    QString m_portText;
    QDateTime m_runStarted;
    QDateTime m_runEnded;
    QString m_additionalCommands = kAdditionalCommands;
    QList<TestedCommand> m_commands;
    QStringList m_about;
    QStringList m_info;
    QString m_published;
    ListingEnding m_aboutEnding = ListingEnding::None;
    ListingEnding m_infoEnding = ListingEnding::None;
    QList<Finding> m_findings;
    QStringList m_weightStreamUnseen;
    QString m_weight;
    bool m_weightStreamVerified = false;

    QByteArray m_rxText;
    QByteArray m_rxLine;
    DiscoveryState m_run;
    QString m_retestFollowUp; // B or N to send once its listing has restarted
    int m_inFlightRow = -1;   // the entry a single test's answer decides
};
