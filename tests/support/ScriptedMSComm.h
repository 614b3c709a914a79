#pragma once

#include "MSComm.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>

// A serial port for tests: records every operation in order, lets the test
// deliver bytes and events, and can answer each frame through a responder.
//
// deliver() and raiseEvent() notify synchronously, as a real port does from
// the event loop; answers from the responder are queued to the event loop so
// that a handler that sends is never re-entered by its own answer.
class ScriptedMSComm : public MSComm
{
    Q_OBJECT
public:
    explicit ScriptedMSComm(QObject *parent = nullptr);

    void setCommPort(const QString &device) override;
    QString commPort() const override { return m_device; }
    void setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    void setRThreshold(int threshold) override;
    int rThreshold() const override { return m_rThreshold; }
    void setSThreshold(int threshold) override;
    int sThreshold() const override { return m_sThreshold; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    OpenFailure openFailure() const override { return m_failure; }
    void setOutput(const QByteArray &bytes) override;
    QByteArray input() override;
    int commEvent() const override { return m_event; }

    // Every operation in order: "CommPort=…", "Settings=…", "RThreshold=0",
    // "SThreshold=0", "PortOpen=1", "PortOpen=0", "Input", "Output=<hex>".
    QStringList log;
    // Every byte written, in order, and each write on its own.
    QByteArray written;
    QList<QByteArray> frames;

    // Open requests fail with this failure while it is set.
    OpenFailure failOpen;
    // Called with each frame written; what it returns is delivered from the
    // event loop as the device's answer (nothing when empty).
    std::function<QByteArray(const QByteArray &frame)> responder;

    // Bytes arrive from the device. Notifies when open and the receive
    // threshold is above 0. While the threshold is 0 the port throws them
    // away (and announces them through Discarded), as a real one does.
    void deliver(const QByteArray &bytes);
    // Bytes arrive and wait unannounced, as if their notification had not
    // been delivered yet.
    void hold(const QByteArray &bytes) { m_rx += bytes; }
    // The device goes away: Lost is raised; the port still reads open.
    void lose(const QString &description);
    // Everything thrown away while the threshold was 0, in order.
    QByteArray discarded;
    // A notification with any event code (line change, error), which the
    // thresholds do not hold back.
    void raiseEvent(int code);
    QByteArray waiting() const { return m_rx; }
    int notifications() const { return m_notifications; }

private:
    void notify(int code);

    QString m_device;
    QString m_settings;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    bool m_open = false;
    int m_event = 0;
    int m_notifications = 0;
    OpenFailure m_failure;
    QByteArray m_rx;
};

// Hands scripted ports to a window and keeps them for the test to drive.
class ScriptedPorts
{
public:
    MSCommFactory factory();
    ScriptedMSComm *last() const { return ports.isEmpty() ? nullptr : ports.last().data(); }

    QList<QPointer<ScriptedMSComm>> ports;
    // Applied to every port as it is made.
    std::function<void(ScriptedMSComm *)> prepare;
};
