#include "OpTest.h"

#include "Globals.h"
#include "SmaLine.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kPollIntervalMs = 1000;

// The scale has a tare command to test when it publishes "T" (exact case).
bool publishesTare(const QString &publishedCommands)
{
    return publishedCommands.contains(QLatin1Char('T'), Qt::CaseSensitive);
}

QFont weightDisplayFont()
{
    const QString preferred = QStringLiteral("Courier New");
    QFont font(QFontDatabase::hasFamily(preferred)
                   ? preferred
                   : QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(27.75);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

OpTest::OpTest(const MSCommFactory &portFactory, const QString &portText,
               const QString &publishedCommands, QWidget *parent)
    : QDialog(parent), m_portText(portText), m_publishedCommands(publishedCommands)
{
    setObjectName(QStringLiteral("OpTest"));
    setWindowTitle(QStringLiteral("Weight stream analysis"));
    setModal(true);
    buildControls();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kPollIntervalMs);
    connect(Timer2, &QTimer::timeout, this, &OpTest::on_Timer2_timeout);

    MSComm2 = portFactory(this);
    MSComm2->setObjectName(QStringLiteral("MSComm2"));
    connect(MSComm2, &MSComm::OnComm, this, &OpTest::on_MSComm2_OnComm);
    connect(MSComm2, &MSComm::Lost, this, &OpTest::on_MSComm2_Lost);

    connect(CancelButton, &QPushButton::clicked, this, &OpTest::on_CancelButton_clicked);
    connect(OKButton, &QPushButton::clicked, this, &OpTest::on_OKButton_clicked);
}

OpTest::~OpTest()
{
    // However the dialog goes, it leaves no port open and no timer running.
    Timer2->stop();
    closePort();
}

// The form is 424 x 211 pixels at 96 dpi: a "Check List" column on the left
// and, on the right, the instruction over the weight display with the
// buttons in the bottom right corner. Minimum sizes keep those proportions;
// the layout lets fonts and scaling grow them.
void OpTest::buildControls()
{
    Label1 = new QLabel(QStringLiteral("Check List"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleName(Label1->text());

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(QStringLiteral("Check List"));
    List1->setMinimumSize(177, 169);
    // Only the weight answers tick the boxes; the operator can't touch them.
    // The list is disabled for that, but its boxes are what the operator
    // watches, so they keep the colours of an enabled list.
    List1->setEnabled(false);
    QPalette listPalette = List1->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::Base})
        listPalette.setColor(QPalette::Disabled, role, listPalette.color(QPalette::Active, role));
    List1->setPalette(listPalette);
    Label1->setBuddy(List1);

    Instruct = new QLabel(QStringLiteral("Operate the scale to check all the boxes"), this);
    Instruct->setObjectName(QStringLiteral("Instruct"));
    Instruct->setAccessibleName(Instruct->text());

    Weight = new QLineEdit(QStringLiteral("0"), this);
    Weight->setObjectName(QStringLiteral("Weight"));
    Weight->setAccessibleName(QStringLiteral("Weight"));
    // It shows what the scale sent; typing into it would mean nothing.
    Weight->setReadOnly(true);
    Weight->setFont(weightDisplayFont());
    Weight->setMinimumWidth(225);
    QPalette weightPalette = Weight->palette();
    weightPalette.setColor(QPalette::Base, QColor(224, 224, 224));
    Weight->setPalette(weightPalette);

    // Passing is the timer's decision alone, so its button is never shown.
    OKButton = new QPushButton(QStringLiteral("Passed"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setAccessibleName(OKButton->text());
    OKButton->setAutoDefault(false);
    OKButton->setMinimumSize(81, 25);
    OKButton->hide();

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setAccessibleName(CancelButton->text());
    CancelButton->setMinimumSize(81, 25);

    auto *checkColumn = new QVBoxLayout;
    checkColumn->addWidget(Label1);
    checkColumn->addWidget(List1, 1);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(OKButton);
    buttonRow->addWidget(CancelButton);

    auto *weightColumn = new QVBoxLayout;
    weightColumn->addWidget(Instruct);
    weightColumn->addWidget(Weight);
    weightColumn->addStretch(1);
    weightColumn->addLayout(buttonRow);

    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(8, 8, 8, 8);
    columns->addLayout(checkColumn, 177);
    columns->addLayout(weightColumn, 225);

    setTabOrder(CancelButton, OKButton);
    setTabOrder(OKButton, List1);
    setTabOrder(List1, Weight);
    CancelButton->setFocus(); // first in the tab order

    resetChecklist(false);
}

void OpTest::resetChecklist(bool withTareTest)
{
    m_checklist = StatusChecklist(withTareTest);
    List1->clear();
    for (int item = 0; item < m_checklist.itemCount(); ++item) {
        auto *entry =
            new QListWidgetItem(StatusChecklist::itemText(StatusChecklist::Item(item)), List1);
        entry->setFlags(Qt::ItemIsEnabled);
        entry->setCheckState(Qt::Unchecked);
    }
}

int OpTest::exec()
{
    if (!load())
        return result();
    return QDialog::exec();
}

bool OpTest::load()
{
    // A dialog loaded again starts from a stopped timer and a closed port.
    Timer2->stop();
    closePort();
    m_phase = Phase::Loading;
    m_allChecked = false;
    m_tarePending = false;
    m_lostPort.clear();
    m_streamBuffer.clear();
    resetChecklist(false);
    Weight->setText(QStringLiteral("0"));
    setResult(Rejected);

    if (const OpenFailure failure = openPort(); failure.failed()) {
        showMessage(QMessageBox::Warning, QStringLiteral("Error opening serial port"),
                    failure.describe());
        cancelAction();
        return false;
    }

    if (publishesTare(m_publishedCommands)) {
        m_tarePending = true;
        resetChecklist(true);
        showMessage(
            QMessageBox::Information,
            QStringLiteral("Place a tareable weight on the scale and press Ok to continue"));
        // The scale may have gone while the operator read the prompt.
        if (!m_lostPort.isEmpty()) {
            reportLostPort();
            return false;
        }
        // Whatever the scale sent while the operator loaded it answers no
        // request of ours; what the port has not thrown away yet goes now.
        MSComm2->input();
    }
    wantAnswers(true);
    Timer2->setInterval(kPollIntervalMs);
    Timer2->start();
    OKButton->setEnabled(false);
    m_phase = Phase::Polling;
    return true;
}

OpenFailure OpTest::openPort()
{
    // The port opens with its thresholds at 0: until polling starts, what
    // arrives is thrown away by the port rather than left to pile up.
    return openSmaPort(*MSComm2, m_portText);
}

void OpTest::wantAnswers(bool wanted)
{
    const int threshold = wanted ? 1 : 0;
    MSComm2->setRThreshold(threshold);
    MSComm2->setSThreshold(threshold);
}

void OpTest::closePort()
{
    if (MSComm2->portOpen())
        MSComm2->setPortOpen(false);
}

void OpTest::reject()
{
    cancelAction();
}

void OpTest::on_CancelButton_clicked()
{
    cancelAction();
}

void OpTest::cancelAction()
{
    Timer2->stop();
    closePort();
    m_phase = Phase::Finished;
    QDialog::reject();
}

void OpTest::on_OKButton_clicked()
{
    Timer2->stop();
    closePort();
    Globals::WeightStreamOK = true;
    m_phase = Phase::Finished;
    QDialog::accept();
}

void OpTest::on_Timer2_timeout()
{
    if (m_tarePending) {
        if (!m_checklist.isTicked(StatusChecklist::TareOperation)) {
            SendScaleCommand(QStringLiteral("T"));
        } else {
            SendScaleCommand(QStringLiteral("C"));
            m_tarePending = false;
        }
    } else if (m_allChecked) {
        on_OKButton_clicked();
    } else {
        SendScaleCommand(QStringLiteral("W"));
    }
}

void OpTest::SendScaleCommand(const QString &command)
{
    MSComm2->setOutput(frameCommand(command));
}

void OpTest::on_MSComm2_OnComm()
{
    // Line changes and line errors say nothing about the weight stream.
    if (MSComm2->commEvent() != CommEvents::Received)
        return;
    // Only polling wants answers; the port holds back the rest.
    if (m_phase == Phase::Polling)
        receive();
}

void OpTest::on_MSComm2_Lost(const QString &description)
{
    // Naming the device is the port's promise; make sure of it all the same.
    const QString device = MSComm2->commPort();
    m_lostPort = description.contains(device) ? description
                                              : QStringLiteral("%1: %2").arg(device, description);
    if (m_phase == Phase::Polling)
        reportLostPort();
    // While loading, the load step reports it once its prompt is closed.
}

void OpTest::reportLostPort()
{
    // Nothing is sent to a device that is gone while the operator reads why.
    Timer2->stop();
    wantAnswers(false);
    m_phase = Phase::Finished;
    showMessage(QMessageBox::Warning, QStringLiteral("Serial port lost"), m_lostPort);
    cancelAction();
}

void OpTest::receive()
{
    const WeightStreamBuffer::Result result = m_streamBuffer.receive(MSComm2->input());
    if (result.answer)
        showAnswer(*result.answer);
    if (result.overflowed) {
        // Nothing is sent, and nothing piles up unread, while the operator
        // reads the message.
        Timer2->stop();
        wantAnswers(false);
        m_phase = Phase::Finished;
        showMessage(QMessageBox::Warning, QStringLiteral("Unknown serial data stream"));
        cancelAction();
    }
}

void OpTest::showAnswer(const WeightAnswer &answer)
{
    Weight->setText(answer.weightText());
    m_checklist.record(answer);
    for (int item = 0; item < m_checklist.itemCount(); ++item) {
        if (m_checklist.isTicked(StatusChecklist::Item(item)))
            List1->item(item)->setCheckState(Qt::Checked);
    }
    if (m_checklist.allTicked())
        m_allChecked = true;
}

void OpTest::showMessage(QMessageBox::Icon icon, const QString &text, const QString &details)
{
    // Before the dialog is shown there is nothing of it to centre on.
    QMessageBox box(isVisible() ? this : parentWidget());
    box.setWindowTitle(windowTitle());
    box.setIcon(icon);
    box.setText(text);
    box.setInformativeText(details);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
