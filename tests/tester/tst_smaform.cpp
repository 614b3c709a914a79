#include "Globals.h"
#include "ModalAnswerer.h"
#include "TesterFixture.h"

#include "CheckHistoryWindow.h"
#include "HistoryExport.h"
#include "PortList.h"
#include "RecentPorts.h"
#include "RecordQueue.h"
#include "RecordedCheckWindow.h"
#include "TesterSettings.h"
#include "TextReportTarget.h"
#include "TrafficWindow.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QCheckBox>
#include <QCompleter>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// The tester window over a scripted port: its controls after load, the
// opening and closing of the connection, Close, the list coupling, and the
// failures of an opening.
class SmaFormTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { Globals::WeightStreamOK = true; }

    void controlsAfterLoad();
    void everyControlIsNamedForScreenReaders();
    void startAcceleratorOpensTheConnection();
    void openingRunsInOrder();
    void lineSettingsAreUsedAndRemembered();
    void runIsRenderedAndHandedOver();
    void ticksAreHandedToTheSession();
    void trafficWindowShowsTheRun();
    void trafficWindowFollowsTheBoundedRecord();
    void portBoxOffersThePortsPresent();
    void stopClosesAndKeepsWhatIsShown();
    void closeWithOpenPortClosesItFirst();
    void closeWithoutPortLeavesItAlone();
    void unloadClosesThePort();
    void listSelectionsFollowEachOther();
    void openingFailuresKeepTheWindow_data();
    void openingFailuresKeepTheWindow();
    void realMessageBoxesAreShownModally();
    void printButtonShowsThePreviewModally();
    void recordingThatFailsCostsNothing();
    void checksWaitForAServerAway();
    void historyOpensComparesAndExports();
    void historyOfAServerThatDoesNotAnswer();
};

void SmaFormTest::controlsAfterLoad()
{
    TesterFixture f;
    RecordingSmaForm &w = *f.form;
    QCOMPARE(w.objectName(), QString("smaForm"));
    QCOMPARE(w.windowTitle(), QString("SMA Compliance Tester"));
    QVERIFY(!Globals::WeightStreamOK);
    QCOMPARE(f.status(), QString("Not connected"));

    const QList<QPair<const char *, QString>> labels = {{"Label8", "S.M.A."},
                                                        {"Commands", "Published commands"},
                                                        {"Label3", "Weight String"},
                                                        {"Label2", "About Scale"},
                                                        {"Label1", "Scale Information"},
                                                        {"Label4", "Tested Commands"},
                                                        {"Label6", "Command Result"},
                                                        {"Label7", "Additional Commands"},
                                                        {"Label5", "Port"}};
    for (const auto &[name, caption] : labels) {
        auto *label = f.child<QLabel>(name);
        QVERIFY2(label, name);
        QCOMPARE(label->text(), caption);
    }
    QCOMPARE(f.child<QLabel>("Label8")->font().pointSize(), 48);
    QVERIFY(f.child<QLabel>("Label8")->font().bold());
    QVERIFY(f.child<QLabel>("smaError")->font().bold());

    const QList<QPair<const char *, QString>> buttons = {
        {"KeyTare", "Key Tare"}, {"SetUnits", "Set Units"}, {"VerifyWeight", "Check Weight"},
        {"Connect", "&Start"},   {"PrintButton", "Print"},  {"HistoryButton", "&History"},
        {"Close", "&Close"}};
    for (const auto &[name, caption] : buttons) {
        auto *button = f.button(name);
        QVERIFY2(button, name);
        QCOMPARE(button->text(), caption);
    }
    QVERIFY(f.button("VerifyWeight")->isHidden());

    QCOMPARE(f.edit("cmdlist")->text(), QString());
    QCOMPARE(f.edit("weightstr")->text(), QString());
    QCOMPARE(f.edit("ExtraCmds")->text(), QString("HPQRSTMCU"));
    QCOMPARE(f.edit("TareValue")->text(), QString("000001.000"));
    QVERIFY(f.text("scaleabout")->toPlainText().isEmpty());
    QVERIFY(f.text("scaleinfo")->toPlainText().isEmpty());
    QCOMPARE(f.list("cmds")->count(), 0);
    QCOMPARE(f.list("cmdresult")->count(), 0);

    // What the operator may use, and what only shows what the program wrote.
    for (const char *name : {"ExtraCmds", "cmdlist", "weightstr"})
        QVERIFY2(!f.edit(name)->isEnabled(), name);
    QVERIFY(!f.text("scaleabout")->isEnabled());
    QVERIFY(!f.text("scaleinfo")->isEnabled());
    QVERIFY(!f.list("cmdresult")->isEnabled());
    QVERIFY(f.list("cmds")->isEnabled());
    QVERIFY(f.edit("Port")->isEnabled());
    QVERIFY(f.edit("TareValue")->isEnabled());

    auto *units = f.child<QComboBox>("UnitsValue");
    QCOMPARE(units->count(), 26);
    QCOMPARE(units->currentText(), QString("lb "));
    QCOMPARE(units->itemText(24), QString("%  "));
    QCOMPARE(units->itemText(25), QString("   "));
    for (int i = 0; i < units->count(); ++i)
        QCOMPARE(units->itemText(i).size(), 3);

    QVERIFY(!f.timer()->isActive());
    QCOMPARE(f.timer()->interval(), 3000);
    QVERIFY(!f.port->portOpen());
    QVERIFY(f.port->log.isEmpty());
    QCOMPARE(w.session().testId(), qint16(0));

    // The two lists share their look so that rows read across.
    QCOMPARE(f.list("cmds")->font(), f.list("cmdresult")->font());
    const QFontMetrics metrics(f.list("cmds")->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
}

void SmaFormTest::everyControlIsNamedForScreenReaders()
{
    TesterFixture f;
    const QList<std::tuple<const char *, QString, QAccessible::Role>> expected = {
        {"smaForm", "SMA Compliance Tester", QAccessible::Window},
        {"cmdlist", "Published commands", QAccessible::EditableText},
        {"weightstr", "Weight String", QAccessible::EditableText},
        {"scaleabout", "About Scale", QAccessible::EditableText},
        {"scaleinfo", "Scale Information", QAccessible::EditableText},
        {"cmds", "Tested Commands", QAccessible::List},
        {"cmdresult", "Command Result", QAccessible::List},
        {"ExtraCmds", "Additional Commands", QAccessible::EditableText},
        {"Port", "Port", QAccessible::EditableText},
        {"LineValue", "Line settings", QAccessible::ComboBox},
        {"FindSettings", "Find Settings", QAccessible::Button},
        {"TareValue", "Tare value", QAccessible::EditableText},
        {"UnitsValue", "Units", QAccessible::ComboBox},
        {"KeyTare", "Key Tare", QAccessible::Button},
        {"SetUnits", "Set Units", QAccessible::Button},
        {"Connect", "Start", QAccessible::Button},
        {"PrintButton", "Print", QAccessible::Button},
        {"HistoryButton", "History", QAccessible::Button},
        {"Close", "Close", QAccessible::Button},
        {"smaError", "Not connected", QAccessible::StaticText}};
    for (const auto &[name, accessibleName, role] : expected) {
        QObject *object = QLatin1String(name) == QLatin1String("smaForm")
                              ? static_cast<QObject *>(f.form.get())
                              : f.child<QWidget>(name);
        QVERIFY2(object, name);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), accessibleName);
        QCOMPARE(iface->role(), role);
    }
    // The Start/Stop button is announced by the action it takes now.
    f.button("Connect")->click();
    QCOMPARE(QAccessible::queryAccessibleInterface(f.button("Connect"))->text(QAccessible::Name),
             QString("Stop"));
    f.button("Connect")->click();
    QCOMPARE(f.button("Connect")->accessibleName(), QString("Start"));
    // Headings lead the keyboard to their box.
    QCOMPARE(f.child<QLabel>("Label5")->buddy(), f.child<QWidget>("Port"));
    QCOMPARE(f.child<QLabel>("Label4")->buddy(), f.child<QWidget>("cmds"));
    QCOMPARE(f.child<QLabel>("Label9")->buddy(), f.child<QWidget>("LineValue"));

    // The status is read as it reads now: a screen reader hears each change
    // (the window raises an alert for it, which only a live AT-SPI bus shows).
    QAccessibleInterface *status =
        QAccessible::queryAccessibleInterface(f.child<QLabel>("smaError"));
    f.button("Connect")->click();
    QCOMPARE(status->text(QAccessible::Name), QString("Connected"));
    f.form->session().onResponseTimeout();
    QCOMPARE(status->text(QAccessible::Name), QString("Failure"));
}

