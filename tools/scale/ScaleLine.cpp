#include "ScaleLine.h"

#include <bit>

QByteArray asReadAt8Bits(const QByteArray &bytes, const LineSettings &line)
{
    if (line.dataBits != 7)
        return bytes;
    QByteArray read = bytes;
    for (char &c : read) {
        const auto low = static_cast<unsigned char>(c & 0x7f);
        const bool oddOnes = std::popcount(static_cast<unsigned>(low)) % 2 == 1;
        bool bit7 = true; // no parity: the first stop bit
        if (line.parity == LineSettings::Parity::Even)
            bit7 = oddOnes;
        else if (line.parity == LineSettings::Parity::Odd)
            bit7 = !oddOnes;
        c = char(bit7 ? low | 0x80 : low);
    }
    return read;
}

QByteArray lineNoise(const QByteArray &bytes)
{
    QByteArray noise = bytes;
    for (qsizetype i = 0; i < noise.size(); ++i) {
        // A byte sampled at the wrong rate: its bits smeared into others,
        // mixed with its position so that repeated characters differ too.
        auto byte = static_cast<unsigned char>(noise.at(i) * 37 + 11 + i * 101);
        if ((byte & 0x7f) == '\n' || (byte & 0x7f) == '\r')
            byte ^= 0x20;
        noise[i] = char(byte);
    }
    return noise;
}
