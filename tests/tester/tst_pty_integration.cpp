#include "AnyPortMSComm.h"
#include "Globals.h"
#include "ModalAnswerer.h"
#include "PtyScale.h"
#include "QSerialMSComm.h"
#include "ReportRenderer.h"
#include "Ser2net.h"
#include "TcpBridge.h"
#include "TesterFixture.h"

#include <QtTest>

// The tester window on its real serial port, against the simulated scale on
// a pseudo-terminal (and, for a whole check, on the network).
class PtyIntegrationTest : public QObject
{
    Q_OBJECT
private slots:
    void startSendsExactlyTheAboutQuery();
    void fullRuns_data();
    void fullRuns();
    void crLfWithoutLeadingLfIsNoAnswer();
    void aNewStartForgetsTheLastRun();
    void floodWhileTheSetupMessageShowsIsNotHeld();
    void retestAndSingleTestsOverThePort();
    void deviceVanishingMidRunEndsWithFailure();
    void runEndsWithWeightStreamPassingByItself_data();
    void runEndsWithWeightStreamPassingByItself();
};

MSCommFactory realPorts()
{
    return [](QObject *parent) -> MSComm * { return new QSerialMSComm(parent); };
}

struct RealTester
{
    OwnRecords records;
    RecordingSmaForm form{realPorts()};

    template <typename T> T *child(const char *name) const
    {
        return form.findChild<T *>(QString::fromLatin1(name));
    }
    QStringList list(const char *name) const
    {
        return TesterFixture::entries(child<QListWidget>(name));
    }
    QString status() const { return child<QLabel>("smaError")->text(); }
    void start(const QString &device)
    {
        child<QLineEdit>("Port")->setText(device);
        child<QPushButton>("Connect")->click();
    }
    void tick(int row)
    {
        child<QListWidget>("cmds")->item(row)->setCheckState(Qt::Checked);
        QCoreApplication::sendPostedEvents(&form, QEvent::MetaCall);
    }
    QSerialMSComm *port() const { return static_cast<QSerialMSComm *>(form.session().port()); }
};

// Waits, with the event loop running, until the scale has handed over every
// byte it was given for the tester.
bool drained(const PtyScale &scale)
{
    QDeadlineTimer deadline(10000);
    while (scale.unsentBytes() > 0 && !deadline.hasExpired())
        QTest::qWait(10);
    QTest::qWait(50);
    return scale.unsentBytes() == 0;
}

void PtyIntegrationTest::startSendsExactlyTheAboutQuery()
{
    ScaleOptions options;
    options.silent = true;
    PtyScale scale(options);
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    RealTester tester;
    tester.start(scale.devicePath());
    QCOMPARE(tester.form.messages,
             QStringList({"Set the device to 9600,8,N,1 and verify center of zero"}));
    QTRY_COMPARE(scale.received(), QByteArray::fromHex("0a410d"));
    QCOMPARE(tester.list("cmds"), QStringList({"<LF>A<CR>"}));
    QCOMPARE(tester.status(), QString("Connected"));
    QVERIFY(tester.child<QTimer>("Timer1")->isActive());
    tester.child<QPushButton>("Connect")->click();
    QCOMPARE(tester.status(), QString("Not connected"));
}

