// Feeds whatever a hostile or broken device server might send into the
// Telnet codec, in random chunks, and checks that it never grows, never
// answers more than it was asked, and that the scale's bytes escaped one way
// come back unchanged the other way, in text mode and in binary.

#include "TelnetCodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider input(bytes, size);
    const bool binary = input.ConsumeBool();

    // The same scale bytes through both sides agree on the mode.
    const std::string scale = input.ConsumeRandomLengthString(256);
    const QByteArray data(scale.data(), qsizetype(scale.size()));
    TelnetCodec sender;
    TelnetCodec receiver;
    if (binary) {
        sender.decode(QByteArray::fromHex("fffd00"));   // DO BINARY
        receiver.decode(QByteArray::fromHex("fffb00")); // WILL BINARY
    }
    if (receiver.decode(sender.encode(data)).data != data)
        fail("escaped bytes did not come back as they were");

    TelnetCodec codec;
    codec.greeting();
    codec.setLineSettings(LineSettings{19200, 7, LineSettings::Parity::Even, 1});
    while (input.remaining_bytes() > 0) {
        const std::string chunk = input.ConsumeRandomLengthString(64);
        const TelnetCodec::Decoded decoded =
            codec.decode(QByteArray(chunk.data(), qsizetype(chunk.size())));
        if (decoded.data.size() > qsizetype(chunk.size()))
            fail("more data out than bytes in");
        // At most one three-byte answer per three-byte request.
        if (decoded.reply.size() > qsizetype(chunk.size()) + 3)
            fail("answered more than was asked");
    }
    return 0;
}
