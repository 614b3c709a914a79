#pragma once

#include "ScaleOptions.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of sma-scale-sim, kept apart from main() so that the
// options can be checked without starting a process.
class ScaleCommandLine
{
public:
    ScaleCommandLine();

    // Reads the arguments (the program name first). Returns false with
    // errorText() on an unknown option or a bad value.
    bool parse(const QStringList &arguments);

    bool helpRequested() const;
    QString helpText() const { return m_parser.helpText(); }
    QString errorText() const { return m_error; }

    ScaleOptions scaleOptions() const { return m_options; }
    int answerDelayMs() const { return m_answerDelayMs; }
    // --tcp [ADDR:]PORT: where the scale is served on the network as well;
    // no port when it is not.
    QHostAddress tcpAddress() const { return m_tcpAddress; }
    std::optional<quint16> tcpPort() const { return m_tcpPort; }

    static constexpr int DefaultAnswerDelayMs = 50;

private:
    QCommandLineParser m_parser;
    QString m_error;
    ScaleOptions m_options;
    int m_answerDelayMs = DefaultAnswerDelayMs;
    QHostAddress m_tcpAddress{QHostAddress::LocalHost};
    std::optional<quint16> m_tcpPort;
};
