#include "Globals.h"
#include "ModalAnswerer.h"
#include "OpTest.h"
#include "PortName.h"
#include "ScriptedMSComm.h"
#include "WeightFrames.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString kNoTare = QStringLiteral("ABDINWZ");
const QString kWithTare = QStringLiteral("ABCDTUWZ");

const QByteArray kWeightRequest = "\nW\r";
const QByteArray kTareRequest = "\nT\r";
const QByteArray kClearTare = "\nC\r";

// One dialog on a scripted port, with every modal message answered.
struct Rig
{
    explicit Rig(const QString &published = kNoTare, const QString &portText = QStringLiteral("1"))
        : dialog(std::make_unique<OpTest>(ports.factory(), portText, published))
    {}

    ScriptedMSComm *port() const { return ports.last(); }
    QTimer *timer() const { return dialog->findChild<QTimer *>(QStringLiteral("Timer2")); }
    QListWidget *list() const { return dialog->findChild<QListWidget *>(QStringLiteral("List1")); }
    QLineEdit *weight() const { return dialog->findChild<QLineEdit *>(QStringLiteral("Weight")); }
    QPushButton *button(const char *name) const
    {
        return dialog->findChild<QPushButton *>(QLatin1String(name));
    }

    // Loads and shows the dialog the way exec() does, without a nested loop.
    bool open()
    {
        if (!dialog->load())
            return false;
        dialog->show();
        return true;
    }

    // One tick of Timer2, delivered through the timer's own signal. Only a
    // running timer can tick.
    [[nodiscard]] bool tick() const
    {
        if (!timer()->isActive())
            return false;
        return QMetaObject::invokeMethod(timer(), "timeout", Qt::DirectConnection);
    }

    QStringList items() const
    {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row)
            texts << list()->item(row)->text();
        return texts;
    }

    QStringList ticked() const
    {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row) {
            if (list()->item(row)->checkState() == Qt::Checked)
                texts << list()->item(row)->text();
        }
        return texts;
    }

    // The dialog has gone the cancel way: nothing polls, the port is free
    // and the weight stream is not verified.
    bool cancelled() const
    {
        return !dialog->isVisible() && dialog->result() == QDialog::Rejected &&
               !timer()->isActive() && !port()->portOpen() && !Globals::WeightStreamOK;
    }

    ScriptedPorts ports;
    ModalAnswerer answerer;
    std::unique_ptr<OpTest> dialog;
};

QList<QByteArray> repeated(const QByteArray &frame, int times)
{
    return QList<QByteArray>(times, frame);
}

// Answers that tick all five flags between them.
const QList<QByteArray> kAllFlags = {
    weightAnswer('Z', 'G', ' ', "     0.000"),
    weightAnswer(' ', 'g', 'M', "     1.500"),
    weightAnswer('O', 'G', ' ', "   ---.---"),
    weightAnswer(' ', 'N', ' ', "     1.500"),
};

} // namespace

class OpTestDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { Globals::WeightStreamOK = false; }

    // --- the window ---
    void controlsAsLaidOut();
    void operatorCannotTickBoxes();

    // --- load ---
    void loadOpensThePortInOrder();
    void withoutTarePollsForWeight_data();
    void withoutTarePollsForWeight();
    void withTareSendsTareThenOneClearThenWeight();
    void whatArrivesDuringTarePromptIsThrownAway();
    void openFailureShowsReasonAndCancels_data();
    void openFailureShowsReasonAndCancels();
    void secondOpeningStartsAfresh();
    void newDialogStartsAfresh();

    // --- receiving ---
    void answerShowsWeightAndTicksItsFlags();
    void splitAnswerIsDecodedWhenItsCrArrives();
    void onlyReceivedEventsAreHandled();
    void unknownDataStreamCancels_data();
    void unknownDataStreamCancels();
    void lostPortStopsPollingAndCancels_data();
    void lostPortStopsPollingAndCancels();

    // --- pass and cancel ---
    void passesOnFirstTickAfterAllTicked();
    void passWithTareTestSendsExactlyOneClear();
    void cancelAtAnyTime_data();
    void cancelAtAnyTime();
    void execReturnsWhenTheDialogIsGone_data();
    void execReturnsWhenTheDialogIsGone();
};

