#include "ScaleModel.h"

#include <QByteArrayView>

#include <cctype>
#include <cmath>
#include <iterator>

namespace {

constexpr char LineFeed = '\n';
constexpr char CarriageReturn = '\r';
constexpr char Escape = '\x1b';

// The longest command a host sends is T with a 10-character tare; anything
// far beyond that is line noise and is dropped rather than buffered.
constexpr qsizetype MaxCommandLength = 32;

constexpr QByteArrayView AlwaysAnswered = "ABDWZIN";
constexpr QByteArrayView CommandsWithData = "TUX";

// A 6000 kg floor scale counting by 1 kg; this is also what its CAP line says.
constexpr double CapacityKg = 6000.0;
constexpr const char *CapacityLine = "CAP:kg :6000:1:0";

struct ScaleUnit
{
    const char *code;
    double perKg;
    int decimals;
};

// The units U steps through, in order, starting with kilograms.
constexpr ScaleUnit Units[] = {
    {"kg ", 1.0, 0},         {"lb ", 2.20462262185, 0}, {"g  ", 1000.0, 0},
    {"oz ", 35.27396195, 0}, {"t  ", 0.001, 3},
};
constexpr qsizetype UnitCount = std::size(Units);

struct PlatterScene
{
    double loadKg;
    bool moving;
    std::optional<double> panelTareKg;
};

PlatterScene sceneOf(WeightState state)
{
    switch (state) {
    case WeightState::CentreOfZero:
        return {0.0, false, std::nullopt};
    case WeightState::Motion:
        return {1247.6, true, std::nullopt};
    case WeightState::OverCapacity:
        return {6150.0, false, std::nullopt};
    case WeightState::StableGross:
        return {1250.0, false, std::nullopt};
    case WeightState::Net:
        return {1250.0, false, 250.0};
    }
    return {0.0, false, std::nullopt};
}

WeightState stateAfter(WeightState state)
{
    switch (state) {
    case WeightState::CentreOfZero:
        return WeightState::Motion;
    case WeightState::Motion:
        return WeightState::OverCapacity;
    case WeightState::OverCapacity:
        return WeightState::StableGross;
    case WeightState::StableGross:
        return WeightState::Net;
    case WeightState::Net:
        return WeightState::CentreOfZero;
    }
    return WeightState::CentreOfZero;
}

QByteArray formatWeight(double value, int decimals)
{
    // Whatever rounds to zero is shown as zero, never as "-0".
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0;
    return QByteArray::number(value, 'f', decimals);
}

// The 18 characters of a weight answer between LF and CR: status, range,
// gross/net, motion, reserved, weight right-justified in 10, unit in 3.
QByteArray weightLine(char status, char grossNet, char motion, const QByteArray &weight,
                      const char *unit)
{
    constexpr char SingleRange = '1';
    constexpr char Reserved = ' ';
    QByteArray line;
    line.reserve(18);
    line += status;
    line += SingleRange;
    line += grossNet;
    line += motion;
    line += Reserved;
    line += weight.rightJustified(10, ' ', true);
    line += QByteArray(unit).leftJustified(3, ' ', true);
    return line;
}

// `line` with its gross/net character replaced.
QByteArray withGrossNet(QByteArray line, char grossNet)
{
    line[2] = grossNet;
    return line;
}

QByteArray nextListingLine(const QList<QByteArray> &lines, qsizetype &next)
{
    if (next < 0 || next >= lines.size())
        return "?";
    return lines.at(next++);
}

} // namespace

ScaleModel::ScaleModel(const ScaleOptions &options) : m_options(options) {}

