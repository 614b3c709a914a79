#include "PortName.h"
#include "ScriptedMSComm.h"
#include "WeightFrames.h"
#include "WeightStreamEngine.h"

#include <QTimer>
#include <QtTest>

namespace {

using State = WeightStreamEngine::State;

const QString kNoTare = QStringLiteral("ABDINWZ");
const QString kWithTare = QStringLiteral("ABCDTUWZ");

const QByteArray kWeightRequest = "\nW\r";
const QByteArray kTareRequest = "\nT\r";
const QByteArray kClearTare = "\nC\r";

const QString kTarePrompt = QStringLiteral("tare weight needed");

// The device that the port text "1" names.
QString firstPort()
{
    return resolvePortName(QStringLiteral("1")).device;
}

// One engine on a scripted port. Every signal it raises is written to
// `events` in order, and every ending signal checks that polling had
// stopped and the port was closed by the time it was raised.
struct Rig
{
    Rig() : engine(ports.factory())
    {
        using E = WeightStreamEngine;
        QObject::connect(&engine, &E::openFailed, [this](const OpenFailure &failure) {
            ended(QStringLiteral("open failed: ") + failure.describe());
        });
        QObject::connect(&engine, &E::tareWeightNeeded, [this] {
            events << kTarePrompt;
            quietDuringPrompt = !timer()->isActive() && port()->rThreshold() == 0 &&
                                port()->written.isEmpty() && engine.checklist().itemCount() == 6;
        });
        QObject::connect(&engine, &E::weightDecoded, [this](const WeightAnswer &answer) {
            events << QStringLiteral("weight ") + answer.weightText();
        });
        QObject::connect(&engine, &E::itemTicked, [this](StatusChecklist::Item item) {
            events << QStringLiteral("ticked ") + StatusChecklist::itemText(item);
        });
        QObject::connect(&engine, &E::passed, [this] { ended(QStringLiteral("passed")); });
        QObject::connect(&engine, &E::unknownDataStream,
                         [this] { ended(QStringLiteral("unknown data stream")); });
        QObject::connect(&engine, &E::portLost, [this](const QString &description) {
            ended(QStringLiteral("port lost: ") + description);
        });
    }

    void ended(const QString &event)
    {
        events << event;
        stoppedBeforeEnding = stoppedBeforeEnding && !timer()->isActive() && !port()->portOpen();
    }

    ScriptedMSComm *port() const { return ports.last(); }
    QTimer *timer() const { return engine.findChild<QTimer *>(QStringLiteral("Timer2")); }

    // One poll, delivered through the timer's own signal. Only a running
    // timer can tick.
    [[nodiscard]] bool tick() const
    {
        if (!timer()->isActive())
            return false;
        return QMetaObject::invokeMethod(timer(), "timeout", Qt::DirectConnection);
    }

    QStringList ticked() const
    {
        QStringList texts;
        for (int item = 0; item < engine.checklist().itemCount(); ++item) {
            if (engine.checklist().isTicked(StatusChecklist::Item(item)))
                texts << StatusChecklist::itemText(StatusChecklist::Item(item));
        }
        return texts;
    }

    // The run is over: nothing polls and the port is free.
    bool over(State state) const
    {
        return engine.state() == state && !timer()->isActive() && !port()->portOpen();
    }

    // Takes events recorded so far, so each step can be checked on its own.
    QStringList takeEvents() { return std::exchange(events, {}); }

    ScriptedPorts ports;
    WeightStreamEngine engine;
    QStringList events;
    bool quietDuringPrompt = false;
    bool stoppedBeforeEnding = true;
};

QList<QByteArray> repeated(const QByteArray &frame, int times)
{
    return QList<QByteArray>(times, frame);
}

} // namespace

class WeightStreamEngineTest : public QObject
{
    Q_OBJECT
private slots:
    // --- start ---
    void startOpensThePortInOrder();
    void withoutTarePollsForWeight_data();
    void withoutTarePollsForWeight();
    void withTareWaitsForTheWeightThenTaresClearsOnceAndWeighs();
    void whatArrivesDuringTarePromptIsThrownAway();
    void openFailureIsReportedAndNothingRuns_data();
    void openFailureIsReportedAndNothingRuns();
    void startingAgainStartsAfresh();

    // --- receiving ---
    void answerReportsWeightAndNewTicks();
    void splitAnswerIsDecodedWhenItsCrArrives();
    void onlyReceivedEventsAreHandled();
    void unknownDataStreamEndsTheRun_data();
    void unknownDataStreamEndsTheRun();
    void lostPortEndsTheRun_data();
    void lostPortEndsTheRun();

