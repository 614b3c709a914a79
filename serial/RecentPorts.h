#pragma once

#include <QString>
#include <QStringList>

// The network ports used last, so that a bench that checks its scales behind
// a device server finds them offered where the serial ports present are: in
// the window's Port box, in sma-check --list-ports and so in bash completion.
// Kept in the tester's settings, shared by the window and sma-check.
constexpr int kRecentNetworkPorts = 5;

// Newest first.
QStringList recentNetworkPorts();
// Puts `portText` first when it names a network port; the oldest beyond
// kRecentNetworkPorts goes.
void rememberNetworkPort(const QString &portText);

// `recent` with `port` put first, each port once, at most kRecentNetworkPorts.
QStringList withRecentPort(QStringList recent, const QString &port);
