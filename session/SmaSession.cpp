#include "SmaSession.h"

#include "AnswerBuffer.h"
#include "CommandText.h"
#include "ComplianceChecks.h"
#include "PortName.h"
#include "RecentPorts.h"
#include "SmaLine.h"
#include "TestedCommands.h"

#include <QTimer>

#include <utility>

namespace {

const QString kNotConnected = QStringLiteral("Not connected");
const QString kConnected = QStringLiteral("Connected");
const QString kTesting = QStringLiteral("Testing");
const QString kFailure = QStringLiteral("Failure");
const QString kOpenError = QStringLiteral("Error opening serial port");

} // namespace

QString resultText(TestedCommand::Result result)
{
    switch (result) {
    case TestedCommand::Result::Awaited:
        break;
    case TestedCommand::Result::Pending:
        return QStringLiteral("Pending");
    case TestedCommand::Result::Passed:
        return QStringLiteral("Passed");
    case TestedCommand::Result::Failed:
        return QStringLiteral("Failed");
    }
    return {};
}

SmaSession::SmaSession(const MSCommFactory &portFactory, QObject *parent)
    : QObject(parent), m_port(portFactory(this)), m_timer(new QTimer(this)),
      m_traffic(new TrafficLog(this)), m_search(new LineSettingsSearch(*m_port, this)),
      m_status(kNotConnected)
{
    m_port->setObjectName(QStringLiteral("MSComm1"));
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(kResponseTimeoutMs);
    connect(m_timer, &QTimer::timeout, this, &SmaSession::onResponseTimeout);
    connect(m_port, &MSComm::OnComm, this, &SmaSession::onReceived);
    connect(m_port, &MSComm::Lost, this, &SmaSession::onPortLost);
    // A command sent while a network port was still connecting left just
    // now: its time for an answer starts now too.
    connect(m_port, &MSComm::Ready, this, [this] {
        // A network port that answered is offered again next time.
        rememberNetworkPort(m_port->commPort());
        if (m_awaitingReady && isOpen()) {
            m_awaitingReady = false;
            m_sentAt.start();
            m_timer->start(kResponseTimeoutMs);
        }
    });
    connect(m_port, &MSComm::Discarded, m_traffic, &TrafficLog::discarded);
    // Before the run starts (while the operator reads the set-up message)
    // nothing is asked: every line that comes is the scale's own idea.
    connect(m_port, &MSComm::Discarded, this, [this](const QByteArray &bytes) {
        if (!isSearching())
            m_watch.heardUnasked(bytes, m_clock.elapsed());
    });
    m_clock.start();
    m_search->setTrafficRecorder(m_traffic->settingsSearchRecorder());
    connect(m_search, &LineSettingsSearch::finished, this,
            [this](const LineSettingsSearch::Outcome &outcome) {
                m_status = kNotConnected;
                m_unsolicited.reset();
                if (outcome.kind == LineSettingsSearch::Outcome::Kind::Continuous)
                    m_unsolicited = UnsolicitedOutput{outcome.unaskedLines, outcome.evidence,
                                                      outcome.linesPerSecond};
                m_findings = deriveFindings(evidence());
                emit connectionChanged(false);
                emit findingsChanged();
                emit changed();
                emit lineSettingsSearched(outcome);
            });
}

SmaSession::~SmaSession()
{
    shutdown();
}

bool SmaSession::isOpen() const
{
    return m_port->portOpen();
}

QString SmaSession::lineSettingsText() const
{
    if (!portTakesLineSettings(m_portText))
        return QStringLiteral("the device server's line settings");
    return m_line.isDefault() ? QString() : m_line.text();
}

QString SmaSession::lineSettingsWords() const
{
    return portTakesLineSettings(m_portText) ? m_line.text()
                                             : QStringLiteral("the device server's line settings");
}

bool SmaSession::isTicked(int row) const
{
    return isRow(row) && m_commands.at(row).ticked;
}

// ---- Connection ----