    // --- pass and cancel ---
    void passesOnFirstTickAfterAllTicked();
    void passWithTareTestSendsExactlyOneClear();
    void cancelAtAnyTime_data();
    void cancelAtAnyTime();
};

void WeightStreamEngineTest::startOpensThePortInOrder()
{
    Rig rig;
    QCOMPARE(rig.engine.state(), State::Idle);
    QCOMPARE(rig.port()->objectName(), QStringLiteral("MSComm2"));
    QVERIFY(rig.port()->log.isEmpty());
    QVERIFY(!rig.timer()->isActive());

    QCOMPARE(rig.engine.start(QStringLiteral("1"), kNoTare), State::Polling);
    QCOMPARE(rig.port()->log,
             QStringList({"CommPort=" + firstPort(), "Settings=9600,n,8,1", "RThreshold=0",
                          "SThreshold=0", "PortOpen=1", "Input", "RThreshold=1", "SThreshold=1"}));
    QVERIFY(rig.timer()->isActive());
    QCOMPARE(rig.timer()->interval(), 1000);
    QVERIFY(rig.port()->written.isEmpty());
    QVERIFY(rig.events.isEmpty());

    // A simulated scale may be polled faster, from the next start on.
    rig.engine.setPollInterval(100);
    QCOMPARE(rig.engine.start(QStringLiteral("1"), kNoTare), State::Polling);
    QCOMPARE(rig.timer()->interval(), 100);
}

void WeightStreamEngineTest::withoutTarePollsForWeight_data()
{
    QTest::addColumn<QString>("published");
    QTest::newRow("no T") << kNoTare;
    QTest::newRow("lower-case t") << QStringLiteral("ABDtWZ");
    QTest::newRow("nothing published") << QString();
}

void WeightStreamEngineTest::withoutTarePollsForWeight()
{
    QFETCH(QString, published);
    Rig rig;
    QCOMPARE(rig.engine.start(QStringLiteral("1"), published), State::Polling);
    QCOMPARE(rig.engine.checklist().itemCount(), 5);
    QVERIFY(!rig.engine.startPolling()); // no tare prompt to confirm
    QVERIFY(rig.tick());
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames, repeated(kWeightRequest, 2));
    QVERIFY(rig.events.isEmpty());
}

void WeightStreamEngineTest::withTareWaitsForTheWeightThenTaresClearsOnceAndWeighs()
{
    Rig rig;
    QVERIFY(!rig.engine.startPolling()); // nothing started yet
    QCOMPARE(rig.engine.start(QStringLiteral("1"), kWithTare), State::TarePrompt);
    QCOMPARE(rig.takeEvents(), QStringList{kTarePrompt});
    QVERIFY(rig.quietDuringPrompt);
    QVERIFY(!rig.tick());
    QVERIFY(rig.port()->written.isEmpty());

    QVERIFY(rig.engine.startPolling());
    QCOMPARE(rig.engine.state(), State::Polling);
    QVERIFY(!rig.engine.startPolling()); // once only
    QVERIFY(rig.tick());
    QVERIFY(rig.tick());
    rig.port()->deliver(weightAnswer(' ', 'N', ' ', "     0.000"));
    QCOMPARE(rig.ticked(), QStringList({"Net Flag", "Tare Operation"}));
    QVERIFY(rig.tick());
    QVERIFY(rig.tick());
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames, QList<QByteArray>({kTareRequest, kTareRequest, kClearTare,
                                                    kWeightRequest, kWeightRequest}));
}

void WeightStreamEngineTest::whatArrivesDuringTarePromptIsThrownAway()
{
    Rig rig;
    const QByteArray tared = weightAnswer('Z', 'N', ' ', "     0.000");
    const QByteArray garbage = '\n' + QByteArray(40, 'x');
    QCOMPARE(rig.engine.start(QStringLiteral("1"), kWithTare), State::TarePrompt);
    rig.port()->deliver(tared);
    rig.port()->deliver(garbage);
    rig.port()->raiseEvent(CommEvents::Received); // a stray notification
    rig.port()->hold(tared);                      // arrived, its notification not yet handled
    QVERIFY(rig.engine.startPolling());

    // Neither taken as an answer nor piled up into an unknown stream.
    QCOMPARE(rig.takeEvents(), QStringList{kTarePrompt});
    QCOMPARE(rig.port()->discarded, tared + garbage);
    QVERIFY(rig.port()->waiting().isEmpty());
    QCOMPARE(rig.port()->log.sliced(rig.port()->log.indexOf(QStringLiteral("PortOpen=1"))),
             QStringList({"PortOpen=1", "Input", "Input", "RThreshold=1", "SThreshold=1"}));
    QVERIFY(rig.ticked().isEmpty());

    // Polling takes the answers that come after it started.
    rig.port()->deliver(tared);
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Net Flag", "Tare Operation"}));
}

