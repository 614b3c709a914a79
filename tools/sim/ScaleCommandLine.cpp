#include "ScaleCommandLine.h"

#include <QCommandLineOption>

namespace {

const QString Commands = QStringLiteral("commands");
const QString NoCommandLine = QStringLiteral("no-cmd-line");
const QString NoEnd = QStringLiteral("no-end");
const QString RejectAll = QStringLiteral("reject-all");
const QString CrLf = QStringLiteral("crlf");
const QString NoLeadingLf = QStringLiteral("no-leading-lf");
const QString Silent = QStringLiteral("silent");
const QString Stream = QStringLiteral("stream");
const QString NoCycle = QStringLiteral("no-cycle");
const QString Lie = QStringLiteral("lie");
const QString Delay = QStringLiteral("delay");
const QString Line = QStringLiteral("line");
const QString Continuous = QStringLiteral("continuous");
const QString ContinuousOnly = QStringLiteral("continuous-only");
const QString SerialNumber = QStringLiteral("serial-number");
const QString Tcp = QStringLiteral("tcp");

bool isPrintableAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

} // namespace

ScaleCommandLine::ScaleCommandLine()
{
    const ScaleOptions defaults;
    m_parser.setApplicationDescription(
        QStringLiteral("Simulated SMA scale on a pseudo-terminal (and with --tcp on a TCP port). "
                       "Prints the device to open, then answers SMA commands until it is "
                       "interrupted."));
    m_parser.addHelpOption();
    m_parser.addOptions({
        {Commands,
         QStringLiteral("Level 2 command letters to answer and publish in the CMD: line "
                        "(default %1).")
             .arg(QString::fromLatin1(defaults.level2Commands)),
         QStringLiteral("letters")},
        {NoCommandLine, QStringLiteral("Leave the CMD: line out of the Information listing.")},
        {NoEnd, QStringLiteral("End the listings without an END: line; the next B or N gets ?.")},
        {RejectAll, QStringLiteral("Answer ? to every command.")},
        {CrLf, QStringLiteral("End answers with CR LF instead of CR.")},
        {NoLeadingLf, QStringLiteral("Leave the LF out in front of every answer.")},
        {Silent, QStringLiteral("Never answer.")},
        {Stream, QStringLiteral("R and S repeat the weight until the next command.")},
        {NoCycle, QStringLiteral("Hold the weight state instead of stepping through zero, "
                                 "motion, over capacity, gross and net.")},
        {Lie, QStringLiteral("Answer as a firmware whose commands do not do what they claim: T "
                             "answers a gross weight, C a net one, U keeps its unit, and H, Q "
                             "and S answer in upper case.")},
        {SerialNumber,
         QStringLiteral("The serial number of the About listing's SN : line (default %1).")
             .arg(QString::fromLatin1(defaults.serialNumber)),
         QStringLiteral("text")},
        {Delay,
         QStringLiteral("Milliseconds from a command to its answer (default %1).")
             .arg(DefaultAnswerDelayMs),
         QStringLiteral("ms")},
        {Line,
         QStringLiteral("The scale's line settings, e.g. 19200,7,E,1 (default 9600,8,N,1). A "
                        "host at another baud rate gets noise; with 7 data bits the parity bit "
                        "travels in bit 7."),
         QStringLiteral("settings")},
        {Continuous,
         QStringLiteral("Send a weight answer every this many milliseconds without being "
                        "asked."),
         QStringLiteral("ms")},
        {ContinuousOnly, QStringLiteral("Ignore every command (continuous output only).")},
        {Tcp,
         QStringLiteral("Serve the scale on this TCP port too, as a serial device server's raw "
                        "TCP port does (check it with --port tcp://127.0.0.1:PORT); ADDR "
                        "defaults to 127.0.0.1, 0.0.0.0 serves every interface, PORT 0 picks a "
                        "free one. One client at a time."),
         QStringLiteral("[ADDR:]PORT")},
    });
}

