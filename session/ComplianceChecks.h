#pragma once

#include <QString>
#include <QStringList>

// SMA Level 1: "A", "B", "D", "Z" and "W" each have an entry whose current
// result reads "Passed". Only the first letter of each command counts (the
// 5th character of its entry); `results` may be shorter than `entries`.
bool checkSmaLevel1(const QStringList &entries, const QStringList &results);

// SMA Level 2: the scale published a command list (any text, blanks included).
bool checkSmaLevel2(const QString &publishedCommands);