void PtyIntegrationTest::fullRuns_data()
{
    QTest::addColumn<QByteArray>("published");
    QTest::addColumn<bool>("cmdLine");
    QTest::addColumn<bool>("endLines");
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("crlf");
    QTest::addColumn<bool>("startupLine"); // printed while the set-up message shows
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("verdicts"); // per entry of cmds, in order
    QTest::addColumn<QString>("info");

    const QString about = "A B B B B B";
    for (const auto &[name, crlf, startupLine] :
         {std::tuple{"level 2 scale", false, false}, std::tuple{"CR LF line ends", true, false},
          std::tuple{"start-up line during the set-up message", false, true}})
        QTest::newRow(name) << QByteArray("ABDWZXHM") << true << true << 0 << crlf << startupLine
                            << about + " I N N N N Z A B D W Z H M H P Q R S T M C U W D"
                            << "A:P B:P I:P N:P Z:P D:P W:P H:P M:P P:F Q:F R:F S:F T:F C:F U:F"
                            << "SMA:2/1.0\nTYP:S\nCAP:kg :6000:1:0\nCMD:ABDWZXHM\n";
    QTest::newRow("no CMD line")
        << QByteArray("HPTMCU") << false << true << 0 << false << false
        << about + " I N N N Z H P Q R S T M C U W D"
        << "A:P B:P I:P N:P Z:P H:P P:P Q:F R:F S:F T:P M:P C:P U:P W:P D:P"
        << "SMA:2/1.0\nTYP:S\nCAP:kg :6000:1:0\n";
    QTest::newRow("listings end with ?, answers delayed")
        << QByteArray("TC") << true << false << 20 << false << false
        << about + " I N N N N Z T C H P Q R S T M C U W D"
        << "A:P B:P I:P N:P Z:P T:P C:P H:F P:F Q:F R:F S:F M:F U:F W:P D:P"
        << "SMA:2/1.0\nTYP:S\nCAP:kg :6000:1:0\nCMD:TC\n";
}

