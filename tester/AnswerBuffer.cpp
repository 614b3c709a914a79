#include "AnswerBuffer.h"

std::optional<QByteArray> takeAnswer(QByteArray &buffer)
{
    const qsizetype lf = buffer.indexOf('\n');
    const qsizetype cr = buffer.indexOf('\r');
    if (lf < 0 || cr < 0)
        return std::nullopt;
    if (cr >= lf + 2) {
        QByteArray answer = buffer.mid(lf + 1, cr - lf - 1);
        buffer.remove(0, cr + 1);
        return answer;
    }
    buffer.clear();
    return QByteArray();
}

bool answerPasses(const QByteArray &answer)
{
    return !answer.contains('?');
}

const char *resultText(bool passed)
{
    return passed ? "Passed" : "Failed";
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
