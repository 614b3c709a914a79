#include "PortName.h"

#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <cerrno>
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
                                        ", or tcp://HOST:PORT for a scale on the network");
    if (text.isEmpty())
        return {{}, invalid(text, QStringLiteral("no port is given; ") + hint)};

    if (isNetworkPortText(text)) {
        QString why;
        if (const std::optional<NetworkPort> network = parseNetworkPort(text, &why))
            return {network->text(), {}};
        return {{}, invalid(text, why)};
    }

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

QString NetworkPort::hostAndPort() const
{
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

QString NetworkPort::text() const
{
    return (kind == Kind::Raw ? QStringLiteral("tcp://") : QStringLiteral("rfc2217://")) +
           hostAndPort();
}

bool isNetworkPortText(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^\\s*[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(text).hasMatch();
}

std::optional<NetworkPort> parseNetworkPort(const QString &rawText, QString *why)
{
    const auto fail = [why](const QString &reason) -> std::optional<NetworkPort> {
        if (why)
            *why = reason + QStringLiteral("; type tcp://HOST:PORT for a raw TCP port or "
                                           "rfc2217://HOST:PORT for a Telnet port with RFC 2217, "
                                           "for example rfc2217://192.168.1.50:7000");
        return std::nullopt;
    };
    const QString text = rawText.trimmed();
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0)
        return fail(QStringLiteral("this names no network port"));
    const QString scheme = text.left(schemeEnd).toLower();
    NetworkPort port;
    if (scheme == QLatin1String("tcp"))
        port.kind = NetworkPort::Kind::Raw;
    else if (scheme == QLatin1String("rfc2217"))
        port.kind = NetworkPort::Kind::Rfc2217;
    else
        return fail(QStringLiteral("the tester knows no \"%1://\" ports").arg(scheme));

    // HOST:PORT, HOST being [IPv6] or a name or IPv4 address without colons.
    static const QRegularExpression address(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})/?$"));
    const QRegularExpressionMatch match = address.match(text.mid(schemeEnd + 3));
    if (!match.hasMatch())
        return fail(QStringLiteral("this names no host and port"));
    port.host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const int number = match.captured(3).toInt();
    if (number < 1 || number > 65535)
        return fail(QStringLiteral("%1 is no TCP port number (1 to 65535)").arg(number));
    port.port = quint16(number);
    return port;
}

bool portTakesLineSettings(const QString &portText)
{
    const std::optional<NetworkPort> network = parseNetworkPort(portText);
    return !network || network->kind != NetworkPort::Kind::Raw;
}

namespace {

// The system's words, in parentheses after the plain ones.
QString withSystemWords(const QString &plain, const QString &systemWords)
{
    return systemWords.isEmpty() ? plain : QStringLiteral("%1 (%2)").arg(plain, systemWords);
}

// What a path that can't be a serial port is, or nothing when it could be.
QString nonSerialNode(DeviceNode node)
{
    switch (node) {
    case DeviceNode::File:
        return QStringLiteral("a file");
    case DeviceNode::Folder:
        return QStringLiteral("a folder");
    case DeviceNode::Pipe:
        return QStringLiteral("a pipe");
    case DeviceNode::Socket:
        return QStringLiteral("a socket");
    case DeviceNode::BlockDevice:
        return QStringLiteral("a storage device");
    case DeviceNode::Missing:
    case DeviceNode::CharacterDevice:
        break;
    }
    return {};
}

} // namespace

OpenFailure describeOpenError(OpenErrorKind kind, const QString &device, DeviceNode node,
                              bool accessible, const QString &group, const QString &libraryMessage)
{
    const QString checkPort = QStringLiteral("check the port number, and that the scale's cable "
                                             "or USB adapter is plugged in.");
    const QString noDevice =
        QStringLiteral("no such device. Nothing answers at this port: ") + checkPort;
    // Whatever the library made of it, a file, a folder or a pipe is no port.
    if (const QString what = nonSerialNode(node); !what.isEmpty())
        return {OpenFailure::InvalidPort, device,
                withSystemWords(QStringLiteral("this is %1, not a serial port. Type the port "
                                               "the scale is connected to.")
                                    .arg(what),
                                libraryMessage)};
    const bool exists = node != DeviceNode::Missing;
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
    case OpenErrorKind::NotATerminal:
        return {OpenFailure::InvalidPort, device,
                withSystemWords(QStringLiteral("this is a device that is not a serial port. Type "
                                               "the port the scale is connected to."),
                                libraryMessage)};
    case OpenErrorKind::NoDevice:
        return {OpenFailure::NoSuchDevice, device,
                withSystemWords(QStringLiteral("no device answers there: ") + checkPort,
                                libraryMessage)};
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
    const QFileInfo info(device);
    DeviceNode node = !info.exists()  ? DeviceNode::Missing
                      : info.isDir()  ? DeviceNode::Folder
                      : info.isFile() ? DeviceNode::File
                                      : DeviceNode::CharacterDevice;
    bool accessible = true;
    QString group;
#ifdef Q_OS_UNIX
    if (node != DeviceNode::Missing) {
        const QByteArray path = device.toLocal8Bit();
        accessible = ::access(path.constData(), R_OK | W_OK) == 0;
        struct stat status = {};
        if (::stat(path.constData(), &status) == 0) {
            if (const struct group *owner = ::getgrgid(status.st_gid))
                group = QString::fromLocal8Bit(owner->gr_name);
            if (S_ISFIFO(status.st_mode))
                node = DeviceNode::Pipe;
            else if (S_ISSOCK(status.st_mode))
                node = DeviceNode::Socket;
            else if (S_ISBLK(status.st_mode))
                node = DeviceNode::BlockDevice;
        }
    }
    // The library reports these alike; its wording, which is the system's
    // text for the error number, tells them apart.
    if (kind == OpenErrorKind::Other) {
        if (libraryMessage == qt_error_string(ENOTTY))
            kind = OpenErrorKind::NotATerminal;
        else if (libraryMessage == qt_error_string(ENXIO))
            kind = OpenErrorKind::NoDevice;
    }
#endif
    return describeOpenError(kind, device, node, accessible, group, libraryMessage);
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