void OpTestDialogTest::controlsAsLaidOut()
{
    Rig rig;
    OpTest &dialog = *rig.dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Weight stream analysis"));

    auto *label1 = dialog.findChild<QLabel *>(QStringLiteral("Label1"));
    auto *instruct = dialog.findChild<QLabel *>(QStringLiteral("Instruct"));
    QVERIFY(label1 && instruct && rig.list() && rig.weight());
    QCOMPARE(label1->text(), QStringLiteral("Check List"));
    QCOMPARE(instruct->text(), QStringLiteral("Operate the scale to check all the boxes"));
    QCOMPARE(rig.items(),
             QStringList({"Zero Flag", "Motion Flag", "Overcap Flag", "Gross Flag", "Net Flag"}));
    QCOMPARE(rig.weight()->text(), QStringLiteral("0"));
    QCOMPARE(rig.weight()->palette().color(QPalette::Base), QColor(224, 224, 224));
    QCOMPARE(rig.weight()->font().pointSizeF(), 27.75);
    // Courier New where it is installed, some fixed-pitch face where not.
    const QFontMetrics digits(rig.weight()->font());
    QCOMPARE(digits.horizontalAdvance(QLatin1Char('1')),
             digits.horizontalAdvance(QLatin1Char('W')));
    QCOMPARE(digits.horizontalAdvance(QLatin1Char('.')),
             digits.horizontalAdvance(QLatin1Char('-')));

    QPushButton *ok = rig.button("OKButton");
    QPushButton *cancel = rig.button("CancelButton");
    QVERIFY(ok && cancel);
    QCOMPARE(ok->text(), QStringLiteral("Passed"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));

    QCOMPARE(label1->accessibleName(), QStringLiteral("Check List"));
    QCOMPARE(rig.list()->accessibleName(), QStringLiteral("Check List"));
    QCOMPARE(instruct->accessibleName(), instruct->text());
    QCOMPARE(rig.weight()->accessibleName(), QStringLiteral("Weight"));
    QCOMPARE(cancel->accessibleName(), QStringLiteral("Cancel"));

    QVERIFY(rig.timer());
    QCOMPARE(rig.timer()->interval(), 1000);
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(rig.port()->objectName(), QStringLiteral("MSComm2"));
    QVERIFY(!rig.port()->portOpen());
    QVERIFY(rig.port()->log.isEmpty());

    // Tab order: Cancel, the hidden button, the check list, the weight.
    const QList<QWidget *> tabStops = {cancel, ok, rig.list(), rig.weight()};
    QList<QWidget *> chain;
    QWidget *widget = cancel;
    do {
        if (tabStops.contains(widget))
            chain << widget;
        widget = widget->nextInFocusChain();
    } while (widget != cancel);
    QCOMPARE(chain, tabStops);

    QVERIFY(rig.open());
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!ok->isVisible());
    QVERIFY(!ok->isEnabled());
    QVERIFY(cancel->isVisible());
    QCOMPARE(dialog.focusWidget(), cancel);
    // Check list on the left, weight on the right, Cancel below the weight.
    QVERIFY(rig.list()->geometry().right() < rig.weight()->geometry().left());
    QVERIFY(instruct->geometry().bottom() < rig.weight()->geometry().top());
    QVERIFY(rig.weight()->geometry().bottom() < cancel->geometry().top());
    QVERIFY(instruct->width() >= instruct->sizeHint().width());
}

void OpTestDialogTest::operatorCannotTickBoxes()
{
    Rig rig;
    QVERIFY(rig.open());
    QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
    QVERIFY(!rig.list()->isEnabled());
    QListWidgetItem *zero = rig.list()->item(0);
    QVERIFY(!(zero->flags() & Qt::ItemIsUserCheckable));
    QTest::mouseClick(rig.list()->viewport(), Qt::LeftButton, {},
                      rig.list()->visualItemRect(zero).center());
    QTest::keyClick(rig.list(), Qt::Key_Space);
    QVERIFY(rig.ticked().isEmpty());
}

