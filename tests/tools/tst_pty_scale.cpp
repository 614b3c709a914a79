#include "PtyScale.h"
#include "ScaleLine.h"

#include <QFile>
#include <QSerialPort>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The host side of the pseudo-terminal, opened with plain POSIX calls and
// left with whatever line settings the server gave the device.
class HostPort
{
public:
    explicit HostPort(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {}
    ~HostPort() { close(); }
    HostPort(const HostPort &) = delete;
    HostPort &operator=(const HostPort &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool write(const QByteArray &bytes) const
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything read so far, after taking in whatever is waiting now.
    QByteArray collect()
    {
        char buffer[256];
        ssize_t count;
        while ((count = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_read.append(buffer, count);
        return m_read;
    }
    // The result of one read once the device reports an event: the byte
    // count, or -errno.
    ssize_t readAfterEvent() const
    {
        pollfd watched{m_fd, POLLIN, 0};
        if (::poll(&watched, 1, 5000) != 1)
            return -ETIMEDOUT;
        char byte;
        const ssize_t count = ::read(m_fd, &byte, 1);
        return count < 0 ? -errno : count;
    }

private:
    int m_fd;
    QByteArray m_read;
};

// Runs the event loop a number of rounds without sleeping. A notifier stuck
// on a hang-up fires in each of them.
void spinEventLoop()
{
    for (int round = 0; round < 50; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace

class PtyScaleTest : public QObject
{
    Q_OBJECT
private slots:
    void answersWithoutEchoOrTranslation();
    void delayedAnswersKeepTheirOrder();
    void hostMayCloseAndReopen();
    void unplugEndsTheHostsReads();
    void servesASerialPortHost();
    void streamRunsUntilTheNextCommand();
    void speaksItsLineSettings_data();
    void speaksItsLineSettings();
};

void PtyScaleTest::answersWithoutEchoOrTranslation()
{
    PtyScale scale;
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    QVERIFY(scale.devicePath().startsWith("/dev/"));
    HostPort host(scale.devicePath());
    QVERIFY(host.isOpen());

    const QByteArray hostBytes("x\nA\r\x1b");
    QVERIFY(host.write(hostBytes));
    QTRY_COMPARE(scale.received(), hostBytes);
    QTRY_COMPARE(host.collect(), QByteArray("\nSMA:2/1.0\r"));
    QCOMPARE(scale.sent(), QByteArray("\nSMA:2/1.0\r"));
    QCOMPARE(scale.model().commands(), QList<QByteArray>{"A"});
}

void PtyScaleTest::delayedAnswersKeepTheirOrder()
{
    PtyScale scale;
    scale.setAnswerDelay(20);
    QVERIFY(scale.start());
    HostPort host(scale.devicePath());
    QVERIFY(host.write("\nA\r\nB\r"));
    QTRY_COMPARE(scale.received(), QByteArray("\nA\r\nB\r"));
    QVERIFY(host.write("\nD\r"));
    QTRY_COMPARE(host.collect(), QByteArray("\nSMA:2/1.0\r\nMFG:Simulated Scale Works\r\n    \r"));
}

void PtyScaleTest::hostMayCloseAndReopen()
{
    PtyScale scale;
    QVERIFY(scale.start());
    for (int session = 0; session < 3; ++session) {
        HostPort host(scale.devicePath());
        QVERIFY(host.isOpen());
        QVERIFY(host.write("\nD\r"));
        QTRY_COMPARE(host.collect(), QByteArray("\n    \r"));
        host.close();

        const int wakeups = scale.readWakeups();
        spinEventLoop();
        QCOMPARE(scale.readWakeups(), wakeups);
    }
    QCOMPARE(scale.received(), QByteArray("\nD\r\nD\r\nD\r"));
}

void PtyScaleTest::unplugEndsTheHostsReads()
{
    PtyScale scale;
    QVERIFY(scale.start());
    const QString firstDevice = scale.devicePath();
    HostPort host(firstDevice);
    QVERIFY(host.write("\nA\r"));
    QTRY_COMPARE(host.collect(), QByteArray("\nSMA:2/1.0\r"));

    scale.unplug();
    QVERIFY(!scale.isRunning());
    const ssize_t result = host.readAfterEvent();
    QVERIFY2(result == 0 || result == -EIO, qPrintable(QString::number(result)));
    QVERIFY(!host.write("\nA\r"));
    const int wakeups = scale.readWakeups();
    spinEventLoop();
    QCOMPARE(scale.readWakeups(), wakeups);

    // Plugged in again, it serves a fresh device and keeps its state.
    QVERIFY(scale.start());
    HostPort again(scale.devicePath());
    QVERIFY(again.write("\nB\r"));
    QTRY_COMPARE(again.collect(), QByteArray("\nMFG:Simulated Scale Works\r"));
}

void PtyScaleTest::servesASerialPortHost()
{
    PtyScale scale;
    QVERIFY(scale.start());
    for (int session = 0; session < 2; ++session) {
        QSerialPort port(scale.devicePath());
        port.setBaudRate(QSerialPort::Baud9600);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write("\nW\r");
        QByteArray answer;
        QTRY_VERIFY((answer += port.readAll()).size() >= 20);
        QCOMPARE(answer.size(), 20);
        QCOMPARE(answer.front(), '\n');
        QCOMPARE(answer.back(), '\r');
        port.close();
    }
}

void PtyScaleTest::streamRunsUntilTheNextCommand()
{
    ScaleOptions options;
    options.level2Commands = "R";
    options.streamRepeats = true;
    PtyScale scale(options);
    QVERIFY(scale.start());
    HostPort host(scale.devicePath());
    QVERIFY(host.write("\nR\r"));
    QTRY_VERIFY(host.collect().count('\r') >= 3);
    QVERIFY(host.write("\nD\r"));
    QTRY_VERIFY(host.collect().endsWith("\n    \r"));
    QVERIFY(!scale.model().isStreaming());
    const qsizetype answered = scale.sent().size();
    spinEventLoop();
    QCOMPARE(scale.sent().size(), answered);
}

// A pseudo-terminal carries the host's baud rate but not its data bits or
// parity: the simulator reads the rate and frames its answers itself.
void PtyScaleTest::speaksItsLineSettings_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<int>("hostBaud");
    QTest::addColumn<bool>("understood");
    QTest::addColumn<QByteArray>("answer"); // to "A", as the host reads it

    const QByteArray about = "\nSMA:2/1.0\r";
    QTest::newRow("9600,7,E,1") << "9600,7,E,1" << 9600 << true
                                << asReadAt8Bits(about, *LineSettings::parse("9600,7,E,1"));
    QTest::newRow("19200,8,N,1 at 19200") << "19200,8,N,1" << 19200 << true << about;
    QTest::newRow("19200,8,N,1 at 9600") << "19200,8,N,1" << 9600 << false << lineNoise("\nA\r");
}

void PtyScaleTest::speaksItsLineSettings()
{
    QFETCH(QString, scale);
    QFETCH(int, hostBaud);
    QFETCH(bool, understood);
    QFETCH(QByteArray, answer);

    ScaleOptions options;
    options.line = *LineSettings::parse(scale);
    PtyScale pty(options);
    QVERIFY(pty.start());
    QSerialPort port(pty.devicePath());
    port.setBaudRate(hostBaud);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QCOMPARE(pty.hostBaud(), hostBaud);
    port.write("\nA\r");
    QByteArray read;
    QTRY_VERIFY((read += port.readAll()).size() >= answer.size());
    QCOMPARE(read, answer);
    QCOMPARE(pty.model().commands().size(), understood ? 1 : 0);
}

QTEST_GUILESS_MAIN(PtyScaleTest)
#include "tst_pty_scale.moc"