void SmaFormTest::startAcceleratorOpensTheConnection()
{
    TesterFixture f;
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    // A mnemonic presses its button with a short animation: wait for the click.
    QTest::keyClick(f.form.get(), Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(f.port->portOpen());
    QCOMPARE(f.button("Connect")->text(), QString("&Stop"));
    QTest::keyClick(f.form.get(), Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(!f.port->portOpen());
    QTest::keyClick(f.form.get(), Qt::Key_C, Qt::AltModifier);
    QTRY_COMPARE(f.form->endedApplication, 1);
}

void SmaFormTest::openingRunsInOrder()
{
    TesterFixture f;
    // A whole run leaves every box filled.
    ScriptedScale scale;
    f.answerWith(scale);
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2);
    QCOMPARE(f.edit("weightstr")->text(), QString(" 1G       5.025kg "));
    QVERIFY(!f.text("scaleabout")->toPlainText().isEmpty());
    QVERIFY(!f.edit("cmdlist")->text().isEmpty());
    f.port->responder = nullptr;

    f.port->log.clear();
    f.port->frames.clear();
    f.port->written.clear();
    f.form->messages.clear();
    QStringList logWhileMessage;
    f.form->whileMessageShows = [&] { logWhileMessage = f.port->log; };
    f.button("Connect")->click();

    QCOMPARE(f.form->messages,
             QStringList({"Set the device to 9600,8,N,1 and verify center of zero"}));
    QCOMPARE(logWhileMessage, QStringList({"CommPort=/dev/ttyTEST0", "Settings=9600,n,8,1",
                                           "RThreshold=0", "SThreshold=0", "PortOpen=1", "Input"}));
    QCOMPARE(f.port->log.mid(logWhileMessage.size()),
             QStringList({"RThreshold=1", "SThreshold=1", "Input", "Output=0a 41 0d"}));
    QCOMPARE(f.port->written, QByteArray::fromHex("0a410d"));
    QCOMPARE(f.button("Connect")->text(), QString("&Stop"));
    QCOMPARE(f.status(), QString("Connected"));
    QCOMPARE(f.cmds(), QStringList({"<LF>A<CR>"}));
    QVERIFY(f.results().isEmpty());
    QVERIFY(f.text("scaleabout")->toPlainText().isEmpty());
    QVERIFY(f.text("scaleinfo")->toPlainText().isEmpty());
    QVERIFY(f.edit("cmdlist")->text().isEmpty());
    QCOMPARE(f.edit("weightstr")->text(), QString(" 1G       5.025kg ")); // until the next W
    QVERIFY(f.timer()->isActive());
    QCOMPARE(f.timer()->interval(), 3000);
    QCOMPARE(f.form->session().testId(), qint16(1));
    QVERIFY(f.form->session().rxText().isEmpty());

    // The first answer sends the next command and shows "Testing" again.
    f.port->deliver("\nSMA:2/1.0\r");
    QCOMPARE(f.status(), QString("Testing"));
}

void SmaFormTest::lineSettingsAreUsedAndRemembered()
{
    QTemporaryDir settingsFolder; // the tester's settings go here, not the user's
    QVERIFY(settingsFolder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    {
        TesterFixture f;
        auto *line = f.child<QComboBox>("LineValue");
        line->setEditText("9601,8,N,1"); // no such baud rate: the settings in use come back
        emit line->lineEdit()->editingFinished();
        QCOMPARE(line->currentText(), QString("9600,8,N,1"));
        line->setEditText("19200,7,e,1");
        emit line->lineEdit()->editingFinished();
        QCOMPARE(line->currentText(), QString("19200,7,E,1"));
        f.button("Connect")->click();
        QVERIFY(f.port->log.contains("Settings=19200,e,7,1"));
        QCOMPARE(f.form->messages,
                 QStringList{"Set the device to 19200,7,E,1 and verify center of zero"});
    }
    // The next start of the tester offers them again.
    TesterFixture again;
    QCOMPARE(again.child<QComboBox>("LineValue")->currentText(), QString("19200,7,E,1"));
    QCOMPARE(again.form->session().lineSettings().text(), QString("19200,7,E,1"));
}

// A whole run as the window shows it: the boxes, the lists, the status, and
// the hand-over with the port closed and the weight stream verdict cleared;
// the report then tells the analysis's verdict and when it ended.
void SmaFormTest::runIsRenderedAndHandedOver()
{
    TesterFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.edit("ExtraCmds")->setText("HP");
    Globals::WeightStreamOK = true; // an earlier analysis passed
    f.form->analysisPasses = true;
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2);
    QCOMPARE(f.form->handOver, QStringList({"VerifyWeight port closed", "PrintButton"}));
    QVERIFY(!f.form->weightStreamOkAtAnalysis); // cleared before the analysis opens
    const QStringList report = reportLines(f.form->session());
    QCOMPARE(report.mid(report.size() - 3),
             QStringList({"SMA Weight stream verified correct",
                          "SMA Level 1 Compliance Verified( ABDWZ )",
                          "SMA Level 2 commands supported ( ABDWZXHM )"}));
    QVERIFY(f.form->session().runEnded() > f.form->endedBeforeAnalysis);
    QCOMPARE(f.cmds(), f.form->session().testedCommands());
    QCOMPARE(f.results(), f.form->session().commandResults());
    QCOMPARE(f.cmds().mid(7), QStringList({"<LF>H<CR>", "<LF>M<CR>", "<LF>P<CR>"}));
    QCOMPARE(f.results().mid(7), QStringList({"Passed", "Passed", "Failed"}));
    QCOMPARE(f.text("scaleabout")->toPlainText(), QString("SMA:2/1.0\nMFG:ACME\n"));
    QCOMPARE(f.text("scaleinfo")->toPlainText(), QString("SMA:2/1.0\nCMD:ABDWZXHM\n"));
    QCOMPARE(f.edit("cmdlist")->text(), QString("ABDWZXHM"));
    QCOMPARE(f.edit("weightstr")->text(), QString(" 1G       5.025kg "));
    QCOMPARE(f.status(), QString("Not connected"));
    QCOMPARE(f.button("Connect")->text(), QString("&Start"));

    // Check Weight does nothing while the port is open.
    f.button("Connect")->click();
    Globals::WeightStreamOK = true;
    f.button("VerifyWeight")->click();
    QCOMPARE(f.form->handOver.size(), 2);
    QVERIFY(Globals::WeightStreamOK);
}

// A tick reaches the session once the list has finished its notification; a
// refused tick takes its mark back, and a moved entry takes its mark along.
void SmaFormTest::ticksAreHandedToTheSession()
{
    TesterFixture f;
    ScriptedScale scale;
    scale.answers["T000001.000"] = " 1N       0.000kg ";
    scale.answers["Ulb "] = " 1G      11.079lb ";
    f.answerWith(scale);
    f.button("KeyTare")->click();
    QTRY_VERIFY(!f.port->portOpen());
    f.button("SetUnits")->click();
    QTRY_VERIFY(!f.port->portOpen());

    f.list("cmds")->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(f.port->frames.size(), 2); // not from inside the list's notification
    QCoreApplication::sendPostedEvents(f.form.get(), QEvent::MetaCall);
    QCOMPARE(f.port->frames.last(), QByteArray("\nT000001.000\r"));
    QCOMPARE(f.cmds(), QStringList({"<LF>Ulb <CR>", "<LF>T000001.000<CR>"}));
    QCOMPARE(f.results(), QStringList({"Passed", "Pending"}));
    QCOMPARE(f.list("cmds")->item(0)->checkState(), Qt::Unchecked);
    QCOMPARE(f.list("cmds")->item(1)->checkState(), Qt::Checked);

    f.tick(0); // refused: the tare test still waits for its answer
    QCOMPARE(f.list("cmds")->item(0)->checkState(), Qt::Unchecked);
    QCOMPARE(f.list("cmds")->item(1)->toolTip(),
             QString::fromUtf8("Pending — waiting for the answer"));
    QTRY_COMPARE(f.results(), QStringList({"Passed", "Passed"}));
    // Each row says why, to the eye and to a screen reader, after a retest too.
    const QString why = f.list("cmds")->item(1)->toolTip();
    QVERIFY2(why.startsWith(QString::fromUtf8("Passed — \" 1N       0.000kg \" after ")),
             qPrintable(why));
    QCOMPARE(f.list("cmdresult")->item(1)->toolTip(), why);
    QCOMPARE(QAccessible::queryAccessibleInterface(f.list("cmds"))
                 ->child(1)
                 ->text(QAccessible::Description),
             why);
    f.tick(1, false);
    QVERIFY(!f.form->session().isTicked(1));
    QCOMPARE(f.port->frames.size(), 3);
}

// Ctrl+T opens the traffic: every frame in order, each answer naming its
// command, what was thrown away marked; hex on a toggle; saved as text.
void SmaFormTest::trafficWindowShowsTheRun()
{
    TesterFixture f;
    ScriptedScale scale;
    scale.lineEnd = "\r\n";
    f.answerWith(scale);
    f.form->whileMessageShows = [&] { f.port->deliver("\nPOWER ON\r"); };
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2);
    f.form->whileMessageShows = nullptr;

    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QTest::keyClick(f.form.get(), Qt::Key_T, Qt::ControlModifier);
    auto *window = f.form->findChild<QWidget *>("TrafficWindow");
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QString("Serial Traffic"));
    auto *view = window->findChild<QTableView *>("traffic");
    QAbstractItemModel *model = view->model();
    QTRY_COMPARE(model->rowCount(), int(f.form->session().traffic().size()));
    const auto row = [&](int r) {
        QStringList cells;
        for (int column = 1; column < model->columnCount(); ++column)
            cells << model->index(r, column).data().toString();
        return cells.join(" | ");
    };
    QCOMPARE(row(0), QString("RX | <LF>POWER ON<CR> | discarded"));
    QCOMPARE(row(1), QString("TX | <LF>A<CR> | "));
    QVERIFY2(row(2).startsWith("RX | <LF>SMA:2/1.0<CR> | answer to <LF>A<CR> after "),
             qPrintable(row(2)));
    QCOMPARE(row(3), QString("RX | <LF> | discarded")); // the LF of CR LF, dropped before "B"
    QCOMPARE(row(4), QString("TX | <LF>B<CR> | "));

    auto *hex = window->findChild<QCheckBox *>("ShowHex");
    hex->click();
    QCOMPARE(model->index(1, 2).data().toString(), QString("0a 41 0d"));

    QTemporaryDir dir;
    const QString saved = dir.filePath("traffic.txt");
    QCOMPARE(static_cast<TrafficWindow *>(window)->saveTo(saved), QString());
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), model->rowCount());
    QVERIFY2(lines.at(1).endsWith(" ms  TX  0a 41 0d"), qPrintable(lines.at(1)));
    QVERIFY(!static_cast<TrafficWindow *>(window)->saveTo(dir.filePath("no/such/dir")).isEmpty());

    // The findings of the run stand below.
    auto *findings = window->findChild<QTreeWidget *>("findings");
    QStringList codes;
    for (int i = 0; i < findings->topLevelItemCount(); ++i)
        codes << findings->topLevelItem(i)->text(1);
    // The analysis (cancelled here at once) saw none of the flags.
    QCOMPARE(codes, QStringList({"answer-crlf", "unasked-line", "weight-stream-flags-unseen",
                                 "slowest-answer"}));
}