void WeightStreamEngineTest::openFailureIsReportedAndNothingRuns_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<bool>("portRefuses");
    QTest::addColumn<QString>("details");

    QTest::newRow("port in use") << QStringLiteral("1") << true
                                 << QStringLiteral("/dev/ttyS0: the port is busy");
    QTest::newRow("no port named") << QStringLiteral("scale") << false
                                   << resolvePortName(QStringLiteral("scale")).failure.describe();
    QTest::newRow("empty port") << QString() << false
                                << resolvePortName(QString()).failure.describe();
}

void WeightStreamEngineTest::openFailureIsReportedAndNothingRuns()
{
    QFETCH(QString, portText);
    QFETCH(bool, portRefuses);
    QFETCH(QString, details);

    Rig rig;
    if (portRefuses)
        rig.port()->failOpen = {OpenFailure::Busy, QStringLiteral("/dev/ttyS0"),
                                QStringLiteral("the port is busy")};
    // With the tare test published: an open failure prompts for nothing.
    QCOMPARE(rig.engine.start(portText, kWithTare), State::Cancelled);
    QCOMPARE(rig.events, QStringList{"open failed: " + details});
    QCOMPARE(rig.engine.openFailure().describe(), details);
    QVERIFY(rig.over(State::Cancelled));
    QVERIFY(rig.stoppedBeforeEnding);
    QVERIFY(!rig.engine.startPolling());
    QVERIFY(rig.port()->written.isEmpty());
    QVERIFY(!rig.port()->log.contains(QStringLiteral("RThreshold=1")));
    if (!portRefuses) // a text that names no port never reaches the port
        QVERIFY(rig.port()->log.isEmpty());
}

void WeightStreamEngineTest::startingAgainStartsAfresh()
{
    Rig rig;
    QCOMPARE(rig.engine.start(QStringLiteral("1"), kWithTare), State::TarePrompt);
    QVERIFY(rig.engine.startPolling());
    rig.port()->deliver(weightAnswer('Z', 'N', 'M', "     0.000"));
    QCOMPARE(rig.ticked().size(), 4);
    const QByteArray half = weightAnswer('O', 'G', ' ').first(8);
    rig.port()->deliver(half); // left waiting in the receive buffer
    QVERIFY(rig.tick());

    // Started again while polling: the old run is dropped without a word.
    rig.takeEvents();
    QCOMPARE(rig.engine.start(QStringLiteral("1"), kWithTare), State::TarePrompt);
    QCOMPARE(rig.events, QStringList{kTarePrompt});
    QCOMPARE(rig.ports.ports.size(), 1); // the same port, reopened
    QVERIFY(rig.port()->log.contains(QStringLiteral("PortOpen=0")));
    QCOMPARE(rig.engine.checklist().itemCount(), 6);
    QVERIFY(rig.ticked().isEmpty());
    QVERIFY(rig.engine.startPolling());
    rig.port()->deliver(weightAnswer('O', 'G', ' ').sliced(8)); // the rest of the old answer
    QVERIFY(rig.ticked().isEmpty());
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames.last(), kTareRequest);

    // And once more without the tare test: five boxes, weight requests.
    QCOMPARE(rig.engine.start(QStringLiteral("1"), kNoTare), State::Polling);
    QCOMPARE(rig.engine.checklist().itemCount(), 5);
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames.last(), kWeightRequest);
}

void WeightStreamEngineTest::answerReportsWeightAndNewTicks()
{
    Rig rig;
    rig.engine.start(QStringLiteral("1"), kNoTare);
    rig.port()->deliver(weightAnswer('Z', 'G', ' ', "     0.000"));
    QCOMPARE(rig.takeEvents(),
             QStringList({"weight      0.000", "ticked Zero Flag", "ticked Gross Flag"}));

    // A second answer in the same notification is dropped with the buffer;
    // boxes ticked before are not reported again.
    rig.port()->deliver(weightAnswer('Z', 'N', 'M', "    12.500") +
                        weightAnswer('O', 'G', ' ', "    99.000"));
    QCOMPARE(rig.takeEvents(),
             QStringList({"weight     12.500", "ticked Motion Flag", "ticked Net Flag"}));

    // So is a notification that starts inside an answer.
    rig.port()->deliver(weightAnswer('O', 'G', ' ').sliced(3) + weightAnswer('O', 'G', ' '));
    QVERIFY(rig.events.isEmpty());
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Motion Flag", "Gross Flag", "Net Flag"}));
}

