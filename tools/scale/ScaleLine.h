#pragma once

#include "LineSettings.h"

#include <QByteArray>

// What a host with an 8-bit receiver at the scale's baud rate reads when the
// scale sends `bytes` framed as `line`: with 8 data bits the bytes as they
// are; with 7 data bits each character's parity bit lands in bit 7 (even or
// odd), or its first stop bit does when there is no parity (always set).
QByteArray asReadAt8Bits(const QByteArray &bytes, const LineSettings &line);

// What a receiver set to another baud rate makes of `bytes`: as many bytes
// of noise, the same for the same input, with bit 7 following no pattern and
// never a LF or CR (with or without bit 7), so that no line ever forms.
QByteArray lineNoise(const QByteArray &bytes);
