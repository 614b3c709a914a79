#include "SmaCheck.h"

#include "CheckJUnit.h"
#include "CheckJson.h"
#include "CheckTerminal.h"
#include "CommandText.h"
#include "ReportRenderer.h"
#include "SmaSession.h"
#include "StatusChecklist.h"
#include "VerdictText.h"
#include "WeightStreamEngine.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kOpenError = QStringLiteral("Error opening serial port");

// Writes `bytes` to `path`; returns why it could not.
QString saveFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    return {};
}

// Why `path` could not be written, found out before the run so that a long
// run does not end in a file that cannot be saved. A file that is there is
// left as it is; one made for the probe is removed again.
QString unwritableReason(const QString &path)
{
    QFile file(path);
    const QFileInfo info(path);
    const bool existed = info.exists();
    // Appending leaves a file's content as it is; a device or a pipe has
    // nothing to keep and cannot be appended to.
    if (!file.open(info.isFile() ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly))
        return file.errorString();
    file.close();
    if (!existed)
        file.remove();
    return {};
}

QString chopped(QByteArray text)
{
    while (text.endsWith('\n'))
        text.chop(1);
    return QString::fromUtf8(text);
}

} // namespace

SmaCheck::SmaCheck(const CheckOptions &options, const MSCommFactory &portFactory,
                   const Console &console, QObject *parent)
    : QObject(parent), m_options(options), m_portFactory(portFactory), m_console(console),
      m_session(new SmaSession(portFactory, this)), m_archive(options)
{
    m_record.port = options.port;
    m_streamTimer.setSingleShot(true);
    connect(&m_streamTimer, &QTimer::timeout, this, &SmaCheck::onStreamTimeout);
    m_statusTimer.setInterval(1000);
    connect(&m_statusTimer, &QTimer::timeout, this, &SmaCheck::drawStatus);

    connect(m_session, &SmaSession::verdict, this, &SmaCheck::onVerdict);
    connect(m_session, &SmaSession::runFinished, this, [this] { m_runFinished = true; });
    // The session raises its verdict for the command in flight, and runFinished,
    // around closing the port; the next step is taken once it has said all.
    connect(m_session, &SmaSession::connectionChanged, this, [this](bool open) {
        if (!open)
            QMetaObject::invokeMethod(this, &SmaCheck::onPortClosed, Qt::QueuedConnection);
    });
    connect(m_session, &SmaSession::portLost, this, [this](const QString &description) {
        error(QStringLiteral("Serial port lost"));
        error(description);
    });
    connect(m_session, &SmaSession::continuousOutput, this, [this] {
        error(QStringLiteral("The scale sends data without being asked (continuous output). Set "
                             "its serial output to answer on request, then start again."));
    });
    connect(m_session, &SmaSession::lineSettingsSearched, this, &SmaCheck::onLineSettingsSearched);
    m_listening.setSingleShot(true);
    connect(&m_listening, &QTimer::timeout, this, &SmaCheck::startDiscovery);
}

SmaCheck::~SmaCheck()
{
    m_session->shutdown();
}

void SmaCheck::progress(const QString &text) const
{
    if (!m_options.quiet)
        m_console.err(text);
}

void SmaCheck::error(const QString &text) const
{
    m_console.err(text);
}

bool SmaCheck::outputsWritable()
{
    bool writable = true;
    const auto probe = [&](const QString &what, const QString &path) {
        if (path.isEmpty() || !writable)
            return;
        if (const QString reason = unwritableReason(path); !reason.isEmpty()) {
            error(QStringLiteral("Cannot write the %1 file %2: %3").arg(what, path, reason));
            writable = false;
        }
    };
    if (!m_options.jsonOnStdout())
        probe(QStringLiteral("JSON"), m_options.jsonFile);
    probe(QStringLiteral("JUnit"), m_options.junitFile);
    probe(QStringLiteral("PDF"), m_options.pdfFile);
    probe(QStringLiteral("trace"), m_options.traceFile);
    return writable;
}

void SmaCheck::start()
{
    if (m_phase != Phase::Idle) // stopped before it started
        return;
    m_clock.start();
    if (!outputsWritable()) {
        m_phase = Phase::Done;
        emit finished(CouldNotRun);
        return;
    }
    if (const QString failure = m_archive.prepare(); !failure.isEmpty()) {
        error(failure);
        m_phase = Phase::Done;
        emit finished(CouldNotRun);
        return;
    }
    m_session->setLineSettings(m_options.line);
    if (m_options.findLine) {
        findLineSettings();
        return;
    }
    openForDiscovery(SmaSession::Record::Restart);
}