void WeightStreamEngineTest::splitAnswerIsDecodedWhenItsCrArrives()
{
    Rig rig;
    rig.engine.start(QStringLiteral("1"), kNoTare);
    const QByteArray answer = weightAnswer('O', ' ', ' ', "  1234.567");
    rig.port()->deliver(answer.first(19));
    QVERIFY(rig.events.isEmpty());
    rig.port()->deliver(answer.sliced(19));
    QCOMPARE(rig.events, QStringList({"weight   1234.567", "ticked Overcap Flag"}));
}

void WeightStreamEngineTest::onlyReceivedEventsAreHandled()
{
    Rig rig;
    rig.engine.start(QStringLiteral("1"), kNoTare);
    const qsizetype loggedAtStart = rig.port()->log.size();
    // Hold the answer in the port, then raise every other event over it.
    rig.port()->hold(weightAnswer('Z', 'G', ' '));
    const int otherEvents[] = {CommEvents::Send,
                               CommEvents::Cts,
                               CommEvents::Dsr,
                               CommEvents::Cd,
                               CommEvents::Ring,
                               CommEvents::Eof,
                               CommEvents::Break,
                               CommEvents::Frame,
                               CommEvents::Overrun,
                               CommEvents::RxOver,
                               CommEvents::RxParity,
                               CommEvents::TxFull,
                               CommEvents::Dcb,
                               0,
                               -1};
    for (int code : otherEvents)
        rig.port()->raiseEvent(code);
    QVERIFY(!rig.port()->log.sliced(loggedAtStart).contains(QStringLiteral("Input")));
    QVERIFY(rig.events.isEmpty());
    QCOMPARE(rig.engine.state(), State::Polling);

    rig.port()->raiseEvent(CommEvents::Received);
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Gross Flag"}));
}

void WeightStreamEngineTest::unknownDataStreamEndsTheRun_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::newRow("41 characters at once") << QList<QByteArray>{'\n' + QByteArray(40, 'x')};
    QTest::newRow("41 characters in two") << QList<QByteArray>{'\n' + QByteArray(39, 'x'), "x"};
    QTest::newRow("rejections pile up") << repeated("\n?\r", 14);
    QTest::newRow("answers with CR LF") << QList<QByteArray>{
        weightAnswer('Z', 'G', ' ').insert(19, '\n'), weightAnswer('Z', 'G', ' ').insert(19, '\n')};
}

void WeightStreamEngineTest::unknownDataStreamEndsTheRun()
{
    QFETCH(QList<QByteArray>, chunks);
    Rig rig;
    rig.engine.start(QStringLiteral("1"), kNoTare);
    QVERIFY(rig.tick());
    for (qsizetype i = 0; i + 1 < chunks.size(); ++i) {
        rig.port()->deliver(chunks.at(i));
        QVERIFY(rig.events.isEmpty());
    }
    rig.port()->deliver(chunks.last());

    QCOMPARE(rig.events, QStringList{"unknown data stream"});
    QVERIFY(rig.stoppedBeforeEnding);
    QVERIFY(rig.over(State::Cancelled));
    QCOMPARE(rig.port()->rThreshold(), 0);
    QCOMPARE(rig.port()->frames, QList<QByteArray>{kWeightRequest});
}

void WeightStreamEngineTest::lostPortEndsTheRun_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<bool>("duringPrompt");
    QTest::addColumn<QString>("description");
    const QString named =
        firstPort() + QStringLiteral(": the connection to the scale was lost (I/O error)");
    QTest::newRow("polling for weight") << kNoTare << false << named;
    QTest::newRow("tare polling") << kWithTare << false << named;
    QTest::newRow("tare prompt") << kWithTare << true << named;
    QTest::newRow("description without the port") << kNoTare << false << "I/O error";
}