OpenFailure SmaSession::open(const QString &portText, Record record)
{
    if (const OpenFailure failure = openSmaPort(*m_port, portText, m_line); failure.failed()) {
        // Nothing was started: everything learnt stays, the ticks included.
        m_status = kNotConnected;
        emit changed();
        return failure;
    }
    m_portText = portText;
    m_runStarted = QDateTime::currentDateTime();
    if (record == Record::Restart)
        m_traffic->restart();
    m_clock.start();
    m_watch.clear();
    m_weightStreamUnseen.clear();
    for (TestedCommand &command : m_commands)
        command.ticked = false;
    m_rxText.clear();
    emit changed();
    return {};
}

OpenFailure SmaSession::findLineSettings(const QString &portText)
{
    if (isOpen())
        return {};
    // The probes join the record as they are: a run's record, which retests
    // after the run still add to, keeps its traffic.
    if (const OpenFailure failure = m_search->start(portText, m_line); failure.failed())
        return failure;
    m_portText = portText;
    m_status = kTesting;
    emit connectionChanged(true);
    emit changed();
    return {};
}

void SmaSession::startRun()
{
    if (!isOpen())
        return; // lost while the operator read the message, and told so
    m_port->setRThreshold(1);
    m_port->setSThreshold(1);
    emit connectionChanged(true);
    m_rxText.clear();
    m_info.clear();
    m_about.clear();
    m_published.clear();
    m_aboutEnding = ListingEnding::None;
    m_infoEnding = ListingEnding::None;
    m_commands.clear();
    m_run = DiscoveryState{};
    m_retestFollowUp.clear();
    m_inFlightRow = -1;
    m_heldRows.clear();
    m_unsolicited.reset();
    if (m_watch.unaskedLines() >= LineSettingsSearch::kUnaskedLinesForContinuous) {
        m_run.TestId = TestIds::About;
        stopForContinuousOutput(addTestedCommand(QStringLiteral("A")));
        return;
    }
    queryAbout();
    m_status = kConnected;
    emit changed();
}

void SmaSession::close()
{
    if (isSearching()) {
        m_search->cancel();
        m_status = kNotConnected;
        emit connectionChanged(false);
        emit changed();
        return;
    }
    if (isOpen())
        closeConnection();
}

void SmaSession::interrupt()
{
    if (isSearching()) {
        close();
        return;
    }
    if (!isOpen())
        return;
    const bool awaiting = m_timer->isActive() || m_awaitingReady;
    closeConnection();
    m_retestFollowUp.clear();
    if (awaiting)
        failInFlight(TestedCommand::Reason::Stopped);
    emit changed();
}

void SmaSession::endWeightStream(bool verified, const QStringList &unseen)
{
    m_weightStreamVerified = verified;
    m_weightStreamUnseen = unseen;
    m_runEnded = QDateTime::currentDateTime();
    m_findings = deriveFindings(evidence());
    emit findingsChanged();
    emit changed();
}

void SmaSession::shutdown()
{
    m_search->cancel();
    m_timer->stop();
    if (isOpen())
        m_port->setPortOpen(false);
}

void SmaSession::closeConnection()
{
    releaseHeldVerdicts();
    m_timer->stop();
    m_awaitingReady = false;
    m_port->setPortOpen(false);
    m_runEnded = QDateTime::currentDateTime();
    m_status = kNotConnected;
    emit connectionChanged(false);
    m_findings = deriveFindings(evidence());
    emit findingsChanged();
    emit changed();
}

// ---- Sending ----

void SmaSession::queryAbout()
{
    m_run.TestId = TestIds::About;
    m_run.ListingAnswers = 0;
    sendCommand(QStringLiteral("A"));
}

void SmaSession::sendCommand(const QString &command)
{
    addTestedCommand(command);
    m_status = kTesting;
    transmit(command);
}

// Whatever came before a command (a line the scale printed by itself, a
// second line of an earlier arrival, a late answer) is not its answer.
void SmaSession::transmit(const QString &command)
{
    m_watch.heardUnasked(discardWaiting(), m_clock.elapsed());
    m_watch.breakOff();
    m_watch.sent(command, m_clock.elapsed());
    m_bytesSinceSend = 0;
    const QByteArray frame = frameCommand(command);
    m_port->setOutput(frame);
    m_traffic->sent(frame);
    m_inFlight = printableForm(command);
    m_sentAt.start();
    m_awaitingReady = !m_port->isReady();
    if (!m_awaitingReady)
        m_timer->start(kResponseTimeoutMs);
}

