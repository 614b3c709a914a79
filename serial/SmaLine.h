#pragma once

#include "MSComm.h"

#include <QByteArray>
#include <QString>

// How SMA scales are spoken to, for everything that opens a port.

// 9600 baud, no parity, 8 data bits, 1 stop bit.
inline QString smaLineSettings()
{
    return QStringLiteral("9600,n,8,1");
}

// A command on the wire: LF, the command, CR, one byte per character.
inline QByteArray frameCommand(const QString &command)
{
    return '\n' + command.toLatin1() + '\r';
}

// Opens `port` on the device that `portText` names (a number, COMn, a device
// name or a path) at 9600,8,N,1, with receive notifications held back
// (thresholds 0), and throws away whatever was waiting. The caller raises
// the thresholds once it wants answers. Returns why it did not open, if it
// did not; nothing is attempted when the text names no port.
OpenFailure openSmaPort(MSComm &port, const QString &portText);

// The same for a port whose device and settings were set by an earlier
// opening: they are used again as they stand.
OpenFailure reopenSmaPort(MSComm &port);
