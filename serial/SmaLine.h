#pragma once

#include <QByteArray>
#include <QString>

// How SMA scales are spoken to, for every window that opens a port.

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