// Throws away what waits unread, the rest of an arrival after its answer
// included, and returns it: bytes nobody asked for.
QByteArray SmaSession::discardWaiting()
{
    m_traffic->pendingDiscarded();
    const QByteArray unread = m_port->input();
    m_traffic->discarded(unread);
    const QByteArray waiting = m_rxText + unread;
    m_rxText.clear();
    return waiting;
}

// Whether the answer just taken, with what waited behind it, shows that the
// scale talks by itself; the run has stopped then. An answer that may be the
// scale's own line is taken as usual, but its verdict waits for the next
// answer; one that is plainly an answer lets the verdicts held back stand.
bool SmaSession::judgedAsTalk(const QByteArray &answer, const QByteArray &after)
{
    switch (m_watch.answered(answer, m_clock.elapsed(), after)) {
    case ContinuousOutputWatch::Verdict::TalksByItself:
        stopForContinuousOutput(int(testedCommands().indexOf(m_inFlight)));
        return true;
    case ContinuousOutputWatch::Verdict::Suspect:
        m_holdVerdict = true;
        break;
    case ContinuousOutputWatch::Verdict::Answer:
        releaseHeldVerdicts();
        break;
    }
    return false;
}

// The verdicts held back stand after all, by the pass rule: a plain answer
// came after them, or the run ended before anything more was known.
void SmaSession::releaseHeldVerdicts()
{
    for (const int row : std::exchange(m_heldRows, {})) {
        if (!isRow(row) || m_commands.at(row).result != TestedCommand::Result::Pending ||
            !m_commands.at(row).answer)
            continue;
        TestedCommand &entry = m_commands[row];
        entry.result = answerPasses(*entry.answer) ? TestedCommand::Result::Passed
                                                   : TestedCommand::Result::Failed;
        emit verdict(row);
    }
}

// The scale talks by itself: its lines cannot be told from answers, so the
// command in flight fails on that ground, and so does every entry that one of
// its lines stood in for: those held back, and a listing or the diagnostics
// answered with one. Nothing after it is judged.
void SmaSession::stopForContinuousOutput(int row)
{
    m_unsolicited = m_watch.evidence();
    for (int entry = 0; entry < m_commands.size(); ++entry) {
        const TestedCommand &command = m_commands.at(entry);
        const bool standsInForAnswer =
            entry == row || m_heldRows.contains(entry) ||
            (command.answer && ContinuousOutputWatch::asksNoWeight(command.command) &&
             m_watch.isOwnTalk(*command.answer));
        if (!standsInForAnswer)
            continue;
        m_commands[entry].unaskedLines = m_unsolicited->lines;
        setVerdict(entry, TestedCommand::Result::Failed, std::nullopt,
                   TestedCommand::Reason::Unsolicited);
    }
    m_heldRows.clear();
    // Nor do its lines stand in the listings.
    const auto ownTalk = [this](const QString &line) { return m_watch.isOwnTalk(line.toLatin1()); };
    m_about.removeIf(ownTalk);
    m_info.removeIf(ownTalk);
    m_inFlightRow = -1;
    if (isOpen())
        closeConnection();
    m_status = kFailure;
    emit changed();
    emit continuousOutput();
}

// Lists a sent command and returns the row of its entry.
int SmaSession::addTestedCommand(const QString &command)
{
    const TestedCommandChange change = ::addTestedCommand(testedCommands(), command);
    if (isRow(change.removedRow))
        m_commands.removeAt(change.removedRow);
    if (!change.append) {
        for (int row = 0; row < m_commands.size(); ++row) {
            if (m_commands.at(row).printable == change.entry)
                return row;
        }
        return -1;
    }
    // A command stopped before its answer never gets one: the port was
    // closed since. Fail it now, or the new entry's verdict would be taken
    // for it.
    for (int row = 0; row < m_commands.size(); ++row) {
        if (!m_commands.at(row).hasVerdict())
            setVerdict(row, TestedCommand::Result::Failed, std::nullopt,
                       TestedCommand::Reason::Stopped);
    }
    TestedCommand entry;
    entry.printable = change.entry;
    entry.command = command;
    m_commands.append(entry);
    return int(m_commands.size()) - 1;
}

