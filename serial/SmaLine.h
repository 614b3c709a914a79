#pragma once

#include "LineSettings.h"
#include "MSComm.h"

#include <QByteArray>
#include <QString>

// How SMA scales are spoken to, for everything that opens a port.

// A command on the wire: LF, the command, CR, one byte per character.
inline QByteArray frameCommand(const QString &command)
{
    return '\n' + command.toLatin1() + '\r';
}

// Opens `port` on the device that `portText` names (a number, COMn, a device
// name or a path) at `settings` (9600,8,N,1 unless the operator chose
// otherwise), with receive notifications held back
// (thresholds 0), and throws away whatever was waiting. The caller raises
// the thresholds once it wants answers. Returns why it did not open, if it
// did not; nothing is attempted when the text names no port.
OpenFailure openSmaPort(MSComm &port, const QString &portText, const LineSettings &settings = {});

// The same for a port whose device and settings were set by an earlier
// opening: they are used again as they stand.
OpenFailure reopenSmaPort(MSComm &port);
