// The controls of the tester window and where they stand: object names,
// captions, fonts, colours, accessible names, tab order.

#include "smaForm.h"

#include "CommandText.h"
#include "LineSettings.h"
#include "WidgetLook.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QVBoxLayout>
#include <QValidator>

namespace {

const QColor kDarkRed(0x80, 0x00, 0x00);
const QColor kLightGreen(0xC0, 0xFF, 0xC0);
const QColor kLightYellow(0xFF, 0xFF, 0xC0);

// Accepts only line settings the tester offers, and on the way there what
// can still become them.
class LineSettingsValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        if (LineSettings::parse(input))
            return Acceptable;
        static const QRegularExpression partial(QStringLiteral(
            "^\\s*\\d{0,6}\\s*(,\\s*[78]?\\s*(,\\s*[NEOneo]?\\s*(,\\s*[12]?\\s*)?)?)?$"));
        return partial.match(input).hasMatch() ? Intermediate : Invalid;
    }
};

// The settings scales are most often found at, offered first.
const QStringList kCommonLineSettings{
    QStringLiteral("9600,8,N,1"),  QStringLiteral("9600,7,E,1"),   QStringLiteral("9600,7,O,1"),
    QStringLiteral("9600,7,N,2"),  QStringLiteral("19200,8,N,1"),  QStringLiteral("19200,7,E,1"),
    QStringLiteral("4800,8,N,1"),  QStringLiteral("4800,7,E,1"),   QStringLiteral("2400,8,N,1"),
    QStringLiteral("2400,7,E,1"),  QStringLiteral("1200,7,E,1"),   QStringLiteral("38400,8,N,1"),
    QStringLiteral("57600,8,N,1"), QStringLiteral("115200,8,N,1"),
};

QLabel *heading(const QString &name, const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    buddy->setAccessibleName(caption);
    return label;
}

} // namespace

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
    smaError->setMinimumWidth(
        smaError->fontMetrics().horizontalAdvance(QStringLiteral("Not connected")) * 3 / 2);

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
    LineValue = new QComboBox(this);
    LineValue->setObjectName(QStringLiteral("LineValue"));
    // Named before anything can ask for its accessible interface.
    LineValue->setAccessibleName(QStringLiteral("Line settings"));
    LineValue->setEditable(true);
    LineValue->setInsertPolicy(QComboBox::NoInsert);
    LineValue->addItems(kCommonLineSettings);
    LineValue->setValidator(new LineSettingsValidator(LineValue));
    LineValue->setFont(answerFont);
    LineValue->setToolTip(QStringLiteral(
        "Baud rate, data bits, parity (N none, E even, O odd) and stop bits, as the scale's "
        "serial output is set. Find Settings looks for them."));
    Label9 = new QLabel(QStringLiteral("&Line settings"), this);
    Label9->setObjectName(QStringLiteral("Label9"));
    Label9->setBuddy(LineValue);
    FindSettings = button("FindSettings", QStringLiteral("&Find Settings"));
    Connect = button("Connect", startCaption());
    PrintButton = button("PrintButton", QStringLiteral("Print"));
    // Check History has a place of its own on the window, not only Ctrl+H.
    HistoryButton = button("HistoryButton", QStringLiteral("&History"));
    Close = button("Close", QStringLiteral("&Close"));
    for (QPushButton *b : {KeyTare, SetUnits, VerifyWeight, Connect, PrintButton, HistoryButton,
                           Close, FindSettings})
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

    // Where the scale is and how it speaks, one under the other.
    auto *portBox = new QGridLayout;
    portBox->addWidget(Label5, 0, 0);
    portBox->addWidget(Port, 0, 1);
    portBox->addWidget(Label9, 1, 0);
    portBox->addWidget(LineValue, 1, 1);
    portBox->addWidget(FindSettings, 1, 2);
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
    bottom->addWidget(HistoryButton);
    bottom->addWidget(Close);

    auto *window = new QVBoxLayout(this);
    window->addWidget(Label8);
    window->addLayout(columns, 1);
    window->addLayout(bottom);
    // The window's status line, shown while checks wait for the server.
    RecordsWaiting = new QLabel(this);
    RecordsWaiting->setObjectName(QStringLiteral("RecordsWaiting"));
    RecordsWaiting->hide();
    window->addWidget(RecordsWaiting);

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

    setTabOrder(Port, LineValue);
    setTabOrder(LineValue, FindSettings);
    setTabOrder(FindSettings, Connect);
    setTabOrder(Connect, PrintButton);
    setTabOrder(PrintButton, HistoryButton);
    setTabOrder(HistoryButton, Close);
    setTabOrder(Close, cmds);
    setTabOrder(cmds, KeyTare);
    setTabOrder(KeyTare, TareValue);
    setTabOrder(TareValue, SetUnits);
    setTabOrder(SetUnits, UnitsValue);
    Port->setFocus();
}

// The window's shortcuts, the lists' context menu and their shared selection.
void smaForm::connectLists()
{
    m_showTraffic = new QAction(QStringLiteral("Show Serial &Traffic"), this);
    m_showTraffic->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_showTraffic->setShortcutContext(Qt::WindowShortcut);
    addAction(m_showTraffic);
    connect(m_showTraffic, &QAction::triggered, this, &smaForm::showTraffic);
    m_showHistory = new QAction(QStringLiteral("Show Check &History"), this);
    m_showHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    m_showHistory->setShortcutContext(Qt::WindowShortcut);
    addAction(m_showHistory);
    connect(m_showHistory, &QAction::triggered, this, &smaForm::showHistory);
    connect(HistoryButton, &QPushButton::clicked, this, &smaForm::showHistory);
    cmds->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmds, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu::exec({m_showTraffic, m_showHistory}, cmds->mapToGlobal(pos), nullptr, cmds);
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
}
