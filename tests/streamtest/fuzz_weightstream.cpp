// Feeds random chunks to the weight-stream receive path, as the engine's
// receive handler does with each notification, and checks what must hold
// whatever a device sends. The same chunks, with polls in between, go to a
// WeightStreamEngine on a port of the fuzzer's own, which must tick exactly
// what the buffer and checklist tick and keep to its order of requests.

#include "StatusChecklist.h"
#include "WeightStreamBuffer.h"
#include "WeightStreamEngine.h"

#include <QCoreApplication>
#include <QTimer>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
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

// A port that always opens, keeps what is written and hands the engine the
// chunks the fuzzer delivers, while the engine wants answers.
class FuzzPort : public MSComm
{
public:
    using MSComm::MSComm;
    void setCommPort(const QString &device) override { m_device = device; }
    QString commPort() const override { return m_device; }
    void setSettings(const QString &) override {}
    QString settings() const override { return {}; }
    void setRThreshold(int threshold) override { m_rThreshold = threshold; }
    int rThreshold() const override { return m_rThreshold; }
    void setSThreshold(int) override {}
    int sThreshold() const override { return 0; }
    bool setPortOpen(bool open) override { return (m_open = open), true; }
    bool portOpen() const override { return m_open; }
    OpenFailure openFailure() const override { return {}; }
    void setOutput(const QByteArray &bytes) override { requests += bytes; }
    QByteArray input() override { return std::exchange(m_received, {}); }
    int commEvent() const override { return CommEvents::Received; }

    void deliver(QByteArrayView chunk)
    {
        if (!m_open || m_rThreshold <= 0)
            return;
        m_received = chunk.toByteArray();
        emit OnComm();
    }

    QByteArray requests;

private:
    QString m_device;
    int m_rThreshold = 0;
    bool m_open = false;
    QByteArray m_received;
};

bool sameTicks(const StatusChecklist &a, const StatusChecklist &b)
{
    for (int item = 0; item <= StatusChecklist::TareOperation; ++item) {
        const auto which = StatusChecklist::Item(item);
        if (a.isTicked(which) != b.isTicked(which))
            return false;
    }
    return a.itemCount() == b.itemCount();
}

// The requests so far read "T" until the tare is ticked, at most one "C",
// then "W": never a "T" after a "C" or a "W", never a "C" after a "W".
bool requestsInOrder(const QByteArray &requests)
{
    static const QByteArray order = "TCW";
    qsizetype highest = 0;
    qsizetype clears = 0;
    for (qsizetype at = 0; at + 3 <= requests.size(); at += 3) {
        if (requests.at(at) != '\n' || requests.at(at + 2) != '\r')
            return false;
        const qsizetype rank = order.indexOf(requests.at(at + 1));
        if (rank < highest)
            return false;
        highest = rank;
        clears += requests.at(at + 1) == 'C' ? 1 : 0;
    }
    return requests.size() % 3 == 0 && clears <= 1;
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

// The engine's timer needs an application object.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using State = WeightStreamEngine::State;
    FuzzedDataProvider input(data, size);
    WeightStreamBuffer buffer;
    const bool withTareTest = input.ConsumeBool();
    StatusChecklist checklist(withTareTest);

    FuzzPort *port = nullptr;
    WeightStreamEngine engine([&port](QObject *parent) { return port = new FuzzPort(parent); });
    auto *timer = engine.findChild<QTimer *>(QStringLiteral("Timer2"));
    engine.start(QStringLiteral("1"), withTareTest ? QStringLiteral("CT") : QStringLiteral("C"));
    engine.startPolling();
    require(engine.state() == State::Polling);

    while (input.remaining_bytes() > 0) {
        // A poll between notifications, as the timer does.
        if (engine.state() == State::Polling && input.ConsumeBool()) {
            const bool allTicked = engine.checklist().allTicked();
            const qsizetype sent = port->requests.size();
            QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
            require(requestsInOrder(port->requests));
            // It passes only when every box is ticked, and then sends nothing.
            require(engine.state() == State::Polling ||
                    (allTicked && engine.state() == State::Passed));
            require(engine.state() == State::Polling || port->requests.size() == sent);
        }
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

            if (engine.state() == State::Polling) {
                port->deliver(view(chunk));
                if (result.overflowed)
                    require(engine.state() == State::Cancelled);
                else
                    require(engine.state() == State::Polling);
                if (engine.state() == State::Polling)
                    require(sameTicks(engine.checklist(), checklist));
            }
            // However it ended, nothing polls and the port is closed.
            if (engine.state() != State::Polling)
                require(!timer->isActive() && !port->portOpen());
        }
    }
    return 0;
}