// ---- Answers ----

void SmaSession::onReceived()
{
    // While the line settings are searched for, the search reads the port.
    if (m_port->commEvent() != CommEvents::Received || isSearching())
        return; // line changes and errors are not answers
    const QByteArray chunk = m_port->input();
    m_traffic->received(chunk);
    m_bytesSinceSend += chunk.size();
    m_rxText += chunk;
    const std::optional<QByteArray> answer = takeAnswer(m_rxText);
    if (!answer) {
        limitUnansweredBuffer(m_rxText);
        return; // incomplete: the time-out keeps running
    }
    m_traffic->answerTaken(m_rxText, *answer, m_inFlight, m_sentAt.elapsed());
    m_timer->stop();
    m_rxLine = *answer;
    if (m_run.TestId >= TestIds::About && m_run.TestId <= TestIds::Diagnostics &&
        judgedAsTalk(m_rxLine, discardWaiting()))
        return;
    if (!m_retestFollowUp.isEmpty()) {
        // The listing has been started again; now the retested command itself.
        const QString command = std::exchange(m_retestFollowUp, QString());
        m_status = kTesting;
        transmit(command);
        return;
    }
    recordResult(m_rxLine);

    if (m_run.TestId >= TestIds::About && m_run.TestId <= TestIds::Diagnostics) {
        const qint16 listing = m_run.TestId;
        const DiscoveryAction action =
            advanceDiscovery(m_run, QString::fromLatin1(m_rxLine), m_additionalCommands);
        if (m_run.TestId != listing &&
            (listing == TestIds::About || listing == TestIds::Information)) {
            const ListingEnding ending = !action.failed.isEmpty()    ? ListingEnding::Cut
                                         : m_rxLine.contains("END:") ? ListingEnding::EndLine
                                                                     : ListingEnding::Refused;
            (listing == TestIds::About ? m_aboutEnding : m_infoEnding) = ending;
        }
        showDiscoveryAnswer(action, m_rxLine);
        if (!action.failed.isEmpty()) {
            const int row = int(testedCommands().indexOf(printableForm(action.failed)));
            if (isRow(row) && m_commands.at(row).hasVerdict())
                setVerdict(row, TestedCommand::Result::Failed, std::nullopt,
                           TestedCommand::Reason::ListingCut);
        }
        if (!action.send.isEmpty())
            sendCommand(action.send);
    }
    emit changed();
    // Only after an answer has been taken, so that a line-state notification
    // can never close the port while an opening waits for the operator.
    endCheck();
}

void SmaSession::recordResult(const QByteArray &answer)
{
    const auto result =
        answerPasses(answer) ? TestedCommand::Result::Passed : TestedCommand::Result::Failed;
    if (m_run.TestId >= TestIds::FirstRetest) {
        if (isRow(m_inFlightRow))
            setVerdict(m_inFlightRow, result, answer);
        m_inFlightRow = -1;
        m_run.TestId = TestIds::SingleTestAnswered;
    } else if (!m_commands.isEmpty() && !m_commands.last().hasVerdict()) {
        // Only a newly listed command takes a verdict: the first answer to B
        // or N decides, the later ones of the listing do not.
        const int row = int(m_commands.size()) - 1;
        if (std::exchange(m_holdVerdict, false)) {
            TestedCommand &entry = m_commands[row];
            entry.result = TestedCommand::Result::Pending;
            entry.answer = answer;
            entry.ms = m_sentAt.elapsed();
            m_heldRows << row;
        } else {
            setVerdict(row, result, answer);
        }
    }
    m_holdVerdict = false;
}

