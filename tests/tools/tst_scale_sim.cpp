#include "ScaleCommandLine.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const QString ReadyLine = QStringLiteral("Simulated SMA scale ready. Type this into Port: ");

// Sends one framed command to the device and reads until `expected` bytes
// have come back or five seconds pass. The simulator runs in its own
// process, so blocking here holds nothing up.
QByteArray exchange(const QString &device, const QByteArray &command, qsizetype expected)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return "open failed";
    QByteArray answer;
    const QByteArray frame = '\n' + command + '\r';
    if (::write(fd, frame.constData(), size_t(frame.size())) == frame.size()) {
        pollfd watched{fd, POLLIN, 0};
        char buffer[64];
        while (answer.size() < expected && ::poll(&watched, 1, 5000) == 1) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count <= 0)
                break;
            answer.append(buffer, count);
        }
    }
    ::close(fd);
    return answer;
}

} // namespace

class ScaleSimTest : public QObject
{
    Q_OBJECT
private slots:
    void commandLineDefaults();
    void commandLineOptions();
    void commandLineRejectsBadValues_data();
    void commandLineRejectsBadValues();
    void simulatorServesUntilTerminated();
};

void ScaleSimTest::commandLineDefaults()
{
    ScaleCommandLine commandLine;
    QVERIFY(commandLine.parse({"sma-scale-sim"}));
    const ScaleOptions options = commandLine.scaleOptions();
    QCOMPARE(options.level2Commands, QByteArray("HPTMCU"));
    QVERIFY(options.sendCommandLine && options.endListings && options.cycleWeights &&
            options.leadingLf);
    QVERIFY(!options.rejectAll && !options.crlf && !options.silent && !options.streamRepeats &&
            !options.lie);
    QVERIFY(options.line.isDefault() && options.continuousMs == 0 && !options.continuousOnly);
    QCOMPARE(commandLine.answerDelayMs(), 50);
    QVERIFY(!commandLine.helpRequested());
}

void ScaleSimTest::commandLineOptions()
{
    ScaleCommandLine commandLine;
    QVERIFY2(commandLine.parse({"sma-scale-sim",
                                "--commands",
                                "ABDWZXHM",
                                "--no-cmd-line",
                                "--no-end",
                                "--reject-all",
                                "--crlf",
                                "--no-leading-lf",
                                "--silent",
                                "--stream",
                                "--no-cycle",
                                "--lie",
                                "--delay",
                                "0",
                                "--line",
                                "19200,7,e,1",
                                "--continuous",
                                "100",
                                "--continuous-only",
                                "--serial-number",
                                "B7-0042"}),
             qPrintable(commandLine.errorText()));
    const ScaleOptions options = commandLine.scaleOptions();
    QCOMPARE(options.level2Commands, QByteArray("ABDWZXHM"));
    QCOMPARE(options.serialNumber, QByteArray("B7-0042"));
    QVERIFY(!options.sendCommandLine && !options.endListings && !options.cycleWeights &&
            !options.leadingLf);
    QVERIFY(options.rejectAll && options.crlf && options.silent && options.streamRepeats &&
            options.lie);
    QCOMPARE(commandLine.answerDelayMs(), 0);
    QCOMPARE(options.line.text(), QString("19200,7,E,1"));
    QCOMPARE(options.continuousMs, 100);
    QVERIFY(options.continuousOnly);
}

void ScaleSimTest::commandLineRejectsBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("negative delay") << QStringList{"--delay", "-1"};
    QTest::newRow("delay not a number") << QStringList{"--delay", "soon"};
    QTest::newRow("blank in commands") << QStringList{"--commands", "T C"};
    QTest::newRow("serial number too long for its line")
        << QStringList{"--serial-number", QString(26, '9')};
    QTest::newRow("unknown option") << QStringList{"--loud"};
    QTest::newRow("baud not offered") << QStringList{"--line", "9601,8,N,1"};
    QTest::newRow("line in port order") << QStringList{"--line", "9600,n,8,1"};
    QTest::newRow("continuous 0") << QStringList{"--continuous", "0"};
    QTest::newRow("stray argument") << QStringList{"/dev/ttyS0"};
}

void ScaleSimTest::commandLineRejectsBadValues()
{
    QFETCH(QStringList, arguments);
    ScaleCommandLine commandLine;
    QVERIFY(!commandLine.parse(QStringList{"sma-scale-sim"} + arguments));
    QVERIFY(!commandLine.errorText().isEmpty());
}

void ScaleSimTest::simulatorServesUntilTerminated()
{
    QProcess simulator;
    simulator.start(QStringLiteral(SMA_SCALE_SIM), {"--delay", "0", "--crlf"});
    QVERIFY2(simulator.waitForStarted(), qPrintable(simulator.errorString()));
    QVERIFY(simulator.waitForReadyRead(10000));
    const QString ready = QString::fromLocal8Bit(simulator.readLine());
    QVERIFY2(ready.startsWith(ReadyLine) && ready.endsWith('\n'), qPrintable(ready));
    const QString device = ready.mid(ReadyLine.size()).trimmed();

    QCOMPARE(exchange(device, "A", 12), QByteArray("\nSMA:2/1.0\r\n"));
    QCOMPARE(exchange(device, "B", 28), QByteArray("\nMFG:Simulated Scale Works\r\n"));

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
}

QTEST_GUILESS_MAIN(ScaleSimTest)
#include "tst_scale_sim.moc"
