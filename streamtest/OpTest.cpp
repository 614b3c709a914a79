#include "OpTest.h"

#include "Globals.h"
#include "WidgetLook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Just wide enough for `characters` characters of the field's font.
int fieldWidthFor(const QLineEdit &field, qsizetype characters)
{
    // A line edit's size hint is room for 17 "x" plus its frame and margins.
    const QFontMetrics metrics(field.font());
    const int frameAndMargins =
        field.sizeHint().width() - metrics.horizontalAdvance(QLatin1Char('x')) * 17;
    return frameAndMargins + metrics.horizontalAdvance(QString(characters, QLatin1Char('W')));
}

// How the operator makes the scale show each flag.
QString howToProduce(StatusChecklist::Item item)
{
    switch (item) {
    case StatusChecklist::ZeroFlag:
        return QStringLiteral("Empty the platter and zero the scale.");
    case StatusChecklist::MotionFlag:
        return QStringLiteral("Move the load, or put a load on and let it settle.");
    case StatusChecklist::OvercapFlag:
        return QStringLiteral("Load the scale past its capacity.");
    case StatusChecklist::GrossFlag:
        return QStringLiteral("Put a load on the platter with no tare.");
    case StatusChecklist::NetFlag:
        return QStringLiteral("Tare a load, so that the scale shows net weight.");
    case StatusChecklist::TareOperation:
        return QStringLiteral(
            "Put a tareable weight on the scale when asked. The tester tares it.");
    }
    return {};
}

} // namespace

OpTest::OpTest(const MSCommFactory &portFactory, const QString &portText,
               const QString &publishedCommands, QWidget *parent, const LineSettings &line)
    : QDialog(parent), m_portText(portText), m_publishedCommands(publishedCommands), m_line(line)
{
    setObjectName(QStringLiteral("OpTest"));
    setWindowTitle(QStringLiteral("Weight stream analysis"));
    setModal(true);
    // The engine, its port and its timer go with the dialog, leaving no port
    // open and no timer running.
    m_engine = new WeightStreamEngine(portFactory, this);
    buildControls();
    connectEngine();
}

OpTest::OpTest(WeightStreamEngine &engine, QWidget *parent)
    : QDialog(parent), m_engine(&engine), m_viewOnly(true)
{
    setObjectName(QStringLiteral("OpTest"));
    setWindowTitle(QStringLiteral("Weight stream analysis"));
    setModal(true);
    buildControls();
    connectEngine();
}

void OpTest::connectEngine()
{
    connect(m_engine, &WeightStreamEngine::weightDecoded, this, &OpTest::showAnswer);
    connect(m_engine, &WeightStreamEngine::itemTicked, this, &OpTest::tick);
    connect(m_engine, &WeightStreamEngine::passed, this, &OpTest::on_OKButton_clicked);
    connect(m_engine, &WeightStreamEngine::unknownDataStream, this,
            &OpTest::reportUnknownDataStream);
    connect(m_engine, &WeightStreamEngine::portLost, this, &OpTest::reportLostPort);
    // The hidden OKButton is never clicked: passing is the engine's decision.
    connect(CancelButton, &QPushButton::clicked, this, &OpTest::on_CancelButton_clicked);
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
    keepReadableWhenDisabled(List1, List1->palette().color(QPalette::Active, QPalette::Base));
    Label1->setBuddy(List1);

    Instruct = new QLabel(QStringLiteral("Operate the scale to check all the boxes"), this);
    Instruct->setObjectName(QStringLiteral("Instruct"));
    Instruct->setAccessibleName(Instruct->text());

    Weight = new QLineEdit(QStringLiteral("0"), this);
    Weight->setObjectName(QStringLiteral("Weight"));
    Weight->setAccessibleName(QStringLiteral("Weight"));
    // It shows what the scale sent; typing into it would mean nothing.
    Weight->setReadOnly(true);
    Weight->setFont(fixedPitchFont(27.75));
    Weight->setMinimumWidth(225);
    QPalette weightPalette = Weight->palette();
    weightPalette.setColor(QPalette::Base, QColor(224, 224, 224));
    Weight->setPalette(weightPalette);

    // The unit of the same answer, in the same face, so that the two read as
    // one display: "     1.500" "kg ".
    WeightUnit = new QLineEdit(this);
    WeightUnit->setObjectName(QStringLiteral("WeightUnit"));
    WeightUnit->setAccessibleName(QStringLiteral("Unit"));
    WeightUnit->setReadOnly(true);
    WeightUnit->setFont(Weight->font());
    WeightUnit->setPalette(weightPalette);
    WeightUnit->setFixedWidth(fieldWidthFor(*WeightUnit, WeightAnswer::kUnitLength));

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

    auto *weightRow = new QHBoxLayout;
    weightRow->setSpacing(0);
    weightRow->addWidget(Weight, 1);
    weightRow->addWidget(WeightUnit);

    auto *weightColumn = new QVBoxLayout;
    weightColumn->addWidget(Instruct);
    weightColumn->addLayout(weightRow);
    weightColumn->addStretch(1);
    weightColumn->addLayout(buttonRow);

    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(8, 8, 8, 8);
    columns->addLayout(checkColumn, 177);
    columns->addLayout(weightColumn, 225);

    setTabOrder(CancelButton, OKButton);
    setTabOrder(OKButton, List1);
    setTabOrder(List1, Weight);
    setTabOrder(Weight, WeightUnit);
    CancelButton->setFocus(); // first in the tab order

    showChecklist();
}

