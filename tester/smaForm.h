#pragma once

#include "DiscoveryRun.h"
#include "MSComm.h"
#include "ReportSource.h"
#include "TestedCommands.h"

#include <QByteArray>
#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The "SMA Compliance Tester" window: connects to the scale, runs the
// discovery run, keeps the checklist of tested commands and runs the single
// tests. Controls carry the object names the other windows and the tests
// look them up by.
class smaForm : public QWidget, public ReportSource
{
    Q_OBJECT
public:
    explicit smaForm(MSCommFactory portFactory, QWidget *parent = nullptr);
    ~smaForm() override;

    // Compliance levels, from what the window shows now.
    bool CheckSMALevel1() const override;
    bool CheckSMALevel2() const override;

    // ReportSource
    QString scaleAboutText() const override;
    QString scaleInfoText() const override;
    QStringList testedCommands() const override;
    QStringList commandResults() const override;
    QString publishedCommands() const override;

    // State of the command in flight and of the discovery run.
    qint16 testId() const { return m_run.TestId; }
    QByteArray rxText() const { return RxText; }
    QByteArray rxLine() const { return RxLine; }
    bool checkedItem(int index) const;
    MSComm *port() const { return MSComm1; }

    static constexpr int kCheckedItems = 101;
    static constexpr int kRetestableEntries = 100;
    static constexpr int kResponseTimeoutMs = 3000;

public slots:
    void on_Connect_clicked();
    void on_Close_clicked();
    void on_KeyTare_clicked();
    void on_SetUnits_clicked();
    void on_VerifyWeight_clicked();
    void on_PrintButton_clicked();
    void on_Timer1_timeout();
    void on_MSComm1_OnComm();
    void on_cmds_itemCheck(int index);

protected:
    void closeEvent(QCloseEvent *event) override;

    // Seams for what leaves the window: a modal message, the two modal
    // windows of the hand-over, and ending the application.
    virtual void showMessage(const QString &text, const QString &detail = {});
    virtual void showWeightStreamAnalysis();
    virtual void showReportPreview();
    virtual void endApplication();

private:
    void buildControls();
    void SendCommand(const QString &command);
    void transmit(const QString &command);
    void setConnectCaption(const QString &caption);
    void setResultOf(const QString &entry, const QString &result);
    void onPortLost(const QString &description);
    void SendCommandWithData(QString &command, QString &data);
    void QueryAbout();
    void AddTestedCommand(const QString &command);
    void openConnection();
    QString openPortNamedInPortBox();
    void closeConnection();
    void runSingleTest(qint16 testId, const QString &command, const QString &data);
    void discardWaitingInput();
    void recordResult(bool passed);
    void showDiscoveryAnswer(const DiscoveryAction &action, const QString &answer);
    void endCheck();
    void onCmdsItemChanged(QListWidgetItem *item);
    void setCmdsCheckMark(int row, bool checked);
    void removeCheckedItem(int row);
    QString currentUnitCode() const;

    MSCommFactory m_portFactory;

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
    QLabel *Label5;
    QLineEdit *Port;
    QPushButton *Connect;
    QPushButton *PrintButton;
    QPushButton *Close;
    QTimer *Timer1;
    MSComm *MSComm1;

    // Variables
    QByteArray RxText;
    QByteArray RxLine;
    DiscoveryState m_run;
    std::array<bool, kCheckedItems> CheckedItems{};
    TestedCommandChange m_lastListing; // what the last AddTestedCommand did
    QString m_retestFollowUp;          // B or N to send once its listing has been restarted
};
