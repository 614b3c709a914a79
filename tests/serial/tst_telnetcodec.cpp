#include "TelnetCodec.h"

#include <QtTest>

// The Telnet side of an RFC 2217 port, byte by byte: what the scale sent
// comes out whole and nothing of Telnet's stays in it, negotiation is
// answered once, and the line settings count as set only when the server
// answered each alike.
class TelnetCodecTest : public QObject
{
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void encodes();
};

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// The server's answer to one setting: IAC SB COM-PORT code+100 value IAC SE.
QByteArray answer(int code, const QByteArray &value)
{
    return hex("fffa2c") + char(code + TelnetCodec::kServerOffset) + value + hex("fff0");
}

} // namespace

void TelnetCodecTest::decodes_data()
{
    QTest::addColumn<QString>("asked"); // line settings sent first; empty: none
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("data");  // the scale's bytes that come out
    QTest::addColumn<QByteArray>("reply"); // negotiation sent back
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("fault"); // empty: none

    const QByteArray all19200 = answer(1, hex("00004b00")) + answer(2, hex("07")) +
                                answer(3, hex("03")) + answer(4, hex("01"));
    QTest::newRow("an answer as it is")
        << "" << QByteArray("\nSMA:2/1.0\r") << QByteArray("\nSMA:2/1.0\r") << QByteArray() << true
        << "";
    QTest::newRow("a doubled 0xFF is the scale's")
        << "" << hex("0affff0d") << hex("0aff0d") << QByteArray() << true << "";
    QTest::newRow("CR NUL in text mode is CR")
        << "" << hex("0a410d000a") << hex("0a410d0a") << QByteArray() << true << "";
    QTest::newRow("in binary a NUL after CR is the scale's")
        << "" << hex("fffb00") + hex("0d00") << hex("0d00") << QByteArray() << true << "";
    QTest::newRow("NOP and go-ahead between bytes")
        << "" << hex("41fff142fff943") << QByteArray("ABC") << QByteArray() << true << "";
    QTest::newRow("an unwanted option is refused once")
        << "" << hex("fffb01fffb01fffd18fffd18") << QByteArray() << hex("fffe01fffc18") << true
        << "";
    QTest::newRow("suppress-go-ahead offered is taken")
        << "" << hex("fffb03") << QByteArray() << QByteArray() << true << "";
    QTest::newRow("every setting answered alike")
        << "19200,7,E,1" << hex("fffd2c") + all19200 + "\nA" << QByteArray("\nA") << QByteArray()
        << true << "";
    QTest::newRow("three of four answered: not yet")
        << "19200,7,E,1" << answer(1, hex("00004b00")) + answer(2, hex("07")) + answer(3, hex("03"))
        << QByteArray() << QByteArray() << false << "";
    QTest::newRow("a baud rate answered otherwise")
        << "19200,8,N,1" << answer(1, hex("00002580")) << QByteArray() << QByteArray() << false
        << "the device server answered the line settings wrongly: asked for 19200 baud, it set "
           "9600 baud";
    QTest::newRow("parity answered otherwise")
        << "9600,7,E,1" << answer(3, hex("01")) << QByteArray() << QByteArray() << false
        << "asked for even parity, it set no parity";
    QTest::newRow("line state notices are no answer")
        << "9600,8,N,1" << hex("fffa2c6a00fff0") + "x" << QByteArray("x") << QByteArray() << false
        << "";
    QTest::newRow("Com Port Control refused")
        << "9600,8,N,1" << hex("fffe2c") << QByteArray() << QByteArray() << false
        << "it refused RFC 2217 Com Port Control";
    QTest::newRow("an endless subnegotiation is dropped, the data after it kept")
        << "9600,8,N,1" << hex("fffa2c65") + QByteArray(5000, 'x') + hex("fff0") + "\nW"
        << QByteArray("\nW") << QByteArray() << false << "";
}

void TelnetCodecTest::decodes()
{
    QFETCH(QString, asked);
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(bool, confirmed);
    QFETCH(QString, fault);

    // All at once, and a byte at a time as a slow connection delivers it.
    for (const bool byByte : {false, true}) {
        TelnetCodec codec;
        codec.greeting();
        if (!asked.isEmpty())
            codec.setLineSettings(*LineSettings::parse(asked));
        TelnetCodec::Decoded decoded;
        if (byByte) {
            for (const char byte : received) {
                const TelnetCodec::Decoded part = codec.decode(QByteArray(1, byte));
                decoded.data += part.data;
                decoded.reply += part.reply;
            }
        } else {
            decoded = codec.decode(received);
        }
        QCOMPARE(decoded.data.toHex(), data.toHex());
        QCOMPARE(decoded.reply.toHex(), reply.toHex());
        QCOMPARE(codec.settingsConfirmed(), confirmed);
        if (fault.isEmpty())
            QCOMPARE(codec.fault(), QString());
        else
            QVERIFY2(codec.fault().contains(fault), qPrintable(codec.fault()));
    }
}

// On the way out: the settings as RFC 2217 writes them, a 0xFF of the
// scale's doubled, and a CR followed by NUL until the server takes binary.
void TelnetCodecTest::encodes()
{
    TelnetCodec codec;
    QCOMPARE(codec.greeting().toHex(), hex("fffb00fffd00fffd03fffb2c").toHex());
    QCOMPARE(codec.setLineSettings(*LineSettings::parse("19200,7,E,1")).toHex(),
             (hex("fffa2c0100004b00fff0") + hex("fffa2c0207fff0") + hex("fffa2c0303fff0") +
              hex("fffa2c0401fff0"))
                 .toHex());
    QCOMPARE(codec.encode(hex("0a41ff0d")).toHex(), hex("0a41ffff0d00").toHex());
    codec.decode(hex("fffd00")); // DO BINARY
    QCOMPARE(codec.encode(hex("0a410d")).toHex(), hex("0a410d").toHex());
}

QTEST_GUILESS_MAIN(TelnetCodecTest)
#include "tst_telnetcodec.moc"
