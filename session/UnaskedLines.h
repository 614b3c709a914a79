#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <optional>

// The first line in `bytes` from `from` on: LF, printable text, CR, read with
// bit 7 ignored so that a line framed with a parity bit counts as well.
// Returns where it starts and its bytes as they came.
struct FoundLine
{
    qsizetype at = -1;
    QByteArray bytes;
};
std::optional<FoundLine> findLine(const QByteArray &bytes, qsizetype from = 0);

// Complete lines a scale sent while nobody asked for them: their count, the
// first of them and how fast they came. A scale that keeps sending them has
// its serial output set to continuous and cannot be judged.
class UnaskedLines
{
public:
    // Forgets every line; the clock starts again.
    void clear();
    // Takes bytes that arrived while no command waited for them and returns
    // the lines they completed, as they came. A line may come in pieces.
    QList<QByteArray> take(const QByteArray &bytes);
    // What comes next does not continue a line begun so far: the rest of it
    // went elsewhere (a command was sent meanwhile).
    void breakOff() { m_pending.clear(); }

    int count() const { return m_count; }
    const QByteArray &first() const { return m_first; }
    // Lines a second from the first to the last; 0 with fewer than two.
    double perSecond() const;

private:
    QByteArray m_pending; // the start of a line whose CR has not come yet
    int m_count = 0;
    QByteArray m_first;
    QElapsedTimer m_clock;
    qint64 m_firstMs = 0;
    qint64 m_lastMs = 0;
};
