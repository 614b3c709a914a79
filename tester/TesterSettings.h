#pragma once

#include <QSettings>

// What the tester window remembers between runs (the line settings, the
// database), in one place for every window of the tester.
inline QSettings testerSettings()
{
    return QSettings(QStringLiteral("SMA Compliance Tester"), QStringLiteral("sma-tester"));
}