void OpTestDialogTest::loadOpensThePortInOrder()
{
    Rig rig;
    QVERIFY(rig.dialog->load());
    const QString device = resolvePortName(QStringLiteral("1")).device;
    QCOMPARE(rig.port()->log,
             QStringList({"CommPort=" + device, "Settings=9600,n,8,1", "RThreshold=0",
                          "SThreshold=0", "PortOpen=1", "Input", "RThreshold=1", "SThreshold=1"}));
    QVERIFY(rig.timer()->isActive());
    QCOMPARE(rig.timer()->interval(), 1000);
    QVERIFY(!rig.button("OKButton")->isEnabled());
    QVERIFY(rig.answerer.messages.isEmpty());
    QVERIFY(rig.port()->written.isEmpty());
}

void OpTestDialogTest::withoutTarePollsForWeight_data()
{
    QTest::addColumn<QString>("published");
    QTest::newRow("no T") << kNoTare;
    QTest::newRow("lower-case t") << QStringLiteral("ABDtWZ");
    QTest::newRow("nothing published") << QString();
}

void OpTestDialogTest::withoutTarePollsForWeight()
{
    QFETCH(QString, published);
    Rig rig(published);
    QVERIFY(rig.open());
    QCOMPARE(rig.items().size(), 5);
    QVERIFY(rig.answerer.messages.isEmpty());
    QVERIFY(rig.tick());
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames, repeated(kWeightRequest, 2));
}

void OpTestDialogTest::withTareSendsTareThenOneClearThenWeight()
{
    Rig rig(kWithTare);
    bool quietDuringPrompt = false;
    rig.answerer.onModal = [&](QWidget *) {
        quietDuringPrompt = !rig.timer()->isActive() && rig.port()->written.isEmpty() &&
                            rig.port()->rThreshold() == 0 && rig.items().size() == 6;
    };
    QVERIFY(rig.open());
    QCOMPARE(rig.answerer.messages,
             QStringList{"Place a tareable weight on the scale and press Ok to continue"});
    QVERIFY(quietDuringPrompt);
    QCOMPARE(rig.items().last(), QStringLiteral("Tare Operation"));

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

void OpTestDialogTest::whatArrivesDuringTarePromptIsThrownAway()
{
    Rig rig(kWithTare);
    const QByteArray tared = weightAnswer('Z', 'N', ' ', "     0.000");
    const QByteArray garbage = '\n' + QByteArray(40, 'x');
    rig.answerer.onModal = [&](QWidget *) {
        rig.port()->deliver(tared);
        rig.port()->deliver(garbage);
        rig.port()->hold(tared); // arrived, its notification not yet handled
    };
    QVERIFY(rig.dialog->load());
    // Neither taken as an answer nor piled up into an unknown stream.
    QCOMPARE(rig.answerer.messages,
             QStringList{"Place a tareable weight on the scale and press Ok to continue"});
    QCOMPARE(rig.port()->discarded, tared + garbage);
    QVERIFY(rig.port()->waiting().isEmpty());
    QCOMPARE(rig.port()->log.sliced(rig.port()->log.indexOf(QStringLiteral("PortOpen=1"))),
             QStringList({"PortOpen=1", "Input", "Input", "RThreshold=1", "SThreshold=1"}));
    QVERIFY(rig.ticked().isEmpty());
    QVERIFY(rig.timer()->isActive());

    // Polling takes the answers that come after it started.
    rig.port()->deliver(tared);
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Net Flag", "Tare Operation"}));
}

void OpTestDialogTest::openFailureShowsReasonAndCancels_data()
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

void OpTestDialogTest::openFailureShowsReasonAndCancels()
{
    QFETCH(QString, portText);
    QFETCH(bool, portRefuses);
    QFETCH(QString, details);

    ScriptedPorts ports;
    ports.prepare = [&](ScriptedMSComm *port) {
        if (portRefuses)
            port->failOpen = {OpenFailure::Busy, QStringLiteral("/dev/ttyS0"),
                              QStringLiteral("the port is busy")};
    };
    ModalAnswerer answerer;
    OpTest dialog(ports.factory(), portText, kWithTare);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));

    QCOMPARE(answerer.messages, QStringList{"Error opening serial port\n" + details});
    QVERIFY(answerer.windows.isEmpty());
    QVERIFY(!Globals::WeightStreamOK);
    QVERIFY(!dialog.findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
    ScriptedMSComm *port = ports.last();
    QVERIFY(!port->portOpen());
    QVERIFY(port->written.isEmpty());
    QVERIFY(!port->log.contains(QStringLiteral("RThreshold=1")));
    if (!portRefuses) // a text that names no port never reaches the port
        QVERIFY(port->log.isEmpty());
}

