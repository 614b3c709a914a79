// Feeds random chunks to the weight-stream receive path, as the dialog's
// receive handler does with each notification, and checks what must hold
// whatever a device sends.

#include "StatusChecklist.h"
#include "WeightStreamBuffer.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

QByteArrayView view(const std::string &text)
{
    return QByteArrayView(text.data(), qsizetype(text.size()));
}

// Either a raw chunk, or a well-framed answer with random contents split
// into two notifications: raw bytes alone would rarely form an answer, and
// the decoding behind one is what most needs the random input.
std::vector<std::string> nextNotifications(FuzzedDataProvider &input)
{
    if (input.ConsumeBool())
        return {input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64))};
    std::string body = input.ConsumeBytesAsString(WeightAnswer::kLength - 2);
    body.resize(WeightAnswer::kLength - 2, ' ');
    const std::string answer = '\n' + body + '\r';
    const size_t split = input.ConsumeIntegralInRange<size_t>(0, answer.size());
    return {answer.substr(0, split), answer.substr(split)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    WeightStreamBuffer buffer;
    StatusChecklist checklist(input.ConsumeBool());

    while (input.remaining_bytes() > 0) {
        for (const std::string &chunk : nextNotifications(input)) {
            const QByteArray before = buffer.pending();
            const StatusChecklist ticksBefore = checklist;

            // The strict weight reader sees every chunk as a weight field too.
            if (const std::optional<double> weight = readWeightField(view(chunk)))
                require(std::isfinite(*weight));

            const WeightStreamBuffer::Result result = buffer.receive(view(chunk));

            require(buffer.pending().size() <= WeightStreamBuffer::kLimit);
            require(buffer.pending().isEmpty() || buffer.pending().front() == '\n');
            require(!(result.answer && result.overflowed));
            if (result.answer || result.overflowed)
                require(buffer.pending().isEmpty());
            if (!result.answer && !result.overflowed && !before.isEmpty())
                require(buffer.pending() == before + QByteArray::fromStdString(chunk));

            if (result.answer) {
                require(result.answer->weightField.size() == WeightAnswer::kWeightLength);
                // The weight text shown to the operator is never cut or padded.
                require(result.answer->weightText().size() == WeightAnswer::kWeightLength);
                checklist.record(*result.answer);
            }
            for (int item = 0; item <= StatusChecklist::TareOperation; ++item) {
                const auto which = StatusChecklist::Item(item);
                require(!ticksBefore.isTicked(which) || checklist.isTicked(which));
            }
            if (checklist.isTicked(StatusChecklist::TareOperation))
                require(checklist.hasTareTest() && checklist.isTicked(StatusChecklist::NetFlag));
        }
    }
    return 0;
}
