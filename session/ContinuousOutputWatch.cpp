#include "ContinuousOutputWatch.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Enough lines to see a period in, and enough texts to know a repeat by.
constexpr qsizetype kRecentLines = 8;
constexpr qsizetype kKnownTexts = 16;

// R and S repeat the weight until the next command: their lines are asked for.
bool streamsByDesign(const QString &command)
{
    return command == QLatin1String("R") || command == QLatin1String("S");
}

// "?", "!" and the empty answer are what an honest scale says to many
// commands in a row; they tell nothing of who speaks.
bool saysWhoSpeaks(const QByteArray &text)
{
    return !text.isEmpty() && !text.contains('?') && text != "!";
}

QByteArray lineText(const QByteArray &line)
{
    return line.mid(1, line.size() - 2); // as found: LF, text, CR
}

template <typename T> void keepNewest(QList<T> &list, qsizetype most)
{
    if (list.size() > most)
        list.remove(0, list.size() - most);
}

} // namespace

bool ContinuousOutputWatch::asksNoWeight(const QString &command)
{
    return command.size() == 1 && QStringLiteral("ABIND").contains(command.at(0));
}

void ContinuousOutputWatch::clear()
{
    *this = ContinuousOutputWatch{};
    m_unasked.clear();
}

int ContinuousOutputWatch::heardUnasked(const QByteArray &bytes, qint64 ms)
{
    const QList<QByteArray> lines = m_unasked.take(bytes);
    if (streamsByDesign(m_command))
        return 0;
    for (const QByteArray &line : lines) {
        const QByteArray text = lineText(line);
        arrived(text, ms, -1);
        counted(line, ms);
        if (saysWhoSpeaks(text) && !m_heardTexts.contains(text)) {
            m_heardTexts << text;
            keepNewest(m_heardTexts, kKnownTexts);
        }
    }
    return int(lines.size());
}

void ContinuousOutputWatch::sent(const QString &command, qint64 ms)
{
    m_command = command;
    m_sentMs = ms;
    if (streamsByDesign(command))
        m_recent.clear(); // a period of R's or S's lines is theirs
}

ContinuousOutputWatch::Verdict ContinuousOutputWatch::answered(const QByteArray &answer, qint64 ms,
                                                               const QByteArray &after)
{
    if (streamsByDesign(m_command)) {
        m_unasked.take(after); // the rest of their stream, asked for
        m_answersFollowedByLines = 0;
        return Verdict::Answer;
    }
    arrived(answer, ms, ms - m_sentMs);
    const int evidence = evidenceIn(answer);
    const bool linesBehind = heardUnasked(after, ms) > 0;
    m_answersFollowedByLines = linesBehind ? m_answersFollowedByLines + 1 : 0;

    if (evidence > 0) {
        m_suspect << Arrival{answer, ms, ms - m_sentMs};
        m_evidence += evidence;
    }
    if (m_answersFollowedByLines >= 2 || m_evidence >= kEvidenceToStop) {
        for (const Arrival &line : std::as_const(m_suspect)) {
            counted("\n" + line.text + "\r", line.ms);
            m_ownTexts << line.text;
        }
        m_suspect.clear();
        return Verdict::TalksByItself;
    }
    if (evidence > 0)
        return Verdict::Suspect;
    // An answer: what was suspect before it was a late line, not a stream.
    m_suspect.clear();
    m_evidence = 0;
    return Verdict::Answer;
}

int ContinuousOutputWatch::evidenceIn(const QByteArray &answer) const
{
    int evidence = 0;
    if (asksNoWeight(m_command) && weightFrameFault(answer).isEmpty())
        ++evidence;
    if (saysWhoSpeaks(answer) && m_heardTexts.contains(answer))
        ++evidence;
    if (saysWhoSpeaks(answer) && repeatsOnItsOwnClock())
        ++evidence;
    return evidence;
}

// The newest lines are one text at a steady period, and the commands do not
// explain it: an honest scale that answers every command alike comes back
// after each one with about the same delay, so its period is that delay.
bool ContinuousOutputWatch::repeatsOnItsOwnClock() const
{
    if (m_recent.isEmpty())
        return false;
    qsizetype from = m_recent.size() - 1;
    while (from > 0 && m_recent.at(from - 1).text == m_recent.constLast().text)
        --from;
    const qsizetype lines = m_recent.size() - from;
    if (lines < 3)
        return false;
    const double period =
        double(m_recent.constLast().ms - m_recent.at(from).ms) / double(lines - 1);
    const double tolerance = std::max(20.0, period / 10);
    bool unasked = false;
    qint64 shortest = std::numeric_limits<qint64>::max();
    qint64 longest = 0;
    for (qsizetype i = from; i < m_recent.size(); ++i) {
        const Arrival &line = m_recent.at(i);
        if (i > from && std::abs(double(line.ms - m_recent.at(i - 1).ms) - period) > tolerance)
            return false;
        if (line.delay < 0) {
            unasked = true;
            continue;
        }
        shortest = std::min(shortest, line.delay);
        longest = std::max(longest, line.delay);
    }
    return unasked || double(longest - shortest) > period / 4;
}

void ContinuousOutputWatch::arrived(const QByteArray &text, qint64 ms, qint64 delay)
{
    m_recent << Arrival{text, ms, delay};
    keepNewest(m_recent, kRecentLines);
}

void ContinuousOutputWatch::counted(const QByteArray &line, qint64 ms)
{
    if (m_ownLines == 0) {
        m_first = line;
        m_firstMs = ms;
    }
    m_firstMs = std::min(m_firstMs, ms);
    m_lastMs = std::max(m_lastMs, ms);
    ++m_ownLines;
}

UnsolicitedOutput ContinuousOutputWatch::evidence() const
{
    const double perSecond = m_ownLines >= 2 && m_lastMs > m_firstMs
                                 ? (m_ownLines - 1) * 1000.0 / double(m_lastMs - m_firstMs)
                                 : 0.0;
    return UnsolicitedOutput{m_ownLines, m_first, perSecond};
}

bool ContinuousOutputWatch::isOwnTalk(const QByteArray &answer) const
{
    return saysWhoSpeaks(answer) && (m_ownTexts.contains(answer) || m_heardTexts.contains(answer));
}