void SmaCheck::findLineSettings()
{
    progress(QStringLiteral("Looking for the line settings the scale answers at"));
    if (const OpenFailure failure = m_session->findLineSettings(m_options.port); failure.failed()) {
        couldNotOpen(failure);
        return;
    }
    m_phase = Phase::Searching;
}

void SmaCheck::onLineSettingsSearched(const LineSettingsSearch::Outcome &outcome)
{
    if (m_phase != Phase::Searching)
        return;
    if (outcome.kind != LineSettingsSearch::Outcome::Kind::Found) {
        if (outcome.kind == LineSettingsSearch::Outcome::Kind::PortLost)
            error(QStringLiteral("Serial port lost"));
        error(LineSettingsSearch::describe(outcome));
        finish(true);
        return;
    }
    progress(LineSettingsSearch::describe(outcome));
    m_session->setLineSettings(outcome.settings);
    // The probes and the run are one check: the record goes on.
    openForDiscovery(SmaSession::Record::Continue);
}

void SmaCheck::couldNotOpen(const OpenFailure &failure)
{
    error(kOpenError);
    error(failure.describe());
    m_phase = Phase::Done;
    emit finished(CouldNotRun);
}

void SmaCheck::openForDiscovery(SmaSession::Record record)
{
    if (const OpenFailure failure = m_session->open(m_options.port, record); failure.failed()) {
        couldNotOpen(failure);
        return;
    }
    m_openedAt.start();
    m_phase = Phase::Discovery;
    instruct(QStringLiteral("Set the device to %1 and verify center of zero")
                 .arg(m_session->lineSettingsWords()),
             [this] {
                 // A port lost while the operator read the message has ended the check.
                 if (m_phase != Phase::Discovery)
                     return;
                 // The port is listened to at least as long as an operator
                 // reads the message, so that a scale that talks by itself
                 // shows before it is judged.
                 m_listening.start(int(qMax<qint64>(0, kListenMs - m_openedAt.elapsed())));
             });
}

void SmaCheck::startDiscovery()
{
    if (m_phase != Phase::Discovery)
        return;
    m_session->startRun();
    if (!m_session->isOpen() && m_session->commands().isEmpty())
        finish(true); // gone since it opened: no run, and no close to wait for
}

// Shows `text`, which asks the operator to do something at the scale, and
// goes on with `next` once the operator has pressed Enter at a terminal, or
// straight away when nobody is there to press it.
void SmaCheck::instruct(const QString &text, std::function<void()> next)
{
    if (!m_console.confirm) {
        progress(text);
        next();
        return;
    }
    // Asked even with --quiet: a wait needs its reason on the screen.
    error(text);
    error(QStringLiteral("Press Enter to continue, Ctrl+C to stop"));
    m_console.confirm(std::move(next));
}

void SmaCheck::interrupt()
{
    if (m_phase == Phase::Done)
        return;
    m_interrupted = true;
    error(QStringLiteral("Stopped: closing the port and writing the results so far."));
    switch (m_phase) {
    case Phase::WeightStream:
        if (m_engine)
            m_engine->cancel();
        endWeightStream(CheckRecord::WeightStream::NotVerified);
        return;
    case Phase::Tare:
    case Phase::Units:
    case Phase::Idle:
    case Phase::Searching:
    case Phase::Discovery:
    case Phase::Done:
        m_session->interrupt();
        break;
    }
    finish(true);
}

void SmaCheck::onVerdict(int row)
{
    const TestedCommand &command = m_session->commands().at(row);
    progress(command.printable + QStringLiteral("  ") +
             verdictEvidence(command, m_session->published()));
}

void SmaCheck::onPortClosed()
{
    if (m_session->isOpen())
        return; // told late: the port has been opened again since (after a search)
    switch (m_phase) {
    case Phase::Discovery:
        if (m_runFinished) {
            afterDiscovery();
        } else {
            const QList<TestedCommand> &commands = m_session->commands();
            error(QStringLiteral("%1 \u2014 the discovery run stopped at %2")
                      .arg(m_session->status(), commands.isEmpty()
                                                    ? QStringLiteral("its start")
                                                    : commands.constLast().printable));
            finish(true);
        }
        break;
    case Phase::Tare:
        runUnits();
        break;
    case Phase::Units:
        runWeightStream();
        break;
    case Phase::Idle:
    case Phase::Searching:
    case Phase::WeightStream:
    case Phase::Done:
        break;
    }
}

void SmaCheck::afterDiscovery()
{
    m_record.discoveryFinished = true;
    runTare();
}