bool ScaleCommandLine::parse(const QStringList &arguments)
{
    m_error.clear();
    if (!m_parser.parse(arguments)) {
        m_error = m_parser.errorText();
        return false;
    }
    if (!m_parser.positionalArguments().isEmpty()) {
        m_error =
            QStringLiteral("Unexpected argument: %1").arg(m_parser.positionalArguments().first());
        return false;
    }

    ScaleOptions options;
    if (m_parser.isSet(Commands)) {
        const QString letters = m_parser.value(Commands);
        if (!isPrintableAscii(letters)) {
            m_error = QStringLiteral("--commands takes printable characters without blanks: %1")
                          .arg(letters);
            return false;
        }
        options.level2Commands = letters.toLatin1();
    }
    if (m_parser.isSet(SerialNumber)) {
        const QString serialNumber = m_parser.value(SerialNumber);
        if (serialNumber.isEmpty() || serialNumber.size() > 25 || !isPrintableAscii(serialNumber)) {
            m_error = QStringLiteral("--serial-number takes up to 25 printable characters without "
                                     "blanks: %1")
                          .arg(serialNumber);
            return false;
        }
        options.serialNumber = serialNumber.toLatin1();
    }
    options.sendCommandLine = !m_parser.isSet(NoCommandLine);
    options.endListings = !m_parser.isSet(NoEnd);
    options.rejectAll = m_parser.isSet(RejectAll);
    options.crlf = m_parser.isSet(CrLf);
    options.leadingLf = !m_parser.isSet(NoLeadingLf);
    options.silent = m_parser.isSet(Silent);
    options.streamRepeats = m_parser.isSet(Stream);
    options.cycleWeights = !m_parser.isSet(NoCycle);
    options.lie = m_parser.isSet(Lie);

    if (m_parser.isSet(Line)) {
        const std::optional<LineSettings> line = LineSettings::parse(m_parser.value(Line));
        if (!line) {
            m_error = QStringLiteral("--line takes baud,data bits,parity,stop bits such as "
                                     "19200,7,E,1 (baud 1200 to 115200, 7 or 8 data bits, "
                                     "parity N, E or O, 1 or 2 stop bits): %1")
                          .arg(m_parser.value(Line));
            return false;
        }
        options.line = *line;
    }
    if (m_parser.isSet(Continuous)) {
        bool isNumber = false;
        options.continuousMs = m_parser.value(Continuous).toInt(&isNumber);
        if (!isNumber || options.continuousMs < 1) {
            m_error = QStringLiteral("--continuous takes a whole number of milliseconds, 1 or "
                                     "more: %1")
                          .arg(m_parser.value(Continuous));
            return false;
        }
    }
    options.continuousOnly = m_parser.isSet(ContinuousOnly);

    int delay = DefaultAnswerDelayMs;
    if (m_parser.isSet(Delay)) {
        bool isNumber = false;
        delay = m_parser.value(Delay).toInt(&isNumber);
        if (!isNumber || delay < 0) {
            m_error = QStringLiteral("--delay takes a whole number of milliseconds, 0 or more: %1")
                          .arg(m_parser.value(Delay));
            return false;
        }
    }

    QHostAddress tcpAddress(QHostAddress::LocalHost);
    std::optional<quint16> tcpPort;
    if (m_parser.isSet(Tcp)) {
        const QString value = m_parser.value(Tcp);
        const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
        bool isNumber = false;
        const int port = value.mid(colon + 1).toInt(&isNumber);
        const bool addressOk = colon < 0 || tcpAddress.setAddress(value.left(colon));
        if (!isNumber || port < 0 || port > 65535 || !addressOk) {
            m_error = QStringLiteral("--tcp takes a TCP port (0 to 65535), with an IP address "
                                     "and a colon before it if need be, such as 7000 or "
                                     "0.0.0.0:7000: %1")
                          .arg(value);
            return false;
        }
        tcpPort = quint16(port);
    }

    m_options = options;
    m_answerDelayMs = delay;
    m_tcpAddress = tcpAddress;
    m_tcpPort = tcpPort;
    return true;
}

bool ScaleCommandLine::helpRequested() const
{
    return m_parser.isSet(QStringLiteral("help"));
}
