#include "smaForm.h"

#include "AnswerBuffer.h"
#include "CommandText.h"
#include "ComplianceChecks.h"
#include "Globals.h"
#include "OpTest.h"
#include "PortName.h"
#include "PrtForm.h"
#include "SmaLine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString kStartCaption = QStringLiteral("&Start");
const QString kStopCaption = QStringLiteral("&Stop");
const QString kNotConnected = QStringLiteral("Not connected");
const QString kOpenError = QStringLiteral("Error opening serial port");

// The check mark of a `cmds` entry as the window last saw it, so that a
// change of text or of anything else is not taken for a tick.
constexpr int kShownCheckRole = Qt::UserRole + 1;

const QStringList kUnitCodes = {
    QStringLiteral("lb "), QStringLiteral("oz "), QStringLiteral("l/o"), QStringLiteral("kg "),
    QStringLiteral("g  "), QStringLiteral("ozt"), QStringLiteral("ct "), QStringLiteral("tlh"),
    QStringLiteral("tls"), QStringLiteral("tlt"), QStringLiteral("gn "), QStringLiteral("dwt"),
    QStringLiteral("mg "), QStringLiteral("/lb"), QStringLiteral("tlc"), QStringLiteral("mom"),
    QStringLiteral("k  "), QStringLiteral("tol"), QStringLiteral("bat"), QStringLiteral("ms "),
    QStringLiteral("t  "), QStringLiteral("ton"), QStringLiteral("ug "), QStringLiteral("tl "),
    QStringLiteral("%  "), QStringLiteral("   ")};

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

