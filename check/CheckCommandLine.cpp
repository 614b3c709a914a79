#include "CheckCommandLine.h"

#include "CommandText.h"

#include <QCommandLineOption>

namespace {

const QString Port = QStringLiteral("port");
const QString Line = QStringLiteral("line");
const QString ListPorts = QStringLiteral("list-ports");
const QString Json = QStringLiteral("json");
const QString JUnit = QStringLiteral("junit");
const QString Trace = QStringLiteral("trace");
const QString Pdf = QStringLiteral("pdf");
const QString Tare = QStringLiteral("tare");
const QString Units = QStringLiteral("units");
const QString WeightStream = QStringLiteral("weight-stream");
const QString StreamTimeout = QStringLiteral("stream-timeout");
const QString PollMs = QStringLiteral("poll-ms");
const QString Quiet = QStringLiteral("quiet");
const QString Yes = QStringLiteral("yes");
const QString Database = QStringLiteral("db");
const QString NoRecord = QStringLiteral("no-record");
const QString History = QStringLiteral("history");
const QString Sync = QStringLiteral("sync");
const QString Format = QStringLiteral("format");
const QString CompareTo = QStringLiteral("compare-to");
const QString FailOnRegression = QStringLiteral("fail-on-regression");

QString knownUnitCodes()
{
    QStringList shown;
    for (const QString &code : smaUnitCodes())
        shown << QLatin1Char('"') + code.trimmed() + QLatin1Char('"');
    return shown.join(QStringLiteral(", "));
}

} // namespace

CheckCommandLine::CheckCommandLine()
{
    m_parser.setApplicationDescription(QStringLiteral(
        "Checks a scale on a serial port for SMA compliance without a window: runs the "
        "discovery run, the tare and units tests when asked and the weight stream analysis, "
        "prints progress on standard error and the compliance report on standard output.\n"
        "Exit status: 0 when the five Level 1 commands passed and the weight stream was "
        "verified (or skipped on request), 1 when the scale is not compliant or the run broke "
        "off, 2 when the check could not run or was stopped (Ctrl+C).\n"
        "At a terminal it waits for Enter at the set-up and tare prompts, and shows the weight "
        "stream analysis in one line; set NO_COLOR for plain output."));
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOptions({
        {Port,
         QStringLiteral("The scale's serial port: a number (1 is the first), COMn, a device "
                        "name or a path; or a scale behind a serial device server: "
                        "rfc2217://HOST:PORT (the line settings are set remotely) or "
                        "tcp://HOST:PORT (a raw TCP port, at the server's own settings)."),
         QStringLiteral("port")},
        {Line,
         QStringLiteral("The line settings: baud,data bits,parity,stop bits such as 19200,7,E,1 "
                        "(default 9600,8,N,1), or auto to find the ones the scale answers at "
                        "first."),
         QStringLiteral("settings|auto")},
        {ListPorts, QStringLiteral("List the serial ports present and exit.")},
        {Json, QStringLiteral("Write the results as JSON to a file, or to standard output for -."),
         QStringLiteral("file")},
        {JUnit, QStringLiteral("Write the results as a JUnit XML file."), QStringLiteral("file")},
        {Pdf, QStringLiteral("Write the compliance report as a PDF file."), QStringLiteral("file")},
        {Trace,
         QStringLiteral("Write every byte sent to and received from the scale as text lines, "
                        "as the Serial Traffic window shows them."),
         QStringLiteral("file")},
        {Tare, QStringLiteral("Run the tare test with this value, e.g. 000001.000."),
         QStringLiteral("value")},
        {Units, QStringLiteral("Run the units test with this unit code, e.g. kg."),
         QStringLiteral("code")},
        {WeightStream,
         QStringLiteral("auto: poll the weight until every status flag is seen (default); "
                        "skip: leave the weight stream analysis out."),
         QStringLiteral("auto|skip")},
        {StreamTimeout, QStringLiteral("Give the weight stream analysis this long (default 120)."),
         QStringLiteral("seconds")},
        {PollMs,
         QStringLiteral("Ask for the weight every this many milliseconds, 100 to 1000 (default "
                        "1000); a simulated scale can be polled faster than a person works."),
         QStringLiteral("ms")},
        {Quiet, QStringLiteral("Print no progress and no instructions, only errors and the "
                               "prompts that wait for Enter.")},
        {Yes, QStringLiteral("Go on at the set-up and tare prompts without waiting for Enter, "
                             "as when nobody is at a terminal.")},
        {Database,
         QStringLiteral("Record the check in this database: an SQLite file, or "
                        "postgresql://user@host/dbname for a server (default: SMA_DB, else the "
                        "tester's history.sqlite)."),
         QStringLiteral("url|file")},
        {NoRecord, QStringLiteral("Record nothing.")},
        {History, QStringLiteral("List the recorded checks, newest first, and exit.")},
        {Sync,
         QStringLiteral("Send the checks kept on this bench for the server to it, and exit: 0 "
                        "when none waits afterwards, 1 when some still do.")},
        {Format, QStringLiteral("How --history lists them: text (default), csv or json."),
         QStringLiteral("text|csv|json")},
        {CompareTo,
         QStringLiteral("Compare the check with an earlier one and print what changed on "
                        "standard error (and under \"changes\" in the JSON): last (this "
                        "scale's last recorded check, by MFG, MOD and SN), the ID of a recorded "
                        "check, or a JSON file that --json wrote."),
         QStringLiteral("last|id|file")},
        {FailOnRegression,
         QStringLiteral("With --compare-to: exit with 1 when a command that passed now fails, "
                        "or Level 1 is lost.")},
    });
}

