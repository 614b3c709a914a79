#include "SmaCheck.h"

#include "CheckJUnit.h"
#include "CheckJson.h"
#include "CheckTerminal.h"
#include "ReportRenderer.h"
#include "SmaSession.h"
#include "StatusChecklist.h"
#include "VerdictText.h"
#include "WeightStreamEngine.h"

#include <QFile>
#include <QFileInfo>

namespace {

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
    : QObject(parent), m_options(options), m_console(console),
      m_conductor(new CheckConductor(portFactory, this)), m_archive(options)
{
    CheckConductor::Plan plan;
    plan.findSettingsFirst = options.findLine;
    plan.listenMs = kListenMs;
    plan.tare = options.tare;
    plan.unitCode = options.unitCode;
    plan.weightStream = options.weightStream != CheckOptions::WeightStream::Skip;
    plan.streamTimeoutMs = options.streamTimeoutMs;
    plan.pollIntervalMs = options.pollIntervalMs;
    m_conductor->setPlan(plan);
    m_conductor->setLineSettings(options.line);
    m_statusTimer.setInterval(1000);
    connect(&m_statusTimer, &QTimer::timeout, this, &SmaCheck::drawStatus);

    connect(&m_conductor->session(), &SmaSession::verdict, this, &SmaCheck::onVerdict);
    connect(m_conductor, &CheckConductor::told, this,
            [this](CheckConductor::Tone tone, const QString &text, const QString &detail) {
                if (tone == CheckConductor::Tone::Progress) {
                    progress(text);
                    return;
                }
                error(text);
                if (!detail.isEmpty())
                    error(detail);
            });
    // Without a terminal nobody is there to press Enter: the scale is taken
    // to be set up, and the weight to be on it.
    connect(m_conductor, &CheckConductor::asked, this,
            [this](CheckConductor::Question, const QString &text, const QString &) {
                instruct(text, [this] { m_conductor->answer(true); });
            });
    connect(m_conductor, &CheckConductor::notStarted, this, [this] {
        m_done = true;
        emit finished(CouldNotRun);
    });
    connect(m_conductor, &CheckConductor::discoveryStopped, this, [this](const QString &where) {
        error(QStringLiteral("%1 \u2014 the discovery run stopped at %2")
                  .arg(session().status(), where.isEmpty() ? QStringLiteral("its start") : where));
    });
    connect(m_conductor, &CheckConductor::weightStreamShown, this, &SmaCheck::showWeightStream);
    connect(m_conductor, &CheckConductor::weightStreamEnded, this, [this] {
        if (m_statusTimer.isActive()) {
            m_statusTimer.stop();
            m_console.status(QString()); // it keeps showing how the analysis ended
        }
    });
    connect(m_conductor, &CheckConductor::checkEnded, this, &SmaCheck::finish);
}

SmaCheck::~SmaCheck()
{
    m_conductor->shutdown();
}

const SmaSession &SmaCheck::session() const
{
    return m_conductor->session();
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
    if (m_done || m_started) // stopped before it started
        return;
    m_started = true;
    if (!outputsWritable()) {
        m_done = true;
        emit finished(CouldNotRun);
        return;
    }
    if (const QString failure = m_archive.prepare(); !failure.isEmpty()) {
        error(failure);
        m_done = true;
        emit finished(CouldNotRun);
        return;
    }
    m_conductor->start(m_options.port);
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
    if (m_done)
        return;
    error(QStringLiteral("Stopped: closing the port and writing the results so far."));
    m_conductor->interrupt();
}

void SmaCheck::onVerdict(int row)
{
    const TestedCommand &command = session().commands().at(row);
    progress(command.printable + QStringLiteral("  ") +
             verdictEvidence(command, session().published()));
}

void SmaCheck::showWeightStream(WeightStreamEngine &engine)
{
    m_lastAnswer.reset();
    connect(&engine, &WeightStreamEngine::weightDecoded, this, [this](const WeightAnswer &answer) {
        m_lastAnswer = answer;
        drawStatus();
    });
    connect(&engine, &WeightStreamEngine::itemTicked, this, [this](StatusChecklist::Item item) {
        if (!m_console.status)
            progress(QStringLiteral("[x] ") + StatusChecklist::itemText(item));
    });
    if (m_console.status && !m_options.quiet) {
        m_statusTimer.start();
        drawStatus();
    }
}

void SmaCheck::drawStatus()
{
    const WeightStreamEngine *engine = m_conductor->weightStream();
    if (!m_statusTimer.isActive() || !engine)
        return;
    const int secondsLeft = (m_conductor->streamTimeLeftMs() + 999) / 1000;
    m_console.status(weightStreamStatus(m_lastAnswer, engine->checklist(), secondsLeft));
}

void SmaCheck::finish()
{
    if (std::exchange(m_done, true))
        return;
    m_record = m_conductor->record();
    for (const Finding &finding : m_record.findings)
        progress(QStringLiteral("%1: %2: %3 (%4)")
                     .arg(severityText(finding.severity), finding.code, countedMessage(finding),
                          TrafficLog::printable(finding.evidence)));
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
        const QString reason = m_pdfWriter ? m_pdfWriter(m_options.pdfFile, session())
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
        if (const QString reason = saveFile(m_options.traceFile, session().traffic().text());
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