void WeightStreamEngineTest::lostPortEndsTheRun()
{
    QFETCH(QString, published);
    QFETCH(bool, duringPrompt);
    QFETCH(QString, description);
    Rig rig;
    rig.engine.start(QStringLiteral("1"), published);
    if (!duringPrompt) {
        rig.engine.startPolling();
        QVERIFY(rig.tick());
    }
    rig.takeEvents();
    rig.port()->lose(description);

    const QString named = description.startsWith(firstPort())
                              ? description
                              : firstPort() + QStringLiteral(": ") + description;
    QCOMPARE(rig.events, QStringList{"port lost: " + named});
    QVERIFY(rig.stoppedBeforeEnding);
    QVERIFY(rig.over(State::Cancelled));
    QVERIFY(!rig.engine.startPolling());
    QCOMPARE(rig.port()->frames.size(), duringPrompt ? 0 : 1);
    // Told once: the port's later news of a closed device changes nothing.
    rig.port()->lose(description);
    QCOMPARE(rig.events.size(), 1);
}

void WeightStreamEngineTest::passesOnFirstTickAfterAllTicked()
{
    Rig rig;
    rig.engine.start(QStringLiteral("1"), kNoTare);
    for (const QByteArray &answer : kAllFlags) {
        QVERIFY(rig.tick());
        rig.port()->deliver(answer);
    }
    QCOMPARE(rig.ticked().size(), 5);
    // Passing is the next tick's business, not the answer's.
    QCOMPARE(rig.engine.state(), State::Polling);
    QVERIFY(!rig.events.contains(QStringLiteral("passed")));

    QVERIFY(rig.tick());
    QCOMPARE(rig.events.last(), QStringLiteral("passed"));
    QVERIFY(rig.stoppedBeforeEnding);
    QVERIFY(rig.over(State::Passed));
    QCOMPARE(rig.port()->log.last(), QStringLiteral("PortOpen=0"));
    QCOMPARE(rig.port()->frames, repeated(kWeightRequest, kAllFlags.size()));
    // A pass is final: cancel() changes nothing.
    rig.engine.cancel();
    QCOMPARE(rig.engine.state(), State::Passed);
}

void WeightStreamEngineTest::passWithTareTestSendsExactlyOneClear()
{
    Rig rig;
    rig.engine.start(QStringLiteral("1"), kWithTare);
    rig.engine.startPolling();
    QVERIFY(rig.tick());
    for (const QByteArray &answer : kAllFlags)
        rig.port()->deliver(answer);
    QCOMPARE(rig.ticked().size(), 5);
    QVERIFY(rig.tick()); // tare not done yet
    rig.port()->deliver(weightAnswer(' ', 'G', ' ', "     0.000"));
    QCOMPARE(rig.ticked().size(), 6);

    QVERIFY(rig.tick()); // the clear-tare goes out first
    QCOMPARE(rig.engine.state(), State::Polling);
    QVERIFY(rig.tick());
    QCOMPARE(rig.events.last(), QStringLiteral("passed"));
    QVERIFY(rig.over(State::Passed));
    QCOMPARE(rig.port()->frames, QList<QByteArray>({kTareRequest, kTareRequest, kClearTare}));
}

void WeightStreamEngineTest::cancelAtAnyTime_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<bool>("confirmTare");
    QTest::addColumn<int>("answersFirst");

    QTest::newRow("at once") << kNoTare << true << 0;
    QTest::newRow("tare prompt") << kWithTare << false << 0;
    QTest::newRow("tare polling") << kWithTare << true << 1;
    QTest::newRow("some flags") << kNoTare << true << 2;
    QTest::newRow("all ticked") << kNoTare << true << 4;
}

void WeightStreamEngineTest::cancelAtAnyTime()
{
    QFETCH(QString, published);
    QFETCH(bool, confirmTare);
    QFETCH(int, answersFirst);

    Rig rig;
    rig.engine.start(QStringLiteral("1"), published);
    if (confirmTare)
        rig.engine.startPolling();
    for (int i = 0; i < answersFirst; ++i) {
        QVERIFY(rig.tick());
        rig.port()->deliver(kAllFlags.at(i));
    }
    const qsizetype sent = rig.port()->frames.size();
    const qsizetype events = rig.events.size();

    rig.engine.cancel();
    QVERIFY(rig.over(State::Cancelled));
    QCOMPARE(rig.events.size(), events); // the caller knows; no signal
    QCOMPARE(rig.port()->frames.size(), sent);
    QVERIFY(!rig.engine.startPolling());
    // Bytes that still come find a closed port and change nothing.
    rig.port()->deliver(weightAnswer('Z', 'G', ' '));
    QCOMPARE(rig.port()->notifications(), answersFirst);
    QCOMPARE(rig.events.size(), events);
}

QTEST_GUILESS_MAIN(WeightStreamEngineTest)
#include "tst_weightstreamengine.moc"