void SmaCheck::runTare()
{
    if (!m_options.tare) {
        runUnits();
        return;
    }
    const QString value = *m_options.tare;
    startSingleTest(Phase::Tare, [&] {
        const SmaSession::Outcome outcome = m_session->tareTest(value, m_options.port);
        if (!outcome.message.isEmpty()) {
            error(outcome.message);
            error(outcome.detail);
        }
        return outcome.started;
    });
}

void SmaCheck::runUnits()
{
    if (!m_options.unitCode) {
        runWeightStream();
        return;
    }
    const QString code = *m_options.unitCode;
    startSingleTest(Phase::Units, [&] {
        const SmaSession::Outcome outcome = m_session->unitsTest(code, m_options.port);
        if (!outcome.message.isEmpty()) {
            error(outcome.message);
            error(outcome.detail);
        }
        return outcome.started;
    });
}

// A single test ends when the session closes the port after its answer or its
// time-out (onPortClosed). One that cannot start ends the run there.
void SmaCheck::startSingleTest(Phase phase, const std::function<bool()> &send)
{
    m_phase = phase;
    if (!send())
        finish(true);
}

void SmaCheck::runWeightStream()
{
    m_phase = Phase::WeightStream;
    if (m_options.weightStream == CheckOptions::WeightStream::Skip) {
        endWeightStream(CheckRecord::WeightStream::Skipped);
        return;
    }
    m_engine = new WeightStreamEngine(m_portFactory, this);
    m_engine->setPollInterval(m_options.pollIntervalMs);
    m_engine->setTrafficRecorder(m_session->weightStreamRecorder());
    connect(m_engine, &WeightStreamEngine::openFailed, this, [this](const OpenFailure &failure) {
        error(kOpenError);
        error(failure.describe());
    });
    // Without a terminal nobody is there to press Ok: the weight is taken
    // to be on the scale.
    connect(m_engine, &WeightStreamEngine::tareWeightNeeded, this, [this] {
        instruct(QStringLiteral("Place a tareable weight on the scale and press Ok to continue"),
                 [this] {
                     if (m_phase == Phase::WeightStream && m_engine->startPolling())
                         startStreamClock();
                 });
    });
    connect(m_engine, &WeightStreamEngine::weightDecoded, this, [this](const WeightAnswer &answer) {
        m_lastAnswer = answer;
        drawStatus();
    });
    connect(m_engine, &WeightStreamEngine::itemTicked, this, [this](StatusChecklist::Item item) {
        if (!m_console.status)
            progress(QStringLiteral("[x] ") + StatusChecklist::itemText(item));
    });
    connect(m_engine, &WeightStreamEngine::passed, this,
            [this] { endWeightStream(CheckRecord::WeightStream::Verified); });
    connect(m_engine, &WeightStreamEngine::unknownDataStream, this, [this] {
        error(QStringLiteral("Unknown serial data stream"));
        endWeightStream(CheckRecord::WeightStream::NotVerified);
    });
    connect(m_engine, &WeightStreamEngine::portLost, this, [this](const QString &description) {
        error(QStringLiteral("Serial port lost"));
        error(description);
        endWeightStream(CheckRecord::WeightStream::NotVerified);
    });

    const WeightStreamEngine::State state =
        m_engine->start(m_session->portText(), m_session->published(), m_session->lineSettings());
    if (state == WeightStreamEngine::State::Cancelled)
        endWeightStream(CheckRecord::WeightStream::NotVerified);
    else if (state == WeightStreamEngine::State::Polling && !m_streamTimer.isActive())
        startStreamClock();
}

// The time the analysis is given runs from its first request: the operator's
// time at the tare prompt is not taken from it.
void SmaCheck::startStreamClock()
{
    progress(QStringLiteral("Operate the scale to check all the boxes"));
    m_streamClock.start();
    m_streamTimer.start(m_options.streamTimeoutMs);
    if (m_console.status && !m_options.quiet) {
        m_statusTimer.start();
        drawStatus();
    }
}

void SmaCheck::drawStatus()
{
    if (!m_statusTimer.isActive())
        return;
    const int secondsLeft = (qMax(0, m_streamTimer.remainingTime()) + 999) / 1000;
    m_console.status(weightStreamStatus(m_lastAnswer, m_engine->checklist(), secondsLeft));
}

