#include "WeightStreamBuffer.h"

namespace {

constexpr char kLf = '\n';
constexpr char kCr = '\r';

// Position of the first CR minus position of the first LF, counting from 1
// and taking 0 for a character that is missing.
qsizetype frameLength(const QByteArray &text)
{
    const qsizetype lf = text.indexOf(kLf) + 1;
    const qsizetype cr = text.indexOf(kCr) + 1;
    return cr - lf;
}

} // namespace

WeightStreamBuffer::Result WeightStreamBuffer::receive(QByteArrayView chunk)
{
    Result result;
    m_pending.append(chunk);
    if (m_pending.isEmpty() || m_pending.front() != kLf)
        m_pending.clear();

    if (frameLength(m_pending) == kAnswerFrameLength) {
        result.answer =
            WeightAnswer::fromFrame(QByteArrayView(m_pending).first(WeightAnswer::kLength));
        m_pending.clear();
    }

    if (m_pending.size() > kLimit) {
        result.overflowed = true;
        m_pending.clear();
    }
    return result;
}