void PtyIntegrationTest::fullRuns()
{
    QFETCH(QByteArray, published);
    QFETCH(bool, cmdLine);
    QFETCH(bool, endLines);
    QFETCH(int, delay);
    QFETCH(bool, crlf);
    QFETCH(bool, startupLine);
    QFETCH(QString, sent);
    QFETCH(QString, verdicts);
    QFETCH(QString, info);

    ScaleOptions options;
    options.level2Commands = published;
    options.sendCommandLine = cmdLine;
    options.endListings = endLines;
    options.crlf = crlf;
    PtyScale scale(options);
    scale.setAnswerDelay(delay);
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    RealTester tester;
    if (startupLine) {
        tester.form.whileMessageShows = [&] {
            scale.sendUnasked("\nSIM-6000 READY\r\n");
            QTest::qWait(50);
        };
    }
    tester.start(scale.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(tester.form.handOver.size(), 2, 20000);

    QByteArray wire;
    for (const QString &command : sent.split(' '))
        wire += '\n' + command.toLatin1() + '\r';
    QCOMPARE(scale.received(), wire);

    QStringList cmds, results;
    for (const QString &verdict : verdicts.split(' ')) {
        cmds << "<LF>" + verdict.section(':', 0, 0) + "<CR>";
        results << (verdict.endsWith('P') ? "Passed" : "Failed");
    }
    QCOMPARE(tester.list("cmds"), cmds);
    QCOMPARE(tester.list("cmdresult"), results);
    QCOMPARE(tester.child<QPlainTextEdit>("scaleabout")->toPlainText(),
             QString("SMA:2/1.0\nMFG:Simulated Scale Works\nMOD:SIM-6000\nREV:1.0\nSN :000001\n"));
    QCOMPARE(tester.child<QPlainTextEdit>("scaleinfo")->toPlainText(), info);
    QCOMPARE(tester.child<QLineEdit>("cmdlist")->text(),
             cmdLine ? QString::fromLatin1(published) : QString());
    const QString weight = tester.child<QLineEdit>("weightstr")->text();
    QCOMPARE(weight.size(), 18);
    QVERIFY2(weight.endsWith("kg ") || weight.endsWith("lb "),
             qPrintable(weight)); // U may switch units
    QCOMPARE(tester.form.handOver, QStringList({"VerifyWeight port closed", "PrintButton"}));
    QCOMPARE(tester.status(), QString("Not connected"));
    QVERIFY(!tester.form.session().port()->portOpen());
    QVERIFY(tester.form.CheckSMALevel1());
    QCOMPARE(tester.form.CheckSMALevel2(), cmdLine);
}

// Lines that end CR LF with no LF in front are no answers: "A" times out.
void PtyIntegrationTest::crLfWithoutLeadingLfIsNoAnswer()
{
    ScaleOptions options;
    options.crlf = true;
    options.leadingLf = false;
    PtyScale scale(options);
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    RealTester tester;
    tester.start(scale.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(tester.status(), QString("Failure"), 10000);
    QCOMPARE(scale.received(), QByteArray("\nA\r"));
    QCOMPARE(tester.list("cmds"), QStringList({"<LF>A<CR>"}));
    QCOMPARE(tester.list("cmdresult"), QStringList({"Failed"}));
    QVERIFY(tester.form.handOver.isEmpty());
}

// A run that ended in a time-out leaves neither its unsent commands nor the
// lines the scale printed afterwards to the next run.
void PtyIntegrationTest::aNewStartForgetsTheLastRun()
{
    PtyScale scale; // publishes HPTMCU
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    QMetaObject::Connection goSilent;
    goSilent = connect(&scale, &PtyScale::bytesReceived, &scale, [&](const QByteArray &bytes) {
        if (bytes.contains("\nP\r")) {
            disconnect(goSilent);
            ScaleOptions silent = scale.model().options();
            silent.silent = true;
            scale.model().setOptions(silent);
        }
    });
    RealTester tester;
    tester.start(scale.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(tester.status(), QString("Failure"), 10000);
    QVERIFY(tester.list("cmds").endsWith("<LF>P<CR>"));

    ScaleOptions other;
    other.sendCommandLine = false;
    scale.model().setOptions(other);
    for (int line = 0; line < 5; ++line)
        scale.sendUnasked("\n 1G       5.025kg \r");
    QVERIFY(drained(scale));
    const qsizetype before = scale.received().size();
    tester.start(scale.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(tester.form.handOver.size(), 2, 20000);
    QByteArray expected;
    for (const QString &command : QString("A B B B B B I N N N Z H P Q R S T M C U W D").split(' '))
        expected += '\n' + command.toLatin1() + '\r';
    QCOMPARE(scale.received().mid(before), expected);
    QVERIFY(tester.form.CheckSMALevel1());
    QVERIFY(!tester.list("cmdresult").contains("Pending"));
}

// A scale in continuous output floods the line while the operator reads the
// set-up message: the tester reads and drops it, never holding more than a
// few KiB unread, and then judges nothing: a scale that talks by itself
// cannot be told from one that answers.
void PtyIntegrationTest::floodWhileTheSetupMessageShowsIsNotHeld()
{
    PtyScale scale;
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    RealTester tester;
    qint64 mostHeld = 0;
    qint64 flooded = 0;
    tester.form.whileMessageShows = [&] {
        if (flooded > 0)
            return; // the set-up message only
        const QByteArray line = "\n 1GM      5.025kg \r";
        for (int burst = 0; burst < 50; ++burst) {
            scale.sendUnasked(line.repeated(1000));
            flooded += line.size() * 1000;
            QTest::qWait(5);
            mostHeld = qMax(mostHeld,
                            tester.port()->bytesWaiting() + tester.form.session().rxText().size());
        }
        QVERIFY(drained(scale));
    };
    tester.start(scale.devicePath());
    QVERIFY(flooded >= 1000000);
    QVERIFY2(mostHeld <= MSComm::kReadBufferLimit, qPrintable(QString::number(mostHeld)));
    // The record counts what was thrown away in one entry, not a line each.
    const TrafficLog &traffic = tester.form.session().traffic();
    QCOMPARE(traffic.at(0).kind, TrafficEntry::Kind::Discarded);
    QCOMPARE(traffic.totals().bytesDiscarded, flooded);
    QVERIFY(traffic.at(0).byteCount == flooded && traffic.keptBytes() < 10000);
    QCOMPARE(tester.form.messages.last(),
             QString("The scale sends data without being asked (continuous output). Set its "
                     "serial output to answer on request, then start again."));
    QCOMPARE(tester.list("cmds"), QStringList{"<LF>A<CR>"});
    QCOMPARE(tester.list("cmdresult"), QStringList{"Failed"});
    QCOMPARE(tester.status(), QString("Failure"));
    QVERIFY(tester.form.handOver.isEmpty());
    QCOMPARE(scale.model().commands(), QList<QByteArray>{});
}

void PtyIntegrationTest::retestAndSingleTestsOverThePort()
{
    PtyScale scale;
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    RealTester tester;
    tester.start(scale.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(tester.form.handOver.size(), 2, 20000);

    const int row = tester.list("cmds").indexOf("<LF>Z<CR>");
    QVERIFY(row >= 0);
    qsizetype before = scale.received().size();
    tester.tick(row);
    QCOMPARE(tester.list("cmdresult").at(row), QString("Pending"));
    QTRY_COMPARE(tester.list("cmdresult").at(row), QString("Passed"));
    QTRY_VERIFY(!tester.form.session().port()->portOpen());
    QCOMPARE(scale.received().mid(before), QByteArray("\nZ\r"));

    before = scale.received().size();
    tester.child<QPushButton>("KeyTare")->click();
    QTRY_VERIFY(!tester.form.session().port()->portOpen());
    tester.child<QComboBox>("UnitsValue")->setCurrentIndex(3); // "kg "
    tester.child<QPushButton>("SetUnits")->click();
    QTRY_VERIFY(!tester.form.session().port()->portOpen());
    QCOMPARE(scale.received().mid(before), QByteArray("\nT000001.000\r\nUkg \r"));
    const QStringList cmds = tester.list("cmds");
    QCOMPARE(cmds.mid(cmds.size() - 2), QStringList({"<LF>T000001.000<CR>", "<LF>Ukg <CR>"}));
    QCOMPARE(tester.list("cmdresult").size(), cmds.size());
    QCOMPARE(tester.list("cmdresult").last(), QString("Passed"));
    QCOMPARE(tester.status(), QString("Not connected"));
}

void PtyIntegrationTest::deviceVanishingMidRunEndsWithFailure()
{
    PtyScale scale;
    scale.setAnswerDelay(30);
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    RealTester tester;
    tester.start(scale.devicePath());
    QTRY_VERIFY(tester.list("cmds").size() >= 3);
    scale.unplug();
    const QStringList resultsAtUnplug = tester.list("cmdresult");

    // The run ends at once, the operator is told: no crash, no freeze, port released.
    QTRY_COMPARE_WITH_TIMEOUT(tester.status(), QString("Failure"), 2000);
    QVERIFY2(tester.form.messages.last().startsWith("Serial port lost\n" + scale.devicePath()),
             qPrintable(tester.form.messages.last()));
    QVERIFY(!tester.form.session().port()->portOpen());
    QCOMPARE(tester.child<QPushButton>("Connect")->text(), QString("&Start"));
    QVERIFY(tester.form.handOver.isEmpty());
    QVERIFY(tester.list("cmdresult").size() >= resultsAtUnplug.size());
    QVERIFY(tester.list("cmdresult").size() <= tester.list("cmds").size());

    // Plugged in again, a new Start runs through.
    QVERIFY(scale.start());
    tester.start(scale.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(tester.form.handOver.size(), 2, 20000);
    QVERIFY(tester.form.CheckSMALevel1());
}

// The real hand-over: the weight stream analysis opens on the same port and
// passes on the simulated scale's own weight cycle; the report is noted.
class WeightStreamForm : public smaForm
{
public:
    using smaForm::smaForm;
    int reports = 0;
    bool weightStreamAtReport = false;

protected:
    void showReportPreview() override
    {
        ++reports;
        weightStreamAtReport = Globals::WeightStreamOK;
    }
};

void PtyIntegrationTest::runEndsWithWeightStreamPassingByItself_data()
{
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("setUp"); // the set-up message
    QTest::newRow("pseudo-terminal") << "pty"
                                     << "Set the device to 9600,8,N,1 and verify center of zero";
    QTest::newRow("raw TCP, sma-scale-sim --tcp")
        << "tcp"
        << "Set the device to the device server's line settings and verify center of "
           "zero";
    QTest::newRow("ser2net RFC 2217") << "rfc2217"
                                      << "Set the device to 9600,8,N,1 and verify center of zero";
}

void PtyIntegrationTest::runEndsWithWeightStreamPassingByItself()
{
    QFETCH(QString, via);
    QFETCH(QString, setUp);
    QStandardPaths::setTestModeEnabled(true); // the network port is remembered there
    PtyScale scale; // publishes "T", so the tare test runs first
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    QString port = scale.devicePath();
    TcpBridge bridge;
    Ser2net ser2net;
    if (via == "tcp") {
        QVERIFY(bridge.start(port, {}, QHostAddress::LocalHost, 0));
        port = QStringLiteral("tcp://127.0.0.1:%1").arg(bridge.port());
    } else if (via == "rfc2217") {
        if (const QString failed = ser2net.start(port); !failed.isEmpty())
            QSKIP(qPrintable(failed));
        port = QStringLiteral("rfc2217://127.0.0.1:%1").arg(ser2net.port);
    }
    ModalAnswerer answerer;
    OwnRecords records;
    WeightStreamForm form(makeAnyPort); // the programs' own: a device or a network port
    form.findChild<QLineEdit *>("Port")->setText(port);
    Globals::WeightStreamOK = true;
    form.findChild<QPushButton *>("Connect")->click();
    QTRY_COMPARE_WITH_TIMEOUT(form.reports, 1, 60000);

    QVERIFY(form.weightStreamAtReport);
    QVERIFY(Globals::WeightStreamOK);
    QCOMPARE(answerer.windows, QStringList({"OpTest"}));
    QCOMPARE(answerer.messages,
             QStringList({setUp, "Place a tareable weight on the scale and press Ok to continue"}));
    // After the discovery run: "T" until the tare shows, one "C", then "W".
    const QByteArray wire = scale.received();
    const qsizetype analysis = wire.lastIndexOf("\nD\r") + 3;
    QByteArray polls = wire.mid(analysis);
    QVERIFY2(polls.startsWith("\nT\r"), polls.constData());
    QCOMPARE(polls.count("\nC\r"), 1);
    const QByteArray afterClear = polls.mid(polls.indexOf("\nC\r") + 3);
    QVERIFY(!afterClear.isEmpty());
    QCOMPARE(QByteArray(afterClear).replace("\nW\r", ""), QByteArray());
    QVERIFY(!form.session().port()->portOpen());

    // The check is on record with the analysis's verdict and every box it ticked.
    RecordStore &store = form.recorder().store();
    std::optional<QList<HistoryRow>> rows;
    QTRY_VERIFY2((rows = store.history(QString(), 10)) && rows->size() == 1,
                 qPrintable(store.errorString()));
    const std::optional<CheckRecord> record = store.load(rows->first().id);
    QVERIFY(record);
    QCOMPARE(record->weightStream, CheckRecord::WeightStream::Verified);
    QCOMPARE(record->flagsSeen.size(), 6);
    QVERIFY(record->flagsMissing.isEmpty());
    QCOMPARE(record->report.last(), "SMA Level 2 commands supported ( HPTMCU )");
    QCOMPARE(record->port, port); // as typed
    // The footer names the port as typed, and whose line settings were used.
    const QString footer = reportFooter(1, 1, form.session());
    const QString lineWords = via == "tcp" ? " at the device server's line settings" : "";
    QVERIFY2(footer.contains(QString::fromUtf8("port %1%2 \u00b7").arg(port, lineWords)),
             qPrintable(footer));
}

QTEST_MAIN(PtyIntegrationTest)
#include "tst_pty_integration.moc"
