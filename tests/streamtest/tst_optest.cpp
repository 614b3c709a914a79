#include "Globals.h"
#include "ModalAnswerer.h"
#include "OpTest.h"
#include "PortName.h"
#include "ScriptedMSComm.h"
#include "WeightFrames.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

const QString kNoTare = QStringLiteral("ABDINWZ");
const QString kWithTare = QStringLiteral("ABCDTUWZ");

const QByteArray kWeightRequest = "\nW\r";
const QByteArray kTareRequest = "\nT\r";

// One dialog on a scripted port, opened over a stand-in for the tester
// window, with every modal message answered.
struct Rig
{
    explicit Rig(const QString &published = kNoTare, const QString &portText = QStringLiteral("1"))
        : dialog(std::make_unique<OpTest>(ports.factory(), portText, published, &testerWindow))
    {}

    ScriptedMSComm *port() const { return ports.last(); }
    QTimer *timer() const { return dialog->findChild<QTimer *>(QStringLiteral("Timer2")); }
    QListWidget *list() const { return dialog->findChild<QListWidget *>(QStringLiteral("List1")); }
    QLineEdit *weight() const { return dialog->findChild<QLineEdit *>(QStringLiteral("Weight")); }
    QLineEdit *unit() const { return dialog->findChild<QLineEdit *>(QStringLiteral("WeightUnit")); }
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

    QWidget testerWindow;
    ScriptedPorts ports;
    ModalAnswerer answerer;
    std::unique_ptr<OpTest> dialog;
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
    void eachFlagSaysHowToProduceIt();

    // --- what the view shows and forwards ---
    void tarePromptComesBeforePolling_data();
    void tarePromptComesBeforePolling();
    void openFailureShowsReasonAndCancels();
    void rendersWeightAndTicks();
    void messagesEndTheDialog_data();
    void messagesEndTheDialog();
    void cancelIsForwarded_data();
    void cancelIsForwarded();
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
    QVERIFY(label1 && instruct && rig.list() && rig.weight() && rig.unit());
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
    QCOMPARE(rig.unit()->accessibleName(), QStringLiteral("Unit"));
    QVERIFY(rig.unit()->text().isEmpty());
    QVERIFY(rig.unit()->isReadOnly());
    QCOMPARE(cancel->accessibleName(), QStringLiteral("Cancel"));

    QVERIFY(rig.timer());
    QCOMPARE(rig.timer()->interval(), 1000);
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(rig.port()->objectName(), QStringLiteral("MSComm2"));
    QVERIFY(!rig.port()->portOpen());
    QVERIFY(rig.port()->log.isEmpty());

    // Tab order: Cancel, the hidden button, the check list, the weight, its unit.
    const QList<QWidget *> tabStops = {cancel, ok, rig.list(), rig.weight(), rig.unit()};
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
    // The unit right beside the weight, wide enough for its three characters.
    QCOMPARE(rig.unit()->geometry().top(), rig.weight()->geometry().top());
    QVERIFY(qAbs(rig.unit()->geometry().left() - rig.weight()->geometry().right()) <= 1);
    QVERIFY(rig.unit()->width() >= QFontMetrics(rig.unit()->font()).horizontalAdvance("l/o"));
}

