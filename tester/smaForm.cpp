#include "smaForm.h"

#include "CheckHistoryWindow.h"
#include "Globals.h"
#include "OpTest.h"
#include "PortList.h"
#include "PrtForm.h"
#include "TesterAccessible.h"
#include "TesterSettings.h"
#include "TrafficWindow.h"
#include "VerdictText.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTimer>

namespace {

// The check mark of a `cmds` entry as the window last saw it, so that a
// change of text or of anything else is not taken for a tick.
constexpr int kShownCheckRole = Qt::UserRole + 1;

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
    : QWidget(parent), m_portFactory(std::move(portFactory)),
      m_session(new SmaSession(m_portFactory, this))
{
    setObjectName(QStringLiteral("smaForm"));
    setWindowTitle(QStringLiteral("SMA Compliance Tester"));
    installTesterAccessibility();
    buildControls();

    connect(m_session, &SmaSession::changed, this, &smaForm::render);
    connect(m_session, &SmaSession::connectionChanged, this,
            [this](bool open) { setConnectCaption(open ? stopCaption() : startCaption()); });
    connect(m_session, &SmaSession::runFinished, this, [this] {
        m_recording = Recording::RunEnding;
        m_check.discoveryFinished = true;
        on_VerifyWeight_clicked();
        recordCheck();
        m_recording = Recording::Recorded;
        on_PrintButton_clicked();
    });
    // A run that breaks off (a time-out, Stop, the port lost) is recorded as
    // it stands; a finished run raises runFinished right after closing.
    connect(m_session, &SmaSession::connectionChanged, this, [this](bool open) {
        if (!open && m_recording == Recording::RunUnderWay)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_recording != Recording::RunUnderWay)
                        return;
                    recordCheck();
                    m_recording = Recording::Recorded;
                },
                Qt::QueuedConnection);
    });
    // A retest, tare or units test after the run: written once its port has closed.
    connect(m_session, &SmaSession::verdict, this, [this] {
        if (m_recording == Recording::Recorded)
            QMetaObject::invokeMethod(this, &smaForm::recordCheck, Qt::QueuedConnection);
    });
    connect(m_session, &SmaSession::portLost, this, [this](const QString &description) {
        showMessage(QStringLiteral("Serial port lost"), description);
    });
    connect(m_session, &SmaSession::continuousOutput, this, [this] {
        showMessage(QStringLiteral("The scale sends data without being asked (continuous "
                                   "output). Set its serial output to answer on request, then "
                                   "start again."));
    });
    connect(m_session, &SmaSession::firstCommandUnanswered, this, &smaForm::offerToFindSettings);
    connect(m_session, &SmaSession::lineSettingsSearched, this, &smaForm::onLineSettingsSearched);

    connect(Connect, &QPushButton::clicked, this, &smaForm::on_Connect_clicked);
    connect(Close, &QPushButton::clicked, this, &smaForm::on_Close_clicked);
    connect(KeyTare, &QPushButton::clicked, this, &smaForm::on_KeyTare_clicked);
    connect(SetUnits, &QPushButton::clicked, this, &smaForm::on_SetUnits_clicked);
    connect(VerifyWeight, &QPushButton::clicked, this, &smaForm::on_VerifyWeight_clicked);
    connect(PrintButton, &QPushButton::clicked, this, &smaForm::on_PrintButton_clicked);
    connect(FindSettings, &QPushButton::clicked, this, &smaForm::on_FindSettings_clicked);
    connect(LineValue->lineEdit(), &QLineEdit::editingFinished, this,
            &smaForm::onLineSettingsEdited);
    connect(LineValue, &QComboBox::activated, this, &smaForm::onLineSettingsEdited);
    connect(ExtraCmds, &QLineEdit::textChanged, m_session, &SmaSession::setAdditionalCommands);

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

    m_recorder.setLocation(CheckHistoryWindow::startingDatabase());
    connect(&m_recorder, &CheckRecorder::written, this, &smaForm::onRecorded);
    connect(&m_recorder, &CheckRecorder::waiting, this, &smaForm::showWaiting);
    connect(&m_recorder, &CheckRecorder::notice, this,
            [this](const QString &text) { showMessage(text); });

    // Load
    Globals::WeightStreamOK = false;
    m_session->setAdditionalCommands(ExtraCmds->text());
    UnitsValue->setCurrentIndex(0);
    loadLineSettings();
    render();
}

smaForm::~smaForm()
{
    m_session->shutdown();
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
    showMessage(QStringLiteral("Set the device to %1 and verify center of zero")
                    .arg(m_session->lineSettings().text()));
    // A new check from here on, even one that ends at once (a scale that
    // talks by itself is stopped before its first command).
    m_check = CheckRecord();
    m_recorder.startCheck();
    m_recording = Recording::RunUnderWay;
    m_session->startRun();
    if (!m_session->isOpen() && m_session->commands().isEmpty())
        m_recording = Recording::None; // lost while the message was up: no run
}

// ---- Line settings ----

namespace {

const QString kLineSettingsKey = QStringLiteral("lineSettings");

} // namespace

// The settings of the last run are offered again at the next start.
void smaForm::loadLineSettings()
{
    const std::optional<LineSettings> saved =
        LineSettings::parse(testerSettings().value(kLineSettingsKey).toString());
    const LineSettings settings = saved.value_or(LineSettings{});
    m_session->setLineSettings(settings);
    LineValue->setEditText(settings.text());
}

