#include "TelnetCodec.h"

namespace {

// RFC 2217's values for parity and stop bits.
constexpr quint32 kParityNone = 1;
constexpr quint32 kParityOdd = 2;
constexpr quint32 kParityEven = 3;

void appendCommand(QByteArray &out, unsigned char verb, unsigned char option)
{
    out += char(TelnetCodec::IAC);
    out += char(verb);
    out += char(option);
}

// A subnegotiation's value bytes, a 0xFF among them doubled as everywhere.
void appendEscaped(QByteArray &out, unsigned char byte)
{
    out += char(byte);
    if (byte == TelnetCodec::IAC)
        out += char(TelnetCodec::IAC);
}

bool isWanted(unsigned char option)
{
    return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead ||
           option == TelnetCodec::ComPort;
}

} // namespace

QString describeComPortSetting(int code, quint32 value)
{
    switch (code) {
    case TelnetCodec::SetBaudRate:
        return QStringLiteral("%1 baud").arg(value);
    case TelnetCodec::SetDataSize:
        return QStringLiteral("%1 data bits").arg(value);
    case TelnetCodec::SetParity:
        return value == kParityNone   ? QStringLiteral("no parity")
               : value == kParityOdd  ? QStringLiteral("odd parity")
               : value == kParityEven ? QStringLiteral("even parity")
                                      : QStringLiteral("parity %1").arg(value);
    case TelnetCodec::SetStopSize:
        return value == 1 ? QStringLiteral("1 stop bit")
                          : QStringLiteral("%1 stop bits").arg(value);
    default:
        break;
    }
    return QStringLiteral("setting %1 = %2").arg(code).arg(value);
}

QByteArray TelnetCodec::greeting()
{
    QByteArray out;
    appendCommand(out, WILL, Binary);
    appendCommand(out, DO, Binary);
    appendCommand(out, DO, SuppressGoAhead);
    appendCommand(out, WILL, ComPort);
    m_saidWill[Binary] = m_saidWill[ComPort] = true;
    m_saidDo[Binary] = m_saidDo[SuppressGoAhead] = true;
    return out;
}

QByteArray TelnetCodec::setLineSettings(const LineSettings &line)
{
    const quint32 parity = line.parity == LineSettings::Parity::Even  ? kParityEven
                           : line.parity == LineSettings::Parity::Odd ? kParityOdd
                                                                      : kParityNone;
    m_asked = {};
    m_answered = {};
    m_asked[SetBaudRate] = quint32(line.baud);
    m_asked[SetDataSize] = quint32(line.dataBits);
    m_asked[SetParity] = parity;
    m_asked[SetStopSize] = quint32(line.stopBits);

    QByteArray out;
    for (const unsigned char code : {SetBaudRate, SetDataSize, SetParity, SetStopSize}) {
        out += char(IAC);
        out += char(SB);
        out += char(ComPort);
        out += char(code);
        const quint32 value = *m_asked[code];
        if (code == SetBaudRate) {
            for (const int shift : {24, 16, 8, 0})
                appendEscaped(out, (value >> shift) & 0xff);
        } else {
            appendEscaped(out, value & 0xff);
        }
        out += char(IAC);
        out += char(SE);
    }
    return out;
}

QByteArray TelnetCodec::encode(const QByteArray &data) const
{
    QByteArray out;
    out.reserve(data.size() + 8);
    for (const char byte : data) {
        out += byte;
        if (uchar(byte) == IAC)
            out += char(IAC);
        else if (byte == '\r' && !m_clientBinary)
            out += '\0'; // a bare CR in Telnet's text mode is CR NUL
    }
    return out;
}

