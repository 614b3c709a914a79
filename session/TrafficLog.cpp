#include "TrafficLog.h"

#include "CommandText.h"

#include <QLocale>

using Kind = TrafficEntry::Kind;

TrafficLog::TrafficLog(QObject *parent) : QObject(parent) {}

void TrafficLog::restart()
{
    m_entries.clear();
    m_totals = {};
    m_keptBytes = 0;
    m_firstPending = -1;
    m_notKept = -1;
    m_clock.start();
    emit cleared();
}

void TrafficLog::sent(const QByteArray &frame)
{
    recordSent(Source::Session, frame);
}

void TrafficLog::received(const QByteArray &chunk)
{
    recordReceived(Source::Session, chunk);
}

void TrafficLog::discarded(const QByteArray &bytes)
{
    recordDiscarded(Source::Session, bytes);
}

void TrafficLog::answerTaken(const QByteArray &after, const QByteArray &answer,
                             const QString &takenFor, qint64 responseMs)
{
    markAnswer(after, answer, takenFor, responseMs);
}

void TrafficLog::pendingDiscarded()
{
    discardPending();
}

void TrafficLog::append(Kind kind, Source source, const QByteArray &bytes)
{
    if (!m_clock.isValid())
        m_clock.start();
    TrafficEntry entry;
    entry.ms = m_clock.elapsed();
    entry.kind = kind;
    entry.source = source;
    entry.bytes = bytes;
    entry.byteCount = bytes.size();
    m_keptBytes += bytes.size();
    m_entries.append(entry);
}

void TrafficLog::recordSent(Source source, const QByteArray &frame)
{
    m_totals.bytesSent += frame.size();
    append(Kind::Sent, source, frame);
    emit appended(m_entries.size() - 1, m_entries.size() - 1);
    keepWithinBudget();
}

// The byte that ends a line: CR, and while the line settings are searched
// for, a CR whose bit 7 carries a 7-bit scale's parity as well.
bool TrafficLog::endsLine(Source source, char byte)
{
    return byte == '\r' || (source == Source::SettingsSearch && (byte & 0x7f) == '\r');
}

void TrafficLog::recordReceived(Source source, const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    m_totals.bytesReceived += chunk.size();
    const qsizetype first = m_entries.size();
    if (m_firstPending < 0)
        m_firstPending = first;
    qsizetype start = 0;
    while (start < chunk.size()) {
        qsizetype end = start;
        while (end < chunk.size() && !endsLine(source, chunk.at(end)))
            ++end;
        end = qMin(end + 1, chunk.size());
        append(Kind::Received, source, chunk.mid(start, end - start));
        start = end;
    }
    emit appended(first, m_entries.size() - 1);
    keepWithinBudget();
}

bool TrafficLog::isDiscardedOf(qsizetype index, Source source) const
{
    return index >= 0 && index < m_entries.size() && m_entries.at(index).kind == Kind::Discarded &&
           m_entries.at(index).source == source;
}

void TrafficLog::keepDiscarded(TrafficEntry &entry, const QByteArray &bytes)
{
    if (entry.kind != Kind::Discarded) {
        entry.kind = Kind::Discarded;
        entry.byteCount = 0;
        m_keptBytes -= entry.bytes.size();
        entry.bytes.clear();
    }
    const qsizetype room = kDiscardedBytesKept - entry.bytes.size();
    if (room > 0) {
        const QByteArray kept = bytes.first(qMin(room, bytes.size()));
        entry.bytes += kept;
        m_keptBytes += kept.size();
    }
    entry.byteCount += bytes.size();
}

void TrafficLog::recordDiscarded(Source source, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_totals.bytesReceived += bytes.size();
    m_totals.bytesDiscarded += bytes.size();
    const qsizetype last = m_entries.size() - 1;
    if (m_firstPending < 0 && isDiscardedOf(last, source)) {
        keepDiscarded(m_entries[last], bytes);
        emit entryChanged(last);
        keepWithinBudget();
        return;
    }
    append(Kind::Discarded, source, {});
    keepDiscarded(m_entries.last(), bytes);
    emit appended(m_entries.size() - 1, m_entries.size() - 1);
    keepWithinBudget();
}

// The answer's CR ended a received line; the lines after it are in `after`,
// so it is found by counting CRs back from the newest entry.
void TrafficLog::markAnswer(const QByteArray &after, const QByteArray &answer,
                            const QString &takenFor, qint64 responseMs)
{
    if (m_firstPending < 0)
        return;
    qsizetype crsAfter = after.count('\r');
    qsizetype index = m_entries.size() - 1;
    for (; index >= m_firstPending; --index) {
        const TrafficEntry &entry = m_entries.at(index);
        if (entry.kind == Kind::Received && !entry.bytes.isEmpty() &&
            endsLine(entry.source, entry.bytes.back()) && crsAfter-- == 0)
            break;
    }
    if (index < m_firstPending)
        return; // its line was not kept
    TrafficEntry &entry = m_entries[index];
    entry.kind = Kind::Answer;
    entry.takenFor = takenFor;
    entry.answer = answer;
    entry.responseMs = responseMs;
    m_firstPending = index + 1 < m_entries.size() ? index + 1 : -1;
    emit entryChanged(index);
}

