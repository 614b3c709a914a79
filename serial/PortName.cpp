#include "PortName.h"

#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int kHighestPortNumber = 32767; // the port number is a 16-bit signed value

QString numberedPort(int number)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

OpenFailure invalid(const QString &text, const QString &reason)
{
    return {OpenFailure::InvalidPort, text.isEmpty() ? QStringLiteral("Port") : text, reason};
}

} // namespace

PortName resolvePortName(const QString &rawText)
{
    const QString text = rawText.trimmed();
    const QString hint = QStringLiteral("type a port number such as 1, or a device such as "
#ifdef Q_OS_WIN
                                        "COM3"
#else
                                        "/dev/ttyUSB0"
#endif
    );
    if (text.isEmpty())
        return {{}, invalid(text, QStringLiteral("no port is given; ") + hint)};

    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    if (number.match(text).hasMatch()) {
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        if (!ok || value < 1 || value > kHighestPortNumber)
            return {{},
                    invalid(text, QStringLiteral("this is not a port number (ports are numbered "
                                                 "1 to %1); ")
                                          .arg(kHighestPortNumber) +
                                      hint)};
        return {numberedPort(int(value)), {}};
    }

    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([0-9]+)$"));
    if (const auto match = comName.match(text); match.hasMatch()) {
        bool ok = false;
        const int value = match.captured(1).toInt(&ok);
        if (!ok || value < 1 || value > kHighestPortNumber)
            return {{}, invalid(text, QStringLiteral("this names no serial port; ") + hint)};
#ifdef Q_OS_WIN
        return {text.toUpper(), {}};
#else
        return {numberedPort(value), {}};
#endif
    }

    if (text.startsWith(QLatin1Char('/')))
        return {text, {}};

    // Device names end in their unit number: ttyUSB0, ttyACM1, rfcomm0, ...
    static const QRegularExpression deviceName(QStringLiteral("^[A-Za-z][A-Za-z0-9._-]*[0-9]$"));
    if (deviceName.match(text).hasMatch()) {
#ifdef Q_OS_WIN
        return {text, {}};
#else
        return {QStringLiteral("/dev/") + text, {}};
#endif
    }
    return {{}, invalid(text, QStringLiteral("this names no serial port; ") + hint)};
}

OpenFailure describeOpenError(OpenErrorKind kind, const QString &device, bool exists,
                              bool accessible, const QString &group, const QString &libraryMessage)
{
    const QString noDevice = QStringLiteral(
        "no such device. Nothing answers at this port: check the port number, and that the "
        "scale's cable or USB adapter is plugged in.");
    switch (kind) {
    case OpenErrorKind::NotFound:
        return {OpenFailure::NoSuchDevice, device, noDevice};
    case OpenErrorKind::Permission:
        if (!exists)
            return {OpenFailure::NoSuchDevice, device, noDevice};
        if (!accessible) {
            const QString groupName = group.isEmpty() ? QStringLiteral("dialout") : group;
            return {OpenFailure::PermissionDenied, device,
                    QStringLiteral("permission denied. Your user may not use this device: it "
                                   "must be in the group \"%1\" that owns it (for example "
                                   "sudo usermod -aG %1 $USER), then log in again.")
                        .arg(groupName)};
        }
        return {OpenFailure::Busy, device,
                QStringLiteral("the port is busy: it is in use by another program. Close that "
                               "program and press Start again.")};
    case OpenErrorKind::AlreadyOpen:
        return {OpenFailure::Busy, device,
                QStringLiteral("the port is busy: it is already open in this program.")};
    case OpenErrorKind::Other:
        break;
    }
    return {OpenFailure::Other, device,
            libraryMessage.isEmpty() ? QStringLiteral("the port could not be opened.")
                                     : libraryMessage};
}

OpenFailure describeOpenError(OpenErrorKind kind, const QString &device,
                              const QString &libraryMessage)
{
    const bool exists = QFileInfo::exists(device);
    bool accessible = true;
    QString group;
#ifdef Q_OS_UNIX
    if (exists) {
        const QByteArray path = device.toLocal8Bit();
        accessible = ::access(path.constData(), R_OK | W_OK) == 0;
        struct stat info = {};
        if (::stat(path.constData(), &info) == 0) {
            if (const struct group *owner = ::getgrgid(info.st_gid))
                group = QString::fromLocal8Bit(owner->gr_name);
        }
    }
#endif
    return describeOpenError(kind, device, exists, accessible, group, libraryMessage);
}

QString describeLostDevice(const QString &device, const QString &systemWords)
{
    QString text = QStringLiteral("%1: the connection to the scale was lost: the device was "
                                  "unplugged or stopped working.")
                       .arg(device);
    if (!systemWords.isEmpty())
        text += QStringLiteral(" (%1)").arg(systemWords);
    return text;
}