void OpTestDialogTest::secondOpeningStartsAfresh()
{
    Rig rig(kWithTare);
    QVERIFY(rig.open());
    rig.port()->deliver(weightAnswer('Z', 'N', 'M', "     0.000"));
    QCOMPARE(rig.ticked().size(), 4);
    const QByteArray half = weightAnswer('O', 'G', ' ').first(8);
    rig.port()->deliver(half); // left waiting in the receive buffer
    rig.button("CancelButton")->click();
    QVERIFY(rig.cancelled());

    QVERIFY(rig.open());
    QCOMPARE(rig.answerer.messages.size(), 2); // the tare prompt again
    QCOMPARE(rig.items().size(), 6);
    QVERIFY(rig.ticked().isEmpty());
    QCOMPARE(rig.weight()->text(), QStringLiteral("0"));
    rig.port()->deliver(weightAnswer('O', 'G', ' ').sliced(8)); // the rest of the old answer
    QVERIFY(rig.ticked().isEmpty());
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames.last(), kTareRequest);
    QVERIFY(rig.port()->portOpen());
}

void OpTestDialogTest::newDialogStartsAfresh()
{
    ScriptedPorts ports;
    ModalAnswerer answerer;
    {
        OpTest first(ports.factory(), QStringLiteral("1"), kWithTare);
        QVERIFY(first.load());
        ports.last()->deliver(weightAnswer('Z', 'N', ' ', "     0.000"));
        first.reject();
    }
    OpTest second(ports.factory(), QStringLiteral("1"), kWithTare);
    QVERIFY(second.load());
    QCOMPARE(ports.ports.size(), 2);
    auto *list = second.findChild<QListWidget *>(QStringLiteral("List1"));
    QCOMPARE(list->count(), 6);
    for (int row = 0; row < list->count(); ++row)
        QCOMPARE(list->item(row)->checkState(), Qt::Unchecked);
    QCOMPARE(answerer.messages.size(), 2);
}

void OpTestDialogTest::answerShowsWeightAndTicksItsFlags()
{
    Rig rig;
    QVERIFY(rig.open());
    rig.port()->deliver(weightAnswer('Z', 'G', ' ', "     0.000"));
    QCOMPARE(rig.weight()->text(), QStringLiteral("     0.000"));
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Gross Flag"}));

    // A second answer in the same notification is dropped with the buffer.
    rig.port()->deliver(weightAnswer(' ', 'N', 'M', "    12.500") +
                        weightAnswer('O', 'G', ' ', "    99.000"));
    QCOMPARE(rig.weight()->text(), QStringLiteral("    12.500"));
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Motion Flag", "Gross Flag", "Net Flag"}));

    // So is a notification that starts inside an answer.
    rig.port()->deliver(weightAnswer('O', 'G', ' ').sliced(3) + weightAnswer('O', 'G', ' '));
    QCOMPARE(rig.weight()->text(), QStringLiteral("    12.500"));
    QVERIFY(!rig.ticked().contains(QStringLiteral("Overcap Flag")));
}

void OpTestDialogTest::splitAnswerIsDecodedWhenItsCrArrives()
{
    Rig rig;
    QVERIFY(rig.open());
    const QByteArray answer = weightAnswer('O', ' ', ' ', "  1234.567");
    rig.port()->deliver(answer.first(19));
    QCOMPARE(rig.weight()->text(), QStringLiteral("0"));
    QVERIFY(rig.ticked().isEmpty());
    rig.port()->deliver(answer.sliced(19));
    QCOMPARE(rig.weight()->text(), QStringLiteral("  1234.567"));
    QCOMPARE(rig.ticked(), QStringList{"Overcap Flag"});
}

void OpTestDialogTest::onlyReceivedEventsAreHandled()
{
    Rig rig;
    QVERIFY(rig.open());
    const qsizetype loggedAtLoad = rig.port()->log.size();
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
    QVERIFY(!rig.port()->log.sliced(loggedAtLoad).contains(QStringLiteral("Input")));
    QVERIFY(rig.ticked().isEmpty());
    QVERIFY(rig.dialog->isVisible());

    rig.port()->raiseEvent(CommEvents::Received);
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Gross Flag"}));
}