// A flood past the record's budget while the window is open: the rows follow
// the record as it drops entries from its middle, shown or not yet shown,
// and the window, "Save..." and the record read alike.
void SmaFormTest::trafficWindowFollowsTheBoundedRecord()
{
    TesterFixture f;
    f.form->showTraffic();
    auto *window = f.form->findChild<TrafficWindow *>("TrafficWindow");
    QAbstractItemModel *model = window->findChild<QTableView *>("traffic")->model();
    QAbstractItemModelTester checker(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.button("Connect")->click();
    f.timer()->stop(); // "A" waits for good, so every line stays an entry
    for (int burst = 1; burst <= 60; ++burst) {
        for (int line = 0; line < 500; ++line)
            f.port->deliver(" 1GM      5.025kg \r");
        if (burst % 10 == 0)
            QTest::qWait(60); // the window catches up now and then
    }
    const TrafficLog &log = f.form->session().traffic();
    QVERIFY(log.totals().entriesNotKept > 0);
    QTRY_COMPARE(model->rowCount(), int(log.size()));

    QTemporaryDir dir;
    QCOMPARE(window->saveTo(dir.filePath("traffic.txt")), QString());
    QFile file(dir.filePath("traffic.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList saved = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(saved.size(), model->rowCount());
    for (int row = 0; row < model->rowCount(); ++row) {
        const TrafficEntry &entry = log.at(row);
        QCOMPARE(model->index(row, 2).data().toString(), TrafficLog::printable(entry.bytes));
        QCOMPARE(model->index(row, 3).data().toString(), TrafficLog::note(entry));
        QCOMPARE(saved.at(row), TrafficLog::line(entry));
    }
}

void SmaFormTest::portBoxOffersThePortsPresent()
{
    TesterFixture f;
    rememberNetworkPort("rfc2217://127.0.0.1:7000");
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QLineEdit *port = f.edit("Port");
    port->setText("/dev/ttyUSB9");
    f.button("Connect")->setFocus();
    QTest::mouseClick(port, Qt::LeftButton, {}, QPoint(4, port->height() / 2));
    QTRY_COMPARE(port->selectedText(), QString("/dev/ttyUSB9")); // typing replaces it
    // The serial ports present, each with what it is, then the network ports
    // that answered last. (Other tests running beside this one may remember
    // theirs in between, so those are not counted.)
    const QList<PresentPort> present = presentPorts();
    QAbstractItemModel *offered = port->completer()->model();
    QVERIFY(offered->rowCount() > int(present.size()));
    for (int row = 0; row < int(present.size()); ++row) {
        QCOMPARE(offered->index(row, 0).data(Qt::UserRole).toString(), present.at(row).location);
        QCOMPARE(offered->index(row, 0).data().toString(), present.at(row).summary());
    }
    QStringList network;
    for (int row = int(present.size()); row < offered->rowCount(); ++row) {
        network << offered->index(row, 0).data(Qt::UserRole).toString();
        QCOMPARE(offered->index(row, 0).data().toString(),
                 network.last() + "  network port used lately");
    }
    QVERIFY2(network.contains("rfc2217://127.0.0.1:7000"), qPrintable(network.join(' ')));
    QCOMPARE(port->completer()->completionRole(), int(Qt::UserRole));
}

void SmaFormTest::stopClosesAndKeepsWhatIsShown()
{
    TesterFixture f;
    f.button("Connect")->click();
    f.port->deliver("\nSMA:2/1.0\r");
    f.port->log.clear();
    f.button("Connect")->click();
    QCOMPARE(f.port->log, QStringList({"PortOpen=0"}));
    QVERIFY(!f.timer()->isActive());
    QCOMPARE(f.button("Connect")->text(), QString("&Start"));
    QCOMPARE(f.status(), QString("Not connected"));
    QCOMPARE(f.cmds(), QStringList({"<LF>A<CR>", "<LF>B<CR>"}));
    QCOMPARE(f.results(), QStringList({"Passed"}));
    QCOMPARE(f.text("scaleabout")->toPlainText(), QString("SMA:2/1.0\n"));
    QCOMPARE(f.form->session().testId(), qint16(1));
}

void SmaFormTest::closeWithOpenPortClosesItFirst()
{
    TesterFixture f;
    f.button("Connect")->click();
    f.button("Close")->click();
    QCOMPARE(f.form->endedApplication, 1);
    QCOMPARE(f.form->portLogWhenEnded.last(), QString("PortOpen=0"));
    QVERIFY(!f.port->portOpen());
}

void SmaFormTest::closeWithoutPortLeavesItAlone()
{
    TesterFixture f;
    f.button("Close")->click();
    QCOMPARE(f.form->endedApplication, 1);
    QVERIFY(f.form->portLogWhenEnded.isEmpty());
}

void SmaFormTest::unloadClosesThePort()
{
    TesterFixture f;
    f.form->show();
    f.button("Connect")->click();
    QVERIFY(f.port->portOpen());
    QVERIFY(f.form->close());
    QVERIFY(!f.port->portOpen());
    QVERIFY(!f.timer()->isActive());
    QCOMPARE(f.form->endedApplication, 0);
}

void SmaFormTest::listSelectionsFollowEachOther()
{
    TesterFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2);
    QVERIFY(f.results().size() >= 6);

    QSignalSpy cmdsChanged(f.list("cmds"), &QListWidget::currentRowChanged);
    QSignalSpy resultsChanged(f.list("cmdresult"), &QListWidget::currentRowChanged);
    f.list("cmds")->setCurrentRow(3);
    QCOMPARE(f.list("cmdresult")->currentRow(), 3);
    QCOMPARE(f.list("cmds")->currentRow(), 3);
    QCOMPARE(cmdsChanged.count(), 1);
    QCOMPARE(resultsChanged.count(), 1);

    // The newest entry may still lack its result: no result is selected.
    f.port->responder = nullptr;
    f.button("Connect")->click();
    const int newest = f.list("cmds")->count() - 1;
    QCOMPARE(newest, 0);
    QCOMPARE(f.list("cmdresult")->count(), 0);
    f.list("cmds")->setCurrentRow(newest);
    QCOMPARE(f.list("cmds")->currentRow(), newest);
    QCOMPARE(f.list("cmdresult")->currentRow(), -1);
}

void SmaFormTest::openingFailuresKeepTheWindow_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("failureKind");
    QTest::addColumn<QString>("expectedDetail");
    QTest::addColumn<bool>("attemptsOpen");

    QTest::newRow("empty port") << "" << int(OpenFailure::None) << "no port is given" << false;
    QTest::newRow("letters") << "abc" << int(OpenFailure::None) << "abc: this names no serial port"
                             << false;
    QTest::newRow("beyond 16 bits")
        << "70000" << int(OpenFailure::None) << "70000: this is not a port number" << false;
    QTest::newRow("zero") << "0" << int(OpenFailure::None) << "0: this is not a port number"
                          << false;
    QTest::newRow("no such device") << "/dev/ttyTEST0" << int(OpenFailure::NoSuchDevice)
                                    << "/dev/ttyTEST0: no such device" << true;
    QTest::newRow("permission denied") << "/dev/ttyTEST0" << int(OpenFailure::PermissionDenied)
                                       << "/dev/ttyTEST0: permission denied" << true;
    QTest::newRow("busy") << "/dev/ttyTEST0" << int(OpenFailure::Busy)
                          << "/dev/ttyTEST0: the port is busy" << true;
}

void SmaFormTest::openingFailuresKeepTheWindow()
{
    QFETCH(QString, portText);
    QFETCH(int, failureKind);
    QFETCH(QString, expectedDetail);
    QFETCH(bool, attemptsOpen);

    TesterFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2); // a whole run, so every box holds something
    f.tick(2);
    QTRY_COMPARE(f.form->session().testId(), qint16(-1));
    QVERIFY(f.form->session().isTicked(2));
    const QStringList cmdsBefore = f.cmds();
    const QStringList resultsBefore = f.results();
    const QString aboutBefore = f.text("scaleabout")->toPlainText();
    const QString infoBefore = f.text("scaleinfo")->toPlainText();
    const QString weightBefore = f.edit("weightstr")->text();
    const QString listBefore = f.edit("cmdlist")->text();
    QVERIFY(!aboutBefore.isEmpty() && !weightBefore.isEmpty() && !listBefore.isEmpty());

    f.form->messages.clear();
    f.port->log.clear();
    f.edit("Port")->setText(portText);
    static const QHash<int, QString> reasons = {
        {OpenFailure::NoSuchDevice, "no such device. Nothing answers at this port."},
        {OpenFailure::PermissionDenied, "permission denied. Join the group \"dialout\"."},
        {OpenFailure::Busy, "the port is busy: it is in use by another program."}};
    if (failureKind != OpenFailure::None)
        f.port->failOpen = {OpenFailure::Kind(failureKind), portText, reasons.value(failureKind)};
    f.button("Connect")->click();

    QCOMPARE(f.form->messages.size(), 1);
    QVERIFY2(f.form->messages.first().startsWith("Error opening serial port\n"),
             qPrintable(f.form->messages.first()));
    QVERIFY2(f.form->messages.first().contains(expectedDetail),
             qPrintable(f.form->messages.first()));
    QCOMPARE(f.port->log.contains("PortOpen=1"), attemptsOpen);
    QVERIFY(!f.port->portOpen());
    QCOMPARE(f.button("Connect")->text(), QString("&Start"));
    QCOMPARE(f.status(), QString("Not connected"));
    QCOMPARE(f.cmds(), cmdsBefore);
    QCOMPARE(f.results(), resultsBefore);
    QCOMPARE(f.text("scaleabout")->toPlainText(), aboutBefore);
    QCOMPARE(f.text("scaleinfo")->toPlainText(), infoBefore);
    QCOMPARE(f.edit("weightstr")->text(), weightBefore);
    QCOMPARE(f.edit("cmdlist")->text(), listBefore);
    QVERIFY(!f.timer()->isActive());
    // The operator still sees entry 2 ticked, and the window agrees.
    QVERIFY(f.form->session().isTicked(2));
    QCOMPARE(f.list("cmds")->item(2)->checkState(), Qt::Checked);
}

