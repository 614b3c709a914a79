#include "LineSettingsSearch.h"

#include "PortName.h"
#include "SmaLine.h"
#include "TrafficRecorder.h"
#include "UnaskedLines.h"

#include <QStringList>

#include <optional>

namespace {

QString arrivedWords(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("nothing");
    const QString count =
        bytes.size() == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes.size());
    return QStringLiteral("%1, no answer line (%2)").arg(count, describeBit7(readBit7(bytes)));
}

} // namespace

const QList<int> &LineSettingsSearch::searchOrder()
{
    static const QList<int> order{9600, 19200, 4800, 2400, 38400, 1200, 57600, 115200};
    return order;
}

LineSettingsSearch::LineSettingsSearch(MSComm &port, QObject *parent)
    : QObject(parent), m_port(port)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LineSettingsSearch::onTimer);
    connect(&m_port, &MSComm::OnComm, this, &LineSettingsSearch::onComm);
    connect(&m_port, &MSComm::Lost, this, &LineSettingsSearch::onLost);
}

OpenFailure LineSettingsSearch::start(const QString &portText, const LineSettings &listenAt)
{
    cancel();
    if (!portTakesLineSettings(portText)) {
        // The device server's receiver frames the bytes, at settings no
        // probe from here can change: every baud rate would read the same.
        Outcome outcome;
        outcome.kind = Outcome::Kind::Unsearchable;
        outcome.explanation =
            QStringLiteral("%1 carries the scale's bytes at the device server's own line "
                           "settings, which the tester cannot change. Set them in the device "
                           "server, or use its RFC 2217 port (rfc2217://HOST:PORT), where the "
                           "tester sets them itself.")
                .arg(portText.trimmed());
        QMetaObject::invokeMethod(
            this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
        return {};
    }
    if (const OpenFailure failure = openSmaPort(m_port, portText, listenAt); failure.failed())
        return failure;
    m_heard.clear();
    m_probes.clear();
    m_step = Step::Listening;
    m_port.setRThreshold(1);
    m_port.setSThreshold(1);
    m_timer.start(m_timing.listenMs);
    return {};
}

void LineSettingsSearch::cancel()
{
    if (m_step == Step::Idle)
        return;
    m_step = Step::Idle;
    m_timer.stop();
    m_port.setRThreshold(0);
    m_port.setSThreshold(0);
    m_port.setPortOpen(false);
}

void LineSettingsSearch::onComm()
{
    if (m_step == Step::Idle || m_port.commEvent() != CommEvents::Received)
        return;
    const QByteArray bytes = m_port.input();
    if (bytes.isEmpty())
        return;
    if (m_recorder)
        m_recorder->received(bytes);
    if (m_step == Step::Listening) {
        m_heard.take(bytes);
        if (m_heard.count() >= kUnaskedLinesForContinuous) {
            Outcome outcome;
            outcome.kind = Outcome::Kind::Continuous;
            outcome.evidence = m_heard.first();
            outcome.unaskedLines = m_heard.count();
            outcome.linesPerSecond = m_heard.perSecond();
            finish(outcome);
        }
        return;
    }
    Probe &current = m_probes.last();
    current.arrived += bytes;
    const std::optional<FoundLine> line = findLine(current.arrived);
    if (!line)
        return;
    const std::optional<LineSettings> settings =
        settingsForBit7(readBit7(line->bytes), current.baud);
    if (!settings)
        return; // a line by chance in the noise of a wrong baud rate
    if (m_recorder) {
        const QByteArray text = settings->received(line->bytes.mid(1, line->bytes.size() - 2));
        const QByteArray after = settings->received(
            current.arrived.mid(current.arrived.indexOf(line->bytes) + line->bytes.size()));
        m_recorder->answerTaken(after, text, QStringLiteral("<LF>A<CR>"), m_sentAt.elapsed());
    }
    Outcome outcome;
    outcome.kind = Outcome::Kind::Found;
    outcome.settings = *settings;
    outcome.evidence = line->bytes;
    finish(outcome);
}

void LineSettingsSearch::onTimer()
{
    if (m_step == Step::Listening) {
        m_step = Step::Probing;
        probe(0);
        return;
    }
    if (m_step != Step::Probing)
        return;
    const qsizetype next = m_probes.size();
    if (next < searchOrder().size()) {
        probe(int(next));
        return;
    }
    QStringList tried;
    for (const Probe &probe : std::as_const(m_probes))
        tried << QStringLiteral("%1 baud: %2").arg(probe.baud).arg(arrivedWords(probe.arrived));
    Outcome outcome;
    outcome.kind = Outcome::Kind::NotFound;
    outcome.explanation = tried.join(QStringLiteral("; "));
    finish(outcome);
}

void LineSettingsSearch::probe(int index)
{
    const int baud = searchOrder().at(index);
    m_probes << Probe{baud, {}};
    m_port.setSettings(LineSettings{baud, 8, LineSettings::Parity::None, 1}.portSettings());
    // What a slower or faster probe left behind is not this probe's answer.
    const QByteArray late = m_port.input();
    const QByteArray frame = frameCommand(QStringLiteral("A"));
    m_port.setOutput(frame);
    m_sentAt.start();
    if (m_recorder) {
        m_recorder->pendingDiscarded();
        m_recorder->discarded(late);
        m_recorder->sent(frame);
    }
    m_timer.start(m_timing.probeMs);
}

void LineSettingsSearch::onLost(const QString &description)
{
    if (m_step == Step::Idle)
        return;
    Outcome outcome;
    outcome.kind = Outcome::Kind::PortLost;
    outcome.explanation = description;
    finish(outcome);
}

void LineSettingsSearch::finish(Outcome outcome)
{
    cancel();
    emit finished(outcome);
}

QString LineSettingsSearch::describe(const Outcome &outcome)
{
    switch (outcome.kind) {
    case Outcome::Kind::Found:
        return QStringLiteral("The scale answers at %1").arg(outcome.settings.text());
    case Outcome::Kind::Continuous:
        return QStringLiteral("The scale sends data without being asked (continuous output). "
                              "Set its serial output to answer on request, then start again.");
    case Outcome::Kind::PortLost:
        return outcome.explanation;
    case Outcome::Kind::Unsearchable:
        return QStringLiteral("Find Settings cannot search this port: ") + outcome.explanation;
    case Outcome::Kind::NotFound:
        break;
    }
    return QStringLiteral("The scale answered \"A\" at none of the baud rates tried. %1.")
        .arg(outcome.explanation);
}
