#include "LineSettingsSearch.h"
#include "ScaleLine.h"
#include "ScriptedMSComm.h"
#include "TrafficLog.h"

#include <QSignalSpy>
#include <QtTest>

// Finding the line settings a scale answers at, against a scripted scale
// that understands only its own baud rate and frames its answers as its own
// data bits and parity do.
class LineSettingsSearchTest : public QObject
{
    Q_OBJECT
private slots:
    void findsTheScalesSettings_data();
    void findsTheScalesSettings();
};

void LineSettingsSearchTest::findsTheScalesSettings_data()
{
    QTest::addColumn<QString>("scale");      // its line settings; empty: silent
    QTest::addColumn<QByteArray>("unasked"); // sent by itself every 10 ms
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QList<int>>("tried"); // the baud rates "A" went out at

    using Kind = LineSettingsSearch::Outcome::Kind;
    const QList<int> all{9600, 19200, 4800, 2400, 38400, 1200, 57600, 115200};
    QTest::newRow("9600,8,N,1 at once") << "9600,8,N,1" << QByteArray() << int(Kind::Found)
                                        << "The scale answers at 9600,8,N,1" << QList<int>{9600};
    QTest::newRow("7,E,1 from its parity bits")
        << "9600,7,E,1" << QByteArray() << int(Kind::Found) << "The scale answers at 9600,7,E,1"
        << QList<int>{9600};
    QTest::newRow("38400 fifth") << "38400,8,N,1" << QByteArray() << int(Kind::Found)
                                 << "The scale answers at 38400,8,N,1"
                                 << QList<int>{9600, 19200, 4800, 2400, 38400};
    QTest::newRow("2400,7,O,1") << "2400,7,O,1" << QByteArray() << int(Kind::Found)
                                << "The scale answers at 2400,7,O,1"
                                << QList<int>{9600, 19200, 4800, 2400};
    QTest::newRow("115200,7,N,2 last") << "115200,7,N,2" << QByteArray() << int(Kind::Found)
                                       << "The scale answers at 115200,7,N,2" << all;
    QTest::newRow("talks by itself")
        << "9600,8,N,1" << QByteArray("\n 1G     12.50kg \r") << int(Kind::Continuous)
        << "The scale sends data without being asked (continuous output). Set its serial "
           "output to answer on request, then start again."
        << QList<int>{};
    QTest::newRow("silent") << "" << QByteArray() << int(Kind::NotFound)
                            << "The scale answered \"A\" at none of the baud rates tried. 9600 "
                               "baud: nothing; 19200 baud: nothing; 4800 baud: nothing; 2400 "
                               "baud: nothing; 38400 baud: nothing; 1200 baud: nothing; 57600 "
                               "baud: nothing; 115200 baud: nothing."
                            << all;
}

void LineSettingsSearchTest::findsTheScalesSettings()
{
    QFETCH(QString, scale);
    QFETCH(QByteArray, unasked);
    QFETCH(int, kind);
    QFETCH(QString, said);
    QFETCH(QList<int>, tried);

    ScriptedMSComm port;
    QList<int> sentAt;
    port.responder = [&](const QByteArray &frame) -> QByteArray {
        const std::optional<LineSettings> at = LineSettings::fromPortSettings(port.settings());
        sentAt << at->baud;
        if (scale.isEmpty() || frame != "\nA\r")
            return {};
        const LineSettings own = *LineSettings::parse(scale);
        const QByteArray answer = "\nSMA:2/1.0\r";
        return at->baud == own.baud ? asReadAt8Bits(answer, own) : lineNoise(answer);
    };
    QTimer talking;
    connect(&talking, &QTimer::timeout, &port, [&] { port.deliver(unasked); });
    if (!unasked.isEmpty())
        talking.start(10);

    TrafficLog log;
    LineSettingsSearch search(port);
    search.setTrafficRecorder(log.settingsSearchRecorder());
    // A tenth of the real times: the scripted scale answers at once.
    search.setTiming({50, 50});
    QSignalSpy finished(&search, &LineSettingsSearch::finished);
    QVERIFY(!search.start(QStringLiteral("/dev/ttyUSB0"), LineSettings{}).failed());
    QVERIFY(finished.wait(2000));

    const auto outcome = finished.first().first().value<LineSettingsSearch::Outcome>();
    QCOMPARE(int(outcome.kind), kind);
    QCOMPARE(LineSettingsSearch::describe(outcome), said);
    QCOMPARE(sentAt, tried);
    QVERIFY(!port.portOpen());
    QVERIFY(!search.isRunning());
    // Every probe is on record.
    qsizetype sentEntries = 0;
    for (const TrafficEntry &entry : log.entries())
        sentEntries += entry.kind == TrafficEntry::Kind::Sent;
    QCOMPARE(sentEntries, tried.size());
    if (outcome.kind == LineSettingsSearch::Outcome::Kind::Continuous) {
        QCOMPARE(outcome.evidence, unasked);
        QVERIFY(outcome.unaskedLines >= LineSettingsSearch::kUnaskedLinesForContinuous);
        QVERIFY(outcome.linesPerSecond > 10 && outcome.linesPerSecond <= 1000);
    }
}

QTEST_GUILESS_MAIN(LineSettingsSearchTest)
#include "tst_linesettingssearch.moc"
