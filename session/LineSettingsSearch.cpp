#include "LineSettingsSearch.h"

#include "SmaLine.h"
#include "TrafficLog.h"

#include <QStringList>

#include <optional>

namespace {

bool isLineFeed(char c)
{
    return (c & 0x7f) == '\n';
}

bool isCarriageReturn(char c)
{
    return (c & 0x7f) == '\r';
}

// The first LF, text, CR in `bytes`, read with bit 7 ignored, whose text is
// printable: what a scale sends as a line, whatever its framing.
std::optional<QByteArray> firstLine(const QByteArray &bytes, qsizetype from = 0)
{
    for (qsizetype lf = from; lf < bytes.size(); ++lf) {
        if (!isLineFeed(bytes.at(lf)))
            continue;
        qsizetype end = lf + 1;
        while (end < bytes.size() && !isLineFeed(bytes.at(end)) && !isCarriageReturn(bytes.at(end)))
            ++end;
        if (end >= bytes.size() || !isCarriageReturn(bytes.at(end)) || end == lf + 1)
            continue;
        const QByteArray text = bytes.mid(lf + 1, end - lf - 1);
        const bool printable = std::all_of(text.cbegin(), text.cend(), [](char c) {
            const int low = c & 0x7f;
            return low >= 0x20 && low < 0x7f;
        });
        if (printable)
            return bytes.mid(lf, end - lf + 1);
    }
    return std::nullopt;
}

// How many lines `bytes` holds, and where the last one ended.
int countLines(const QByteArray &bytes, QByteArray *first)
{
    int lines = 0;
    qsizetype from = 0;
    while (const std::optional<QByteArray> line = firstLine(bytes, from)) {
        if (lines == 0 && first)
            *first = *line;
        ++lines;
        from = bytes.indexOf(*line, from) + line->size();
    }
    return lines;
}

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
    if (const OpenFailure failure = openSmaPort(m_port, portText, listenAt); failure.failed())
        return failure;
    m_heard.clear();
    m_lineTimes.clear();
    m_firstUnasked.clear();
    m_probes.clear();
    m_step = Step::Listening;
    m_clock.start();
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

void LineSettingsSearch::note(const QByteArray &bytes)
{
    if (m_log)
        m_log->received(bytes);
}

void LineSettingsSearch::onComm()
{
    if (m_step == Step::Idle || m_port.commEvent() != CommEvents::Received)
        return;
    const QByteArray bytes = m_port.input();
    if (bytes.isEmpty())
        return;
    note(bytes);
    if (m_step == Step::Listening) {
        const int before = countLines(m_heard, nullptr);
        m_heard += bytes;
        const int after = countLines(m_heard, &m_firstUnasked);
        for (int line = before; line < after; ++line)
            m_lineTimes << m_clock.elapsed();
        if (after >= kUnaskedLinesForContinuous) {
            Outcome outcome;
            outcome.kind = Outcome::Kind::Continuous;
            outcome.evidence = m_firstUnasked;
            outcome.unaskedLines = after;
            const qint64 span = m_lineTimes.constLast() - m_lineTimes.constFirst();
            outcome.linesPerSecond = span > 0 ? (after - 1) * 1000.0 / double(span) : 0.0;
            finish(outcome);
        }
        return;
    }
    Probe &current = m_probes.last();
    current.arrived += bytes;
    const std::optional<QByteArray> line = firstLine(current.arrived);
    if (!line)
        return;
    const std::optional<LineSettings> settings = settingsForBit7(readBit7(*line), current.baud);
    if (!settings)
        return; // a line by chance in the noise of a wrong baud rate
    Outcome outcome;
    outcome.kind = Outcome::Kind::Found;
    outcome.settings = *settings;
    outcome.evidence = *line;
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
    m_port.input();
    const QByteArray frame = frameCommand(QStringLiteral("A"));
    m_port.setOutput(frame);
    if (m_log)
        m_log->sent(frame);
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
    case Outcome::Kind::NotFound:
        break;
    }
    return QStringLiteral("The scale answered \"A\" at none of the baud rates tried. %1.")
        .arg(outcome.explanation);
}
