#pragma once

#include "MSComm.h"

#include <QString>

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

// Turns the outcome of a failed open into a plain-words failure. `exists` and
// `accessible` are what the file system says about the device, and `group`
// the group that owns it; they tell "permission denied" from "busy", which
// the serial library reports alike.
enum class OpenErrorKind { NotFound, Permission, AlreadyOpen, Other };
OpenFailure describeOpenError(OpenErrorKind kind, const QString &device, bool exists,
                              bool accessible, const QString &group, const QString &libraryMessage);

// Looks the device up in the file system and calls describeOpenError().
OpenFailure describeOpenError(OpenErrorKind kind, const QString &device,
                              const QString &libraryMessage);

// "<device>: the connection ... (<system words>)": what to tell the operator
// when an open port's device goes away.
QString describeLostDevice(const QString &device, const QString &systemWords);