smaForm::smaForm(MSCommFactory portFactory, QWidget *parent)
    : QWidget(parent), m_portFactory(std::move(portFactory))
{
    setObjectName(QStringLiteral("smaForm"));
    setWindowTitle(QStringLiteral("SMA Compliance Tester"));
    buildControls();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(kResponseTimeoutMs);
    connect(Timer1, &QTimer::timeout, this, &smaForm::on_Timer1_timeout);

    MSComm1 = m_portFactory(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    connect(MSComm1, &MSComm::OnComm, this, &smaForm::on_MSComm1_OnComm);
    connect(MSComm1, &MSComm::Lost, this, &smaForm::onPortLost);

    connect(Connect, &QPushButton::clicked, this, &smaForm::on_Connect_clicked);
    connect(Close, &QPushButton::clicked, this, &smaForm::on_Close_clicked);
    connect(KeyTare, &QPushButton::clicked, this, &smaForm::on_KeyTare_clicked);
    connect(SetUnits, &QPushButton::clicked, this, &smaForm::on_SetUnits_clicked);
    connect(VerifyWeight, &QPushButton::clicked, this, &smaForm::on_VerifyWeight_clicked);
    connect(PrintButton, &QPushButton::clicked, this, &smaForm::on_PrintButton_clicked);
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
    smaError->setText(kNotConnected);
    UnitsValue->setCurrentIndex(0);
}

smaForm::~smaForm()
{
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
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
    TareValue->setAccessibleName(QStringLiteral("Tare Value"));
    SetUnits = button("SetUnits", QStringLiteral("Set Units"));
    UnitsValue = new QComboBox(this);
    UnitsValue->setObjectName(QStringLiteral("UnitsValue"));
    UnitsValue->setFont(answerFont);
    UnitsValue->addItems(kUnitCodes);
    UnitsValue->setAccessibleName(QStringLiteral("Units Value"));
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

bool smaForm::checkedItem(int index) const
{
    return index >= 0 && index < kCheckedItems && CheckedItems[index];
}

// ---- Compliance and report ----

bool smaForm::CheckSMALevel1() const
{
    return checkSmaLevel1(testedCommands(), commandResults());
}

bool smaForm::CheckSMALevel2() const
{
    return checkSmaLevel2(cmdlist->text());
}

// The boxes hold one line per answer; the report takes them with the CR LF
// line ends they were written with.
QString smaForm::scaleAboutText() const
{
    return scaleabout->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

QString smaForm::scaleInfoText() const
{
    return scaleinfo->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

QStringList smaForm::testedCommands() const
{
    QStringList entries;
    for (int row = 0; row < cmds->count(); ++row)
        entries << cmds->item(row)->text();
    return entries;
}

QStringList smaForm::commandResults() const
{
    QStringList results;
    for (int row = 0; row < cmdresult->count(); ++row)
        results << cmdresult->item(row)->text();
    return results;
}

QString smaForm::publishedCommands() const
{
    return cmdlist->text();
}

// ---- Connection and sending ----

void smaForm::on_Connect_clicked()
{
    if (MSComm1->portOpen())
        closeConnection();
    else
        openConnection();
}

void smaForm::openConnection()
{
    const auto checkedBefore = CheckedItems;
    CheckedItems.fill(false);
    if (const QString failure = openPortNamedInPortBox(); !failure.isEmpty()) {
        // Nothing was started: keep everything the window shows, and the
        // check marks the operator still sees.
        CheckedItems = checkedBefore;
        setConnectCaption(kStartCaption);
        smaError->setText(kNotConnected);
        showMessage(kOpenError, failure);
        return;
    }
    RxText.clear();

    // Receive notifications stay off until the operator has confirmed.
    showMessage(QStringLiteral("Set the device to 9600,8,N,1 and verify center of zero"));

    if (!MSComm1->portOpen())
        return; // lost while the operator read the message, and told so
    MSComm1->setRThreshold(1);
    MSComm1->setSThreshold(1);
    setConnectCaption(kStopCaption);
    RxText.clear();
    scaleinfo->clear();
    scaleabout->clear();
    cmdlist->clear();
    cmds->clear();
    cmdresult->clear();
    m_run = DiscoveryState{};
    m_retestFollowUp.clear();
    QueryAbout();
    smaError->setText(QStringLiteral("Connected"));
}

// Opens the port that `Port` names at 9600,8,N,1, with receive notifications
// held back. Returns what to tell the operator when it cannot be opened.
QString smaForm::openPortNamedInPortBox()
{
    return openSmaPort(*MSComm1, Port->text()).describe();
}

void smaForm::closeConnection()
{
    Timer1->stop();
    MSComm1->setPortOpen(false);
    setConnectCaption(kStartCaption);
    smaError->setText(kNotConnected);
}

// A screen reader announces the action the button takes now.
void smaForm::setConnectCaption(const QString &caption)
{
    Connect->setText(caption);
    Connect->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
}

void smaForm::QueryAbout()
{
    m_run.TestId = TestIds::About;
    m_run.ListingAnswers = 0;
    SendCommand(QStringLiteral("A"));
}

void smaForm::SendCommand(const QString &command)
{
    AddTestedCommand(command);
    smaError->setText(QStringLiteral("Testing"));
    transmit(command);
}

// Whatever came before a command (a line the scale printed by itself, a
// second line of an earlier arrival, a late answer) is not its answer.
void smaForm::transmit(const QString &command)
{
    discardWaitingInput();
    MSComm1->setOutput(frameCommand(command));
    Timer1->setInterval(kResponseTimeoutMs);
    Timer1->start();
}

void smaForm::SendCommandWithData(QString &command, QString &data)
{
    data = trimAtCrMarker(data);
    command += data;
    SendCommand(command);
}

void smaForm::AddTestedCommand(const QString &command)
{
    m_lastListing = addTestedCommand(testedCommands(), command);
    if (const int row = m_lastListing.removedRow; row >= 0) {
        delete cmds->takeItem(row);
        if (row < cmdresult->count())
            delete cmdresult->takeItem(row);
        removeCheckedItem(row);
    }
    if (m_lastListing.append) {
        // A command stopped before its answer never gets one: the port was
        // closed since. Fail it now, or the new entry's result would land
        // on its row.
        while (cmdresult->count() < cmds->count())
            cmdresult->addItem(checklistItem(QStringLiteral("Failed")));
        cmds->addItem(checklistItem(m_lastListing.entry));
        if (const int row = cmds->count() - 1; row < kCheckedItems)
            CheckedItems[row] = false;
    }
}

// The check marks follow their entries when an entry leaves the list.
void smaForm::removeCheckedItem(int row)
{
    if (row >= kCheckedItems)
        return;
    std::copy(CheckedItems.begin() + row + 1, CheckedItems.end(), CheckedItems.begin() + row);
    CheckedItems.back() = false;
}

// Whatever the device sent before this test (a late answer to a command that
// timed out, say) must not be taken for the answer to the next command.
void smaForm::discardWaitingInput()
{
    MSComm1->input();
    RxText.clear();
}

// ---- Answers and time-out ----

void smaForm::on_MSComm1_OnComm()
{
    if (MSComm1->commEvent() != CommEvents::Received)
        return; // line changes and errors are not answers
    RxText += MSComm1->input();
    const std::optional<QByteArray> answer = takeAnswer(RxText);
    if (!answer) {
        limitUnansweredBuffer(RxText);
        return; // incomplete: the time-out keeps running
    }
    Timer1->stop();
    RxLine = *answer;
    if (!m_retestFollowUp.isEmpty()) {
        // The listing has been restarted; now the retested command itself.
        SendCommand(std::exchange(m_retestFollowUp, QString()));
        return;
    }
    recordResult(answerPasses(RxLine));

    if (m_run.TestId >= TestIds::About && m_run.TestId <= TestIds::Diagnostics) {
        const QString text = QString::fromLatin1(RxLine);
        const DiscoveryAction action = advanceDiscovery(m_run, text, ExtraCmds->text());
        showDiscoveryAnswer(action, text);
        if (!action.failed.isEmpty())
            setResultOf(printableForm(action.failed), QStringLiteral("Failed"));
        if (!action.send.isEmpty())
            SendCommand(action.send);
    }
    // Only after an answer has been taken, so that a line-state notification
    // can never close the port while an opening waits for the operator.
    endCheck();
}

void smaForm::recordResult(bool passed)
{
    const QString result = QString::fromLatin1(resultText(passed));
    auto appendForNewestCommand = [&] {
        if (cmds->count() > cmdresult->count())
            cmdresult->addItem(checklistItem(result));
    };
    if (m_run.TestId >= TestIds::Tare) {
        appendForNewestCommand();
        m_run.TestId = TestIds::SingleTestAnswered;
    } else if (m_run.TestId >= TestIds::FirstRetest) {
        const int row = m_run.TestId - TestIds::FirstRetest;
        if (row < cmdresult->count())
            cmdresult->item(row)->setText(result);
        else
            appendForNewestCommand();
        m_run.TestId = TestIds::SingleTestAnswered;
    } else {
        appendForNewestCommand();
    }
}

void smaForm::setResultOf(const QString &entry, const QString &result)
{
    const int row = int(testedCommands().indexOf(entry));
    if (row >= 0 && row < cmdresult->count())
        cmdresult->item(row)->setText(result);
}

void smaForm::showDiscoveryAnswer(const DiscoveryAction &action, const QString &answer)
{
    auto appendLine = [](QPlainTextEdit *box, const QString &line) {
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        end.insertText(line + QLatin1Char('\n'));
    };
    using Show = DiscoveryAction::Show;
    switch (action.show) {
    case Show::Nothing:
        break;
    case Show::AppendAbout:
        appendLine(scaleabout, answer);
        break;
    case Show::PublishCommands:
        cmdlist->setText(action.published);
        appendLine(scaleinfo, answer);
        break;
    case Show::AppendInformation:
        appendLine(scaleinfo, answer);
        break;
    case Show::Weight:
        weightstr->setText(answer);
        break;
    }
}

void smaForm::endCheck()
{
    if (m_run.TestId != TestIds::Finished && m_run.TestId != TestIds::SingleTestAnswered)
        return;
    if (MSComm1->portOpen())
        on_Connect_clicked();
    if (m_run.TestId == TestIds::Finished) {
        on_VerifyWeight_clicked();
        on_PrintButton_clicked();
    }
}

void smaForm::on_Timer1_timeout()
{
    if (MSComm1->portOpen())
        on_Connect_clicked();
    Timer1->stop();
    m_retestFollowUp.clear();
    smaError->setText(QStringLiteral("Failure"));
    const QString failed = QStringLiteral("Failed");
    if (cmds->count() > cmdresult->count()) {
        cmdresult->addItem(checklistItem(failed));
    } else if (m_run.TestId >= TestIds::FirstRetest && m_run.TestId <= TestIds::LastRetest) {
        const int row = m_run.TestId - TestIds::FirstRetest;
        if (row < cmdresult->count())
            cmdresult->item(row)->setText(failed);
    }
}

// The device went away with a command in flight: that command fails as on a
// time-out, and the operator is told why at once instead of after it.
void smaForm::onPortLost(const QString &description)
{
    if (!MSComm1->portOpen())
        return;
    if (Timer1->isActive()) {
        on_Timer1_timeout();
    } else {
        closeConnection();
        smaError->setText(QStringLiteral("Failure"));
    }
    showMessage(QStringLiteral("Serial port lost"), description);
}

// ---- Checklist retests ----

void smaForm::onCmdsItemChanged(QListWidgetItem *item)
{
    const bool ticked = item->checkState() == Qt::Checked;
    if (ticked == item->data(kShownCheckRole).toBool())
        return; // some other change of the entry
    {
        const QSignalBlocker quiet(cmds);
        item->setData(kShownCheckRole, ticked);
    }
    // A retest may move or remove entries, this one included: do it once the
    // list has finished telling of the change.
    const int row = cmds->row(item);
    QMetaObject::invokeMethod(
        this,
        [this, row, ticked] {
            const QListWidgetItem *entry = cmds->item(row);
            if (entry && entry->data(kShownCheckRole).toBool() == ticked)
                on_cmds_itemCheck(row);
        },
        Qt::QueuedConnection);
}

void smaForm::setCmdsCheckMark(int row, bool checked)
{
    QListWidgetItem *item = cmds->item(row);
    if (!item)
        return;
    const QSignalBlocker quiet(cmds);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setData(kShownCheckRole, checked);
}

void smaForm::on_cmds_itemCheck(int index)
{
    if (index >= 0 && index < kRetestableEntries && CheckedItems[index]) {
        CheckedItems[index] = false; // an untick only records the new state
        return;
    }
    // One command in flight at a time, and retests only for the rows that
    // TestId can name: otherwise the tick is refused and its mark put back.
    if (index < 0 || index >= kRetestableEntries || MSComm1->portOpen()) {
        setCmdsCheckMark(index, checkedItem(index));
        return;
    }
    CheckedItems[index] = true;
    const QString entry = cmds->item(index)->text();
    const bool hadResult = index < cmdresult->count();
    const QString previousResult = hadResult ? cmdresult->item(index)->text() : QString();
    const QString pending = QStringLiteral("Pending");
    if (hadResult)
        cmdresult->item(index)->setText(pending);
    else if (index == cmdresult->count())
        cmdresult->addItem(checklistItem(pending));
    m_run.TestId = qint16(TestIds::FirstRetest + index);

    // The port number and line settings set last are used again.
    if (const OpenFailure failure = reopenSmaPort(*MSComm1); failure.failed()) {
        if (hadResult)
            cmdresult->item(index)->setText(previousResult);
        else if (index < cmdresult->count())
            delete cmdresult->takeItem(index);
        CheckedItems[index] = false;
        setCmdsCheckMark(index, false);
        m_run.TestId = TestIds::SingleTestAnswered;
        showMessage(kOpenError, failure.describe());
        return;
    }
    RxText.clear();
    MSComm1->setRThreshold(1);
    MSComm1->setSThreshold(1);

    QString command = entry.mid(4, 1);
    if (entry.size() <= kPlainEntryLength) {
        // A lone B or N after its listing has ended is answered "?": start
        // the listing again first; that answer decides nothing.
        const QString restart = listingRestartFor(command);
        if (restart.isEmpty()) {
            SendCommand(command);
        } else {
            m_retestFollowUp = command;
            smaError->setText(QStringLiteral("Testing"));
            transmit(restart);
        }
        return;
    }
    QString data = entry.mid(5);
    SendCommandWithData(command, data);
    if (!m_lastListing.append)
        return;

    // Listing a command with data moved its entry to the end of the list.
    // Give the moved entry its pending result and its tick there, and point
    // TestId at that row, so the verdict lands on the retested command.
    const int removed = m_lastListing.removedRow;
    if (removed != index) {
        // Another entry with data was replaced instead; the ticked row keeps
        // the result it had.
        const int row = removed >= 0 && removed < index ? index - 1 : index;
        if (hadResult && row < cmdresult->count())
            cmdresult->item(row)->setText(previousResult);
    }
    const int ownRow = cmds->count() - 1;
    if (ownRow < kRetestableEntries) {
        if (cmdresult->count() < cmds->count())
            cmdresult->addItem(checklistItem(pending));
        CheckedItems[ownRow] = true;
        m_run.TestId = qint16(TestIds::FirstRetest + ownRow);
    } else {
        m_run.TestId = TestIds::Tare; // the verdict is appended for the newest entry
    }
    setCmdsCheckMark(ownRow, true);
}

// ---- Tare, units and weight check ----

void smaForm::runSingleTest(qint16 testId, const QString &letter, const QString &value)
{
    if (MSComm1->portOpen())
        return;
    if (const QString failure = openPortNamedInPortBox(); !failure.isEmpty()) {
        showMessage(kOpenError, failure);
        return;
    }
    MSComm1->setRThreshold(1);
    MSComm1->setSThreshold(1);
    m_run.TestId = testId;
    QString command = letter;
    QString data = value;
    SendCommandWithData(command, data);

    // An empty value lists the plain command, which may already stand in the
    // list with its result; the verdict then goes on that row.
    if (!m_lastListing.append) {
        const int row = int(testedCommands().indexOf(m_lastListing.entry));
        if (row >= 0 && row < kRetestableEntries && row < cmdresult->count()) {
            cmdresult->item(row)->setText(QStringLiteral("Pending"));
            m_run.TestId = qint16(TestIds::FirstRetest + row);
        }
    }
}

void smaForm::on_KeyTare_clicked()
{
    if (MSComm1->portOpen())
        return;
    const QString value = TareValue->text();
    if (const qsizetype bad = firstUnsendableCharacter(value); bad >= 0) {
        const int length = value.at(bad).isHighSurrogate() ? 2 : 1;
        showMessage(QStringLiteral("The tare value cannot be sent"),
                    QStringLiteral("\"%1\" holds \"%2\", which the scale's serial line cannot "
                                   "carry. Type the tare with digits and a decimal point, for "
                                   "example 000001.000.")
                        .arg(value, value.mid(bad, length)));
        return;
    }
    runSingleTest(TestIds::Tare, QStringLiteral("T"), value);
}

void smaForm::on_SetUnits_clicked()
{
    runSingleTest(TestIds::Units, QStringLiteral("U"), currentUnitCode());
}

QString smaForm::currentUnitCode() const
{
    return UnitsValue->currentText();
}

void smaForm::on_VerifyWeight_clicked()
{
    if (MSComm1->portOpen())
        return;
    Globals::WeightStreamOK = false;
    showWeightStreamAnalysis();
}

void smaForm::on_PrintButton_clicked()
{
    showReportPreview();
}

// ---- Window ----

void smaForm::on_Close_clicked()
{
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    endApplication();
}

void smaForm::closeEvent(QCloseEvent *event)
{
    Timer1->stop();
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    event->accept();
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
    OpTest dialog(m_portFactory, Port->text(), cmdlist->text());
    dialog.exec();
}

void smaForm::showReportPreview()
{
    PrtForm form(*this);
    form.exec();
}

void smaForm::endApplication()
{
    QCoreApplication::exit(0);
}