void OpTestDialogTest::eachFlagSaysHowToProduceIt()
{
    Rig rig(kWithTare);
    QVERIFY(rig.open());
    QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
    const QStringList hints = {
        "Empty the platter and zero the scale.",
        "Move the load, or put a load on and let it settle.",
        "Load the scale past its capacity.",
        "Put a load on the platter with no tare.",
        "Tare a load, so that the scale shows net weight.",
        "Put a tareable weight on the scale when asked. The tester tares it.",
    };
    QCOMPARE(rig.list()->count(), hints.size());
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(rig.list());
    QVERIFY(list);
    QCOMPARE(list->childCount(), hints.size());
    for (int row = 0; row < hints.size(); ++row) {
        QListWidgetItem *item = rig.list()->item(row);
        QCOMPARE(item->toolTip(), hints.at(row));
        QAccessibleInterface *entry = list->child(row);
        QCOMPARE(entry->text(QAccessible::Name), item->text());
        QCOMPARE(entry->text(QAccessible::Description), hints.at(row));
    }

    // The list is disabled, yet hovering over a box shows its hint.
    const QRect motion = rig.list()->visualItemRect(rig.list()->item(1));
    QHelpEvent hover(QEvent::ToolTip, motion.center(),
                     rig.list()->viewport()->mapToGlobal(motion.center()));
    QApplication::sendEvent(rig.list()->viewport(), &hover);
    QTRY_COMPARE(QToolTip::text(), hints.at(1));
    QToolTip::hideText();
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

void OpTestDialogTest::tarePromptComesBeforePolling_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QByteArray>("firstRequest");
    QTest::newRow("no T") << kNoTare << QStringList() << kWeightRequest;
    QTest::newRow("T published")
        << kWithTare << QStringList{"Place a tareable weight on the scale and press Ok to continue"}
        << kTareRequest;
}

void OpTestDialogTest::tarePromptComesBeforePolling()
{
    QFETCH(QString, published);
    QFETCH(QStringList, messages);
    QFETCH(QByteArray, firstRequest);
    Rig rig(published);
    bool quietDuringPrompt = false;
    rig.answerer.onModal = [&](QWidget *) {
        quietDuringPrompt =
            !rig.dialog->isVisible() && !rig.timer()->isActive() && rig.items().size() == 6;
    };
    QVERIFY(rig.open());
    QCOMPARE(rig.answerer.messages, messages);
    QCOMPARE(quietDuringPrompt, !messages.isEmpty());
    QCOMPARE(rig.items().size(), messages.isEmpty() ? 5 : 6);
    QVERIFY(!rig.button("OKButton")->isEnabled());
    // Polling starts once the prompt is closed.
    QVERIFY(rig.tick());
    QCOMPARE(rig.port()->frames, QList<QByteArray>{firstRequest});
}

void OpTestDialogTest::openFailureShowsReasonAndCancels()
{
    ScriptedPorts ports;
    ports.prepare = [](ScriptedMSComm *port) {
        port->failOpen = {OpenFailure::Busy, QStringLiteral("/dev/ttyS0"),
                          QStringLiteral("the port is busy")};
    };
    ModalAnswerer answerer;
    QWidget testerWindow;
    OpTest dialog(ports.factory(), QStringLiteral("1"), kWithTare, &testerWindow);
    QWidget *messageParent = nullptr;
    answerer.onModal = [&](QWidget *box) { messageParent = box->parentWidget(); };
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));

    // No tare prompt, and the dialog itself never shows: the message stays
    // with the window that opened it.
    QCOMPARE(answerer.messages,
             QStringList{"Error opening serial port\n/dev/ttyS0: the port is busy"});
    QCOMPARE(messageParent, &testerWindow);
    QVERIFY(answerer.windows.isEmpty());
    QVERIFY(!Globals::WeightStreamOK);
    QVERIFY(!ports.last()->portOpen());
}

void OpTestDialogTest::rendersWeightAndTicks()
{
    Rig rig(kWithTare);
    QVERIFY(rig.open());
    rig.port()->deliver(weightAnswer('Z', 'G', ' ', "     0.000"));
    QCOMPARE(rig.weight()->text(), QStringLiteral("     0.000"));
    QCOMPARE(rig.unit()->text(), QStringLiteral("kg "));
    QCOMPARE(rig.ticked(), QStringList({"Zero Flag", "Gross Flag"}));
    rig.port()->deliver(weightAnswer(' ', 'N', 'M', "   -0:00.0", "l/o"));
    QCOMPARE(rig.weight()->text(), QStringLiteral("   -0:00.0"));
    QCOMPARE(rig.unit()->text(), QStringLiteral("l/o"));
    QCOMPARE(rig.ticked(),
             QStringList({"Zero Flag", "Motion Flag", "Gross Flag", "Net Flag", "Tare Operation"}));

    // Loaded again, it shows nothing of the last run.
    rig.button("CancelButton")->click();
    QVERIFY(rig.cancelled());
    QVERIFY(rig.open());
    QCOMPARE(rig.items().size(), 6);
    QVERIFY(rig.ticked().isEmpty());
    QCOMPARE(rig.weight()->text(), QStringLiteral("0"));
    QVERIFY(rig.unit()->text().isEmpty());
}

