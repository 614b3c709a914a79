#include "CupsStatus.h"

#include <QLibrary>

namespace CupsStatus {

QString lastRequestError()
{
    // Resolved at run time: Qt's print plugin has loaded libcups already when
    // it printed through CUPS, and the build needs no CUPS headers.
    QLibrary cups(QStringLiteral("cups"), 2);
    using LastError = int (*)();
    using LastErrorString = const char *(*)();
    const auto lastError = reinterpret_cast<LastError>(cups.resolve("cupsLastError"));
    const auto lastErrorString =
        reinterpret_cast<LastErrorString>(cups.resolve("cupsLastErrorString"));
    if (!lastError || !lastErrorString)
        return {};

    // IPP status codes from 0x0400 on are errors; below are successes.
    constexpr int FirstErrorStatus = 0x0400;
    if (lastError() < FirstErrorStatus)
        return {};
    const QString text = QString::fromUtf8(lastErrorString());
    return text.isEmpty()
               ? QStringLiteral("CUPS error 0x%1").arg(lastError(), 4, 16, QLatin1Char('0'))
               : text;
}

} // namespace CupsStatus