// Received lines thrown away become one discarded entry, joined to the
// discarded entry just before them. The weight stream sends while lines
// wait, so its frames may stand between them: each run of received lines
// becomes an entry of its own. The runs are taken from the newest, so that
// dropping one leaves the indexes of the others as they are.
void TrafficLog::discardPending()
{
    if (m_firstPending < 0)
        return;
    const qsizetype first = std::exchange(m_firstPending, -1);
    qsizetype end = m_entries.size();
    while (end > first) {
        if (m_entries.at(end - 1).kind != Kind::Received) {
            --end;
            continue;
        }
        qsizetype start = end - 1;
        while (start > first && m_entries.at(start - 1).kind == Kind::Received)
            --start;
        const Source source = m_entries.at(start).source;
        const qsizetype into = isDiscardedOf(start - 1, source) ? start - 1 : start;
        for (qsizetype index = start; index < end; ++index) {
            const QByteArray bytes = m_entries.at(index).bytes;
            keepDiscarded(m_entries[into], bytes);
            m_totals.bytesDiscarded += bytes.size();
        }
        dropEntries(into + 1, end - into - 1);
        emit entryChanged(into);
        end = start;
    }
}

void TrafficLog::dropEntries(qsizetype first, qsizetype count)
{
    if (count <= 0)
        return;
    emit aboutToDrop(first, first + count - 1);
    for (qsizetype index = first; index < first + count; ++index)
        m_keptBytes -= m_entries.at(index).bytes.size();
    m_entries.remove(first, count);
    if (m_firstPending >= first + count)
        m_firstPending -= count;
    else if (m_firstPending >= first)
        m_firstPending = first < m_entries.size() ? first : -1;
    emit dropped(first, first + count - 1);
}

// The beginning is what fits into half the budget, and ends before the
// received lines that still wait for an answer; the entry after it becomes
// the NotKept entry.
void TrafficLog::startNotKept()
{
    qsizetype head = 0;
    qint64 headBytes = 0;
    const qsizetype end = m_firstPending >= 0 ? m_firstPending : m_entries.size() - 1;
    while (head < end && head < kEntryBudget / 2 &&
           headBytes + m_entries.at(head).bytes.size() <= kByteBudget / 2)
        headBytes += m_entries.at(head++).bytes.size();
    if (head >= m_entries.size() - 1)
        return;
    TrafficEntry &marker = m_entries[head];
    m_keptBytes -= marker.bytes.size();
    m_totals.entriesNotKept = 1;
    m_totals.bytesNotKept = marker.byteCount;
    TrafficEntry notKept;
    notKept.ms = marker.ms;
    notKept.kind = Kind::NotKept;
    notKept.byteCount = marker.byteCount;
    marker = notKept;
    m_notKept = head;
    if (m_firstPending == head)
        m_firstPending = head + 1;
    emit entryChanged(head);
}

// Drops the oldest entries after the NotKept entry down to seven eighths of
// the budget, so that a flood drops entries in batches rather than one by one.
void TrafficLog::keepWithinBudget()
{
    if (m_entries.size() <= kEntryBudget && m_keptBytes <= kByteBudget)
        return;
    if (m_notKept < 0)
        startNotKept();
    if (m_notKept < 0)
        return;
    const qsizetype first = m_notKept + 1;
    qsizetype count = 0;
    qint64 freed = 0;
    qint64 countedBytes = 0;
    while (first + count < m_entries.size() - 1 &&
           (m_entries.size() - count > kEntryBudget / 8 * 7 ||
            m_keptBytes - freed > kByteBudget / 8 * 7)) {
        freed += m_entries.at(first + count).bytes.size();
        countedBytes += m_entries.at(first + count).byteCount;
        ++count;
    }
    if (count == 0)
        return;
    TrafficEntry &marker = m_entries[m_notKept];
    marker.entries += count;
    marker.byteCount += countedBytes;
    m_totals.entriesNotKept = marker.entries;
    m_totals.bytesNotKept = marker.byteCount;
    dropEntries(first, count);
    emit entryChanged(m_notKept);
}

QString TrafficLog::printable(const QByteArray &bytes)
{
    return printableBytes(bytes);
}

QString TrafficLog::counted(qint64 number)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(number);
}

QString TrafficLog::hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString TrafficLog::direction(TrafficEntry::Kind kind)
{
    switch (kind) {
    case Kind::Sent:
        return QStringLiteral("TX");
    case Kind::NotKept:
        return QStringLiteral("--");
    case Kind::Received:
    case Kind::Answer:
    case Kind::Discarded:
        break;
    }
    return QStringLiteral("RX");
}

QString TrafficLog::note(const TrafficEntry &entry)
{
    QString said;
    switch (entry.kind) {
    case Kind::Answer:
        said = QStringLiteral("answer to %1 after %2 ms").arg(entry.takenFor).arg(entry.responseMs);
        break;
    case Kind::Discarded:
        said = entry.byteCount > entry.bytes.size()
                   ? QStringLiteral("discarded, %1 bytes").arg(counted(entry.byteCount))
                   : QStringLiteral("discarded");
        break;
    case Kind::NotKept:
        return QStringLiteral("%1 entries of %2 bytes not kept")
            .arg(counted(entry.entries), counted(entry.byteCount));
    case Kind::Sent:
    case Kind::Received:
        break;
    }
    QString whose;
    switch (entry.source) {
    case TrafficEntry::Source::Session:
        return said;
    case TrafficEntry::Source::WeightStream:
        whose = QStringLiteral("weight stream");
        break;
    case TrafficEntry::Source::SettingsSearch:
        whose = QStringLiteral("finding settings");
        break;
    }
    return said.isEmpty() ? whose : whose + QStringLiteral(": ") + said;
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

QByteArray TrafficLog::text(bool asHex) const
{
    QByteArray text;
    for (const TrafficEntry &entry : m_entries)
        text += line(entry, asHex).toUtf8() + '\n';
    return text;
}
