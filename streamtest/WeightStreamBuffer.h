#pragma once

#include "WeightAnswer.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Collects what the scale sends in reply to the weight requests and takes one
// weight answer at a time from it.
//
// The buffer only ever holds text that starts with LF: a chunk that arrives
// while the buffer is empty and does not start with LF is dropped whole, which
// resynchronises on the next chunk that starts an answer. An answer is taken
// when the first CR stands exactly 19 characters after the leading LF; the
// whole buffer goes with it, including anything after that CR. Text that
// never forms such an answer piles up until it passes kLimit, which means the
// device is not sending weight answers at all.
class WeightStreamBuffer
{
public:
    // Distance from the leading LF to the first CR in an answer.
    static constexpr qsizetype kAnswerFrameLength = WeightAnswer::kLength - 1;
    // The most the buffer may hold between chunks.
    static constexpr qsizetype kLimit = 40;

    struct Result
    {
        std::optional<WeightAnswer> answer; // the answer this chunk completed
        bool overflowed = false;            // more than kLimit without an answer
    };

    // Appends one received chunk and applies the rules above. When the buffer
    // overflows it is emptied as well, so it never holds more than kLimit
    // characters after a call.
    Result receive(QByteArrayView chunk);

    const QByteArray &pending() const { return m_pending; }
    void clear() { m_pending.clear(); }

private:
    QByteArray m_pending;
};
