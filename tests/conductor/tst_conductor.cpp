#include "CheckConductor.h"
#include "ScriptedMSComm.h"
#include "ScriptedScale.h"
#include "TextReportTarget.h"

#include <QtTest>

// A check's phases on a scripted port, without a window: every way a run
// can end ends the check and hands its record on, a single test after it
// revises that record, and the next start begins a new one.
class ConductorTest : public QObject
{
    Q_OBJECT
private slots:
    void checksEndHoweverTheRunEnds_data();
    void checksEndHoweverTheRunEnds();
};

// One conductor on a scripted port, its questions answered as an operator
// who presses Ok and cancels the weight stream analysis answers them.
struct ConductorFixture
{
    ScriptedPorts ports;
    CheckConductor conductor{ports.factory()};
    ScriptedMSComm *port = ports.last();
    std::function<void()> whileSetUp; // runs while the set-up message is up
    int started = 0;
    QList<CheckRecord> ended, revised;

    ConductorFixture()
    {
        using C = CheckConductor;
        QObject::connect(&conductor, &C::asked, [this](C::Question question) {
            if (question == C::Question::SetUp && whileSetUp)
                whileSetUp();
            conductor.answer(question == C::Question::SetUp);
        });
        QObject::connect(&conductor, &C::weightStreamShown,
                         [this] { conductor.endWeightStream(false); });
        QObject::connect(&conductor, &C::checkStarted, [this] { ++started; });
        QObject::connect(&conductor, &C::checkEnded, [this] { ended << conductor.record(); });
        QObject::connect(&conductor, &C::checkRevised, [this] { revised << conductor.record(); });
    }
};

void ConductorTest::checksEndHoweverTheRunEnds_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("the run finishes") << "finishes";
    QTest::newRow("the scale falls silent") << "time-out";
    QTest::newRow("the operator stops") << "stop";
    QTest::newRow("the scale talks by itself") << "continuous";
}

void ConductorTest::checksEndHoweverTheRunEnds()
{
    QFETCH(QString, ending);
    ConductorFixture f;
    ScriptedScale scale;
    scale.about = QStringList{"SMA:2/1.0", "MFG:ACME", "MOD:BX-10", "SN :A-17", "END:"};
    scale.answers["T000001.000"] = " 1N       0.000kg ";
    scale.answerOn(*f.port);

    if (ending == "time-out")
        scale.silent = true;
    if (ending == "continuous")
        f.whileSetUp = [&] { f.port->deliver(QByteArray("\n 1G  5kg\r").repeated(3)); };
    QVERIFY(f.conductor.start(QStringLiteral("/dev/ttyTEST0")));
    f.whileSetUp = nullptr;
    if (ending == "time-out")
        f.conductor.session().onResponseTimeout();
    else if (ending == "stop")
        f.conductor.stop();
    QTRY_COMPARE(f.ended.size(), 1);
    QCOMPARE(f.started, 1);
    const CheckRecord &record = f.ended.first();
    QCOMPARE(record.discoveryFinished, ending == "finishes");
    QCOMPARE(record.serialNumber, QString(ending == "finishes" ? "A-17" : ""));
    QCOMPARE(record.commands, f.conductor.session().commands());
    QCOMPARE(record.report, reportLines(f.conductor.session()));
    QCOMPARE(record.port, QString("/dev/ttyTEST0"));
    QCOMPARE(record.exitStatus, int(CheckConductor::NotCompliant));
    QCOMPARE(f.conductor.phase(), CheckConductor::Phase::Ended);

    scale.silent = false;
    QVERIFY(f.conductor.session()
                .tareTest(QStringLiteral("000001.000"), QStringLiteral("/dev/ttyTEST0"))
                .started);
    QTRY_VERIFY(!f.revised.isEmpty() && f.revised.last().tare);
    QCOMPARE(resultText(f.revised.last().tare->result), QString("Passed"));
    QCOMPARE(f.ended.size(), 1);

    QVERIFY(f.conductor.start(QStringLiteral("/dev/ttyTEST0")));
    QTRY_COMPARE(f.ended.size(), 2);
    QCOMPARE(f.started, 2);
    QVERIFY(!f.ended.last().tare);
}

QTEST_GUILESS_MAIN(ConductorTest)
#include "tst_conductor.moc"
