#include "smaForm.h"

#include "CommandText.h"
#include "Globals.h"
#include "OpTest.h"
#include "PortList.h"
#include "PrtForm.h"
#include "TrafficWindow.h"
#include "VerdictText.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kStartCaption = QStringLiteral("&Start");
const QString kStopCaption = QStringLiteral("&Stop");
const QString kNotConnected = QStringLiteral("Not connected");

// The check mark of a `cmds` entry as the window last saw it, so that a
// change of text or of anything else is not taken for a tick.
constexpr int kShownCheckRole = Qt::UserRole + 1;

const QColor kDarkRed(0x80, 0x00, 0x00);
const QColor kLightGreen(0xC0, 0xFF, 0xC0);
const QColor kLightYellow(0xFF, 0xFF, 0xC0);

// Courier New where it exists, the system's fixed-pitch font where not.
QFont fixedPitchFont(qreal points)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) // no Courier New, nor a metric twin of it
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
    return font;
}

// Disabled boxes show what the program wrote; keep their text as readable as
// an enabled box's, and their background colour if they have one.
void keepReadableWhenDisabled(QWidget *widget, const QColor &background = QColor())
{
    QPalette palette = widget->palette();
    for (auto role : {QPalette::Text, QPalette::WindowText})
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    if (background.isValid()) {
        palette.setColor(QPalette::Active, QPalette::Base, background);
        palette.setColor(QPalette::Inactive, QPalette::Base, background);
        palette.setColor(QPalette::Disabled, QPalette::Base, background);
    }
    widget->setPalette(palette);
}

QLabel *heading(const QString &name, const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    buddy->setAccessibleName(caption);
    return label;
}

QListWidgetItem *checklistItem(const QString &text)
{
    auto *item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setData(kShownCheckRole, false);
    return item;
}

} // namespace

namespace {

// A drop-down list that has an accessible name of its own is announced by
// it, with the chosen entry as its value. (Qt names a drop-down list by its
// current entry on Linux, which tells a screen-reader user what it holds but
// not what it is for.)
class NamedComboBoxAccessible : public QAccessibleWidget
{
public:
    explicit NamedComboBoxAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox)
    {
        addControllingSignal(QStringLiteral("currentIndexChanged(int)"));
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

// The tester window is the application's main window: announce it as such
// (a frame) rather than as an anonymous pane.
QAccessibleInterface *testerAccessible(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("smaForm"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("QComboBox") &&
        !static_cast<QWidget *>(object)->accessibleName().isEmpty())
        return new NamedComboBoxAccessible(static_cast<QComboBox *>(object));
    return nullptr;
}

} // namespace

smaForm::smaForm(MSCommFactory portFactory, QWidget *parent)
    : QWidget(parent), m_portFactory(std::move(portFactory)),
      m_session(new SmaSession(m_portFactory, this))
{
    setObjectName(QStringLiteral("smaForm"));
    setWindowTitle(QStringLiteral("SMA Compliance Tester"));
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(testerAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    buildControls();

    connect(m_session, &SmaSession::changed, this, &smaForm::render);
    connect(m_session, &SmaSession::connectionChanged, this,
            [this](bool open) { setConnectCaption(open ? kStopCaption : kStartCaption); });
    connect(m_session, &SmaSession::runFinished, this, [this] {
        on_VerifyWeight_clicked();
        on_PrintButton_clicked();
    });
    connect(m_session, &SmaSession::portLost, this, [this](const QString &description) {
        showMessage(QStringLiteral("Serial port lost"), description);
    });

    connect(Connect, &QPushButton::clicked, this, &smaForm::on_Connect_clicked);
    connect(Close, &QPushButton::clicked, this, &smaForm::on_Close_clicked);
    connect(KeyTare, &QPushButton::clicked, this, &smaForm::on_KeyTare_clicked);
    connect(SetUnits, &QPushButton::clicked, this, &smaForm::on_SetUnits_clicked);
    connect(VerifyWeight, &QPushButton::clicked, this, &smaForm::on_VerifyWeight_clicked);
    connect(PrintButton, &QPushButton::clicked, this, &smaForm::on_PrintButton_clicked);
    connect(ExtraCmds, &QLineEdit::textChanged, m_session, &SmaSession::setAdditionalCommands);

    m_showTraffic = new QAction(QStringLiteral("Show Serial &Traffic"), this);
    m_showTraffic->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_showTraffic->setShortcutContext(Qt::WindowShortcut);
    addAction(m_showTraffic);
    connect(m_showTraffic, &QAction::triggered, this, &smaForm::showTraffic);
    cmds->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmds, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu::exec({m_showTraffic}, cmds->mapToGlobal(pos), nullptr, cmds);
    });
    connect(cmds, &QListWidget::itemChanged, this, &smaForm::onCmdsItemChanged);
    // A selection set by the program raises the other list's notification
    // in turn; setting the index a list already has raises nothing, so the
    // pair settles after one exchange.
    connect(cmds, &QListWidget::currentRowChanged, this,
            [this](int row) { cmdresult->setCurrentRow(row < cmdresult->count() ? row : -1); });
    connect(cmdresult, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            cmds->setCurrentRow(row);
    });

    // Load
    Globals::WeightStreamOK = false;
    m_session->setAdditionalCommands(ExtraCmds->text());
    UnitsValue->setCurrentIndex(0);
    render();
}

