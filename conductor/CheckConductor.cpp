#include "CheckConductor.h"

#include "VerdictText.h"
#include "WeightStreamEngine.h"

namespace {

const QString kOpenError = QStringLiteral("Error opening serial port");
const QString kPortLost = QStringLiteral("Serial port lost");

} // namespace

CheckConductor::CheckConductor(const MSCommFactory &portFactory, QObject *parent)
    : QObject(parent), m_portFactory(portFactory), m_session(new SmaSession(portFactory, this))
{
    m_listening.setSingleShot(true);
    connect(&m_listening, &QTimer::timeout, this, &CheckConductor::startDiscovery);
    m_streamTimer.setSingleShot(true);
    connect(&m_streamTimer, &QTimer::timeout, this, &CheckConductor::onStreamTimeout);

    connect(m_session, &SmaSession::runFinished, this, [this] { m_runFinished = true; });
    // The session raises its verdict for the command in flight, and
    // runFinished, around closing the port; the next step is taken once it
    // has said all.
    connect(m_session, &SmaSession::connectionChanged, this, [this](bool open) {
        if (!open)
            QMetaObject::invokeMethod(this, &CheckConductor::onPortClosed, Qt::QueuedConnection);
    });
    // A retest, tare or units test after the check: its record is filled
    // again once the test's port has closed.
    connect(m_session, &SmaSession::verdict, this, [this] {
        if (m_phase == Phase::Ended)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    fillCheckRecord(*m_session, m_record);
                    emit checkRevised();
                },
                Qt::QueuedConnection);
    });
    connect(m_session, &SmaSession::portLost, this,
            [this](const QString &description) { problem(kPortLost, description); });
    connect(m_session, &SmaSession::continuousOutput, this, [this] {
        problem(QStringLiteral("The scale sends data without being asked (continuous output). Set "
                               "its serial output to answer on request, then start again."));
    });
    connect(m_session, &SmaSession::firstCommandUnanswered, this,
            &CheckConductor::onFirstCommandUnanswered);
    connect(m_session, &SmaSession::lineSettingsSearched, this,
            &CheckConductor::onLineSettingsSearched);
}

CheckConductor::~CheckConductor()
{
    shutdown();
}

void CheckConductor::setPhase(Phase phase)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    emit phaseChanged(phase);
}

void CheckConductor::ask(Question question, const QString &text, const QString &detail)
{
    m_question = question;
    emit asked(question, text, detail);
}

void CheckConductor::problem(const QString &text, const QString &detail)
{
    emit told(Tone::Problem, text, detail);
}

void CheckConductor::setLineSettings(const LineSettings &settings)
{
    m_session->setLineSettings(settings);
}

int CheckConductor::streamTimeLeftMs() const
{
    return m_streamTimer.isActive() ? qMax(0, m_streamTimer.remainingTime()) : 0;
}

// ---- The check, phase by phase ----

bool CheckConductor::start(const QString &portText)
{
    m_portText = portText;
    m_record = CheckRecord();
    m_record.port = portText;
    m_runFinished = false;
    m_interrupted = false;
    m_brokeOff = false;
    m_offerSearch = false;
    m_question.reset();
    m_streamOutcome.reset();
    m_standaloneStream = false;
    m_clock.start();
    if (!m_plan.findSettingsFirst)
        return openForSetUp(SmaSession::Record::Restart);

    emit told(Tone::Progress, QStringLiteral("Looking for the line settings the scale answers at"),
              {});
    if (const OpenFailure failure = m_session->findLineSettings(portText); failure.failed()) {
        problem(kOpenError, failure.describe());
        emit notStarted();
        return false;
    }
    m_searchFirst = true;
    setPhase(Phase::FindingSettings);
    emit checkStarted();
    return true;
}

