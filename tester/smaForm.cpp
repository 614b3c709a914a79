#include "smaForm.h"

#include "CheckConductor.h"
#include "CheckHistoryWindow.h"
#include "Globals.h"
#include "OpTest.h"
#include "PortList.h"
#include "PrtForm.h"
#include "ShownEntries.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

smaForm::smaForm(MSCommFactory portFactory, QWidget *parent)
    : QWidget(parent), m_conductor(new CheckConductor(portFactory, this)),
      m_session(&m_conductor->session())
{
    setObjectName(QStringLiteral("smaForm"));
    setWindowTitle(QStringLiteral("SMA Compliance Tester"));
    installTesterAccessibility();
    buildControls();

    CheckConductor::Plan plan;
    plan.offerFindSettings = true;
    m_conductor->setPlan(plan);
    connect(m_session, &SmaSession::changed, this, &smaForm::render);
    connect(m_session, &SmaSession::connectionChanged, this,
            [this](bool open) { setConnectCaption(open ? stopCaption() : startCaption()); });
    connect(m_conductor, &CheckConductor::told, this,
            [this](CheckConductor::Tone tone, const QString &text, const QString &detail) {
                if (tone == CheckConductor::Tone::Problem)
                    showMessage(text, detail);
            });
    connect(m_conductor, &CheckConductor::asked, this, &smaForm::answer);
    connect(m_conductor, &CheckConductor::lineSettingsChanged, this, &smaForm::useLineSettings);
    connect(m_conductor, &CheckConductor::phaseChanged, this, [](CheckConductor::Phase phase) {
        if (phase == CheckConductor::Phase::WeightStream)
            Globals::WeightStreamOK = false;
    });
    connect(m_conductor, &CheckConductor::weightStreamShown, this,
            [this](WeightStreamEngine &engine) {
                showWeightStreamAnalysis(engine);
                m_conductor->endWeightStream(Globals::WeightStreamOK);
            });
    // Written off the window's thread: see onRecorded(). A finished run is
    // shown in the preview once its record is on its way.
    connect(m_conductor, &CheckConductor::checkStarted, &m_recorder, &CheckRecorder::startCheck);
    connect(m_conductor, &CheckConductor::checkEnded, this, [this] {
        m_recorder.write(m_conductor->record());
        if (m_conductor->record().discoveryFinished)
            on_PrintButton_clicked();
    });
    connect(m_conductor, &CheckConductor::checkRevised, this,
            [this] { m_recorder.write(m_conductor->record()); });

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

    connectLists();

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
    m_conductor->shutdown();
}

// ---- Rendering ----

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
    showPorts(Port->completer(), portsToOffer());
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
    if (m_session->isOpen())
        m_conductor->stop();
    else
        m_conductor->start(Port->text());
}

// Messages need only Ok; a question has its own accepting button.
void smaForm::answer(CheckConductor::Question question, const QString &text, const QString &detail)
{
    switch (question) {
    case CheckConductor::Question::SetUp:
    case CheckConductor::Question::TareWeight:
        showMessage(text, detail);
        m_conductor->answer(true);
        break;
    case CheckConductor::Question::UseFoundSettings:
        m_conductor->answer(askToAccept(text, detail, QStringLiteral("&Use")));
        break;
    case CheckConductor::Question::FindSettings:
        m_conductor->answer(askToAccept(text, detail, QStringLiteral("&Find Settings")));
        break;
    }
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
    m_conductor->setLineSettings(settings);
    LineValue->setEditText(settings.text());
}

void smaForm::useLineSettings(const LineSettings &settings)
{
    m_conductor->setLineSettings(settings);
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
    m_conductor->findSettings(Port->text());
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
    m_conductor->verifyWeight();
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
    if (showNote(RecordsWaiting, count > 0 ? waitingText(count) : QString(), why) &&
        m_historyWindow)
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
    m_conductor->shutdown();
    endApplication();
}

void smaForm::closeEvent(QCloseEvent *event)
{
    m_conductor->shutdown();
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

void smaForm::showWeightStreamAnalysis(WeightStreamEngine &engine)
{
    OpTest dialog(engine, this);
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
