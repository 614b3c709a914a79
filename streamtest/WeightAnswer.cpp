#include "WeightAnswer.h"

WeightAnswer WeightAnswer::fromFrame(QByteArrayView frame)
{
    Q_ASSERT(frame.size() == kLength);
    WeightAnswer answer;
    answer.scaleStatus = frame.at(1);
    answer.grossNet = frame.at(3);
    answer.motion = frame.at(4);
    answer.weightField = frame.sliced(kWeightOffset, kWeightLength).toByteArray();
    return answer;
}

bool WeightAnswer::weightReadsZero() const
{
    // Dashes mean the scale has no weight to show yet; the tare test waits.
    if (weightField.contains("---"))
        return false;
    const std::optional<double> weight = readWeightField(weightField);
    return weight && *weight == 0.0;
}

std::optional<double> readWeightField(QByteArrayView field)
{
    // Only blanks may surround the number; a tab or a control character is
    // as foreign to a weight field as a letter.
    QByteArrayView text = field;
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    qsizetype pos = 0;
    if (pos < text.size() && (text.at(pos) == '+' || text.at(pos) == '-'))
        ++pos;
    bool sawDigit = false;
    bool sawPoint = false;
    for (; pos < text.size(); ++pos) {
        const char c = text.at(pos);
        if (c >= '0' && c <= '9') {
            sawDigit = true;
        } else if (c == '.' && !sawPoint) {
            sawPoint = true;
        } else {
            return std::nullopt;
        }
    }
    if (!sawDigit)
        return std::nullopt;
    // QByteArray::toDouble() reads the point whatever the process locale is.
    bool ok = false;
    const double value = text.toByteArray().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}
