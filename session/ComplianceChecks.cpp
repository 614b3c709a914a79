#include "ComplianceChecks.h"

bool checkSmaLevel1(const QStringList &entries, const QStringList &results)
{
    // Each Level 1 command has its own weight; all five together give 31. The
    // weights are combined as bits so that a letter listed twice can never
    // stand in for a missing one.
    int sum = 0;
    for (int row = 0; row < entries.size(); ++row) {
        if (results.value(row) != QLatin1String("Passed"))
            continue;
        const QChar letter = entries.at(row).size() >= 5 ? entries.at(row).at(4) : QChar();
        switch (letter.unicode()) {
        case 'A':
            sum |= 1;
            break;
        case 'B':
            sum |= 2;
            break;
        case 'D':
            sum |= 4;
            break;
        case 'Z':
            sum |= 8;
            break;
        case 'W':
            sum |= 16;
            break;
        default:
            break;
        }
    }
    return sum == 31;
}

bool checkSmaLevel2(const QString &publishedCommands)
{
    return !publishedCommands.isEmpty();
}
