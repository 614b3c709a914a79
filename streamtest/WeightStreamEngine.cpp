#include "WeightStreamEngine.h"

#include "SmaLine.h"

#include <QTimer>

namespace {

// The scale has a tare command to test when it publishes "T" (exact case).
bool publishesTare(const QString &publishedCommands)
{
    return publishedCommands.contains(QLatin1Char('T'), Qt::CaseSensitive);
}

} // namespace

WeightStreamEngine::WeightStreamEngine(const MSCommFactory &portFactory, QObject *parent)
    : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer2"));
    m_timer->setInterval(kPollIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &WeightStreamEngine::onTimer);

    m_port = portFactory(this);
    m_port->setObjectName(QStringLiteral("MSComm2"));
    connect(m_port, &MSComm::OnComm, this, &WeightStreamEngine::onComm);
    connect(m_port, &MSComm::Lost, this, &WeightStreamEngine::onLost);
    connect(m_port, &MSComm::Discarded, this, [this](const QByteArray &bytes) {
        if (m_recorder)
            m_recorder->discarded(bytes);
    });
}

WeightStreamEngine::~WeightStreamEngine()
{
    m_timer->stop();
    if (m_port->portOpen())
        m_port->setPortOpen(false);
}

WeightStreamEngine::State WeightStreamEngine::start(const QString &portText,
                                                    const QString &publishedCommands,
                                                    const LineSettings &line)
{
    // A run started again begins from a stopped timer and a closed port.
    m_timer->stop();
    if (m_port->portOpen())
        m_port->setPortOpen(false);
    m_buffer.clear();
    m_tarePending = false;
    m_checklist = StatusChecklist(false);

    // The port opens with its thresholds at 0: until polling starts, what
    // arrives is thrown away by the port rather than left to pile up.
    m_openFailure = openSmaPort(*m_port, portText, line);
    if (m_openFailure.failed()) {
        stop(State::Cancelled);
        emit openFailed(m_openFailure);
        return m_state;
    }

    if (publishesTare(publishedCommands)) {
        m_tarePending = true;
        m_checklist = StatusChecklist(true);
        m_state = State::TarePrompt;
        emit tareWeightNeeded();
        return m_state;
    }
    beginPolling();
    return m_state;
}

bool WeightStreamEngine::startPolling()
{
    if (m_state != State::TarePrompt)
        return false;
    // Whatever the scale sent while the operator loaded it answers no request
    // of ours; what the port has not thrown away yet goes now.
    const QByteArray unread = m_port->input();
    if (m_recorder)
        m_recorder->discarded(unread);
    beginPolling();
    return true;
}

void WeightStreamEngine::beginPolling()
{
    wantAnswers(true);
    m_timer->start(m_pollIntervalMs);
    m_state = State::Polling;
}

void WeightStreamEngine::cancel()
{
    if (m_state == State::TarePrompt || m_state == State::Polling)
        stop(State::Cancelled);
}

void WeightStreamEngine::stop(State end)
{
    m_timer->stop();
    if (m_port->portOpen()) {
        wantAnswers(false);
        m_port->setPortOpen(false);
    }
    m_state = end;
}

void WeightStreamEngine::wantAnswers(bool wanted)
{
    const int threshold = wanted ? 1 : 0;
    m_port->setRThreshold(threshold);
    m_port->setSThreshold(threshold);
}

void WeightStreamEngine::send(const QString &command)
{
    const QByteArray frame = frameCommand(command);
    m_port->setOutput(frame);
    m_lastPoll = QStringLiteral("<LF>%1<CR>").arg(command);
    m_polledAt.start();
    if (m_recorder)
        m_recorder->sent(frame);
}

// One request per tick: "T" until the tare test is ticked, then one "C",
// then "W"; the tick after every box is ticked passes instead.
void WeightStreamEngine::onTimer()
{
    if (m_state != State::Polling)
        return;
    if (m_tarePending) {
        if (!m_checklist.isTicked(StatusChecklist::TareOperation)) {
            send(QStringLiteral("T"));
        } else {
            send(QStringLiteral("C"));
            m_tarePending = false;
        }
    } else if (m_checklist.allTicked()) {
        stop(State::Passed);
        emit passed();
    } else {
        send(QStringLiteral("W"));
    }
}

void WeightStreamEngine::onComm()
{
    // Line changes and line errors say nothing about the weight stream, and
    // only polling wants answers.
    if (m_port->commEvent() != CommEvents::Received || m_state != State::Polling)
        return;
    const QByteArray chunk = m_port->input();
    const QByteArray buffered = m_buffer.pending() + chunk;
    const WeightStreamBuffer::Result result = m_buffer.receive(chunk);
    if (m_recorder) {
        m_recorder->received(chunk);
        // An answer is the first WeightAnswer::kLength bytes of what was
        // buffered; the rest goes with it, as does whatever the buffer drops.
        if (result.answer)
            m_recorder->answerTaken(buffered.sliced(WeightAnswer::kLength),
                                    buffered.sliced(1, WeightAnswer::kLength - 2), m_lastPoll,
                                    m_polledAt.isValid() ? m_polledAt.elapsed() : -1);
        if (m_buffer.pending().isEmpty())
            m_recorder->pendingDiscarded();
    }
    if (result.answer) {
        const StatusChecklist before = m_checklist;
        m_checklist.record(*result.answer);
        emit weightDecoded(*result.answer);
        for (int item = 0; item < m_checklist.itemCount(); ++item) {
            const auto which = StatusChecklist::Item(item);
            if (m_checklist.isTicked(which) && !before.isTicked(which))
                emit itemTicked(which);
        }
    }
    if (result.overflowed) {
        stop(State::Cancelled);
        emit unknownDataStream();
    }
}

void WeightStreamEngine::onLost(const QString &description)
{
    if (m_state != State::TarePrompt && m_state != State::Polling)
        return;
    // Naming the device is the port's promise; make sure of it all the same.
    const QString device = m_port->commPort();
    const QString named = description.contains(device)
                              ? description
                              : QStringLiteral("%1: %2").arg(device, description);
    stop(State::Cancelled);
    emit portLost(named);
}
