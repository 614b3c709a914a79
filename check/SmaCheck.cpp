#include "SmaCheck.h"

#include "CheckJUnit.h"
#include "CheckJson.h"
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
    if (const OpenFailure failure = m_session->open(m_options.port); failure.failed()) {
        error(kOpenError);
        error(failure.describe());
        m_phase = Phase::Done;
        emit finished(CouldNotRun);
        return;
    }
    progress(QStringLiteral("Set the device to 9600,8,N,1 and verify center of zero"));
    m_phase = Phase::Discovery;
    m_session->startRun();
    if (!m_session->isOpen()) // gone since it opened: no run, and no close to wait for
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
    connect(m_engine, &WeightStreamEngine::openFailed, this, [this](const OpenFailure &failure) {
        error(kOpenError);
        error(failure.describe());
    });
    // Nobody is there to press Ok: the weight is taken to be on the scale.
    connect(m_engine, &WeightStreamEngine::tareWeightNeeded, this, [this] {
        progress(QStringLiteral("Place a tareable weight on the scale and press Ok to continue"));
        m_engine->startPolling();
    });
    connect(m_engine, &WeightStreamEngine::itemTicked, this, [this](StatusChecklist::Item item) {
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

    progress(QStringLiteral("Operate the scale to check all the boxes"));
    m_streamClock.start();
    m_streamTimer.start(m_options.streamTimeoutMs);
    if (m_engine->start(m_session->portText(), m_session->published()) ==
        WeightStreamEngine::State::Cancelled)
        endWeightStream(CheckRecord::WeightStream::NotVerified);
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
    m_streamTimer.stop();
    m_record.weightStream = outcome;
    if (m_engine) {
        m_record.weightStreamMs = m_streamClock.elapsed();
        m_record.flagsSeen = m_engine->checklist().itemTexts(true);
        m_record.flagsMissing = m_engine->checklist().itemTexts(false);
    }
    m_session->setWeightStreamVerified(outcome == CheckRecord::WeightStream::Verified);
    finish(false);
}

void SmaCheck::finish(bool brokeOff)
{
    if (m_phase == Phase::Done)
        return;
    m_phase = Phase::Done;
    m_streamTimer.stop();
    if (brokeOff)
        m_session->setWeightStreamVerified(false);

    fillCheckRecord(*m_session, m_record);
    for (const Finding &finding : m_record.findings)
        progress(QStringLiteral("%1: %2: %3 (%4)")
                     .arg(severityText(finding.severity), finding.code, finding.message,
                          TrafficLog::printable(finding.evidence)));
    const bool streamAccepted = m_record.weightStream == CheckRecord::WeightStream::Verified ||
                                m_record.weightStream == CheckRecord::WeightStream::Skipped;
    m_record.exitStatus = !brokeOff && m_record.level1 && streamAccepted ? Compliant : NotCompliant;
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
        QByteArray trace;
        for (const TrafficEntry &entry : m_session->traffic().entries())
            trace += TrafficLog::line(entry).toUtf8() + '\n';
        if (const QString reason = saveFile(m_options.traceFile, trace); !reason.isEmpty())
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