std::optional<QString> CheckCommandLine::unitCode(const QString &typed)
{
    QString code = typed;
    while (code.size() > 3 && code.endsWith(QLatin1Char(' ')))
        code.chop(1);
    code = code.leftJustified(3, QLatin1Char(' '));
    if (smaUnitCodes().contains(code))
        return code;
    return std::nullopt;
}

bool CheckCommandLine::parseRecordOptions(CheckOptions &options)
{
    for (const QString &option : {Database, CompareTo, Format}) {
        if (m_parser.isSet(option) && m_parser.value(option).trimmed().isEmpty()) {
            m_error = QStringLiteral("--%1 needs a value.").arg(option);
            return false;
        }
    }
    options.database = m_parser.value(Database).trimmed();
    options.record = !m_parser.isSet(NoRecord);
    options.history = m_parser.isSet(History);
    options.sync = m_parser.isSet(Sync);
    if (options.sync && options.history) {
        m_error = QStringLiteral("--sync and --history are two runs: give one.");
        return false;
    }
    if (m_parser.isSet(Format)) {
        const QString format = m_parser.value(Format);
        if (!options.history) {
            m_error = QStringLiteral("--format goes with --history.");
            return false;
        }
        if (format == QLatin1String("csv")) {
            options.historyFormat = CheckOptions::HistoryFormat::Csv;
        } else if (format == QLatin1String("json")) {
            options.historyFormat = CheckOptions::HistoryFormat::Json;
        } else if (format != QLatin1String("text")) {
            m_error = QStringLiteral("--format takes text, csv or json, not %1.").arg(format);
            return false;
        }
    }
    options.compareTo = m_parser.value(CompareTo).trimmed();
    options.failOnRegression = m_parser.isSet(FailOnRegression);
    if (options.failOnRegression && options.compareTo.isEmpty()) {
        m_error = QStringLiteral("--fail-on-regression needs --compare-to.");
        return false;
    }
    return true;
}

