#pragma once

#include "Globals.h"
#include "ScriptedMSComm.h"
#include "ScriptedScale.h"
#include "smaForm.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

// The tester window with what leaves it recorded instead of shown: messages
// are confirmed at once, the hand-over windows are noted, and ending the
// application is counted.
class RecordingSmaForm : public smaForm
{
    Q_OBJECT
public:
    using smaForm::smaForm;

    QStringList messages;                    // "<text>" or "<text>\n<detail>"
    QStringList questions;                   // "<text>\n<detail>", each answered
    bool acceptQuestions = false;            // how they are answered
    std::function<void()> whileMessageShows; // runs while a message is up
    QStringList handOver;                    // "VerifyWeight port closed", "PrintButton"
    bool weightStreamOkAtAnalysis = false;   // Globals::WeightStreamOK when it opened
    bool analysisPasses = false;             // the analysis ends verified, as OpTest's pass does
    QDateTime endedBeforeAnalysis;           // the session's runEnded() when it opened
    int endedApplication = 0;
    QStringList portLogWhenEnded;

protected:
    void showMessage(const QString &text, const QString &detail) override
    {
        messages << (detail.isEmpty() ? text : text + QLatin1Char('\n') + detail);
        if (whileMessageShows)
            whileMessageShows();
    }
    bool askToAccept(const QString &text, const QString &detail, const QString &) override
    {
        questions << text + QLatin1Char('\n') + detail;
        return acceptQuestions;
    }
    void showWeightStreamAnalysis(WeightStreamEngine &) override
    {
        weightStreamOkAtAnalysis = Globals::WeightStreamOK;
        endedBeforeAnalysis = session().runEnded();
        if (analysisPasses) {
            QThread::msleep(20); // the operator works the scale a while
            Globals::WeightStreamOK = true;
        }
        handOver << QStringLiteral("VerifyWeight port %1")
                        .arg(session().isOpen() ? QStringLiteral("open")
                                                : QStringLiteral("closed"));
    }
    void showReportPreview() override { handOver << QStringLiteral("PrintButton"); }
    void endApplication() override
    {
        ++endedApplication;
        if (auto *scripted = qobject_cast<ScriptedMSComm *>(session().port()))
            portLogWhenEnded = scripted->log;
    }
};

// The checks of tester windows made from now on go to a database of their
// own, not to the user's, and their settings are the tests' own.
struct OwnRecords
{
    QTemporaryDir folder;

    OwnRecords()
    {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("SMA_DB", folder.filePath(QStringLiteral("history.sqlite")).toUtf8());
    }
    QString filePath(const QString &name) const { return folder.filePath(name); }
};

// One tester window on a scripted port, with its controls at hand.
struct TesterFixture
{
    ScriptedPorts ports;
    OwnRecords records;
    std::unique_ptr<RecordingSmaForm> form;
    ScriptedMSComm *port = nullptr;

    TesterFixture()
    {
        form = std::make_unique<RecordingSmaForm>(ports.factory());
        port = ports.last();
        edit("Port")->setText(QStringLiteral("/dev/ttyTEST0"));
    }

    template <typename T> T *child(const char *name) const
    {
        return form->findChild<T *>(QString::fromLatin1(name));
    }
    QListWidget *list(const char *name) const { return child<QListWidget>(name); }
    QLineEdit *edit(const char *name) const { return child<QLineEdit>(name); }
    QPlainTextEdit *text(const char *name) const { return child<QPlainTextEdit>(name); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QString status() const { return child<QLabel>("smaError")->text(); }
    QTimer *timer() const { return child<QTimer>("Timer1"); }

    static QStringList entries(const QListWidget *list)
    {
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts << list->item(row)->text();
        return texts;
    }
    QStringList cmds() const { return entries(list("cmds")); }
    QStringList results() const { return entries(list("cmdresult")); }

    QStringList sentCommands() const { return ::sentCommands(*port); }
    void answerWith(ScriptedScale &scale) { scale.answerOn(*port); }

    // Ticks or unticks an entry as the operator does; the window handles it
    // once the list's notification has returned.
    void tick(int row, bool checked = true) const
    {
        list("cmds")->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        QCoreApplication::sendPostedEvents(form.get(), QEvent::MetaCall);
    }
};