void SmaCheck::onStreamTimeout()
{
    if (m_phase != Phase::WeightStream)
        return;
    m_engine->cancel();
    error(QStringLiteral("Weight stream not verified within %1 s; not seen: %2")
              .arg(double(m_options.streamTimeoutMs) / 1000.0)
              .arg(m_engine->checklist().itemTexts(false).join(QStringLiteral(", "))));
    endWeightStream(CheckRecord::WeightStream::NotVerified);
}

void SmaCheck::endWeightStream(CheckRecord::WeightStream outcome)
{
    if (m_phase != Phase::WeightStream)
        return;
    if (m_statusTimer.isActive()) {
        m_statusTimer.stop();
        m_console.status(QString()); // it keeps showing how the analysis ended
    }
    m_streamTimer.stop();
    m_record.weightStream = outcome;
    if (m_engine) {
        m_record.weightStreamMs = m_streamClock.isValid() ? m_streamClock.elapsed() : 0;
        m_record.flagsSeen = m_engine->checklist().itemTexts(true);
        m_record.flagsMissing = m_engine->checklist().itemTexts(false);
    }
    finish(false);
}

void SmaCheck::finish(bool brokeOff)
{
    if (m_phase == Phase::Done)
        return;
    m_phase = Phase::Done;
    m_streamTimer.stop();
    m_listening.stop();
    // The check ends here, the weight stream included: the JSON and the
    // report's footer say so.
    m_session->endWeightStream(!brokeOff &&
                                   m_record.weightStream == CheckRecord::WeightStream::Verified,
                               m_record.flagsMissing);

    fillCheckRecord(*m_session, m_record);
    for (const Finding &finding : m_record.findings)
        progress(QStringLiteral("%1: %2: %3 (%4)")
                     .arg(severityText(finding.severity), finding.code, countedMessage(finding),
                          TrafficLog::printable(finding.evidence)));
    const bool streamAccepted = m_record.weightStream == CheckRecord::WeightStream::Verified ||
                                m_record.weightStream == CheckRecord::WeightStream::Skipped;
    m_record.exitStatus =
        !brokeOff && m_record.level1Commands && streamAccepted ? Compliant : NotCompliant;
    if (m_interrupted)
        m_record.exitStatus = Stopped;
    m_record.elapsedMs = m_clock.elapsed();
    recordAndCompare();
    emit finished(writeResults());
}

// The comparison comes first, so that "last" is the check before this one;
// the record keeps the check's own verdict, a regression only changes the
// exit status.
void SmaCheck::recordAndCompare()
{
    for (const QString &line : m_archive.compare(m_record))
        error(line);
    if (const QString failure = m_archive.record(m_record); !failure.isEmpty())
        error(failure);
    if (!m_options.failOnRegression || m_record.exitStatus != Compliant)
        return;
    if (!m_record.comparison) // the earlier check could not be read
        m_record.exitStatus = CouldNotRun;
    else if (m_record.comparison->regression())
        m_record.exitStatus = NotCompliant;
}

// The files first, so that the JSON can say how the run ended when one of
// them could not be written; standard output last.
int SmaCheck::writeResults()
{
    const auto failed = [this](const QString &what, const QString &path, const QString &reason) {
        error(QStringLiteral("Cannot write the %1 file %2: %3").arg(what, path, reason));
        m_record.exitStatus = CouldNotRun;
    };
    if (!m_options.pdfFile.isEmpty()) {
        const QString reason = m_pdfWriter ? m_pdfWriter(m_options.pdfFile, *m_session)
                                           : QStringLiteral("no PDF writer is available.");
        if (!reason.isEmpty())
            failed(QStringLiteral("PDF"), m_options.pdfFile, reason);
    }
    if (!m_options.junitFile.isEmpty()) {
        if (const QString reason = saveFile(m_options.junitFile, checkJUnitXml(m_record));
            !reason.isEmpty())
            failed(QStringLiteral("JUnit"), m_options.junitFile, reason);
    }
    if (!m_options.traceFile.isEmpty()) {
        if (const QString reason = saveFile(m_options.traceFile, m_session->traffic().text());
            !reason.isEmpty())
            failed(QStringLiteral("trace"), m_options.traceFile, reason);
    }
    if (!m_options.jsonFile.isEmpty() && !m_options.jsonOnStdout()) {
        if (const QString reason = saveFile(m_options.jsonFile, checkJsonText(m_record));
            !reason.isEmpty())
            failed(QStringLiteral("JSON"), m_options.jsonFile, reason);
    }
    if (m_options.jsonOnStdout())
        m_console.out(chopped(checkJsonText(m_record)));
    else if (!m_record.report.isEmpty())
        m_console.out(m_record.report.join(QLatin1Char('\n')));
    return m_record.exitStatus;
}
