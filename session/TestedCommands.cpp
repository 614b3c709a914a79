#include "TestedCommands.h"

#include "CommandText.h"

TestedCommandChange addTestedCommand(const QStringList &entries, const QString &command)
{
    TestedCommandChange change;
    change.entry = printableForm(command);
    const bool newHasData = change.entry.size() > kPlainEntryLength;
    const QString letter = command.left(1);
    for (int row = 0; row < entries.size(); ++row) {
        const QString &entry = entries.at(row);
        if (newHasData && entry.size() > kPlainEntryLength && !letter.isEmpty() &&
            entry.contains(letter)) {
            change.removedRow = row;
            break;
        }
        if (entry == change.entry)
            return change; // already listed: nothing changes
    }
    change.append = true;
    return change;
}