void SmaSession::setVerdict(int row, TestedCommand::Result result,
                            const std::optional<QByteArray> &answer, TestedCommand::Reason reason)
{
    TestedCommand &command = m_commands[row];
    command.result = result;
    command.answer = answer;
    command.ms = answer ? m_sentAt.elapsed() : -1;
    command.reason = reason;
    if (result == TestedCommand::Result::Passed || result == TestedCommand::Result::Failed)
        emit verdict(row);
}

void SmaSession::showDiscoveryAnswer(const DiscoveryAction &action, const QByteArray &answer)
{
    const QString text = QString::fromLatin1(answer);
    using Show = DiscoveryAction::Show;
    switch (action.show) {
    case Show::Nothing:
        break;
    case Show::AppendAbout:
        m_about << text;
        break;
    case Show::PublishCommands:
        m_published = action.published;
        m_info << text;
        break;
    case Show::AppendInformation:
        m_info << text;
        break;
    case Show::Weight:
        m_weight = text;
        break;
    }
}

void SmaSession::endCheck()
{
    if (m_run.TestId != TestIds::Finished && m_run.TestId != TestIds::SingleTestAnswered)
        return;
    if (isOpen())
        closeConnection();
    if (m_run.TestId == TestIds::Finished)
        emit runFinished();
}

// The command in flight fails: a single test's own entry, or the newest
// entry of the run while it awaits its first answer.
void SmaSession::failInFlight(TestedCommand::Reason reason)
{
    int row = -1;
    if (m_run.TestId >= TestIds::FirstRetest && isRow(m_inFlightRow))
        row = m_inFlightRow;
    else if (!m_commands.isEmpty() && !m_commands.last().hasVerdict())
        row = int(m_commands.size()) - 1;
    if (isRow(row)) {
        // Said before the verdict goes out, so that its evidence is whole.
        m_commands[row].bytesArrived =
            reason == TestedCommand::Reason::TimedOut ? m_bytesSinceSend : 0;
        setVerdict(row, TestedCommand::Result::Failed, std::nullopt, reason);
    }
    m_inFlightRow = -1;
}

void SmaSession::onResponseTimeout()
{
    if (isOpen())
        closeConnection();
    m_timer->stop();
    m_retestFollowUp.clear();
    m_status = kFailure;
    const bool atFirstCommand = m_run.TestId == TestIds::About && m_commands.size() == 1 &&
                                !m_commands.first().hasVerdict();
    failInFlight(TestedCommand::Reason::TimedOut);
    emit changed();
    if (atFirstCommand)
        emit firstCommandUnanswered();
}

// The device went away with a command in flight: that command fails as on a
// time-out, and the operator is told why at once instead of 3 s later.
void SmaSession::onPortLost(const QString &description)
{
    if (!isOpen() || isSearching())
        return; // a search tells of it itself
    const bool awaiting = m_timer->isActive() || m_awaitingReady;
    closeConnection();
    m_retestFollowUp.clear();
    m_status = kFailure;
    if (awaiting)
        failInFlight(TestedCommand::Reason::PortLost);
    emit changed();
    emit portLost(description);
}

// ---- Retests, tare and units ----

SmaSession::Outcome SmaSession::retest(int row)
{
    // One command in flight at a time, and only rows that can be retested.
    if (!isRow(row) || row >= kRetestableEntries || isOpen()) {
        emit changed(); // the tick did not take
        return {};
    }
    TestedCommand &entry = m_commands[row];
    const TestedCommand before = entry;
    entry.ticked = true;
    entry.result = TestedCommand::Result::Pending;
    m_run.TestId = qint16(TestIds::FirstRetest + row);

    // The port and line settings of the last opening are used again.
    if (const OpenFailure failure = reopenSmaPort(*m_port); failure.failed()) {
        m_commands[row] = before;
        m_commands[row].ticked = false;
        m_run.TestId = TestIds::SingleTestAnswered;
        emit changed();
        return {false, kOpenError, failure.describe()};
    }
    m_rxText.clear();
    m_port->setRThreshold(1);
    m_port->setSThreshold(1);
    m_status = kTesting;

    const QString command = entry.command;
    if (entry.printable.size() > kPlainEntryLength) {
        // A command with data moves to the end of the list when it is sent
        // again; the other entries keep their rows and their verdicts.
        m_commands.append(m_commands.takeAt(row));
        row = int(m_commands.size()) - 1;
        if (row < kRetestableEntries)
            m_run.TestId = qint16(TestIds::FirstRetest + row);
        else
            m_run.TestId = TestIds::Tare;
    }
    m_inFlightRow = row;
    // A lone B or N after its listing has ended is answered "?": start the
    // listing again first; that answer decides nothing.
    const QString restart = listingRestartFor(command);
    if (restart.isEmpty()) {
        transmit(command);
    } else {
        m_retestFollowUp = command;
        transmit(restart);
    }
    emit changed();
    return {true, {}, {}};
}

