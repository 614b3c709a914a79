#pragma once

#include <QByteArray>
#include <QList>

// Builds 20-character SMA weight answers for the tests:
//   LF, status, range, gross/net, motion, reserved, weight (10), unit (3), CR.
inline QByteArray weightAnswer(char status, char grossNet, char motion,
                               const QByteArray &weight = "     0.000",
                               const QByteArray &unit = "kg ")
{
    Q_ASSERT(weight.size() == 10 && unit.size() == 3);
    QByteArray frame;
    frame += '\n';
    frame += status;
    frame += '1'; // range
    frame += grossNet;
    frame += motion;
    frame += ' '; // reserved
    frame += weight;
    frame += unit;
    frame += '\r';
    return frame;
}

// A 20-character answer of blanks with `c` at `position` (counted from 1,
// 2 to 19): every flag character at every place it may or may not count.
inline QByteArray answerWithCharAt(int position, char c)
{
    QByteArray frame = '\n' + QByteArray(18, ' ') + '\r';
    frame[position - 1] = c;
    return frame;
}

// Answers that tick all five flags between them.
inline const QList<QByteArray> kAllFlags = {
    weightAnswer('Z', 'G', ' ', "     0.000"),
    weightAnswer(' ', 'g', 'M', "     1.500"),
    weightAnswer('O', 'G', ' ', "   ---.---"),
    weightAnswer(' ', 'N', ' ', "     1.500"),
};
