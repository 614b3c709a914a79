// Feeds random byte chunks, event codes, time-outs, lost ports, Start/Stop,
// ticks and single tests into a session on a scripted port, and checks after
// every step that the two lists stay paired and the receive buffer bounded.

#include "AnswerBuffer.h"
#include "SessionFixture.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

void fail(const char *what, const SessionFixture &f)
{
    std::fprintf(stderr, "invariant broken: %s\ncmds: %s\nresults: %s\n", what,
                 qPrintable(f.cmds().join(QLatin1Char('|'))),
                 qPrintable(f.results().join(QLatin1Char('|'))));
    std::abort();
}

void checkInvariants(const SessionFixture &f)
{
    const QStringList cmds = f.cmds();
    const QStringList results = f.results();
    if (results.size() > cmds.size())
        fail("more results than commands", f);
    if (results.size() < cmds.size() - 1)
        fail("more than one command without a result", f);
    if (std::set<QString>(cmds.begin(), cmds.end()).size() != size_t(cmds.size()))
        fail("a command listed twice", f);
    if (f.session->rxText().size() > kReceiveBufferLimit)
        fail("receive buffer over its limit", f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    SessionFixture f;
    f.pressConnect(); // the opening message is confirmed at once
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 12)) {
        case 6:
            f.port->raiseEvent(input.ConsumeIntegral<uint16_t>());
            break;
        case 7:
            if (f.port->portOpen())
                f.session->onResponseTimeout();
            break;
        case 12:
            f.port->lose(QStringLiteral("gone"));
            break;
        case 8:
            f.pressConnect();
            break;
        case 9: {
            const int rows = int(f.cmds().size());
            const int row = input.ConsumeIntegralInRange(0, rows);
            if (row < rows)
                f.tick(row, !f.session->isTicked(row));
            break;
        }
        case 10:
            if (input.ConsumeBool())
                f.keyTare();
            else
                f.setUnits();
            break;
        case 11:
            f.session->setAdditionalCommands(QString::fromLatin1(
                input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 12))));
            break;
        default: {
            const std::string chunk =
                input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 64));
            f.port->deliver(QByteArray(chunk.data(), qsizetype(chunk.size())));
            break;
        }
        }
        checkInvariants(f);
    }
    return 0;
}