void OpTestDialogTest::unknownDataStreamCancels_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::newRow("41 characters at once") << QList<QByteArray>{'\n' + QByteArray(40, 'x')};
    QTest::newRow("41 characters in two") << QList<QByteArray>{'\n' + QByteArray(39, 'x'), "x"};
    QTest::newRow("rejections pile up") << repeated("\n?\r", 14);
    QTest::newRow("answers with CR LF") << QList<QByteArray>{
        weightAnswer('Z', 'G', ' ').insert(19, '\n'), weightAnswer('Z', 'G', ' ').insert(19, '\n')};
}

void OpTestDialogTest::unknownDataStreamCancels()
{
    QFETCH(QList<QByteArray>, chunks);
    Rig rig;
    bool pollingStoppedDuringMessage = false;
    rig.answerer.onModal = [&](QWidget *widget) {
        if (qobject_cast<QMessageBox *>(widget))
            pollingStoppedDuringMessage = !rig.timer()->isActive() && rig.port()->rThreshold() == 0;
    };
    QVERIFY(rig.open());
    QVERIFY(rig.tick());
    for (qsizetype i = 0; i + 1 < chunks.size(); ++i) {
        rig.port()->deliver(chunks.at(i));
        QVERIFY(rig.answerer.messages.isEmpty());
    }
    rig.port()->deliver(chunks.last());

    QCOMPARE(rig.answerer.messages, QStringList{"Unknown serial data stream"});
    QVERIFY(pollingStoppedDuringMessage);
    QVERIFY(rig.cancelled());
    QCOMPARE(rig.port()->frames, QList<QByteArray>{kWeightRequest});
}

void OpTestDialogTest::lostPortStopsPollingAndCancels_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<bool>("duringPrompt");
    QTest::addColumn<QString>("description");
    const QString named = resolvePortName(QStringLiteral("1")).device +
                          QStringLiteral(": the connection to the scale was lost (I/O error)");
    QTest::newRow("polling for weight") << kNoTare << false << named;
    QTest::newRow("tare polling") << kWithTare << false << named;
    QTest::newRow("tare prompt") << kWithTare << true << named;
    QTest::newRow("description without the port") << kNoTare << false << "I/O error";
}

void OpTestDialogTest::lostPortStopsPollingAndCancels()
{
    QFETCH(QString, published);
    QFETCH(bool, duringPrompt);
    QFETCH(QString, description);
    Rig rig(published);
    bool pollingStoppedDuringMessage = false;
    rig.answerer.onModal = [&](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->text().startsWith(QLatin1String("Place"))) {
            if (duringPrompt)
                rig.port()->lose(description);
        } else if (box) {
            pollingStoppedDuringMessage = !rig.timer()->isActive();
        }
    };
    const bool loaded = rig.open();
    QCOMPARE(loaded, !duringPrompt);
    if (loaded) {
        QVERIFY(rig.tick());
        rig.port()->lose(description);
    }

    const QString device = resolvePortName(QStringLiteral("1")).device;
    const QString named =
        description.startsWith(device) ? description : device + QStringLiteral(": ") + description;
    QCOMPARE(rig.answerer.messages.value(rig.answerer.messages.size() - 1),
             QStringLiteral("Serial port lost\n") + named);
    QVERIFY(pollingStoppedDuringMessage);
    QVERIFY(rig.cancelled());
    QCOMPARE(rig.port()->frames.size(), loaded ? 1 : 0);
}

void OpTestDialogTest::passesOnFirstTickAfterAllTicked()
{
    Rig rig;
    QVERIFY(rig.open());
    for (const QByteArray &answer : kAllFlags) {
        QVERIFY(rig.tick());
        rig.port()->deliver(answer);
    }
    QCOMPARE(rig.ticked().size(), 5);
    // Passing is the next tick's business, not the answer's.
    QVERIFY(rig.dialog->isVisible());
    QVERIFY(!Globals::WeightStreamOK);

    QVERIFY(rig.tick());
    QVERIFY(!rig.dialog->isVisible());
    QCOMPARE(rig.dialog->result(), int(QDialog::Accepted));
    QVERIFY(Globals::WeightStreamOK);
    QVERIFY(!rig.port()->portOpen());
    QCOMPARE(rig.port()->log.last(), QStringLiteral("PortOpen=0"));
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(rig.port()->frames, repeated(kWeightRequest, kAllFlags.size()));
}

