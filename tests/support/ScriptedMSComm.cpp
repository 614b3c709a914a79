#include "ScriptedMSComm.h"

#include <QTimer>

ScriptedMSComm::ScriptedMSComm(QObject *parent) : MSComm(parent) {}

void ScriptedMSComm::setCommPort(const QString &device)
{
    m_device = device;
    log << QStringLiteral("CommPort=") + device;
}

void ScriptedMSComm::setSettings(const QString &settings)
{
    m_settings = settings;
    log << QStringLiteral("Settings=") + settings;
}

void ScriptedMSComm::setRThreshold(int threshold)
{
    const bool raised = m_rThreshold <= 0 && threshold > 0;
    m_rThreshold = threshold;
    log << QStringLiteral("RThreshold=%1").arg(threshold);
    if (raised && m_open && !m_rx.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            if (m_open && m_rThreshold > 0 && !m_rx.isEmpty())
                notify(CommEvents::Received);
        });
    }
}

void ScriptedMSComm::setSThreshold(int threshold)
{
    m_sThreshold = threshold;
    log << QStringLiteral("SThreshold=%1").arg(threshold);
}

bool ScriptedMSComm::setPortOpen(bool open)
{
    log << QStringLiteral("PortOpen=%1").arg(open ? 1 : 0);
    if (!open) {
        m_open = false;
        return true;
    }
    if (m_open)
        return true;
    if (failOpen.failed()) {
        m_failure = failOpen;
        return false;
    }
    m_failure = {};
    m_open = true;
    return true;
}

void ScriptedMSComm::setOutput(const QByteArray &bytes)
{
    log << QStringLiteral("Output=") + QString::fromLatin1(bytes.toHex(' '));
    written += bytes;
    frames << bytes;
    if (!responder)
        return;
    const QByteArray answer = responder(bytes);
    if (answer.isEmpty())
        return;
    QTimer::singleShot(0, this, [this, answer] {
        if (m_open)
            deliver(answer);
    });
}

QByteArray ScriptedMSComm::input()
{
    log << QStringLiteral("Input");
    QByteArray all;
    all.swap(m_rx);
    return all;
}

void ScriptedMSComm::deliver(const QByteArray &bytes)
{
    if (m_open && m_rThreshold <= 0) {
        discarded += bytes;
        emit Discarded(bytes);
        return;
    }
    m_rx += bytes;
    if (m_open && m_rThreshold > 0)
        notify(CommEvents::Received);
}

void ScriptedMSComm::lose(const QString &description)
{
    emit Lost(description);
}

void ScriptedMSComm::raiseEvent(int code)
{
    notify(code);
}

void ScriptedMSComm::notify(int code)
{
    m_event = code;
    ++m_notifications;
    emit OnComm();
}

MSCommFactory ScriptedPorts::factory()
{
    return [this](QObject *parent) -> MSComm * {
        auto *port = new ScriptedMSComm(parent);
        if (prepare)
            prepare(port);
        ports << port;
        return port;
    };
}
