#pragma once

#include "CheckConductor.h"
#include "CheckRecorder.h"
#include "MSComm.h"
#include "SmaSession.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class CheckHistoryWindow;
class TrafficWindow;

// The "SMA Compliance Tester" window, a view of the check's conductor: it
// shows what the session with the scale has learnt, puts the conductor's
// questions to the operator and hands the operator's actions on; the check,
// its port and its record live in CheckConductor and SmaSession. Controls carry the object
// names the other windows and the tests look them up by.
class smaForm : public QWidget
{
    Q_OBJECT
public:
    explicit smaForm(MSCommFactory portFactory, QWidget *parent = nullptr);
    ~smaForm() override;

    // Compliance levels, from what has been tested.
    bool CheckSMALevel1() const;
    bool CheckSMALevel2() const;

    SmaSession &session() const { return *m_session; }
    // Where the checks are recorded.
    CheckRecorder &recorder() { return m_recorder; }

public slots:
    void on_Connect_clicked();
    void on_Close_clicked();
    void on_KeyTare_clicked();
    void on_SetUnits_clicked();
    void on_VerifyWeight_clicked();
    void on_PrintButton_clicked();
    void on_cmds_itemCheck(int index, bool ticked);
    void on_FindSettings_clicked();
    // The "Serial Traffic" window (Ctrl+T, or the lists' context menu).
    void showTraffic();
    // The "Check History" window (Ctrl+H, or the lists' context menu).
    void showHistory();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

    // Seams for what leaves the window: a modal message, the two modal
    // windows of the hand-over, and ending the application.
    virtual void showMessage(const QString &text, const QString &detail = {});
    // A question with two answers: true for `accept`, false for Cancel.
    virtual bool askToAccept(const QString &text, const QString &detail, const QString &accept);
    // The weight stream analysis `engine` runs, until it ends or is cancelled;
    // Globals::WeightStreamOK tells whether it passed.
    virtual void showWeightStreamAnalysis(WeightStreamEngine &engine);
    virtual void showReportPreview();
    virtual void endApplication();

private:
    static QString startCaption() { return QStringLiteral("&Start"); }
    static QString stopCaption() { return QStringLiteral("&Stop"); }

    void buildControls();
    void connectLists();
    void render();
    void showStatus(const QString &status);
    void setConnectCaption(const QString &caption);
    void tell(const SmaSession::Outcome &outcome);
    void onCmdsItemChanged(QListWidgetItem *item);
    void offerPresentPorts();
    void loadLineSettings();
    void useLineSettings(const LineSettings &settings);
    void onLineSettingsEdited();
    void answer(CheckConductor::Question question, const QString &text, const QString &detail);
    void onRecorded(const QString &failure);
    void showWaiting(int count, const QString &why);

    CheckConductor *m_conductor;
    SmaSession *m_session; // the conductor's
    TrafficWindow *m_trafficWindow = nullptr;
    CheckHistoryWindow *m_historyWindow = nullptr;
    QAction *m_showTraffic;
    QAction *m_showHistory;
    CheckRecorder m_recorder;

    // Controls
    QLabel *Label8;
    QLabel *Commands;
    QLineEdit *cmdlist;
    QLabel *Label3;
    QLineEdit *weightstr;
    QLabel *Label2;
    QPlainTextEdit *scaleabout;
    QLabel *Label1;
    QPlainTextEdit *scaleinfo;
    QLabel *Label4;
    QListWidget *cmds;
    QLabel *Label6;
    QListWidget *cmdresult;
    QLabel *Label7;
    QLineEdit *ExtraCmds;
    QPushButton *KeyTare;
    QLineEdit *TareValue;
    QPushButton *SetUnits;
    QComboBox *UnitsValue;
    QPushButton *VerifyWeight;
    QLabel *smaError;
    QLabel *RecordsWaiting; // the checks waiting for the server
    QLabel *Label5;
    QLineEdit *Port;
    QLabel *Label9;
    QComboBox *LineValue;
    QPushButton *FindSettings;
    QPushButton *Connect;
    QPushButton *PrintButton;
    QPushButton *HistoryButton; // opens Check History, as Ctrl+H does
    QPushButton *Close;
};
