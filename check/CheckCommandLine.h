#pragma once

#include "LineSettings.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// What one sma-check run is asked to do.
struct CheckOptions
{
    enum class WeightStream { Auto, Skip };

    QString port;                    // as typed: a number, COMn, a device name or a path
    LineSettings line;               // 9600,8,N,1 unless asked otherwise
    bool findLine = false;           // --line auto: find the scale's own first
    QString jsonFile;                // empty: no JSON; "-": standard output
    QString junitFile;               // empty: no JUnit file
    QString pdfFile;                 // empty: no PDF
    QString traceFile;               // empty: no trace of the serial traffic
    std::optional<QString> tare;     // the tare value to test, when given
    std::optional<QString> unitCode; // three characters, one of smaUnitCodes()
    WeightStream weightStream = WeightStream::Auto;
    int streamTimeoutMs = 120 * 1000;
    int pollIntervalMs = 1000; // the weight stream's requests
    bool quiet = false;
    bool yes = false; // go on at the set-up and tare prompts without waiting for Enter
    bool listPorts = false;

    // Where the check is recorded: a file or postgresql://...; empty for
    // SMA_DB or the default file.
    QString database;
    bool record = true; // --no-record clears it
    // --history lists the recorded checks instead of checking a scale.
    enum class HistoryFormat { Text, Csv, Json };
    bool history = false;
    HistoryFormat historyFormat = HistoryFormat::Text;
    // --sync forwards the checks kept on this bench to the server instead.
    bool sync = false;
    // "last", the id of a recorded check or a JSON file --json wrote; empty: none.
    QString compareTo;
    bool failOnRegression = false;

    bool jsonOnStdout() const { return jsonFile == QStringLiteral("-"); }
};

// The command line of sma-check, kept apart from main() so that a program
// can tell whether it needs to draw (a PDF) before it makes its application
// object. parse() needs no application object; helpText() does.
class CheckCommandLine
{
public:
    CheckCommandLine();

    // Reads the arguments (the program name first). Returns false with
    // errorText() saying what is wrong.
    bool parse(const QStringList &arguments);

    bool helpRequested() const { return m_help; }
    bool versionRequested() const { return m_version; }
    QString helpText() const { return m_parser.helpText(); }
    QString errorText() const { return m_error; }
    const CheckOptions &options() const { return m_options; }

    // The unit code that `typed` names: one of smaUnitCodes(), given with or
    // without its trailing blanks ("kg", "kg " and "g" are fine; "KG" is not).
    static std::optional<QString> unitCode(const QString &typed);

private:
    bool parseRecordOptions(CheckOptions &options);

    QCommandLineParser m_parser;
    QString m_error;
    CheckOptions m_options;
    bool m_help = false;
    bool m_version = false;
};
