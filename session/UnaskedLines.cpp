#include "UnaskedLines.h"

#include <algorithm>

namespace {

bool isLineFeed(char c)
{
    return (c & 0x7f) == '\n';
}

bool isCarriageReturn(char c)
{
    return (c & 0x7f) == '\r';
}

// Longer than any line a scale sends: what piles up beyond it is noise.
constexpr qsizetype kLongestLine = 256;

} // namespace

std::optional<FoundLine> findLine(const QByteArray &bytes, qsizetype from)
{
    for (qsizetype lf = from; lf < bytes.size(); ++lf) {
        if (!isLineFeed(bytes.at(lf)))
            continue;
        qsizetype end = lf + 1;
        while (end < bytes.size() && !isLineFeed(bytes.at(end)) && !isCarriageReturn(bytes.at(end)))
            ++end;
        if (end >= bytes.size() || !isCarriageReturn(bytes.at(end)) || end == lf + 1)
            continue;
        const auto text = QByteArrayView(bytes).sliced(lf + 1, end - lf - 1);
        const bool printable = std::all_of(text.cbegin(), text.cend(), [](char c) {
            const int low = c & 0x7f;
            return low >= 0x20 && low < 0x7f;
        });
        if (printable)
            return FoundLine{lf, bytes.mid(lf, end - lf + 1)};
    }
    return std::nullopt;
}

void UnaskedLines::clear()
{
    m_pending.clear();
    m_count = 0;
    m_first.clear();
    m_firstMs = m_lastMs = 0;
    m_clock.start();
}

QList<QByteArray> UnaskedLines::take(const QByteArray &bytes)
{
    if (!m_clock.isValid())
        m_clock.start();
    m_pending += bytes;
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (const std::optional<FoundLine> line = findLine(m_pending, from)) {
        if (m_count == 0) {
            m_first = line->bytes;
            m_firstMs = m_clock.elapsed();
        }
        ++m_count;
        lines << line->bytes;
        m_lastMs = m_clock.elapsed();
        from = line->at + line->bytes.size();
    }
    // Keep only what may still become a line: from its last LF on.
    const qsizetype lastLf = std::max(m_pending.lastIndexOf('\n'), m_pending.lastIndexOf('\x8a'));
    if (lastLf < from)
        m_pending.clear();
    else
        m_pending.remove(0, lastLf);
    if (m_pending.size() > kLongestLine)
        m_pending.clear();
    return lines;
}

double UnaskedLines::perSecond() const
{
    if (m_count < 2 || m_lastMs <= m_firstMs)
        return 0.0;
    return (m_count - 1) * 1000.0 / double(m_lastMs - m_firstMs);
}
