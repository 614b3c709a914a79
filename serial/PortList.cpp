#include "PortList.h"

#include "RecentPorts.h"

#include <QSerialPortInfo>

#include <algorithm>

QString PresentPort::summary() const
{
    QStringList known;
    for (const QString &part : {description, manufacturer}) {
        if (!part.isEmpty() && !known.contains(part))
            known << part;
    }
    if (!usbId.isEmpty())
        known << QStringLiteral("USB ") + usbId;
    if (known.isEmpty())
        return location;
    return location + QStringLiteral("  ") + known.join(QStringLiteral(", "));
}

QList<PresentPort> presentPorts()
{
    QList<PresentPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PresentPort port;
        port.location = info.systemLocation();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            port.usbId = QStringLiteral("%1:%2")
                             .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                             .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        ports << port;
    }
    std::sort(ports.begin(), ports.end(),
              [](const PresentPort &a, const PresentPort &b) { return a.location < b.location; });
    return ports;
}

QList<PresentPort> portsToOffer()
{
    QList<PresentPort> ports = presentPorts();
    for (const QString &port : recentNetworkPorts())
        ports << PresentPort{port, QStringLiteral("network port used lately"), {}, {}};
    return ports;
}
