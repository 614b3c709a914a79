#include "TrafficLog.h"

#include "CommandText.h"

void TrafficLog::restart()
{
    m_entries.clear();
    m_firstPending = -1;
    m_clock.start();
    emit cleared();
}

void TrafficLog::append(TrafficEntry::Kind kind, const QByteArray &bytes)
{
    if (!m_clock.isValid())
        m_clock.start();
    TrafficEntry entry;
    entry.ms = m_clock.elapsed();
    entry.kind = kind;
    entry.bytes = bytes;
    m_entries.append(entry);
}

void TrafficLog::sent(const QByteArray &frame)
{
    append(TrafficEntry::Kind::Sent, frame);
    emit appended(m_entries.size() - 1, m_entries.size() - 1);
}

void TrafficLog::received(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    const qsizetype first = m_entries.size();
    if (m_firstPending < 0)
        m_firstPending = first;
    qsizetype start = 0;
    while (start < chunk.size()) {
        const qsizetype cr = chunk.indexOf('\r', start);
        const qsizetype end = cr < 0 ? chunk.size() : cr + 1;
        append(TrafficEntry::Kind::Received, chunk.mid(start, end - start));
        start = end;
    }
    emit appended(first, m_entries.size() - 1);
}

void TrafficLog::discarded(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    append(TrafficEntry::Kind::Discarded, bytes);
    emit appended(m_entries.size() - 1, m_entries.size() - 1);
}

void TrafficLog::answerTaken(const QByteArray &consumed, const QByteArray &answer,
                             const QString &takenFor, qint64 responseMs)
{
    if (m_firstPending < 0)
        return;
    // The buffer gives whole lines: every CR it consumed ended one of them.
    qsizetype crs = consumed.count('\r');
    qsizetype index = m_firstPending;
    for (; index < m_entries.size() && crs > 0; ++index) {
        if (m_entries.at(index).bytes.endsWith('\r'))
            --crs;
    }
    const qsizetype last = index - 1;
    if (last < m_firstPending || last >= m_entries.size())
        return;
    TrafficEntry &entry = m_entries[last];
    entry.kind = TrafficEntry::Kind::Answer;
    entry.takenFor = takenFor;
    entry.answer = answer;
    entry.responseMs = responseMs;
    m_firstPending = index < m_entries.size() ? index : -1;
    emit entryChanged(last);
}

void TrafficLog::pendingDiscarded()
{
    if (m_firstPending < 0)
        return;
    for (qsizetype index = m_firstPending; index < m_entries.size(); ++index) {
        if (m_entries.at(index).kind != TrafficEntry::Kind::Received)
            continue;
        m_entries[index].kind = TrafficEntry::Kind::Discarded;
        emit entryChanged(index);
    }
    m_firstPending = -1;
}

QString TrafficLog::printable(const QByteArray &bytes)
{
    return printableBytes(bytes);
}

QString TrafficLog::hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString TrafficLog::direction(TrafficEntry::Kind kind)
{
    return kind == TrafficEntry::Kind::Sent ? QStringLiteral("TX") : QStringLiteral("RX");
}

QString TrafficLog::note(const TrafficEntry &entry)
{
    switch (entry.kind) {
    case TrafficEntry::Kind::Answer:
        return QStringLiteral("answer to %1 after %2 ms").arg(entry.takenFor).arg(entry.responseMs);
    case TrafficEntry::Kind::Discarded:
        return QStringLiteral("discarded");
    case TrafficEntry::Kind::Sent:
    case TrafficEntry::Kind::Received:
        break;
    }
    return {};
}

QString TrafficLog::line(const TrafficEntry &entry, bool asHex)
{
    QString text =
        QStringLiteral("%1 ms  %2  %3")
            .arg(entry.ms, 8)
            .arg(direction(entry.kind), asHex ? hex(entry.bytes) : printable(entry.bytes));
    if (const QString said = note(entry); !said.isEmpty())
        text += QStringLiteral("  (%1)").arg(said);
    return text;
}
