#include "AnswerBuffer.h"

std::optional<QByteArray> takeAnswer(QByteArray &buffer)
{
    for (;;) {
        const qsizetype cr = buffer.indexOf('\r');
        if (cr < 0)
            return std::nullopt;
        // The LF nearest the CR starts the frame: an answer never holds a LF.
        const qsizetype lf = buffer.lastIndexOf('\n', cr);
        if (lf < 0) {
            // A CR with no LF before it ends no answer: it is noise before
            // the next frame, such as the end of a line sent as text CR LF.
            buffer.remove(0, cr + 1);
            continue;
        }
        QByteArray answer = buffer.mid(lf + 1, cr - lf - 1);
        buffer.remove(0, cr + 1);
        return answer;
    }
}

bool answerPasses(const QByteArray &answer)
{
    return !answer.contains('?');
}

void limitUnansweredBuffer(QByteArray &buffer, qsizetype limit)
{
    if (buffer.size() <= limit)
        return;
    const qsizetype lastLf = buffer.lastIndexOf('\n');
    if (lastLf >= 0 && buffer.size() - lastLf <= limit)
        buffer.remove(0, lastLf);
    else
        buffer.clear();
}
