#pragma once

#include "MSComm.h"
#include "StatusChecklist.h"
#include "WeightStreamBuffer.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

// The "Weight stream analysis" dialog. It polls the scale for its weight once
// a second on a port of its own and ticks a box for every status flag the
// answers show; once every box is ticked it closes itself and records the
// weight stream as verified (Globals::WeightStreamOK). When the scale
// publishes the tare command it first runs a tare test, which adds a box.
class OpTest : public QDialog
{
    Q_OBJECT
public:
    // `portText` is the tester's `Port` text and `publishedCommands` its
    // `cmdlist` text, both as they read when the dialog is opened.
    OpTest(const MSCommFactory &portFactory, const QString &portText,
           const QString &publishedCommands, QWidget *parent = nullptr);
    ~OpTest() override;

    // Loads the dialog (opening its port, the tare prompt) and, unless the
    // load cancelled it, shows it modally. Returns when the dialog is gone.
    int exec() override;

    // The load step on its own, for callers that show the dialog themselves:
    // starts afresh (nothing received, nothing ticked), opens the port and,
    // when "T" is published, sets up the tare test and prompts for the
    // weight. Returns false when the load cancelled the dialog (the port did
    // not open); the dialog must then not be shown.
    bool load();

public slots:
    // Escape and the window frame's close button cancel, as Cancel does.
    void reject() override;

private slots:
    void on_CancelButton_clicked();
    void on_OKButton_clicked(); // the pass action, run by the timer
    void on_Timer2_timeout();
    void on_MSComm2_OnComm();
    void on_MSComm2_Lost(const QString &description);

private:
    enum class Phase { Idle, Loading, Polling, Finished };

    void buildControls();
    void resetChecklist(bool withTareTest);
    // Opens MSComm2 on the tester's port; returns why it did not open, if it did not.
    OpenFailure openPort();
    // Raises the port's thresholds to take answers, or sets them to 0 so
    // that the port throws away what arrives.
    void wantAnswers(bool wanted);
    void closePort();
    void cancelAction();
    void receive();
    void reportLostPort();
    void showAnswer(const WeightAnswer &answer);
    // The dialog's only way of talking to the scale: LF, command, CR.
    void SendScaleCommand(const QString &command);
    // A modal message with a single OK button.
    void showMessage(QMessageBox::Icon icon, const QString &text, const QString &details = {});

    QLabel *Label1 = nullptr;
    QListWidget *List1 = nullptr;
    QLabel *Instruct = nullptr;
    QLineEdit *Weight = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QTimer *Timer2 = nullptr;
    MSComm *MSComm2 = nullptr;

    const QString m_portText;
    const QString m_publishedCommands;

    Phase m_phase = Phase::Idle;
    WeightStreamBuffer m_streamBuffer;
    StatusChecklist m_checklist;
    bool m_tarePending = false; // tare test set up, its clear-tare "C" not sent yet
    bool m_allChecked = false;  // every box ticked; the next tick passes
    QString m_lostPort;         // why the port went away, while the load step runs
};