smaForm::~smaForm()
{
    m_session->shutdown();
}

void smaForm::buildControls()
{
    const QFont answerFont = fixedPitchFont(9.75);

    Label8 = new QLabel(QStringLiteral("S.M.A."), this);
    Label8->setObjectName(QStringLiteral("Label8"));
    QFont titleFont = fixedPitchFont(48);
    titleFont.setBold(true);
    Label8->setFont(titleFont);
    Label8->setAlignment(Qt::AlignCenter);
    QPalette titlePalette = Label8->palette();
    titlePalette.setColor(QPalette::WindowText, kDarkRed);
    Label8->setPalette(titlePalette);

    auto lineBox = [&](const char *name, const QString &text) {
        auto *box = new QLineEdit(text, this);
        box->setObjectName(QString::fromLatin1(name));
        box->setFont(answerFont);
        return box;
    };
    auto answerBox = [&](const char *name, const QColor &background) {
        auto *box = new QPlainTextEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setFont(answerFont);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setEnabled(false);
        keepReadableWhenDisabled(box, background);
        return box;
    };
    auto list = [&](const char *name) {
        auto *widget = new QListWidget(this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(answerFont);
        widget->setUniformItemSizes(true);
        return widget;
    };

    cmdlist = lineBox("cmdlist", {});
    weightstr = lineBox("weightstr", {});
    ExtraCmds = lineBox("ExtraCmds", QStringLiteral("HPQRSTMCU"));
    for (QLineEdit *box : {cmdlist, weightstr, ExtraCmds}) {
        box->setEnabled(false);
        keepReadableWhenDisabled(box);
    }
    scaleabout = answerBox("scaleabout", kLightGreen);
    scaleinfo = answerBox("scaleinfo", kLightYellow);
    cmds = list("cmds");
    // The list is where the keyboard works the checklist: show when it has
    // the focus even while it is empty.
    cmds->setStyleSheet(
        QStringLiteral("QListWidget:focus { border: 2px solid palette(highlight); }"));
    cmdresult = list("cmdresult");
    cmdresult->setEnabled(false);
    keepReadableWhenDisabled(cmdresult);

    Commands =
        heading(QStringLiteral("Commands"), QStringLiteral("Published commands"), cmdlist, this);
    Label3 = heading(QStringLiteral("Label3"), QStringLiteral("Weight String"), weightstr, this);
    Label2 = heading(QStringLiteral("Label2"), QStringLiteral("About Scale"), scaleabout, this);
    Label1 =
        heading(QStringLiteral("Label1"), QStringLiteral("Scale Information"), scaleinfo, this);
    Label4 = heading(QStringLiteral("Label4"), QStringLiteral("Tested Commands"), cmds, this);
    Label6 = heading(QStringLiteral("Label6"), QStringLiteral("Command Result"), cmdresult, this);
    Label7 =
        heading(QStringLiteral("Label7"), QStringLiteral("Additional Commands"), ExtraCmds, this);

    auto button = [&](const char *name, const QString &caption) {
        auto *pushButton = new QPushButton(caption, this);
        pushButton->setObjectName(QString::fromLatin1(name));
        pushButton->setAutoDefault(false);
        return pushButton;
    };
    KeyTare = button("KeyTare", QStringLiteral("Key Tare"));
    TareValue = new QLineEdit(QStringLiteral("000001.000"), this);
    TareValue->setObjectName(QStringLiteral("TareValue"));
    TareValue->setFont(answerFont);
    TareValue->setAccessibleName(QStringLiteral("Tare value"));
    SetUnits = button("SetUnits", QStringLiteral("Set Units"));
    UnitsValue = new QComboBox(this);
    UnitsValue->setObjectName(QStringLiteral("UnitsValue"));
    // Named before anything can ask for its accessible interface.
    UnitsValue->setAccessibleName(QStringLiteral("Units"));
    UnitsValue->setFont(answerFont);
    UnitsValue->addItems(smaUnitCodes());
    VerifyWeight = button("VerifyWeight", QStringLiteral("Check Weight"));
    VerifyWeight->setVisible(false);

    smaError = new QLabel(QStringLiteral("Success"), this);
    smaError->setObjectName(QStringLiteral("smaError"));
    QFont statusFont = smaError->font();
    statusFont.setBold(true);
    smaError->setFont(statusFont);
    smaError->setAlignment(Qt::AlignCenter);
    QPalette statusPalette = smaError->palette();
    statusPalette.setColor(QPalette::WindowText, kDarkRed);
    smaError->setPalette(statusPalette);
    smaError->setMinimumWidth(smaError->fontMetrics().horizontalAdvance(kNotConnected) * 3 / 2);

    Port = new QLineEdit(QStringLiteral("1"), this);
    Port->setObjectName(QStringLiteral("Port"));
    // The ports present are offered as the operator types; the completion
    // puts the port's location into the box, the list shows what it is.
    auto *completer = new QCompleter(new QStandardItemModel(this), Port);
    completer->setCompletionRole(Qt::UserRole);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    Port->setCompleter(completer);
    Port->installEventFilter(this);
    Label5 = heading(QStringLiteral("Label5"), QStringLiteral("Port"), Port, this);
    Connect = button("Connect", kStartCaption);
    PrintButton = button("PrintButton", QStringLiteral("Print"));
    Close = button("Close", QStringLiteral("&Close"));
    for (QPushButton *b : {KeyTare, SetUnits, VerifyWeight, Connect, PrintButton, Close})
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));

    // Left column: what the scale says about itself.
    auto *left = new QVBoxLayout;
    left->addWidget(Label2);
    left->addWidget(scaleabout, 1);
    left->addWidget(Label1);
    left->addWidget(scaleinfo, 1);
    left->addWidget(Label7);
    left->addWidget(ExtraCmds);

    // Middle and right columns share their rows so that entry i of the
    // results stands level with entry i of the commands.
    auto *lists = new QGridLayout;
    lists->addWidget(Commands, 0, 0);
    lists->addWidget(cmdlist, 1, 0);
    lists->addWidget(Label4, 2, 0);
    lists->addWidget(cmds, 3, 0);
    lists->addWidget(Label3, 0, 1);
    lists->addWidget(weightstr, 1, 1);
    lists->addWidget(Label6, 2, 1);
    lists->addWidget(cmdresult, 3, 1);
    lists->setRowStretch(3, 1);
    lists->setColumnStretch(0, 3);
    lists->setColumnStretch(1, 2);

    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 3);
    columns->addLayout(lists, 5);

    auto *tests = new QGridLayout;
    tests->addWidget(KeyTare, 0, 0);
    tests->addWidget(TareValue, 0, 1);
    tests->addWidget(SetUnits, 1, 0);
    tests->addWidget(UnitsValue, 1, 1);
    tests->addWidget(VerifyWeight, 2, 0);

    auto *portBox = new QHBoxLayout;
    portBox->addWidget(Label5);
    portBox->addWidget(Port);
    // Wide enough for their usual texts however small the window gets.
    auto fitText = [](QLineEdit *box, int characters) {
        const int advance = box->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        box->setMinimumWidth(advance * characters +
                             2 * box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
    };
    fitText(Port, 12);
    fitText(TareValue, 11);
    Port->setMaximumWidth(Port->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 16);

    auto *bottom = new QHBoxLayout;
    bottom->addLayout(tests);
    bottom->addWidget(smaError, 1);
    bottom->addLayout(portBox);
    bottom->addWidget(Connect);
    bottom->addWidget(PrintButton);
    bottom->addWidget(Close);

    auto *window = new QVBoxLayout(this);
    window->addWidget(Label8);
    window->addLayout(columns, 1);
    window->addLayout(bottom);

    const int column = cmds->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    cmds->setMinimumWidth(column * 24);
    cmdresult->setMinimumWidth(column * 12);
    scaleabout->setMinimumWidth(column * 32);
    cmds->setMinimumHeight(cmds->fontMetrics().height() * 12);
    // A whole listing shows at any font size: real ones have up to eight lines.
    for (QPlainTextEdit *box : {scaleabout, scaleinfo})
        box->setMinimumHeight(box->fontMetrics().lineSpacing() * 8 +
                              box->horizontalScrollBar()->sizeHint().height() +
                              2 * box->frameWidth() + 8);

    setTabOrder(Port, Connect);
    setTabOrder(Connect, PrintButton);
    setTabOrder(PrintButton, Close);
    setTabOrder(Close, cmds);
    setTabOrder(cmds, KeyTare);
    setTabOrder(KeyTare, TareValue);
    setTabOrder(TareValue, SetUnits);
    setTabOrder(SetUnits, UnitsValue);
    Port->setFocus();
}