void OpTestDialogTest::passWithTareTestSendsExactlyOneClear()
{
    Rig rig(kWithTare);
    QVERIFY(rig.open());
    QVERIFY(rig.tick());
    for (const QByteArray &answer : kAllFlags)
        rig.port()->deliver(answer);
    QCOMPARE(rig.ticked().size(), 5);
    QVERIFY(rig.tick()); // tare not done yet
    rig.port()->deliver(weightAnswer(' ', 'G', ' ', "     0.000"));
    QCOMPARE(rig.ticked().size(), 6);

    QVERIFY(rig.tick()); // the clear-tare goes out first
    QVERIFY(rig.dialog->isVisible());
    QVERIFY(!Globals::WeightStreamOK);
    QVERIFY(rig.tick());
    QVERIFY(Globals::WeightStreamOK);
    QVERIFY(!rig.dialog->isVisible());
    QVERIFY(!rig.port()->portOpen());
    QCOMPARE(rig.port()->frames, QList<QByteArray>({kTareRequest, kTareRequest, kClearTare}));
}

void OpTestDialogTest::cancelAtAnyTime_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<int>("answersFirst");
    QTest::addColumn<QString>("how");

    const QStringList ways = {"Cancel button", "Escape", "window frame"};
    for (const QString &how : ways) {
        QTest::addRow("at once, %s", qPrintable(how)) << kNoTare << 0 << how;
        QTest::addRow("tare polling, %s", qPrintable(how)) << kWithTare << 1 << how;
        QTest::addRow("some flags, %s", qPrintable(how)) << kNoTare << 2 << how;
        QTest::addRow("all ticked, %s", qPrintable(how)) << kNoTare << 4 << how;
    }
}

void OpTestDialogTest::cancelAtAnyTime()
{
    QFETCH(QString, published);
    QFETCH(int, answersFirst);
    QFETCH(QString, how);

    Rig rig(published);
    QVERIFY(rig.open());
    QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
    for (int i = 0; i < answersFirst; ++i) {
        QVERIFY(rig.tick());
        rig.port()->deliver(kAllFlags.at(i));
    }
    const qsizetype sent = rig.port()->frames.size();

    if (how == QLatin1String("Cancel button"))
        QTest::mouseClick(rig.button("CancelButton"), Qt::LeftButton);
    else if (how == QLatin1String("Escape"))
        QTest::keyClick(rig.dialog.get(), Qt::Key_Escape);
    else
        QVERIFY(rig.dialog->close());

    QVERIFY(rig.cancelled());
    QCOMPARE(rig.port()->frames.size(), sent);
    // Bytes that still come find a closed port and change nothing.
    rig.port()->deliver(weightAnswer('Z', 'G', ' '));
    QCOMPARE(rig.port()->notifications(), answersFirst);
}

void OpTestDialogTest::execReturnsWhenTheDialogIsGone_data()
{
    QTest::addColumn<bool>("pass");
    QTest::newRow("passed") << true;
    QTest::newRow("closed through the frame") << false;
}

void OpTestDialogTest::execReturnsWhenTheDialogIsGone()
{
    QFETCH(bool, pass);
    Rig rig;
    rig.answerer.onModal = [&](QWidget *widget) {
        if (widget != rig.dialog.get())
            return;
        if (pass) {
            for (const QByteArray &answer : kAllFlags)
                rig.port()->deliver(answer);
            QVERIFY(rig.tick());
        } else {
            widget->close();
        }
    };
    const int result = rig.dialog->exec();
    QCOMPARE(rig.answerer.windows, QStringList{"OpTest"});
    QCOMPARE(result, int(pass ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(Globals::WeightStreamOK, pass);
    QVERIFY(!rig.port()->portOpen());
    QVERIFY(!rig.timer()->isActive());
}

QTEST_MAIN(OpTestDialogTest)
#include "tst_optest.moc"
