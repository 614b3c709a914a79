#include "QSerialMSComm.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

// The QSerialPort-backed port over a real pseudo-terminal: the test holds the
// master side and plays the device.
class QSerialMSCommTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sendsExactBytesAndReceives();
    void bytesWhileThresholdIsZeroAreThrownAway();
    void otherProgramHoldingThePortIsBusy();
    void missingDeviceIsNamed();
    void pathThatIsNoSerialPortIsNamed_data();
    void pathThatIsNoSerialPortIsNamed();
    void vanishingDeviceIsReleasedWithoutSpinning();

private:
    QByteArray readMaster(int expected);
    void writeMaster(const QByteArray &bytes);

    int m_master = -1;
    QString m_slavePath;
};

void QSerialMSCommTest::init()
{
    int slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&m_master, &slave, name, nullptr, nullptr) == 0);
    termios raw = {};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

void QSerialMSCommTest::cleanup()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QByteArray QSerialMSCommTest::readMaster(int expected)
{
    QByteArray got;
    QDeadlineTimer deadline(5000);
    while (got.size() < expected && !deadline.hasExpired()) {
        char buffer[256];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        else
            QTest::qWait(5);
    }
    return got;
}

void QSerialMSCommTest::writeMaster(const QByteArray &bytes)
{
    QCOMPARE(::write(m_master, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
}

void QSerialMSCommTest::sendsExactBytesAndReceives()
{
    QSerialMSComm port;
    port.setCommPort(m_slavePath);
    port.setSettings("9600,n,8,1");
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.portOpen());
    port.setRThreshold(1);
    QSignalSpy notified(&port, &MSComm::OnComm);

    port.setOutput(QByteArray::fromHex("0a410d"));
    QCOMPARE(readMaster(3), QByteArray::fromHex("0a410d"));

    writeMaster("\nSMA:2/1.0\r");
    QTRY_VERIFY(notified.count() >= 1);
    QCOMPARE(port.commEvent(), 2);
    QByteArray received = port.input();
    QTRY_VERIFY((received += port.input()).size() == 11);
    QCOMPARE(received, QByteArray("\nSMA:2/1.0\r"));
    QVERIFY(port.input().isEmpty());

    QVERIFY(port.setPortOpen(false));
    QVERIFY(!port.portOpen());
    QVERIFY(!port.deviceHeld());
}

void QSerialMSCommTest::bytesWhileThresholdIsZeroAreThrownAway()
{
    QSerialMSComm port;
    port.setCommPort(m_slavePath);
    port.setRThreshold(0);
    QVERIFY(port.setPortOpen(true));
    QSignalSpy notified(&port, &MSComm::OnComm);
    QSignalSpy discarded(&port, &MSComm::Discarded);
    writeMaster("\nEARLY\r");
    QTRY_VERIFY(!discarded.isEmpty());
    QCOMPARE(notified.count(), 0);
    QCOMPARE(discarded.first().first().toByteArray(), QByteArray("\nEARLY\r"));
    QCOMPARE(port.bytesWaiting(), 0);

    // Raising the threshold announces only what comes afterwards.
    port.setRThreshold(1);
    QTest::qWait(50);
    QCOMPARE(notified.count(), 0);
    writeMaster("\nLATE\r");
    QTRY_VERIFY(notified.count() >= 1);
    QByteArray received;
    QTRY_VERIFY((received += port.input()).size() == 6);
    QCOMPARE(received, QByteArray("\nLATE\r"));
}

void QSerialMSCommTest::otherProgramHoldingThePortIsBusy()
{
    QSerialMSComm first;
    first.setCommPort(m_slavePath);
    QVERIFY(first.setPortOpen(true));
    QSerialMSComm second;
    second.setCommPort(m_slavePath);
    QVERIFY(!second.setPortOpen(true));
    QVERIFY(!second.portOpen());
    QCOMPARE(second.openFailure().kind, OpenFailure::Busy);
    QVERIFY2(second.openFailure().describe().startsWith(m_slavePath + ": the port is busy"),
             qPrintable(second.openFailure().describe()));
    // The first keeps working.
    first.setOutput("\nW\r");
    QCOMPARE(readMaster(3), QByteArray("\nW\r"));
    // Opening it again changes nothing: it is open, and says so.
    QVERIFY(first.setPortOpen(true));
    QVERIFY(first.portOpen());
    QVERIFY(!first.openFailure().failed());
    first.setOutput("\nZ\r");
    QCOMPARE(readMaster(3), QByteArray("\nZ\r"));
}

void QSerialMSCommTest::missingDeviceIsNamed()
{
    QSerialMSComm port;
    port.setCommPort("/dev/ttyNoSuchPort42");
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    QCOMPARE(port.openFailure().kind, OpenFailure::NoSuchDevice);
    QVERIFY(port.openFailure().describe().startsWith("/dev/ttyNoSuchPort42: no such device"));
    // Nothing happens when a closed port is used.
    port.setOutput("\nA\r");
    QVERIFY(port.input().isEmpty());
}

void QSerialMSCommTest::pathThatIsNoSerialPortIsNamed_data()
{
    QTest::addColumn<QString>("path"); // "%1" stands for a temporary folder
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("systemError");
    const int notSerial = int(OpenFailure::InvalidPort);
    QTest::newRow("regular file") << "%1/file" << notSerial << "this is a file, not a serial port"
                                  << ENOTTY;
    QTest::newRow("folder") << "%1/folder" << notSerial << "this is a folder, not a serial port"
                            << EISDIR;
    QTest::newRow("named pipe") << "%1/fifo" << notSerial << "this is a pipe, not a serial port"
                                << ENOTTY;
    QTest::newRow("socket") << "%1/socket" << notSerial << "this is a socket, not a serial port"
                            << ENXIO;
    QTest::newRow("/dev/null") << "/dev/null" << notSerial
                               << "this is a device that is not a serial port" << ENOTTY;
}

void QSerialMSCommTest::pathThatIsNoSerialPortIsNamed()
{
    QFETCH(QString, path);
    QFETCH(int, expected);
    QFETCH(QString, words);
    QFETCH(int, systemError);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(dir.filePath("socket"));
    QVERIFY(size_t(socketPath.size()) < sizeof address.sun_path);
    qstrcpy(address.sun_path, socketPath.constData());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    QCOMPARE(::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ::close(listener); // the socket file stays

    const QString device = path.contains("%1") ? path.arg(dir.path()) : path;
    QSerialMSComm port;
    port.setCommPort(device);
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    const OpenFailure failure = port.openFailure();
    QCOMPARE(int(failure.kind), expected);
    const QString said = failure.describe();
    // The path, the plain words, then the system's own words for the curious.
    QVERIFY2(said.startsWith(device + ": " + words), qPrintable(said));
    QVERIFY2(said.endsWith(QStringLiteral(" (%1)").arg(qt_error_string(systemError))),
             qPrintable(said));
}

void QSerialMSCommTest::vanishingDeviceIsReleasedWithoutSpinning()
{
    QSerialMSComm port;
    port.setCommPort(m_slavePath);
    port.setRThreshold(1);
    QVERIFY(port.setPortOpen(true));
    QSignalSpy notified(&port, &MSComm::OnComm);
    QSignalSpy lost(&port, &MSComm::Lost);
    ::close(m_master);
    m_master = -1;

    QTRY_VERIFY(!port.deviceHeld());
    QTRY_COMPARE(lost.count(), 1);
    const QString said = lost.first().first().toString();
    QVERIFY2(said.startsWith(m_slavePath + ": the connection to the scale was lost"),
             qPrintable(said));
    // Still open for its owner, whose time-out will close it.
    QVERIFY(port.portOpen());
    QTest::qWait(100);
    QVERIFY(notified.count() <= 1);
    port.setOutput("\nB\r"); // goes nowhere, harmlessly
    QVERIFY(port.input().isEmpty());
    QVERIFY(port.setPortOpen(false));
    QVERIFY(!port.portOpen());
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(QSerialMSCommTest)
#include "tst_qserialmscomm.moc"