// ---- Rendering ----

namespace {

// Brings a list to `texts` in place, so that its selection and scroll
// position stay where the operator left them.
// Each entry says why it got its verdict: "Passed — "SMA:2/1.0" after 12 ms".
// The tested-command list is the one a keyboard and a screen reader reach,
// so its entries carry it as their description too.
void showEntries(QListWidget *list, const QStringList &texts, const QList<bool> &ticks,
                 const QStringList &why, bool describe)
{
    const QSignalBlocker quiet(list);
    while (list->count() > texts.size())
        delete list->takeItem(list->count() - 1);
    for (int row = 0; row < texts.size(); ++row) {
        QListWidgetItem *item = list->item(row);
        if (!item) {
            item = checklistItem(texts.at(row));
            list->addItem(item);
        } else if (item->text() != texts.at(row)) {
            item->setText(texts.at(row));
        }
        const bool ticked = ticks.value(row);
        if (item->data(kShownCheckRole).toBool() != ticked ||
            (item->checkState() == Qt::Checked) != ticked) {
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            item->setData(kShownCheckRole, ticked);
        }
        if (item->toolTip() != why.value(row)) {
            item->setToolTip(why.value(row));
            if (describe)
                item->setData(Qt::AccessibleDescriptionRole, why.value(row));
        }
    }
}

void showLines(QPlainTextEdit *box, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1Char('\n');
    if (box->toPlainText() != text)
        box->setPlainText(text);
}

void showText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

} // namespace