void smaForm::useLineSettings(const LineSettings &settings)
{
    m_session->setLineSettings(settings);
    LineValue->setEditText(settings.text());
    testerSettings().setValue(kLineSettingsKey, settings.text());
}

// Settings typed or chosen take effect at the next opening; text that names
// none goes back to the settings in use.
void smaForm::onLineSettingsEdited()
{
    if (const std::optional<LineSettings> typed = LineSettings::parse(LineValue->currentText()))
        useLineSettings(*typed);
    else
        LineValue->setEditText(m_session->lineSettings().text());
}

void smaForm::on_FindSettings_clicked()
{
    if (m_session->isOpen())
        return;
    if (const OpenFailure failure = m_session->findLineSettings(Port->text()); failure.failed())
        showMessage(QStringLiteral("Error opening serial port"), failure.describe());
}

void smaForm::onLineSettingsSearched(const LineSettingsSearch::Outcome &outcome)
{
    using Kind = LineSettingsSearch::Outcome::Kind;
    const QString said = LineSettingsSearch::describe(outcome);
    switch (outcome.kind) {
    case Kind::Found:
        if (outcome.settings == m_session->lineSettings())
            showMessage(said, QStringLiteral("These are the line settings in use."));
        else if (askToAccept(said, QStringLiteral("Use these line settings from now on?"),
                             QStringLiteral("&Use")))
            useLineSettings(outcome.settings);
        break;
    case Kind::PortLost:
        showMessage(QStringLiteral("Serial port lost"), said);
        break;
    case Kind::Continuous:
    case Kind::NotFound:
        showMessage(said);
        break;
    }
}

// The very first command went unanswered: the scale may be set to other line
// settings, which the tester can look for.
void smaForm::offerToFindSettings()
{
    const QList<TestedCommand> &commands = m_session->commands();
    const QString why = commands.isEmpty()
                            ? QString()
                            : verdictEvidence(commands.constFirst(), m_session->published());
    if (askToAccept(QStringLiteral("The scale did not answer \"A\" at %1.")
                        .arg(m_session->lineSettings().text()),
                    why + QStringLiteral("\n\nLook for the line settings the scale answers at?"),
                    QStringLiteral("&Find Settings")))
        on_FindSettings_clicked();
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
    QElapsedTimer analysis;
    analysis.start();
    const StatusChecklist boxes = showWeightStreamAnalysis();
    // A passed analysis has seen every box, whatever the dialog shows last.
    m_session->endWeightStream(Globals::WeightStreamOK,
                               Globals::WeightStreamOK ? QStringList() : boxes.itemTexts(false));
    m_check.weightStream = Globals::WeightStreamOK ? CheckRecord::WeightStream::Verified
                                                   : CheckRecord::WeightStream::NotVerified;
    m_check.weightStreamMs = analysis.elapsed();
    m_check.flagsSeen = boxes.itemTexts(true);
    m_check.flagsMissing = boxes.itemTexts(false);
}

// Written off the window's thread: see onRecorded().
void smaForm::recordCheck()
{
    fillCheckRecord(*m_session, m_check);
    m_check.elapsedMs = m_check.started.msecsTo(m_check.ended);
    m_check.exitStatus =
        m_check.level1 && m_check.weightStream == CheckRecord::WeightStream::Verified ? 0 : 1;
    m_recorder.write(m_check);
}

// A database that cannot be written costs the operator one message.
void smaForm::onRecorded(const QString &failure)
{
    if (!failure.isEmpty())
        showMessage(QStringLiteral("The check could not be recorded: ") + failure);
    else if (m_historyWindow)
        m_historyWindow->refresh();
}

// "2 checks waiting for the server", with the server's reason as its tooltip.
void smaForm::showWaiting(int count, const QString &why)
{
    const QString text = count > 0 ? waitingText(count) : QString();
    RecordsWaiting->setVisible(count > 0);
    if (RecordsWaiting->text() == text && RecordsWaiting->toolTip() == why)
        return;
    RecordsWaiting->setText(text);
    RecordsWaiting->setToolTip(why);
    RecordsWaiting->setAccessibleName(text);
    RecordsWaiting->setAccessibleDescription(why);
    if (m_historyWindow)
        m_historyWindow->refresh();
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

void smaForm::showHistory()
{
    if (!m_historyWindow)
        m_historyWindow = new CheckHistoryWindow(m_recorder, this);
    else
        m_historyWindow->refresh();
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

// The result list takes no input of its own (it is disabled), so its context
// menu requests arrive here.
void smaForm::contextMenuEvent(QContextMenuEvent *event)
{
    if (!cmdresult->geometry().contains(event->pos())) {
        QWidget::contextMenuEvent(event);
        return;
    }
    QMenu::exec({m_showTraffic, m_showHistory}, event->globalPos(), nullptr, this);
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

bool smaForm::askToAccept(const QString &text, const QString &detail, const QString &accept)
{
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::Cancel, this);
    box.setInformativeText(detail);
    QPushButton *yes = box.addButton(accept, QMessageBox::AcceptRole);
    yes->setAccessibleName(QString(accept).remove(QLatin1Char('&')));
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

StatusChecklist smaForm::showWeightStreamAnalysis()
{
    OpTest dialog(m_portFactory, Port->text(), m_session->published(), this,
                  m_session->lineSettings());
    dialog.setTrafficRecorder(m_session->weightStreamRecorder());
    dialog.exec();
    return dialog.checklist();
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