QByteArray ScaleModel::feed(const QByteArray &fromHost)
{
    QByteArray answers;
    for (const char byte : fromHost) {
        switch (byte) {
        case LineFeed:
            // A LF inside a frame means the host gave up on it and starts afresh.
            m_frame.clear();
            m_inFrame = true;
            break;
        case CarriageReturn:
            if (m_inFrame)
                answers += respond(m_frame);
            m_inFrame = false;
            break;
        case Escape:
            m_frame.clear();
            m_inFrame = false;
            m_stream.reset();
            break;
        default:
            if (!m_inFrame)
                break;
            if (m_frame.size() < MaxCommandLength) {
                m_frame += byte;
            } else {
                m_frame.clear();
                m_inFrame = false;
            }
            break;
        }
    }
    return answers;
}

QByteArray ScaleModel::nextStreamAnswer()
{
    if (!m_stream)
        return {};
    return frame(weighAndStep(*m_stream, false));
}

QByteArray ScaleModel::continuousAnswer()
{
    return frame(weighAndStep(Resolution::Displayed, false));
}

QByteArray ScaleModel::unitCode() const
{
    return Units[m_unitIndex].code;
}

QByteArray ScaleModel::respond(const QByteArray &command)
{
    m_commands.append(command);
    // Any command, even one the scale does not know, ends a running stream.
    m_stream.reset();
    if (m_options.silent || m_options.continuousOnly)
        return {};
    if (m_options.rejectAll || command.isEmpty())
        return frame("?");
    return frame(answerText(command.at(0), command.mid(1)));
}

bool ScaleModel::answers(char letter) const
{
    return AlwaysAnswered.contains(letter) || m_options.level2Commands.contains(letter);
}

QByteArray ScaleModel::answerText(char letter, const QByteArray &data)
{
    if (!answers(letter))
        return "?";
    if (!data.isEmpty() && !CommandsWithData.contains(letter))
        return "?";

    switch (letter) {
    case 'A':
        m_nextAboutLine = 0;
        return nextListingLine(aboutLines(), m_nextAboutLine);
    case 'B':
        return nextListingLine(aboutLines(), m_nextAboutLine);
    case 'I':
        m_nextInformationLine = 0;
        return nextListingLine(informationLines(), m_nextInformationLine);
    case 'N':
        return nextListingLine(informationLines(), m_nextInformationLine);
    case 'D':
        return "    "; // RAM/ROM, EEPROM, calibration and maker flags all clear
    case 'W':
        return weighAndStep(Resolution::Displayed, false);
    case 'H':
        return weighAndStep(Resolution::High, false);
    case 'P':
        return weighAndStep(Resolution::Displayed, true);
    case 'Q':
        return weighAndStep(Resolution::High, true);
    case 'R':
        return startRepeating(Resolution::Displayed);
    case 'S':
        return startRepeating(Resolution::High);
    case 'Z':
        return zero();
    case 'T':
        return tare(data);
    case 'M':
        return tareInMemory();
    case 'C':
        return clearTare();
    case 'U':
        return changeUnit(data);
    default:
        // X included: this scale has no maker extensions.
        return "?";
    }
}

QByteArray ScaleModel::weighAndStep(Resolution resolution, bool waitForStable)
{
    const QByteArray line = weigh(resolution, waitForStable);
    if (m_options.cycleWeights)
        m_state = stateAfter(m_state);
    return line;
}

QByteArray ScaleModel::weigh(Resolution resolution, bool waitForStable) const
{
    const PlatterScene scene = sceneOf(m_state);
    const ScaleUnit &unit = Units[m_unitIndex];
    const std::optional<double> tareKg = heldTareKg();
    const bool high = resolution == Resolution::High;

    const QByteArray weight = formatWeight((scene.loadKg - tareKg.value_or(0.0)) * unit.perKg,
                                           unit.decimals + (high ? 1 : 0));
    char grossNet = tareKg ? 'N' : 'G';
    if (high && !m_options.lie)
        grossNet = char(std::tolower(grossNet));
    // Waiting for stability is instant here: the settling load is reported
    // as it stands, without the motion flag.
    const bool moving = scene.moving && !waitForStable;
    char status = ' ';
    if (scene.loadKg > CapacityKg)
        status = 'O';
    else if (!moving && weight.toDouble() == 0.0)
        status = 'Z';
    return weightLine(status, grossNet, moving ? 'M' : ' ', weight, unit.code);
}

