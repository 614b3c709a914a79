#include "RecentPorts.h"

#include "PortName.h"

#include <QSettings>

namespace {

const QString kRecentKey = QStringLiteral("recentNetworkPorts");

// The tester window's settings file, which sma-check shares.
QSettings settings()
{
    return QSettings(QStringLiteral("SMA Compliance Tester"), QStringLiteral("sma-tester"));
}

} // namespace

QStringList recentNetworkPorts()
{
    return settings().value(kRecentKey).toStringList().mid(0, kRecentNetworkPorts);
}

void rememberNetworkPort(const QString &portText)
{
    const std::optional<NetworkPort> port = parseNetworkPort(portText);
    if (!port)
        return;
    const QStringList before = recentNetworkPorts();
    const QStringList after = withRecentPort(before, port->text());
    if (after != before)
        settings().setValue(kRecentKey, after);
}

QStringList withRecentPort(QStringList recent, const QString &port)
{
    recent.removeAll(port);
    recent.prepend(port);
    return recent.mid(0, kRecentNetworkPorts);
}
