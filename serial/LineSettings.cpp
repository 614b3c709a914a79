#include "LineSettings.h"

#include <QStringList>

#include <bit>

namespace {

QChar parityLetter(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::Even:
        return QLatin1Char('E');
    case LineSettings::Parity::Odd:
        return QLatin1Char('O');
    case LineSettings::Parity::None:
        break;
    }
    return QLatin1Char('N');
}

std::optional<LineSettings::Parity> parityFromLetter(const QString &letter)
{
    const QString upper = letter.toUpper();
    if (upper == QLatin1String("N"))
        return LineSettings::Parity::None;
    if (upper == QLatin1String("E"))
        return LineSettings::Parity::Even;
    if (upper == QLatin1String("O"))
        return LineSettings::Parity::Odd;
    return std::nullopt;
}

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<LineSettings> settingsOf(const QString &baud, const QString &dataBits,
                                       const QString &parity, const QString &stopBits)
{
    const std::optional<int> rate = wholeNumber(baud);
    const std::optional<int> data = wholeNumber(dataBits);
    const std::optional<LineSettings::Parity> check = parityFromLetter(parity);
    const std::optional<int> stop = wholeNumber(stopBits);
    if (!rate || !LineSettings::baudRates().contains(*rate) || !data ||
        (*data != 7 && *data != 8) || !check || !stop || (*stop != 1 && *stop != 2))
        return std::nullopt;
    return LineSettings{*rate, *data, *check, *stop};
}

QStringList fields(const QString &text)
{
    QStringList parts = text.split(QLatin1Char(','));
    for (QString &part : parts)
        part = part.trimmed();
    return parts;
}

bool evenParityBit(unsigned char byte)
{
    return std::popcount(static_cast<unsigned>(byte & 0x7f)) % 2 == 1;
}

} // namespace

QString LineSettings::text() const
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(dataBits)
        .arg(parityLetter(parity))
        .arg(stopBits);
}

QString LineSettings::portSettings() const
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(parityLetter(parity).toLower())
        .arg(dataBits)
        .arg(stopBits);
}

std::optional<LineSettings> LineSettings::parse(const QString &text)
{
    const QStringList parts = fields(text);
    if (parts.size() != 4)
        return std::nullopt;
    return settingsOf(parts.at(0), parts.at(1), parts.at(2), parts.at(3));
}

std::optional<LineSettings> LineSettings::fromPortSettings(const QString &settings)
{
    const QStringList parts = fields(settings);
    if (parts.size() != 4)
        return std::nullopt;
    return settingsOf(parts.at(0), parts.at(2), parts.at(1), parts.at(3));
}

QByteArray LineSettings::received(QByteArray bytes) const
{
    if (dataBits == 7) {
        for (char &byte : bytes)
            byte = char(byte & 0x7f);
    }
    return bytes;
}

const QList<int> &LineSettings::baudRates()
{
    static const QList<int> rates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return rates;
}

Bit7Pattern readBit7(const QByteArray &bytes)
{
    if (bytes.size() < 4)
        return Bit7Pattern::TooFew;
    bool neverSet = true;
    bool alwaysSet = true;
    bool even = true;
    bool odd = true;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool bit7 = byte & 0x80;
        neverSet = neverSet && !bit7;
        alwaysSet = alwaysSet && bit7;
        even = even && bit7 == evenParityBit(byte);
        odd = odd && bit7 != evenParityBit(byte);
    }
    // Bytes that fit two patterns at once (every one with the same parity)
    // are read as the more common setting, parity before a stop bit.
    if (neverSet)
        return Bit7Pattern::NeverSet;
    if (even)
        return Bit7Pattern::EvenParity;
    if (odd)
        return Bit7Pattern::OddParity;
    if (alwaysSet)
        return Bit7Pattern::AlwaysSet;
    return Bit7Pattern::Mixed;
}

std::optional<LineSettings> settingsForBit7(Bit7Pattern pattern, int baud)
{
    switch (pattern) {
    case Bit7Pattern::NeverSet:
        return LineSettings{baud, 8, LineSettings::Parity::None, 1};
    case Bit7Pattern::EvenParity:
        return LineSettings{baud, 7, LineSettings::Parity::Even, 1};
    case Bit7Pattern::OddParity:
        return LineSettings{baud, 7, LineSettings::Parity::Odd, 1};
    case Bit7Pattern::AlwaysSet:
        return LineSettings{baud, 7, LineSettings::Parity::None, 2};
    case Bit7Pattern::TooFew:
    case Bit7Pattern::Mixed:
        break;
    }
    return std::nullopt;
}

QString describeBit7(Bit7Pattern pattern)
{
    switch (pattern) {
    case Bit7Pattern::TooFew:
        return QStringLiteral("too few bytes arrived to tell the line settings");
    case Bit7Pattern::NeverSet:
        return QStringLiteral("the bytes read as 8 data bits, no parity (8,N,1)");
    case Bit7Pattern::EvenParity:
        return QStringLiteral("bit 7 carries even parity: the scale seems set to 7 data bits, "
                              "even parity (7,E,1)");
    case Bit7Pattern::OddParity:
        return QStringLiteral("bit 7 carries odd parity: the scale seems set to 7 data bits, "
                              "odd parity (7,O,1)");
    case Bit7Pattern::AlwaysSet:
        return QStringLiteral("bit 7 is always set: the scale seems set to 7 data bits, no "
                              "parity, 2 stop bits (7,N,2)");
    case Bit7Pattern::Mixed:
        break;
    }
    return QStringLiteral("the bytes look like another baud rate");
}