void smaForm::render()
{
    QStringList entries;
    QStringList results;
    QStringList why;
    QList<bool> ticks;
    for (const TestedCommand &command : m_session->commands()) {
        entries << command.printable;
        ticks << command.ticked;
        why << verdictEvidence(command, m_session->published());
        if (command.hasVerdict())
            results << resultText(command.result);
    }
    showEntries(cmds, entries, ticks, why, true);
    showEntries(cmdresult, results, {}, why, false);
    showLines(scaleabout, m_session->aboutLines());
    showLines(scaleinfo, m_session->infoLines());
    showText(cmdlist, m_session->published());
    showText(weightstr, m_session->weight());
    showStatus(m_session->status());
}

// A screen reader hears the status as it changes, wherever the focus is:
// the label's new name goes out with its text, and an alert with it where
// the platform has one.
void smaForm::showStatus(const QString &status)
{
    if (smaError->text() == status)
        return;
    smaError->setText(status);
    QAccessibleEvent alert(smaError, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

// A screen reader announces the action the button takes now.
void smaForm::setConnectCaption(const QString &caption)
{
    Connect->setText(caption);
    Connect->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
}

bool smaForm::CheckSMALevel1() const
{
    return m_session->CheckSMALevel1();
}

bool smaForm::CheckSMALevel2() const
{
    return m_session->CheckSMALevel2();
}

void smaForm::offerPresentPorts()
{
    auto *model = static_cast<QStandardItemModel *>(Port->completer()->model());
    model->clear();
    for (const PresentPort &port : presentPorts()) {
        auto *item = new QStandardItem(port.summary());
        item->setData(port.location, Qt::UserRole);
        model->appendRow(item);
    }
}

bool smaForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Port && event->type() == QEvent::FocusIn) {
        offerPresentPorts();
        // Entering the box selects its text, so that typing replaces it; a
        // click would put the cursor down after this, hence the delay.
        if (static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
            QTimer::singleShot(0, Port, &QLineEdit::selectAll);
    }
    return QWidget::eventFilter(watched, event);
}

// ---- What the operator does ----

void smaForm::on_Connect_clicked()
{
    if (m_session->isOpen()) {
        m_session->close();
        return;
    }
    if (const OpenFailure failure = m_session->open(Port->text()); failure.failed()) {
        showMessage(QStringLiteral("Error opening serial port"), failure.describe());
        return;
    }
    // Nothing the scale sends is taken until the operator has confirmed.
    showMessage(QStringLiteral("Set the device to 9600,8,N,1 and verify center of zero"));
    m_session->startRun();
}

void smaForm::on_KeyTare_clicked()
{
    tell(m_session->tareTest(TareValue->text(), Port->text()));
}

void smaForm::on_SetUnits_clicked()
{
    tell(m_session->unitsTest(UnitsValue->currentText(), Port->text()));
}

void smaForm::tell(const SmaSession::Outcome &outcome)
{
    if (!outcome.message.isEmpty())
        showMessage(outcome.message, outcome.detail);
}

void smaForm::on_VerifyWeight_clicked()
{
    if (m_session->isOpen())
        return;
    Globals::WeightStreamOK = false;
    m_session->setWeightStreamVerified(false);
    showWeightStreamAnalysis();
    m_session->setWeightStreamVerified(Globals::WeightStreamOK);
}

void smaForm::on_PrintButton_clicked()
{
    showReportPreview();
}

void smaForm::onCmdsItemChanged(QListWidgetItem *item)
{
    const bool ticked = item->checkState() == Qt::Checked;
    if (ticked == item->data(kShownCheckRole).toBool())
        return; // some other change of the entry
    {
        const QSignalBlocker quiet(cmds);
        item->setData(kShownCheckRole, ticked);
    }
    // A retest may move entries, this one included: hand it over once the
    // list has finished telling of the change.
    const int row = cmds->row(item);
    QMetaObject::invokeMethod(
        this, [this, row, ticked] { on_cmds_itemCheck(row, ticked); }, Qt::QueuedConnection);
}

void smaForm::on_cmds_itemCheck(int index, bool ticked)
{
    if (ticked)
        tell(m_session->retest(index));
    else
        m_session->untick(index);
    render(); // a refused tick takes its mark back
}

// ---- Window ----

void smaForm::on_Close_clicked()
{
    m_session->shutdown();
    endApplication();
}

void smaForm::closeEvent(QCloseEvent *event)
{
    m_session->shutdown();
    event->accept();
}

void smaForm::showTraffic()
{
    if (!m_trafficWindow)
        m_trafficWindow = new TrafficWindow(*m_session, this);
    m_trafficWindow->show();
    m_trafficWindow->raise();
    m_trafficWindow->activateWindow();
}

// The result list takes no input of its own (it is disabled), so its context
// menu requests arrive here.
void smaForm::contextMenuEvent(QContextMenuEvent *event)
{
    if (!cmdresult->geometry().contains(event->pos())) {
        QWidget::contextMenuEvent(event);
        return;
    }
    QMenu::exec({m_showTraffic}, event->globalPos(), nullptr, this);
}

void smaForm::showMessage(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
    if (!detail.isEmpty()) {
        box.setIcon(QMessageBox::Warning);
        box.setInformativeText(detail);
    }
    box.exec();
}

void smaForm::showWeightStreamAnalysis()
{
    OpTest dialog(m_portFactory, Port->text(), m_session->published(), this);
    dialog.exec();
}

void smaForm::showReportPreview()
{
    PrtForm form(*m_session, this);
    form.exec();
}

void smaForm::endApplication()
{
    QCoreApplication::exit(0);
}
