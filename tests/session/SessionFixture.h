#pragma once

#include "CommandText.h"
#include "ScriptedMSComm.h"
#include "ScriptedScale.h"
#include "SmaSession.h"
#include "WeightStreamEngine.h"

#include <QCoreApplication>
#include <QTimer>

#include <functional>
#include <memory>

// One session on a scripted port, driven the way the tester window drives
// it: the operator's actions, and what the operator would be told recorded
// instead of shown.
struct SessionFixture
{
    ScriptedPorts ports;
    std::unique_ptr<SmaSession> session;
    ScriptedMSComm *port = nullptr;

    // What the operator typed or chose.
    QString portText = QStringLiteral("/dev/ttyTEST0");
    QString tareValue = QStringLiteral("000001.000");
    QString unitCode = QStringLiteral("lb ");

    QStringList messages;                    // "<text>" or "<text>\n<detail>"
    std::function<void()> whileMessageShows; // runs while the set-up message is up
    std::function<void()> afterRun;          // runs once the discovery run has ended
    int finishedRuns = 0;                    // runFinished, each with the port closed
    bool portOpenAtFinish = false;
    bool connected = false; // what Start/Stop reads: "&Stop" while true

    SessionFixture()
    {
        session = std::make_unique<SmaSession>(ports.factory());
        port = ports.last();
        QObject::connect(session.get(), &SmaSession::runFinished, [this] {
            ++finishedRuns;
            portOpenAtFinish = port->portOpen();
        });
        QObject::connect(session.get(), &SmaSession::connectionChanged,
                         [this](bool open) { connected = open; });
        QObject::connect(session.get(), &SmaSession::portLost, [this](const QString &why) {
            messages << QStringLiteral("Serial port lost\n") + why;
        });
    }

    // "Start" / "Stop".
    void pressConnect()
    {
        if (session->isOpen()) {
            session->close();
            return;
        }
        if (const OpenFailure failure = session->open(portText); failure.failed()) {
            messages << QStringLiteral("Error opening serial port\n") + failure.describe();
            return;
        }
        messages << QStringLiteral("Set the device to 9600,8,N,1 and verify center of zero");
        if (whileMessageShows)
            whileMessageShows();
        session->startRun();
    }
    void keyTare() { tell(session->tareTest(tareValue, portText)); }
    void setUnits() { tell(session->unitsTest(unitCode, portText)); }
    void tick(int row, bool checked = true)
    {
        if (checked)
            tell(session->retest(row));
        else
            session->untick(row);
    }
    void tell(const SmaSession::Outcome &outcome)
    {
        if (!outcome.message.isEmpty())
            messages << outcome.message + QLatin1Char('\n') + outcome.detail;
    }

    QStringList cmds() const { return session->testedCommands(); }
    QStringList results() const { return session->commandResults(); }
    QString status() const { return session->status(); }
    // The listings as the window shows them: one line each.
    QString about() const { return lines(session->aboutLines()); }
    QString info() const { return lines(session->infoLines()); }
    static QString lines(const QStringList &list)
    {
        QString text;
        for (const QString &line : list)
            text += line + QLatin1Char('\n');
        return text;
    }
    QTimer *timer() const { return session->findChild<QTimer *>(QStringLiteral("Timer1")); }

    // The weight stream analysis after the run, as the window or sma-check
    // runs it, recording into the session's traffic: `polls` requests
    // answered by `scale`, then ended as the operator's Cancel ends it.
    void runWeightStream(ScriptedScale &scale, int polls)
    {
        WeightStreamEngine engine(ports.factory());
        engine.setTrafficRecorder(session->weightStreamRecorder());
        scale.answerOn(*ports.last());
        engine.start(portText, session->published());
        engine.startPolling(); // the tare weight is taken to be on
        auto *timer = engine.findChild<QTimer *>(QStringLiteral("Timer2"));
        for (int poll = 0; poll < polls && timer->isActive(); ++poll) {
            QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
            QCoreApplication::processEvents(); // the answer
        }
        engine.cancel();
        session->endWeightStream(false, engine.checklist().itemTexts(false));
    }

    QStringList sentCommands() const { return ::sentCommands(*port); }
    void answerWith(ScriptedScale &scale) { scale.answerOn(*port); }
};
