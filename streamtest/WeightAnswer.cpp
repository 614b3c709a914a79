#include "WeightAnswer.h"

#include <algorithm>

WeightAnswer WeightAnswer::fromFrame(QByteArrayView frame)
{
    Q_ASSERT(frame.size() == kLength);
    WeightAnswer answer;
    answer.scaleStatus = frame.at(1);
    answer.grossNet = frame.at(3);
    answer.motion = frame.at(4);
    answer.weightField = frame.sliced(kWeightOffset, kWeightLength).toByteArray();
    answer.unitField = frame.sliced(kUnitOffset, kUnitLength).toByteArray();
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

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with at most one decimal point and at least one digit: "12", "0.5",
// ".5", "5.". QByteArray::toDouble() reads the point whatever the process
// locale is.
std::optional<double> readUnsignedDecimal(QByteArrayView text)
{
    bool sawDigit = false;
    bool sawPoint = false;
    for (const char c : text) {
        if (isDigit(c)) {
            sawDigit = true;
        } else if (c == '.' && !sawPoint) {
            sawPoint = true;
        } else {
            return std::nullopt;
        }
    }
    if (!sawDigit)
        return std::nullopt;
    bool ok = false;
    const double value = text.toByteArray().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

// Pounds and ounces as a scale set to "l/o" shows them: "8:08.5" is 8 lb
// 8.5 oz. Both parts start with a digit; only the ounces may have decimals.
std::optional<double> readPoundsOunces(QByteArrayView text)
{
    const qsizetype colon = text.indexOf(':');
    const QByteArrayView pounds = text.first(colon);
    const QByteArrayView ounces = text.sliced(colon + 1);
    if (pounds.isEmpty() || !std::all_of(pounds.begin(), pounds.end(), isDigit))
        return std::nullopt;
    if (ounces.isEmpty() || !isDigit(ounces.front()))
        return std::nullopt;
    const std::optional<double> ounceValue = readUnsignedDecimal(ounces);
    if (!ounceValue)
        return std::nullopt;
    return pounds.toByteArray().toDouble() + *ounceValue / 16.0;
}

} // namespace

std::optional<double> readWeightField(QByteArrayView field)
{
    // Only blanks may surround the number; a tab or a control character is
    // as foreign to a weight field as a letter.
    QByteArrayView text = field;
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    bool negative = false;
    if (!text.isEmpty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text = text.sliced(1);
    }
    const std::optional<double> magnitude =
        text.contains(':') ? readPoundsOunces(text) : readUnsignedDecimal(text);
    if (!magnitude)
        return std::nullopt;
    return negative ? -*magnitude : *magnitude;
}
