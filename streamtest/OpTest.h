#pragma once

#include "MSComm.h"
#include "StatusChecklist.h"
#include "WeightStreamEngine.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The "Weight stream analysis" dialog, the view of a WeightStreamEngine: the
// engine polls the scale once a second on a port of its own and ticks a box
// for every status flag the answers show; the dialog shows the boxes, each
// with a hint how to produce its flag, and the latest weight with its unit,
// puts the engine's questions and news to the operator in modal messages
// (over the dialog, or over the window that opened it while the dialog is
// not shown yet), and forwards Cancel. When the analysis passes it records
// the weight stream as verified (Globals::WeightStreamOK) and closes.
class OpTest : public QDialog
{
    Q_OBJECT
public:
    // `portText` is the tester's `Port` text and `publishedCommands` its
    // `cmdlist` text, both as they read when the dialog is opened.
    // `line` is the line settings the tester uses.
    OpTest(const MSCommFactory &portFactory, const QString &portText,
           const QString &publishedCommands, QWidget *parent = nullptr,
           const LineSettings &line = {});
    // The view of an analysis someone else has started and polls (a check's
    // conductor): the dialog shows it, closes when it ends and forwards
    // Cancel; its caller tells the operator why it ended.
    explicit OpTest(WeightStreamEngine &engine, QWidget *parent = nullptr);

    // Loads the dialog (opening its port, the tare prompt) and, unless the
    // load cancelled it, shows it modally. Returns when the dialog is gone.
    int exec() override;

    // The load step on its own, for callers that show the dialog themselves:
    // starts afresh (nothing received, nothing ticked), opens the port and,
    // when "T" is published, sets up the tare test and prompts for the
    // weight. Returns false when the load cancelled the dialog (the port did
    // not open, or went away during the tare prompt); the dialog must then
    // not be shown.
    bool load();

    // Where the engine records its traffic (see WeightStreamEngine).
    void setTrafficRecorder(TrafficRecorder *recorder);
    // The boxes as the analysis left them.
    const StatusChecklist &checklist() const { return m_engine->checklist(); }

public slots:
    // Escape and the window frame's close button cancel, as Cancel does.
    void reject() override;

private slots:
    void on_CancelButton_clicked();
    void on_OKButton_clicked(); // the pass action, run when the analysis passes
    void showAnswer(const WeightAnswer &answer);
    void tick(StatusChecklist::Item item);
    void reportUnknownDataStream();
    void reportLostPort(const QString &description);

private:
    void buildControls();
    void connectEngine();
    // Shows the boxes of the engine's checklist, none ticked.
    void showChecklist();
    void cancelAction();
    // A modal message with a single OK button.
    void showMessage(QMessageBox::Icon icon, const QString &text, const QString &details = {});

    QLabel *Label1 = nullptr;
    QListWidget *List1 = nullptr;
    QLabel *Instruct = nullptr;
    QLineEdit *Weight = nullptr;
    QLineEdit *WeightUnit = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
    WeightStreamEngine *m_engine = nullptr;

    const QString m_portText;
    const QString m_publishedCommands;
    const LineSettings m_line;

    bool m_viewOnly = false; // the engine is someone else's: no messages, no load
    bool m_loading = false;  // the load step is running (its tare prompt may be up)
    QString m_lostDuringLoad;
};
