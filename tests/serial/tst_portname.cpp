#include "PortList.h"
#include "PortName.h"

#include <QtTest>

#include <cerrno>

// What a `Port` text names, and how a failed open is put into words.
class PortNameTest : public QObject
{
    Q_OBJECT
private slots:
    void resolves_data();
    void resolves();
    void describesOpenFailures_data();
    void describesOpenFailures();
    void looksTheDeviceUp();
    void summarisesAPortPresent();
};

void PortNameTest::summarisesAPortPresent()
{
    PresentPort usb{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "0403:6001"};
    QCOMPARE(usb.summary(), QString("/dev/ttyUSB0  FT232R USB UART, FTDI, USB 0403:6001"));
    PresentPort same{"/dev/ttyACM0", "Scale", "Scale", ""};
    QCOMPARE(same.summary(), QString("/dev/ttyACM0  Scale"));
    QCOMPARE(PresentPort{"/dev/ttyS0"}.summary(), QString("/dev/ttyS0"));
}

void PortNameTest::resolves_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("device"); // empty: names no port
#ifdef Q_OS_WIN
    QTest::newRow("1") << "1"
                       << "COM1";
    QTest::newRow("COM3") << "COM3"
                          << "COM3";
#else
    QTest::newRow("1 is the first port") << "1"
                                         << "/dev/ttyS0";
    QTest::newRow("blanks around") << " 2 "
                                   << "/dev/ttyS1";
    QTest::newRow("highest") << "32767"
                             << "/dev/ttyS32766";
    QTest::newRow("plus sign") << "+4"
                               << "/dev/ttyS3";
    QTest::newRow("COM3 is the third port") << "COM3"
                                            << "/dev/ttyS2";
    QTest::newRow("com3 in lower case") << "com3"
                                        << "/dev/ttyS2";
    QTest::newRow("device name") << "ttyUSB0"
                                 << "/dev/ttyUSB0";
    QTest::newRow("device name with dot") << "cu.usbserial1"
                                          << "/dev/cu.usbserial1";
    QTest::newRow("pseudo-terminal path") << "/dev/pts/7"
                                          << "/dev/pts/7";
    QTest::newRow("any path") << "/dev/serial/by-id/usb-FTDI-if00"
                              << "/dev/serial/by-id/usb-FTDI-if00";
#endif
    QTest::newRow("raw TCP port") << "tcp://192.168.1.50:4001"
                                  << "tcp://192.168.1.50:4001";
    QTest::newRow("RFC 2217 port, scheme in capitals") << " RFC2217://scale-7.lab:7000/ "
                                                       << "rfc2217://scale-7.lab:7000";
    QTest::newRow("IPv6 host") << "tcp://[::1]:7000"
                               << "tcp://[::1]:7000";
    QTest::newRow("network port without a port") << "tcp://192.168.1.50"
                                                 << "";
    QTest::newRow("TCP port beyond 65535") << "rfc2217://host:65536"
                                           << "";
    QTest::newRow("TCP port 0") << "tcp://host:0"
                                << "";
    QTest::newRow("a scheme the tester knows not") << "telnet://host:23"
                                                   << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blanks only") << "   "
                                 << "";
    QTest::newRow("letters") << "abc"
                             << "";
    QTest::newRow("zero") << "0"
                          << "";
    QTest::newRow("negative") << "-1"
                              << "";
    QTest::newRow("beyond 16 bits") << "32768"
                                    << "";
    QTest::newRow("far beyond") << "99999999999999999999999"
                                << "";
    QTest::newRow("decimal") << "1.5"
                             << "";
    QTest::newRow("COM without number") << "COM"
                                        << "";
    QTest::newRow("COM0") << "COM0"
                          << "";
    QTest::newRow("shell text") << "1; rm -rf /"
                                << "";
}

void PortNameTest::resolves()
{
    QFETCH(QString, text);
    QFETCH(QString, device);
    const PortName port = resolvePortName(text);
    QCOMPARE(port.device, device);
    QCOMPARE(port.ok(), !device.isEmpty());
    if (!port.ok()) {
        QCOMPARE(port.failure.kind, OpenFailure::InvalidPort);
        // The message names what was typed and says what to type instead.
        const QString said = port.failure.describe();
        QVERIFY2(said.contains(text.trimmed().isEmpty() ? QString("Port") : text.trimmed()),
                 qPrintable(said));
        QVERIFY2(said.contains(text.contains("://") ? "tcp://HOST:PORT" : "port number such as 1"),
                 qPrintable(said));
    }
}