TelnetCodec::Decoded TelnetCodec::decode(const QByteArray &bytes)
{
    Decoded decoded;
    for (const char c : bytes) {
        const auto byte = uchar(c);
        switch (m_state) {
        case State::Data:
        case State::AfterCr:
            if (byte == IAC) {
                m_dataState = m_state;
                m_state = State::Iac;
                break;
            }
            // Without BINARY from the server a CR comes as CR NUL: the NUL
            // is Telnet's, not the scale's.
            if (m_state == State::AfterCr && byte == 0) {
                m_state = State::Data;
                break;
            }
            decoded.data += c;
            m_state = (byte == '\r' && !m_serverBinary) ? State::AfterCr : State::Data;
            break;
        case State::Iac:
            if (byte == IAC) {
                decoded.data += c; // the scale's own 0xFF
                m_state = State::Data;
            } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
                m_verb = byte;
                m_state = State::Verb;
            } else if (byte == SB) {
                m_sub.clear();
                m_subOverflow = false;
                m_state = State::Sub;
            } else {
                m_state = m_dataState; // NOP, GA and the other two-byte commands
            }
            break;
        case State::Verb:
            negotiate(m_verb, byte, decoded.reply);
            m_state = m_dataState;
            break;
        case State::Sub:
            if (byte == IAC) {
                m_state = State::SubIac;
                break;
            }
            if (m_sub.size() < kSubnegotiationLimit)
                m_sub += c;
            else
                m_subOverflow = true;
            break;
        case State::SubIac:
            if (byte == IAC) {
                if (m_sub.size() < kSubnegotiationLimit)
                    m_sub += c;
                else
                    m_subOverflow = true;
                m_state = State::Sub;
            } else {
                // SE ends it; anything else after IAC inside a subnegotiation
                // is a broken one, ended here all the same.
                if (byte == SE && !m_subOverflow)
                    subnegotiation(m_sub);
                m_sub.clear();
                m_state = m_dataState;
            }
            break;
        }
    }
    return decoded;
}

void TelnetCodec::negotiate(unsigned char verb, unsigned char option, QByteArray &reply)
{
    switch (verb) {
    case WILL:
        if (option == Binary)
            m_serverBinary = true;
        // Each answer is given once: a server repeating itself gets no echo,
        // so two sides cannot keep each other talking.
        if (isWanted(option) && !m_saidDo[option]) {
            m_saidDo[option] = true;
            appendCommand(reply, DO, option);
        } else if (!isWanted(option) && !m_saidDont[option]) {
            m_saidDont[option] = true;
            appendCommand(reply, DONT, option);
        }
        break;
    case WONT:
        if (option == Binary)
            m_serverBinary = false;
        m_saidDo[option] = false;
        break;
    case DO:
        if (option == Binary)
            m_clientBinary = true;
        if (option == ComPort)
            m_comPortAccepted = true;
        if (isWanted(option) && !m_saidWill[option]) {
            m_saidWill[option] = true;
            appendCommand(reply, WILL, option);
        } else if (!isWanted(option) && !m_saidWont[option]) {
            m_saidWont[option] = true;
            appendCommand(reply, WONT, option);
        }
        break;
    case DONT:
        if (option == Binary)
            m_clientBinary = false;
        if (option == ComPort) {
            m_comPortRefused = true;
            m_fault = QStringLiteral("the device server does not take the line settings: it "
                                     "refused RFC 2217 Com Port Control");
        }
        m_saidWill[option] = false;
        break;
    default:
        break;
    }
}

void TelnetCodec::subnegotiation(const QByteArray &body)
{
    if (body.size() < 2 || uchar(body.at(0)) != ComPort)
        return;
    const int code = uchar(body.at(1)) - kServerOffset;
    if (code < SetBaudRate || code > SetStopSize)
        return; // line and modem state notices, flow control: nothing the tester needs
    const QByteArray value = body.mid(2);
    quint32 answered = 0;
    if (code == SetBaudRate) {
        if (value.size() != 4)
            return;
        for (const char byte : value)
            answered = (answered << 8) | uchar(byte);
    } else {
        if (value.size() != 1)
            return;
        answered = uchar(value.at(0));
    }
    m_answered[code] = answered;
    if (m_asked[code] && *m_asked[code] != answered && m_fault.isEmpty())
        m_fault = QStringLiteral("the device server answered the line settings wrongly: asked "
                                 "for %1, it set %2")
                      .arg(describeComPortSetting(code, *m_asked[code]),
                           describeComPortSetting(code, answered));
}

bool TelnetCodec::settingsConfirmed() const
{
    for (int code = SetBaudRate; code <= SetStopSize; ++code) {
        if (m_asked[code] && m_answered[code] != m_asked[code])
            return false;
    }
    return m_fault.isEmpty();
}