void SmaFormTest::realMessageBoxesAreShownModally()
{
    ScriptedPorts ports;
    OwnRecords records;
    smaForm form(ports.factory());
    form.findChild<QLineEdit *>("Port")->setText("not a port");
    ModalAnswerer answerer;
    form.findChild<QPushButton *>("Connect")->click();
    QCOMPARE(answerer.messages.size(), 1);
    QVERIFY(answerer.messages.first().startsWith("Error opening serial port\nnot a port: "));

    form.findChild<QLineEdit *>("Port")->setText("/dev/ttyTEST0");
    form.findChild<QPushButton *>("Connect")->click();
    QCOMPARE(answerer.messages.last(),
             QString("Set the device to 9600,8,N,1 and verify center of zero"));
    QVERIFY(ports.last()->portOpen());
    QCOMPARE(ports.last()->written, QByteArray::fromHex("0a410d"));
}

void SmaFormTest::printButtonShowsThePreviewModally()
{
    ScriptedPorts ports;
    OwnRecords records;
    smaForm form(ports.factory());
    form.show();
    ModalAnswerer answerer;
    QString title;
    answerer.onModal = [&](QWidget *window) {
        title = window->windowTitle();
        // Pressed from outside the answerer's own timer so the window can close.
        QTimer::singleShot(0, window,
                           [window] { window->findChild<QPushButton *>("CancelButton")->click(); });
    };
    form.findChild<QPushButton *>("PrintButton")->click();
    QCOMPARE(answerer.windows, QStringList({"PrtForm"}));
    QCOMPARE(title, QString("Print Preview"));
    QVERIFY(!ports.last()->portOpen());
    QVERIFY(ports.last()->log.isEmpty());
}