void SmaSession::untick(int row)
{
    if (!isRow(row))
        return;
    m_commands[row].ticked = false;
    emit changed();
}

SmaSession::Outcome SmaSession::tareTest(const QString &value, const QString &portText)
{
    if (isOpen())
        return {};
    if (const qsizetype bad = firstUnsendableCharacter(value); bad >= 0) {
        const int length = value.at(bad).isHighSurrogate() ? 2 : 1;
        return {false, QStringLiteral("The tare value cannot be sent"),
                QStringLiteral("\"%1\" holds \"%2\", which the scale's serial line cannot carry. "
                               "Type the tare with digits and a decimal point, for example "
                               "000001.000.")
                    .arg(value, value.mid(bad, length))};
    }
    return runSingleTest(TestIds::Tare, QStringLiteral("T"), value, portText);
}

SmaSession::Outcome SmaSession::unitsTest(const QString &unitCode, const QString &portText)
{
    return runSingleTest(TestIds::Units, QStringLiteral("U"), unitCode, portText);
}

SmaSession::Outcome SmaSession::runSingleTest(qint16 testId, const QString &letter,
                                              const QString &value, const QString &portText)
{
    if (isOpen())
        return {};
    if (const OpenFailure failure = openSmaPort(*m_port, portText, m_line); failure.failed())
        return {false, kOpenError, failure.describe()};
    m_portText = portText;
    m_port->setRThreshold(1);
    m_port->setSThreshold(1);
    m_run.TestId = testId;
    m_rxText.clear();

    const QString command = letter + trimAtCrMarker(value);
    const int row = addTestedCommand(command);
    // An empty value lists the plain command, which may already stand in the
    // list with its verdict; the new verdict then goes on that row.
    if (isRow(row) && m_commands.at(row).hasVerdict()) // an appended entry has none yet
        m_commands[row].result = TestedCommand::Result::Pending;
    m_inFlightRow = row;
    m_status = kTesting;
    transmit(command);
    emit changed();
    return {true, {}, {}};
}

RunEvidence SmaSession::evidence() const
{
    RunEvidence run{m_traffic->entries(), m_traffic->totals(), m_about,     m_info,
                    m_aboutEnding,        m_infoEnding,        m_published, m_weightStreamUnseen};
    run.unsolicited = m_unsolicited;
    return run;
}

// ---- What the report reads ----

QString linesWithCrLf(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QStringList commandEntries(const QList<TestedCommand> &commands)
{
    QStringList entries;
    for (const TestedCommand &command : commands)
        entries << command.printable;
    return entries;
}

QStringList commandResultTexts(const QList<TestedCommand> &commands)
{
    QStringList results;
    for (const TestedCommand &command : commands) {
        if (command.hasVerdict())
            results << resultText(command.result);
    }
    return results;
}

QString SmaSession::scaleAboutText() const
{
    return linesWithCrLf(m_about);
}

QString SmaSession::scaleInfoText() const
{
    return linesWithCrLf(m_info);
}

QStringList SmaSession::testedCommands() const
{
    return commandEntries(m_commands);
}

QStringList SmaSession::commandResults() const
{
    return commandResultTexts(m_commands);
}

bool SmaSession::CheckSMALevel1() const
{
    return checkSmaLevel1(testedCommands(), commandResults());
}

bool SmaSession::CheckSMALevel2() const
{
    return checkSmaLevel2(m_published);
}