void OpTestDialogTest::messagesEndTheDialog_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QStringList>("messages");
    const QString prompt = QStringLiteral("Place a tareable weight on the scale and press Ok to "
                                          "continue");
    const QString lost = QStringLiteral("Serial port lost\n") +
                         resolvePortName(QStringLiteral("1")).device +
                         QStringLiteral(": the connection to the scale was lost");
    QTest::newRow("unknown data stream")
        << kNoTare << "polling" << QStringList{"Unknown serial data stream"};
    QTest::newRow("port lost while polling") << kNoTare << "polling" << QStringList{lost};
    // Told once the prompt is closed, not on top of it.
    QTest::newRow("port lost during the tare prompt")
        << kWithTare << "tare prompt" << QStringList{prompt, lost};
}

void OpTestDialogTest::messagesEndTheDialog()
{
    QFETCH(QString, published);
    QFETCH(QString, when);
    QFETCH(QStringList, messages);
    const QString device = resolvePortName(QStringLiteral("1")).device;
    const auto strike = [&](Rig &rig) {
        if (messages.last().startsWith(QLatin1String("Unknown")))
            rig.port()->deliver('\n' + QByteArray(40, 'x'));
        else
            rig.port()->lose(device + QStringLiteral(": the connection to the scale was lost"));
    };
    Rig rig(published);
    bool stoppedDuringMessage = false;
    QList<QWidget *> messageParents;
    rig.answerer.onModal = [&](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box)
            messageParents << box->parentWidget();
        if (box && box->text().startsWith(QLatin1String("Place")))
            strike(rig);
        else if (box)
            stoppedDuringMessage = !rig.timer()->isActive() && !rig.port()->portOpen();
    };
    if (when == QLatin1String("polling")) {
        QVERIFY(rig.open());
        QVERIFY(rig.tick());
        strike(rig);
    } else {
        QVERIFY(!rig.open());
    }
    QCOMPARE(rig.answerer.messages, messages);
    QVERIFY(stoppedDuringMessage);
    QVERIFY(rig.cancelled());
    // Centred on, and kept above, the dialog once it shows; before that, the
    // window that opened it.
    QWidget *const owner = when == QLatin1String("polling")
                               ? static_cast<QWidget *>(rig.dialog.get())
                               : &rig.testerWindow;
    QCOMPARE(messageParents, QList<QWidget *>(messages.size(), owner));
}

void OpTestDialogTest::cancelIsForwarded_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "Cancel button";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("window frame") << "window frame";
}

void OpTestDialogTest::cancelIsForwarded()
{
    QFETCH(QString, how);
    Rig rig;
    QVERIFY(rig.open());
    QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
    for (const QByteArray &answer : kAllFlags) // all ticked: only the tick to pass is missing
        rig.port()->deliver(answer);

    if (how == QLatin1String("Cancel button"))
        QTest::mouseClick(rig.button("CancelButton"), Qt::LeftButton);
    else if (how == QLatin1String("Escape"))
        QTest::keyClick(rig.dialog.get(), Qt::Key_Escape);
    else
        QVERIFY(rig.dialog->close());

    QVERIFY(rig.cancelled());
    QVERIFY(rig.port()->frames.isEmpty());
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