// A database that cannot be written is one message per attempt; the run,
// the hand-over and what the window shows go on as ever.
void SmaFormTest::recordingThatFailsCostsNothing()
{
    TesterFixture f;
    const QString garbage = f.records.filePath("garbage.sqlite");
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
    file.close();
    f.form->recorder().setLocation(garbage);
    ScriptedScale scale;
    scale.answers["T000001.000"] = " 1N       0.000kg ";
    f.answerWith(scale);
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2);
    QCOMPARE(f.form->handOver, QStringList({"VerifyWeight port closed", "PrintButton"}));
    const QString told = "The check could not be recorded: " + garbage + ": file is not a database";
    // Written on a thread of its own: the window goes on and is told after.
    QTRY_COMPARE(f.form->messages,
                 QStringList({"Set the device to 9600,8,N,1 and verify center of zero", told}));
    QCOMPARE(f.cmds(), f.form->session().testedCommands());
    f.button("KeyTare")->click();
    QTRY_COMPARE(f.form->messages.size(), 3);
    QCOMPARE(f.form->messages.last(), told);
    QCOMPARE(f.results().last(), QString("Passed"));
}

// With the server away a check is kept on the bench, written again by a tare
// test as the same check, and the window's status line says how many wait
// and why; the operator gets no failure message.
void SmaFormTest::checksWaitForAServerAway()
{
    TesterFixture f;
    const QString server = "postgresql://nobody@127.0.0.1:1/checks";
    const QString queue = queueFileFor(RecordLocation::parse(server));
    QFile::remove(queue);
    const auto removeQueue = qScopeGuard([&] { QFile::remove(queue); });
    f.form->recorder().setLocation(server);
    ScriptedScale scale;
    scale.answers["T000001.000"] = " 1N       0.000kg ";
    f.answerWith(scale);
    const auto *waiting = f.form->findChild<QLabel *>("RecordsWaiting");
    QSignalSpy told(&f.form->recorder(), &CheckRecorder::waiting);
    f.button("Connect")->click();
    QTRY_COMPARE(waiting->text(), QString("1 check waiting for the server"));
    QVERIFY(!waiting->isHidden());
    QCOMPARE(waiting->accessibleName(), waiting->text());
    QVERIFY2(waiting->toolTip().startsWith(server + ": "), qPrintable(waiting->toolTip()));
    const qsizetype writes = told.size();
    f.button("KeyTare")->click();
    QTRY_VERIFY(told.size() > writes);
    QCOMPARE(waiting->text(), QString("1 check waiting for the server"));
    f.button("Connect")->click();
    QTRY_COMPARE(waiting->text(), QString("2 checks waiting for the server"));
    QVERIFY(f.form->messages.filter("could not be recorded").isEmpty());

    // Check History lists them, marked, though the server cannot be read.
    CheckHistoryWindow window(f.form->recorder());
    const QAbstractItemModel *listed = window.findChild<QTableView *>("history")->model();
    QTRY_COMPARE(listed->rowCount(), 2);
    QCOMPARE(listed->index(1, 0).data().toString(), QString("queued"));
    QVERIFY(
        listed->index(0, 0).data(Qt::ToolTipRole).toString().startsWith("Not yet on the server"));

    // A password typed with the address is refused, saying where it belongs,
    // and kept nowhere.
    window.findChild<QLineEdit *>("Database")->setText("postgresql://bench:s3cret@qa/checks");
    window.findChild<QPushButton *>("UseDatabase")->click();
    const QString state = window.findChild<QLabel *>("HistoryState")->text();
    QVERIFY2(state.contains("postgresql://bench@qa/checks holds a password") &&
                 state.contains("~/.pgpass") && !state.contains("s3cret"),
             qPrintable(state));
    QCOMPARE(f.form->recorder().location(), server);
    QVERIFY(!testerSettings().value("records/database").toString().contains("s3cret"));
    // One that an earlier version kept is taken out when the tester starts.
    testerSettings().setValue("records/database", "postgresql://bench:s3cret@qa/checks?x=1");
    CheckHistoryWindow::startingDatabase();
    QCOMPARE(testerSettings().value("records/database").toString(),
             QString("postgresql://bench@qa/checks?x=1"));
    testerSettings().remove("records/database");
}