QByteArray ScaleModel::tare(const QByteArray &data)
{
    // A plain T tares whatever lies on the platter, so the net weight reads
    // zero at once. The simulator never refuses it: a host that polls T
    // until it sees a net zero is not kept waiting.
    if (data.isEmpty()) {
        if (m_options.lie)
            return withGrossNet(weigh(Resolution::Displayed), 'G');
        m_hostTareKg = sceneOf(m_state).loadKg;
        return weigh(Resolution::Displayed);
    }
    const ScaleUnit &unit = Units[m_unitIndex];
    bool isNumber = false;
    const double presetKg = data.trimmed().toDouble(&isNumber) / unit.perKg;
    if (!isNumber || !std::isfinite(presetKg) || presetKg < 0.0 || presetKg > CapacityKg) {
        const char grossNet = heldTareKg() ? 'N' : 'G';
        return weightLine('T', grossNet, ' ', "----------", unit.code);
    }
    m_hostTareKg = presetKg;
    return weigh(Resolution::Displayed);
}

QByteArray ScaleModel::clearTare()
{
    m_hostTareKg.reset();
    // Clearing the tare also drops the container tare of the net state.
    if (m_state == WeightState::Net)
        m_state = WeightState::StableGross;
    const QByteArray line = weigh(Resolution::Displayed);
    return m_options.lie ? withGrossNet(line, 'N') : line;
}

QByteArray ScaleModel::zero()
{
    // Zeroing is modelled as emptying the platter; a tare would no longer
    // mean anything, so it goes too.
    m_hostTareKg.reset();
    m_state = WeightState::CentreOfZero;
    return weigh(Resolution::Displayed);
}

QByteArray ScaleModel::tareInMemory() const
{
    const ScaleUnit &unit = Units[m_unitIndex];
    const QByteArray weight = formatWeight(heldTareKg().value_or(0.0) * unit.perKg, unit.decimals);
    return weightLine(' ', 'T', ' ', weight, unit.code);
}

QByteArray ScaleModel::changeUnit(const QByteArray &data)
{
    if (data.isEmpty()) {
        if (!m_options.lie)
            m_unitIndex = (m_unitIndex + 1) % UnitCount;
        return weigh(Resolution::Displayed);
    }
    for (qsizetype i = 0; i < UnitCount; ++i) {
        if (data == Units[i].code) {
            m_unitIndex = i;
            return weigh(Resolution::Displayed);
        }
    }
    return "?";
}

QByteArray ScaleModel::startRepeating(Resolution resolution)
{
    if (m_options.streamRepeats)
        m_stream = resolution;
    return weighAndStep(resolution, false);
}

std::optional<double> ScaleModel::heldTareKg() const
{
    if (m_hostTareKg)
        return m_hostTareKg;
    return sceneOf(m_state).panelTareKg;
}

QList<QByteArray> ScaleModel::aboutLines() const
{
    QList<QByteArray> lines{"SMA:2/1.0", "MFG:Simulated Scale Works", "MOD:SIM-6000", "REV:1.0",
                            "SN :" + m_options.serialNumber};
    if (m_options.endListings)
        lines.append("END:");
    return lines;
}

QList<QByteArray> ScaleModel::informationLines() const
{
    QList<QByteArray> lines{"SMA:2/1.0", "TYP:S", CapacityLine};
    if (m_options.sendCommandLine)
        lines.append("CMD:" + m_options.level2Commands);
    if (m_options.endListings)
        lines.append("END:");
    return lines;
}

QByteArray ScaleModel::frame(const QByteArray &text) const
{
    QByteArray framed = m_options.leadingLf ? QByteArray(1, LineFeed) : QByteArray();
    framed += text + CarriageReturn;
    if (m_options.crlf)
        framed += LineFeed;
    return framed;
}