bool CheckCommandLine::parse(const QStringList &arguments)
{
    m_error.clear();
    m_options = {};
    if (!m_parser.parse(arguments)) {
        m_error = m_parser.errorText();
        return false;
    }
    m_help = m_parser.isSet(QStringLiteral("help"));
    m_version = m_parser.isSet(QStringLiteral("version"));
    if (m_help || m_version)
        return true;
    if (!m_parser.positionalArguments().isEmpty()) {
        m_error =
            QStringLiteral("Unexpected argument: %1").arg(m_parser.positionalArguments().first());
        return false;
    }

    CheckOptions options;
    options.listPorts = m_parser.isSet(ListPorts);
    if (options.listPorts) {
        m_options = options;
        return true;
    }
    if (!parseRecordOptions(options))
        return false;
    if (options.history || options.sync) {
        m_options = options;
        return true;
    }
    options.port = m_parser.value(Port);
    if (!m_parser.isSet(Port) || options.port.isEmpty()) {
        m_error = QStringLiteral("Say which port the scale is on with --port.");
        return false;
    }
    if (m_parser.isSet(Line)) {
        const QString typed = m_parser.value(Line);
        if (typed == QStringLiteral("auto")) {
            options.findLine = true;
        } else if (const std::optional<LineSettings> line = LineSettings::parse(typed)) {
            options.line = *line;
        } else {
            m_error = QStringLiteral("--line takes auto or baud,data bits,parity,stop bits such as "
                                     "19200,7,E,1 (baud 1200 to 115200, 7 or 8 data bits, parity "
                                     "N, E or O, 1 or 2 stop bits), not %1.")
                          .arg(typed);
            return false;
        }
    }
    options.jsonFile = m_parser.value(Json);
    options.junitFile = m_parser.value(JUnit);
    options.pdfFile = m_parser.value(Pdf);
    options.traceFile = m_parser.value(Trace);
    for (const QString &option : {Json, JUnit, Pdf, Trace}) {
        if (m_parser.isSet(option) && m_parser.value(option).isEmpty()) {
            m_error = QStringLiteral("--%1 needs a file name.").arg(option);
            return false;
        }
    }
    if (m_parser.isSet(Tare)) {
        const QString value = m_parser.value(Tare);
        if (const qsizetype bad = firstUnsendableCharacter(value); bad >= 0) {
            m_error = QStringLiteral("--tare %1 holds \"%2\", which the scale's serial line cannot "
                                     "carry; give the tare with digits and a decimal point, for "
                                     "example 000001.000.")
                          .arg(value, value.mid(bad, value.at(bad).isHighSurrogate() ? 2 : 1));
            return false;
        }
        options.tare = value;
    }
    if (m_parser.isSet(Units)) {
        options.unitCode = unitCode(m_parser.value(Units));
        if (!options.unitCode) {
            m_error = QStringLiteral("--units %1 is no SMA unit code; the codes are %2.")
                          .arg(m_parser.value(Units), knownUnitCodes());
            return false;
        }
    }
    if (m_parser.isSet(WeightStream)) {
        const QString mode = m_parser.value(WeightStream);
        if (mode == QStringLiteral("skip")) {
            options.weightStream = CheckOptions::WeightStream::Skip;
        } else if (mode != QStringLiteral("auto")) {
            m_error = QStringLiteral("--weight-stream takes auto or skip, not %1.").arg(mode);
            return false;
        }
    }
    if (m_parser.isSet(StreamTimeout)) {
        bool isNumber = false;
        const double seconds = m_parser.value(StreamTimeout).toDouble(&isNumber);
        if (!isNumber || !(seconds > 0) || seconds > 24 * 3600) {
            m_error = QStringLiteral("--stream-timeout takes a number of seconds above 0, up to "
                                     "a day: %1")
                          .arg(m_parser.value(StreamTimeout));
            return false;
        }
        options.streamTimeoutMs = qMax(1, qRound(seconds * 1000));
    }
    if (m_parser.isSet(PollMs)) {
        bool isNumber = false;
        const int ms = m_parser.value(PollMs).toInt(&isNumber);
        if (!isNumber || ms < 100 || ms > 1000) {
            m_error = QStringLiteral("--poll-ms takes a whole number of milliseconds from 100 "
                                     "to 1000: %1")
                          .arg(m_parser.value(PollMs));
            return false;
        }
        options.pollIntervalMs = ms;
    }
    options.quiet = m_parser.isSet(Quiet);
    options.yes = m_parser.isSet(Yes);
    m_options = options;
    return true;
}