namespace {

// The history window with what leaves it noted instead of shown.
class RecordingHistoryWindow : public CheckHistoryWindow
{
public:
    using CheckHistoryWindow::CheckHistoryWindow;
    QString exportFile;
    QStringList failures;
    QList<qint64> shownChecks;

protected:
    QString askExportFile() override { return exportFile; }
    void showFailure(const QString &text, const QString &detail) override
    {
        failures << text + '\n' + detail;
    }
    void showCheck(qint64 id, const CheckRecord &record) override
    {
        shownChecks << id;
        CheckHistoryWindow::showCheck(id, record);
    }
};

} // namespace

// Ctrl+H opens the history; a row opens its check with the report as it
// printed and its serial record; two rows compare; the rows export as CSV.
void SmaFormTest::historyOpensComparesAndExports()
{
    TesterFixture f;
    ScriptedScale scale;
    scale.about = QStringList{"SMA:2/1.0", "MFG:ACME", "MOD:BX-10", "SN :A-17", "END:"};
    f.answerWith(scale);
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 2);
    scale.answers.remove("W"); // new firmware: the weight request is refused
    f.button("Connect")->click();
    QTRY_COMPARE(f.form->handOver.size(), 4);

    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QTest::keyClick(f.form.get(), Qt::Key_H, Qt::ControlModifier);
    auto *shown = f.form->findChild<CheckHistoryWindow *>("CheckHistory");
    QVERIFY(shown && shown->isVisible());
    auto *view = shown->findChild<QTableView *>("history");
    QTRY_COMPARE(view->model()->rowCount(), 2);
    QCOMPARE(view->model()->index(0, 4).data().toString(), QString("A-17"));
    // The window's own History button (Alt+H) opens it again.
    shown->close();
    f.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QTest::keyClick(f.form.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(shown->isVisible());

    RecordingHistoryWindow window(f.form->recorder());
    view = window.findChild<QTableView *>("history");
    QTRY_COMPARE(view->model()->rowCount(), 2);
    // Screen readers name every control by its caption.
    for (const QPushButton *pushButton : window.findChildren<QPushButton *>())
        QCOMPARE(pushButton->accessibleName(), pushButton->text().remove('&'));
    QCOMPARE(window.findChild<QLineEdit *>("Database")->accessibleName(), QString("Database"));
    QCOMPARE(window.findChild<QLineEdit *>("Filter")->accessibleName(), QString("Filter"));
    const auto button = [&](const char *name) { return window.findChild<QPushButton *>(name); };
    view->selectRow(1);
    QVERIFY(!button("Compare")->isEnabled());
    button("OpenCheck")->click();
    QTRY_COMPARE(window.shownChecks.size(), 1);
    auto *check = window.findChild<RecordedCheckWindow *>("RecordedCheck");
    QVERIFY(check);
    QCOMPARE(check->findChild<QPlainTextEdit *>("report")->toPlainText().split('\n'),
             check->record().report);
    QCOMPARE(check->findChild<QTreeWidget *>("traffic")->topLevelItemCount(),
             int(check->record().traffic.size()));

    view->selectionModel()->select(view->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(button("Compare")->isEnabled());
    button("Compare")->click();
    QTreeWidget *changes = nullptr;
    QTRY_VERIFY((changes = window.findChild<QTreeWidget *>("changes")));
    QStringList regressions;
    for (int row = 0; row < changes->topLevelItemCount(); ++row) {
        if (!changes->topLevelItem(row)->text(2).isEmpty())
            regressions << changes->topLevelItem(row)->text(1);
    }
    QCOMPARE(regressions, QStringList({"<LF>W<CR>", "Level 1"}));

    window.exportFile = f.records.filePath("history.csv");
    QTest::keyClicks(window.findChild<QLineEdit *>("Filter"), "zz");
    QTRY_COMPARE(view->model()->rowCount(), 0);
    window.findChild<QLineEdit *>("Filter")->clear();
    QTRY_COMPARE(view->model()->rowCount(), 2);
    button("ExportCsv")->click();
    QFile csv(window.exportFile);
    QTRY_VERIFY(csv.exists()); // whole or not at all
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.first(), csvLine(historyHeader()));
    QVERIFY2(lines.at(1).contains(",ACME,BX-10,A-17,,/dev/ttyTEST0,not verified,not verified,"),
             qPrintable(lines.at(1)));
    QVERIFY(window.failures.isEmpty());
}