bool CheckConductor::openForSetUp(SmaSession::Record record)
{
    if (const OpenFailure failure = m_session->open(m_portText, record); failure.failed()) {
        problem(kOpenError, failure.describe());
        setPhase(Phase::Idle);
        emit notStarted();
        return false;
    }
    m_openedAt.start();
    if (record == SmaSession::Record::Restart)
        emit checkStarted();
    setPhase(Phase::SettingUp);
    // Nothing the scale sends is judged until the operator has confirmed.
    ask(Question::SetUp, QStringLiteral("Set the device to %1 and verify center of zero")
                             .arg(m_session->lineSettingsWords()));
    return true;
}

void CheckConductor::answer(bool yes)
{
    if (!m_question)
        return;
    const Question question = *m_question;
    m_question.reset();
    switch (question) {
    case Question::SetUp: {
        // A port lost while the operator read the message has ended the check.
        if (m_phase != Phase::SettingUp)
            return;
        if (!yes) {
            stop();
            return;
        }
        // The port is listened to at least as long as an operator reads the
        // message, so that a scale that talks by itself shows before it is
        // judged.
        const qint64 left = m_plan.listenMs - m_openedAt.elapsed();
        if (left > 0)
            m_listening.start(int(left));
        else
            startDiscovery();
        break;
    }
    case Question::TareWeight:
        if (m_phase == Phase::WeightStream && !m_streamOutcome && m_engine &&
            m_engine->startPolling())
            startPolling();
        break;
    case Question::UseFoundSettings:
        if (yes) {
            setLineSettings(m_found);
            emit lineSettingsChanged(m_found);
        }
        break;
    case Question::FindSettings:
        if (yes)
            findSettings(m_portText);
        break;
    }
}

void CheckConductor::startDiscovery()
{
    if (m_phase != Phase::SettingUp)
        return;
    setPhase(Phase::Discovery);
    m_session->startRun();
    if (!m_session->isOpen() && m_session->commands().isEmpty())
        endCheck(true); // gone since it opened: no run, and no close to wait for
}

void CheckConductor::onPortClosed()
{
    if (m_session->isOpen())
        return; // told late: the port has been opened again since (after a search)
    switch (m_phase) {
    case Phase::SettingUp:
        emit discoveryStopped({});
        endCheck(true);
        break;
    case Phase::Discovery:
        if (m_runFinished) {
            m_record.discoveryFinished = true;
            runTare();
        } else {
            const QList<TestedCommand> &commands = m_session->commands();
            emit discoveryStopped(commands.isEmpty() ? QString() : commands.constLast().printable);
            endCheck(true);
        }
        break;
    case Phase::Tare:
        runUnits();
        break;
    case Phase::Units:
        runWeightStream();
        break;
    case Phase::Idle:
    case Phase::FindingSettings:
    case Phase::WeightStream:
    case Phase::Ended:
        break;
    }
}

void CheckConductor::runTare()
{
    if (!m_plan.tare) {
        runUnits();
        return;
    }
    setPhase(Phase::Tare);
    runSingleTest(m_session->tareTest(*m_plan.tare, m_portText));
}

void CheckConductor::runUnits()
{
    if (!m_plan.unitCode) {
        runWeightStream();
        return;
    }
    setPhase(Phase::Units);
    runSingleTest(m_session->unitsTest(*m_plan.unitCode, m_portText));
}

// A single test ends when the session closes the port after its answer or its
// time-out (onPortClosed). One that cannot start ends the check there.
void CheckConductor::runSingleTest(const SmaSession::Outcome &outcome)
{
    if (!outcome.message.isEmpty())
        problem(outcome.message, outcome.detail);
    if (!outcome.started)
        endCheck(true);
}

// ---- The weight stream analysis ----

void CheckConductor::verifyWeight()
{
    if (m_session->isOpen() || m_session->isSearching() ||
        (m_phase != Phase::Idle && m_phase != Phase::Ended))
        return;
    m_before = m_phase;
    m_standaloneStream = true;
    m_streamOutcome.reset();
    startWeightStream();
}

void CheckConductor::runWeightStream()
{
    m_standaloneStream = false;
    if (!m_plan.weightStream) {
        setPhase(Phase::WeightStream);
        finishWeightStream(CheckRecord::WeightStream::Skipped);
        return;
    }
    startWeightStream();
}