void OpTest::showChecklist()
{
    const StatusChecklist &checklist = m_engine->checklist();
    List1->clear();
    for (int item = 0; item < checklist.itemCount(); ++item) {
        auto *entry =
            new QListWidgetItem(StatusChecklist::itemText(StatusChecklist::Item(item)), List1);
        entry->setFlags(Qt::ItemIsEnabled);
        entry->setCheckState(Qt::Unchecked);
        const QString hint = howToProduce(StatusChecklist::Item(item));
        entry->setToolTip(hint);
        entry->setData(Qt::AccessibleDescriptionRole, hint);
    }
}

int OpTest::exec()
{
    if (m_viewOnly)
        return QDialog::exec();
    if (!load())
        return result();
    return QDialog::exec();
}

void OpTest::setTrafficRecorder(TrafficRecorder *recorder)
{
    m_engine->setTrafficRecorder(recorder);
}

bool OpTest::load()
{
    Weight->setText(QStringLiteral("0"));
    WeightUnit->clear();
    setResult(Rejected);
    m_loading = true;
    m_lostDuringLoad.clear();
    const WeightStreamEngine::State state =
        m_engine->start(m_portText, m_publishedCommands, m_line);
    showChecklist();
    if (state == WeightStreamEngine::State::Cancelled) {
        m_loading = false;
        showMessage(QMessageBox::Warning, QStringLiteral("Error opening serial port"),
                    m_engine->openFailure().describe());
        cancelAction();
        return false;
    }
    if (state == WeightStreamEngine::State::TarePrompt) {
        showMessage(
            QMessageBox::Information,
            QStringLiteral("Place a tareable weight on the scale and press Ok to continue"));
        m_loading = false;
        // The scale may have gone while the operator read the prompt.
        if (!m_engine->startPolling()) {
            showMessage(QMessageBox::Warning, QStringLiteral("Serial port lost"), m_lostDuringLoad);
            cancelAction();
            return false;
        }
    }
    m_loading = false;
    OKButton->setEnabled(false);
    return true;
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
    m_engine->cancel();
    QDialog::reject();
}

void OpTest::on_OKButton_clicked()
{
    Globals::WeightStreamOK = true;
    QDialog::accept();
}

void OpTest::showAnswer(const WeightAnswer &answer)
{
    Weight->setText(answer.weightText());
    WeightUnit->setText(answer.unitText());
}

void OpTest::tick(StatusChecklist::Item item)
{
    if (QListWidgetItem *entry = List1->item(item))
        entry->setCheckState(Qt::Checked);
}

void OpTest::reportUnknownDataStream()
{
    if (m_viewOnly) {
        QDialog::reject();
        return;
    }
    showMessage(QMessageBox::Warning, QStringLiteral("Unknown serial data stream"));
    cancelAction();
}

void OpTest::reportLostPort(const QString &description)
{
    if (m_viewOnly) {
        QDialog::reject();
        return;
    }
    // During the tare prompt the load step reports it once the prompt is closed.
    if (m_loading) {
        m_lostDuringLoad = description;
        return;
    }
    showMessage(QMessageBox::Warning, QStringLiteral("Serial port lost"), description);
    cancelAction();
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
