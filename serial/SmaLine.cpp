#include "SmaLine.h"

#include "PortName.h"

OpenFailure openSmaPort(MSComm &port, const QString &portText, const LineSettings &settings)
{
    const PortName name = resolvePortName(portText);
    if (!name.ok())
        return name.failure;
    port.setCommPort(name.device);
    port.setSettings(settings.portSettings());
    return reopenSmaPort(port);
}

OpenFailure reopenSmaPort(MSComm &port)
{
    port.setRThreshold(0);
    port.setSThreshold(0);
    port.setPortOpen(true);
    if (!port.portOpen()) {
        OpenFailure failure = port.openFailure();
        if (!failure.failed())
            failure = {OpenFailure::Other, port.commPort(),
                       QStringLiteral("the port did not open.")};
        return failure;
    }
    port.input(); // whatever waited belongs to no command of ours
    return {};
}