// A server that takes the connection and never answers: the window is made
// and shown at once, says it is connecting, and then says why it could not
// read, naming the server, in its own line rather than a message to dismiss.
void SmaFormTest::historyOfAServerThatDoesNotAnswer()
{
    if (!QSqlDatabase::isDriverAvailable("QPSQL"))
        QSKIP("Qt's PostgreSQL driver is not installed");
    TesterFixture f;
    QTcpServer silent; // takes connections and never says a word
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString where = QString("postgresql://bench@127.0.0.1:%1/sma").arg(silent.serverPort());
    f.form->recorder().setLocation(where + "?connect_timeout=1");
    RecordingHistoryWindow window(f.form->recorder());
    auto *state = window.findChild<QLabel *>("HistoryState");
    QTRY_COMPARE(state->text(), "Connecting to " + where + "...");
    QTRY_VERIFY2(state->text().startsWith("The history could not be read: " + where + ": "),
                 qPrintable(state->text()));
    QVERIFY2(state->text().contains("127.0.0.1"), qPrintable(state->text()));
    QCOMPARE(window.findChild<QTableView *>("history")->model()->rowCount(), 0);
    QVERIFY(window.failures.isEmpty());
}

QTEST_MAIN(SmaFormTest)
#include "tst_smaform.moc"