void CheckConductor::startWeightStream()
{
    setPhase(Phase::WeightStream);
    delete m_engine; // no view shows it any more
    m_engine = new WeightStreamEngine(m_portFactory, this);
    m_engine->setPollInterval(m_plan.pollIntervalMs);
    m_engine->setTrafficRecorder(m_session->weightStreamRecorder());
    connectWeightStream();
    m_session->setWeightStreamVerified(false);
    m_streamClock.invalidate();

    const WeightStreamEngine::State state =
        m_engine->start(m_session->portText(), m_session->published(), m_session->lineSettings());
    if (state == WeightStreamEngine::State::Cancelled)
        finishWeightStream(CheckRecord::WeightStream::NotVerified);
    else if (state == WeightStreamEngine::State::TarePrompt)
        ask(Question::TareWeight,
            QStringLiteral("Place a tareable weight on the scale and press Ok to continue"));
    else
        startPolling();
}

// An analysis that ends tells it at once, so that its view closes; the
// check goes on from the event loop, once the view is gone.
void CheckConductor::connectWeightStream()
{
    connect(m_engine, &WeightStreamEngine::openFailed, this,
            [this](const OpenFailure &failure) { problem(kOpenError, failure.describe()); });
    connect(m_engine, &WeightStreamEngine::passed, this,
            [this] { finishWeightStream(CheckRecord::WeightStream::Verified); });
    connect(m_engine, &WeightStreamEngine::unknownDataStream, this, [this] {
        problem(QStringLiteral("Unknown serial data stream"));
        finishWeightStream(CheckRecord::WeightStream::NotVerified);
    });
    connect(m_engine, &WeightStreamEngine::portLost, this, [this](const QString &description) {
        problem(kPortLost, description);
        finishWeightStream(CheckRecord::WeightStream::NotVerified);
    });
}

// The time the analysis is given runs from its first request: the operator's
// time at the tare prompt is not taken from it.
void CheckConductor::startPolling()
{
    emit told(Tone::Progress, QStringLiteral("Operate the scale to check all the boxes"), {});
    m_streamClock.start();
    if (m_plan.streamTimeoutMs > 0 && !m_standaloneStream)
        m_streamTimer.start(m_plan.streamTimeoutMs);
    emit weightStreamShown(*m_engine);
}

void CheckConductor::onStreamTimeout()
{
    if (m_phase != Phase::WeightStream || m_streamOutcome || !m_engine)
        return;
    m_engine->cancel();
    problem(QStringLiteral("Weight stream not verified within %1 s; not seen: %2")
                .arg(double(m_plan.streamTimeoutMs) / 1000.0)
                .arg(m_engine->checklist().itemTexts(false).join(QStringLiteral(", "))));
    finishWeightStream(CheckRecord::WeightStream::NotVerified);
}

void CheckConductor::endWeightStream(bool verified)
{
    finishWeightStream(verified ? CheckRecord::WeightStream::Verified
                                : CheckRecord::WeightStream::NotVerified);
}

void CheckConductor::finishWeightStream(CheckRecord::WeightStream outcome)
{
    if (m_phase != Phase::WeightStream || m_streamOutcome)
        return;
    m_streamOutcome = outcome;
    m_streamTimer.stop();
    m_record.weightStream = outcome;
    if (outcome != CheckRecord::WeightStream::Skipped && m_engine) {
        m_engine->cancel();
        m_record.weightStreamMs = m_streamClock.isValid() ? m_streamClock.elapsed() : 0;
        m_record.flagsSeen = m_engine->checklist().itemTexts(true);
        m_record.flagsMissing = m_engine->checklist().itemTexts(false);
    }
    emit weightStreamEnded(outcome == CheckRecord::WeightStream::Verified);
    if (m_standaloneStream) {
        m_session->endWeightStream(outcome == CheckRecord::WeightStream::Verified,
                                   m_record.flagsMissing);
        setPhase(m_before);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { endCheck(false); }, Qt::QueuedConnection);
}

