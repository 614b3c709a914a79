#include "MSComm.h"

QString OpenFailure::describe() const
{
    if (port.isEmpty())
        return reason;
    return QStringLiteral("%1: %2").arg(port, reason);
}
