#pragma once

#include "MSComm.h"

#include <QString>

#include <optional>

// The device a `Port` text names. A whole number N is the platform's Nth
// serial port (COMN on Windows, /dev/ttyS<N-1> elsewhere); "COMN" is read the
// same way; a path or a device name such as ttyUSB0 is taken as it stands.
// Anything else (empty text, plain words, a number outside 1..32767) names no
// port, and `failure` says so.
struct PortName
{
    QString device;
    OpenFailure failure;

    bool ok() const { return !failure.failed(); }
};

PortName resolvePortName(const QString &text);

// A scale behind a serial device server (ser2net, a serial-to-Ethernet box):
// "tcp://HOST:PORT" is a raw socket that carries the scale's bytes at the
// server's own line settings; "rfc2217://HOST:PORT" is a Telnet port with
// RFC 2217 Com Port Control, which takes the line settings from the tester.
// HOST is a name, an IPv4 address or an IPv6 address in brackets.
struct NetworkPort
{
    enum class Kind { Raw, Rfc2217 };
    Kind kind = Kind::Raw;
    QString host;
    quint16 port = 0;

    // "127.0.0.1:7000", "[::1]:7000": where the messages say it failed.
    QString hostAndPort() const;
    // "tcp://127.0.0.1:7000": the device name the port is opened with.
    QString text() const;
};

// Whether `text` is written as a network port at all ("scheme://...").
bool isNetworkPortText(const QString &text);
// The network port `text` names; nothing when it names none, `why` then
// saying what is wrong with it.
std::optional<NetworkPort> parseNetworkPort(const QString &text, QString *why = nullptr);
// False for a raw TCP port: its line settings are the device server's, which
// the tester can neither set nor know.
bool portTakesLineSettings(const QString &portText);

// Why an open failed, as far as the serial library tells it apart.
// NotATerminal: the path opened but takes no line settings (the system says
// "Inappropriate ioctl for device"); NoDevice: the device node is there but
// no device answers behind it ("No such device or address").
enum class OpenErrorKind { NotFound, Permission, AlreadyOpen, NotATerminal, NoDevice, Other };

// What the file system holds at a device's path.
enum class DeviceNode { Missing, CharacterDevice, File, Folder, Pipe, Socket, BlockDevice };

// Turns the outcome of a failed open into a plain-words failure. `node` and
// `accessible` are what the file system says about the device, and `group`
// the group that owns it; they tell "permission denied" from "busy", which
// the serial library reports alike, and a path that is no serial port at all
// from one that is. `libraryMessage` is the system's own wording; where the
// plain words replace it, it follows them in parentheses.
OpenFailure describeOpenError(OpenErrorKind kind, const QString &device, DeviceNode node,
                              bool accessible, const QString &group, const QString &libraryMessage);

// Looks the device up in the file system, tells NotATerminal and NoDevice
// from other failures by the system's words, and calls describeOpenError().
OpenFailure describeOpenError(OpenErrorKind kind, const QString &device,
                              const QString &libraryMessage);

// "<device>: the connection ... (<system words>)": what to tell the operator
// when an open port's device goes away.
QString describeLostDevice(const QString &device, const QString &systemWords);
