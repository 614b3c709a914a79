#pragma once

#include "ScaleOptions.h"

#include <QByteArray>
#include <QList>

#include <optional>

// What lies on the simulated platter. With cycling on, each weight request
// reports the current state and then moves to the next one in this order,
// wrapping round, so five requests in a row show every status flag.
enum class WeightState {
    CentreOfZero, // empty platter: status "Z", gross 0
    Motion,       // a load still settling: motion "M"
    OverCapacity, // more than the capacity: status "O"
    StableGross,  // a settled load: gross "G"
    Net,          // a load in a container tared from the front panel: net "N"
};

// A simulated SMA scale without any I/O: bytes from the host go in, the bytes
// the scale sends back come out. Commands are framed LF command CR and may
// arrive split anywhere or several to a chunk; bytes outside a frame are
// ignored and ESC abandons a frame. Everything is deterministic, so the same
// bytes in always give the same bytes out.
class ScaleModel
{
public:
    explicit ScaleModel(const ScaleOptions &options = {});

    // Takes the next bytes from the host and returns every answer they
    // complete, already framed (LF text CR, or LF text CR LF).
    QByteArray feed(const QByteArray &fromHost);

    // The weight answer a scale in continuous output sends by itself, framed;
    // it steps the weight state as W does.
    QByteArray continuousAnswer();

    // True after R or S while ScaleOptions::streamRepeats is on, until the
    // next command or ESC. The caller paces the stream.
    bool isStreaming() const { return m_stream.has_value(); }
    // The next framed answer of the running stream; empty when none runs.
    QByteArray nextStreamAnswer();

    const ScaleOptions &options() const { return m_options; }
    void setOptions(const ScaleOptions &options) { m_options = options; }

    // Every complete command received, in order, without its LF and CR.
    const QList<QByteArray> &commands() const { return m_commands; }

    WeightState weightState() const { return m_state; }
    void setWeightState(WeightState state) { m_state = state; }
    // The tare the host set with T, in kilograms; none after C or Z.
    std::optional<double> hostTareKg() const { return m_hostTareKg; }
    // The current unit code, three characters ("kg ", "lb ", ...).
    QByteArray unitCode() const;

private:
    enum class Resolution { Displayed, High };

    QByteArray respond(const QByteArray &command);
    QByteArray answerText(char letter, const QByteArray &data);
    bool answers(char letter) const;
    QByteArray weighAndStep(Resolution resolution, bool waitForStable);
    QByteArray weigh(Resolution resolution, bool waitForStable = false) const;
    QByteArray tare(const QByteArray &data);
    QByteArray clearTare();
    QByteArray zero();
    QByteArray tareInMemory() const;
    QByteArray changeUnit(const QByteArray &data);
    QByteArray startRepeating(Resolution resolution);
    std::optional<double> heldTareKg() const;
    QList<QByteArray> aboutLines() const;
    QList<QByteArray> informationLines() const;
    QByteArray frame(const QByteArray &text) const;

    ScaleOptions m_options;
    QList<QByteArray> m_commands;

    QByteArray m_frame;
    bool m_inFrame = false;

    // Index of the next line to list; -1 before the first A or I.
    qsizetype m_nextAboutLine = -1;
    qsizetype m_nextInformationLine = -1;

    WeightState m_state = WeightState::CentreOfZero;
    std::optional<double> m_hostTareKg;
    qsizetype m_unitIndex = 0;
    std::optional<Resolution> m_stream;
};
