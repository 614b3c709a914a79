#pragma once

#include <QString>
#include <QStringList>

// What listing a sent command does to the list of tested commands.
struct TestedCommandChange
{
    int removedRow = -1; // entry (and its result) to drop first, or -1
    bool append = false; // whether `entry` is appended at the end
    QString entry;       // the command's printable form
};

// A one-letter command is listed once and keeps its place. A command with
// data replaces the first earlier entry with data that contains its command
// letter anywhere (the "<LF>"/"<CR>" markers included, so a command starting
// with L, F, C or R replaces any entry with data) and goes to the end; the
// replacement test comes before the equality test, so resending the same
// command with data moves it to the end too.
TestedCommandChange addTestedCommand(const QStringList &entries, const QString &command);