// ---- Line settings ----

void CheckConductor::findSettings(const QString &portText)
{
    if (m_session->isOpen() || m_session->isSearching())
        return;
    if (const OpenFailure failure = m_session->findLineSettings(portText); failure.failed()) {
        problem(kOpenError, failure.describe());
        return;
    }
    m_searchFirst = false;
    m_before = m_phase;
    setPhase(Phase::FindingSettings);
}

void CheckConductor::onLineSettingsSearched(const LineSettingsSearch::Outcome &outcome)
{
    if (m_phase != Phase::FindingSettings)
        return;
    using Kind = LineSettingsSearch::Outcome::Kind;
    const QString said = LineSettingsSearch::describe(outcome);
    if (m_searchFirst) {
        if (outcome.kind != Kind::Found) {
            problem(outcome.kind == Kind::PortLost ? kPortLost : said,
                    outcome.kind == Kind::PortLost ? said : QString());
            endCheck(true);
            return;
        }
        emit told(Tone::Progress, said, {});
        setLineSettings(outcome.settings);
        // The probes and the run are one check: the record goes on.
        openForSetUp(SmaSession::Record::Continue);
        return;
    }
    setPhase(m_before);
    switch (outcome.kind) {
    case Kind::Found:
        if (outcome.settings == m_session->lineSettings()) {
            problem(said, QStringLiteral("These are the line settings in use."));
        } else {
            m_found = outcome.settings;
            ask(Question::UseFoundSettings, said,
                QStringLiteral("Use these line settings from now on?"));
        }
        break;
    case Kind::PortLost:
        problem(kPortLost, said);
        break;
    case Kind::Continuous:
    case Kind::NotFound:
    case Kind::Unsearchable:
        problem(said);
        break;
    }
}

// The very first command went unanswered: the scale may be set to other line
// settings, which can be looked for once the check has ended.
void CheckConductor::onFirstCommandUnanswered()
{
    m_offerSearch = m_plan.offerFindSettings;
}

// ---- The end ----

void CheckConductor::interrupt()
{
    if (m_phase == Phase::Ended)
        return;
    m_interrupted = true;
    if (m_phase == Phase::WeightStream) {
        if (m_engine)
            m_engine->cancel();
        finishWeightStream(CheckRecord::WeightStream::NotVerified);
        return;
    }
    m_session->interrupt();
    endCheck(true);
}

void CheckConductor::endCheck(bool brokeOff)
{
    if (m_phase == Phase::Ended)
        return;
    m_listening.stop();
    m_streamTimer.stop();
    m_question.reset();
    m_brokeOff = brokeOff;
    // The check ends here, the weight stream included: the record and the
    // report's footer say so.
    m_session->endWeightStream(!brokeOff &&
                                   m_record.weightStream == CheckRecord::WeightStream::Verified,
                               m_record.flagsMissing);
    fillCheckRecord(*m_session, m_record);
    const bool streamAccepted = m_record.weightStream == CheckRecord::WeightStream::Verified ||
                                m_record.weightStream == CheckRecord::WeightStream::Skipped;
    m_record.exitStatus =
        !brokeOff && m_record.level1Commands && streamAccepted ? Compliant : NotCompliant;
    if (m_interrupted)
        m_record.exitStatus = Stopped;
    m_record.elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;
    setPhase(Phase::Ended);
    emit checkEnded();
    if (std::exchange(m_offerSearch, false) && !m_session->commands().isEmpty())
        ask(Question::FindSettings,
            QStringLiteral("The scale did not answer \"A\" at %1.")
                .arg(m_session->lineSettingsWords()),
            verdictEvidence(m_session->commands().constFirst(), m_session->published()) +
                QStringLiteral("\n\nLook for the line settings the scale answers at?"));
}

void CheckConductor::shutdown()
{
    m_listening.stop();
    m_streamTimer.stop();
    if (m_engine)
        m_engine->cancel();
    m_session->shutdown();
}
