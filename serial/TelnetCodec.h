#pragma once

#include "LineSettings.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// The Telnet side of a serial device server's RFC 2217 port, free of any
// socket so that every byte of it can be checked on its own: the scale's
// bytes are escaped on the way out (a 0xFF doubled) and unescaped on the way
// in, so that no byte of the scale is ever taken for a Telnet command; the
// options are negotiated (BINARY both ways, SUPPRESS-GO-AHEAD, COM-PORT-OPTION
// offered by the client); the line settings go out as SET-BAUDRATE,
// SET-DATASIZE, SET-PARITY and SET-STOPSIZE, and are only taken as set once
// the server has answered each with the value asked for.
//
// A server may send anything: a subnegotiation longer than any the tester
// reads is dropped rather than kept, so that memory stays bounded.
class TelnetCodec
{
public:
    // Telnet's own bytes and the options the tester negotiates.
    enum : unsigned char {
        SE = 240,
        NOP = 241,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255,
        Binary = 0,
        SuppressGoAhead = 3,
        ComPort = 44,
    };
    // RFC 2217's client commands; the server answers each with the code + 100.
    enum : unsigned char { SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4 };
    static constexpr int kServerOffset = 100;
    // Longer subnegotiations carry nothing the tester reads (a signature text
    // at most) and are dropped.
    static constexpr int kSubnegotiationLimit = 64;

    // What decode() made of the bytes received.
    struct Decoded
    {
        QByteArray data;  // the scale's bytes
        QByteArray reply; // negotiation to send back to the server
    };

    // The client's opening: WILL and DO BINARY, DO SUPPRESS-GO-AHEAD and WILL
    // COM-PORT-OPTION.
    QByteArray greeting();
    // The four commands that set `line` on the server's serial port; the
    // settings count as set once each is answered alike (settingsConfirmed()).
    QByteArray setLineSettings(const LineSettings &line);
    // The scale's bytes as they go on the connection.
    QByteArray encode(const QByteArray &data) const;
    // Reads what the server sent, in chunks as they come.
    Decoded decode(const QByteArray &bytes);

    // The server agreed to COM-PORT-OPTION (DO), or refused it (DONT).
    bool comPortAccepted() const { return m_comPortAccepted; }
    bool comPortRefused() const { return m_comPortRefused; }
    // Every setting asked for has been answered with the same value.
    bool settingsConfirmed() const;
    // The server answered a setting with another value than the one asked
    // for, or refused COM-PORT-OPTION: in words for the operator, else empty.
    QString fault() const { return m_fault; }

private:
    void negotiate(unsigned char verb, unsigned char option, QByteArray &reply);
    void subnegotiation(const QByteArray &body);

    enum class State { Data, Iac, Verb, Sub, SubIac, AfterCr };
    State m_state = State::Data;
    State m_dataState = State::Data; // Data or AfterCr, resumed after a command
    unsigned char m_verb = 0;
    QByteArray m_sub;
    bool m_subOverflow = false;

    bool m_serverBinary = false; // the server sends binary: no CR NUL to undo
    bool m_clientBinary = false; // the server takes binary from us
    // What the tester has said of each option, so that each is said once.
    std::array<bool, 256> m_saidWill{};
    std::array<bool, 256> m_saidWont{};
    std::array<bool, 256> m_saidDo{};
    std::array<bool, 256> m_saidDont{};
    bool m_comPortAccepted = false;
    bool m_comPortRefused = false;
    // What each of the four settings was asked for and answered with, by code.
    std::array<std::optional<quint32>, 5> m_asked{};
    std::array<std::optional<quint32>, 5> m_answered{};
    QString m_fault;
};

// The words for an RFC 2217 setting and its value: "9600 baud", "7 data
// bits", "even parity", "1 stop bit".
QString describeComPortSetting(int code, quint32 value);