void PortNameTest::describesOpenFailures_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("node");
    QTest::addColumn<bool>("accessible");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("words");
    const int notFound = int(OpenErrorKind::NotFound);
    const int permission = int(OpenErrorKind::Permission);
    const int other = int(OpenErrorKind::Other);
    const int missing = int(DeviceNode::Missing);
    const int device = int(DeviceNode::CharacterDevice);
    QTest::newRow("not found") << notFound << missing << false << int(OpenFailure::NoSuchDevice)
                               << "no such device";
    QTest::newRow("permission on a missing device")
        << permission << missing << false << int(OpenFailure::NoSuchDevice) << "no such device";
    QTest::newRow("permission denied")
        << permission << device << false << int(OpenFailure::PermissionDenied)
        << "permission denied. Your user may not use this device: "
           "it must be in the group \"uucp\"";
    QTest::newRow("locked by another program")
        << permission << device << true << int(OpenFailure::Busy) << "in use by another program";
    QTest::newRow("already open here") << int(OpenErrorKind::AlreadyOpen) << device << true
                                       << int(OpenFailure::Busy) << "already open";
    QTest::newRow("device of another kind")
        << int(OpenErrorKind::NotATerminal) << device << true << int(OpenFailure::InvalidPort)
        << "this is a device that is not a serial port. Type the port the scale is connected "
           "to. (Input/output error)";
    QTest::newRow("nothing behind the device node")
        << int(OpenErrorKind::NoDevice) << device << true << int(OpenFailure::NoSuchDevice)
        << "no device answers there: check the port number";
    QTest::newRow("file refused for permission")
        << permission << int(DeviceNode::File) << false << int(OpenFailure::InvalidPort)
        << "this is a file, not a serial port.";
    QTest::newRow("storage device")
        << other << int(DeviceNode::BlockDevice) << true << int(OpenFailure::InvalidPort)
        << "this is a storage device, not a serial port.";
    QTest::newRow("anything else")
        << other << device << true << int(OpenFailure::Other) << "Input/output error";
}

void PortNameTest::describesOpenFailures()
{
    QFETCH(int, kind);
    QFETCH(int, node);
    QFETCH(bool, accessible);
    QFETCH(int, expected);
    QFETCH(QString, words);
    const OpenFailure failure =
        describeOpenError(OpenErrorKind(kind), "/dev/ttyUSB0", DeviceNode(node), accessible, "uucp",
                          "Input/output error");
    QCOMPARE(int(failure.kind), expected);
    QCOMPARE(failure.port, QString("/dev/ttyUSB0"));
    QVERIFY2(failure.describe().startsWith("/dev/ttyUSB0: "), qPrintable(failure.describe()));
    QVERIFY2(failure.describe().contains(words), qPrintable(failure.describe()));
}

void PortNameTest::looksTheDeviceUp()
{
    const OpenFailure missing =
        describeOpenError(OpenErrorKind::Permission, "/dev/no-such-serial-device", {});
    QCOMPARE(missing.kind, OpenFailure::NoSuchDevice);
#ifdef Q_OS_UNIX
    // /dev/null exists and can be opened: a refusal there means someone holds it.
    const OpenFailure held = describeOpenError(OpenErrorKind::Permission, "/dev/null", {});
    QCOMPARE(held.kind, OpenFailure::Busy);
    // The library reports "No such device or address" as an unknown error;
    // the system's words tell it apart.
    const QString noAddress = qt_error_string(ENXIO);
    const OpenFailure nobody = describeOpenError(OpenErrorKind::Other, "/dev/null", noAddress);
    QCOMPARE(nobody.kind, OpenFailure::NoSuchDevice);
    QVERIFY2(nobody.describe().endsWith(QStringLiteral(" (%1)").arg(noAddress)),
             qPrintable(nobody.describe()));
#endif
}

QTEST_GUILESS_MAIN(PortNameTest)
#include "tst_portname.moc"
