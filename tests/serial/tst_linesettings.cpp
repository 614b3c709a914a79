#include "LineSettings.h"
#include "ScaleLine.h"

#include <QtTest>

// Line settings as text, and what bytes read by an 8-bit receiver say about
// the framing of the scale that sent them.
class LineSettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void readsItsText_data();
    void readsItsText();
    void tellsTheFramingFromBit7_data();
    void tellsTheFramingFromBit7();
};

void LineSettingsTest::readsItsText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text"); // empty: refused
    QTest::addColumn<QString>("port");

    QTest::newRow("default") << "9600,8,N,1"
                             << "9600,8,N,1"
                             << "9600,n,8,1";
    QTest::newRow("blanks, lower case") << " 19200, 7 ,e,1 "
                                        << "19200,7,E,1"
                                        << "19200,e,7,1";
    QTest::newRow("odd, two stop bits") << "1200,7,O,2"
                                        << "1200,7,O,2"
                                        << "1200,o,7,2";
    QTest::newRow("fastest") << "115200,8,N,1"
                             << "115200,8,N,1"
                             << "115200,n,8,1";
    QTest::newRow("baud not offered") << "9601,8,N,1"
                                      << ""
                                      << "";
    QTest::newRow("six data bits") << "9600,6,N,1"
                                   << ""
                                   << "";
    QTest::newRow("mark parity") << "9600,7,M,1"
                                 << ""
                                 << "";
    QTest::newRow("1.5 stop bits") << "9600,8,N,1.5"
                                   << ""
                                   << "";
    QTest::newRow("three fields") << "9600,8,N"
                                  << ""
                                  << "";
    QTest::newRow("port order") << "9600,n,8,1"
                                << ""
                                << "";
}

void LineSettingsTest::readsItsText()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(QString, port);
    const std::optional<LineSettings> settings = LineSettings::parse(typed);
    QCOMPARE(settings.has_value(), !text.isEmpty());
    if (!settings)
        return;
    QCOMPARE(settings->text(), text);
    QCOMPARE(settings->portSettings(), port);
    QCOMPARE(LineSettings::fromPortSettings(port), settings);
    QCOMPARE(settings->isDefault(), text == "9600,8,N,1");
}

// The simulated scale frames its answers as a 7-bit sender would; the
// tester reads the framing back from them.
void LineSettingsTest::tellsTheFramingFromBit7_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("settings"); // at 9600; empty: none

    const QByteArray answer = "\nSMA:2/1.0\r";
    const auto sentAs = [&](const char *line) {
        return asReadAt8Bits(answer, *LineSettings::parse(line));
    };
    QTest::newRow("8,N,1") << sentAs("9600,8,N,1") << int(Bit7Pattern::NeverSet) << "9600,8,N,1";
    QTest::newRow("7,E,1") << sentAs("9600,7,E,1") << int(Bit7Pattern::EvenParity) << "9600,7,E,1";
    QTest::newRow("7,O,1") << sentAs("9600,7,O,1") << int(Bit7Pattern::OddParity) << "9600,7,O,1";
    QTest::newRow("7,N,2") << sentAs("9600,7,N,2") << int(Bit7Pattern::AlwaysSet) << "9600,7,N,2";
    QTest::newRow("7,N,1 reads like 7,N,2")
        << sentAs("9600,7,N,1") << int(Bit7Pattern::AlwaysSet) << "9600,7,N,2";
    QTest::newRow("CR of a 7,E,1 line") << QByteArray("\nA\x8d") << int(Bit7Pattern::TooFew) << "";
    QTest::newRow("another baud rate") << lineNoise(answer) << int(Bit7Pattern::Mixed) << "";
    QTest::newRow("even and odd parity mixed")
        << QByteArray("\x0a\x8a\x41\x41") << int(Bit7Pattern::Mixed) << "";
}

void LineSettingsTest::tellsTheFramingFromBit7()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, pattern);
    QFETCH(QString, settings);
    QCOMPARE(int(readBit7(bytes)), pattern);
    const std::optional<LineSettings> guessed = settingsForBit7(Bit7Pattern(pattern), 9600);
    QCOMPARE(guessed ? guessed->text() : QString(), settings);
    // A 7-bit receiver, and the tester at 7 data bits, read the plain text.
    if (!settings.isEmpty())
        QCOMPARE(LineSettings::parse(settings)->received(bytes), QByteArray("\nSMA:2/1.0\r"));
}

QTEST_GUILESS_MAIN(LineSettingsTest)
#include "tst_linesettings.moc"
