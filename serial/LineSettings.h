#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// How bytes are framed on a serial line: baud rate, data bits, parity and
// stop bits. SMA scales speak 9600,8,N,1, but scales and indicators leave the
// factory at other settings too, and finding the scale's own is the first
// thing at a new bench.
struct LineSettings
{
    enum class Parity { None, Even, Odd };

    int baud = 9600;
    int dataBits = 8; // 7 or 8
    Parity parity = Parity::None;
    int stopBits = 1; // 1 or 2

    bool operator==(const LineSettings &) const = default;

    // 9600,8,N,1: what the tester uses unless told otherwise.
    bool isDefault() const { return *this == LineSettings{}; }

    // "9600,8,N,1": baud, data bits, parity (N, E or O), stop bits.
    QString text() const;
    // The same in the order the serial port takes it: "9600,n,8,1".
    QString portSettings() const;
    // Reads the form text() writes; blanks around the fields and a lower-case
    // parity letter are fine. Nothing for anything that is not one of the
    // baud rates, data bits, parities and stop bits offered.
    static std::optional<LineSettings> parse(const QString &text);
    // The settings the serial port's own text (portSettings()) names.
    static std::optional<LineSettings> fromPortSettings(const QString &settings);

    // What a receiver set this way delivers of the bytes on the line: with 7
    // data bits only the low 7 bits of each byte, as a 7-bit UART reads them.
    QByteArray received(QByteArray bytes) const;

    // The baud rates offered, slowest first.
    static const QList<int> &baudRates();
};

// What bit 7 of bytes read by an 8-bit receiver says about a sender that
// frames its characters otherwise. A 7-bit sender's parity bit, or its first
// stop bit, lands in bit 7.
enum class Bit7Pattern {
    TooFew,     // not enough bytes to tell
    NeverSet,   // plain 8-bit bytes (or 7-bit ASCII): 8,N,1 reads them
    EvenParity, // bit 7 is the even parity of the low 7 bits: 7,E,1
    OddParity,  // bit 7 is the odd parity of the low 7 bits: 7,O,1
    AlwaysSet,  // bit 7 is always set, a stop bit or mark parity: 7,N,2
    Mixed,      // none of these: the bytes look like another baud rate
};

// Reads the pattern of bit 7 across `bytes` (at least four are needed).
Bit7Pattern readBit7(const QByteArray &bytes);

// The data bits, parity and stop bits that `pattern` suggests, at `baud`.
// Nothing for TooFew and Mixed.
std::optional<LineSettings> settingsForBit7(Bit7Pattern pattern, int baud);

// What `pattern` suggests, in words for the operator: "bit 7 carries even
// parity: the scale seems set to 7 data bits, even parity (7,E,1)".
QString describeBit7(Bit7Pattern pattern);
