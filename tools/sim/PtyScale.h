#pragma once

#include "ScaleModel.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

// Serves a ScaleModel on a pseudo-terminal, so that anything that opens a
// serial device (the tester, a terminal program) can talk to the simulated
// scale through devicePath().
//
// Everything runs from the event loop of the thread that owns the object:
// reads are driven by a socket notifier on the master side, answers go out
// at once or after the answer delay, and nothing ever blocks. The server
// keeps a descriptor of the slave side open itself, so a host may close and
// reopen the device as often as it likes without the master reporting a
// hang-up over and over.
class PtyScale : public QObject
{
    Q_OBJECT
public:
    explicit PtyScale(const ScaleOptions &options = {}, QObject *parent = nullptr);
    ~PtyScale() override;

    // Opens a new pseudo-terminal and starts serving it. Returns false with
    // errorString() set when none can be opened; true at once if running.
    bool start();
    bool isRunning() const { return m_master >= 0; }
    QString errorString() const { return m_error; }
    // The slave device a host opens, e.g. "/dev/pts/3".
    QString devicePath() const { return m_devicePath; }

    // Closes the pseudo-terminal as if the scale were unplugged: the host's
    // reads end and answers not yet sent are dropped. start() plugs in a new one.
    void unplug();

    // Sends bytes that answer no command, as a scale does that prints a line
    // on power-up or when a key is pressed, or that streams by itself.
    void sendUnasked(const QByteArray &bytes) { writeToHost(bytes); }
    // Bytes handed over for the host that the pseudo-terminal has not taken yet.
    qsizetype unsentBytes() const { return m_outgoing.size(); }

    // Time from a complete command to its answer; 0 answers at once.
    void setAnswerDelay(int milliseconds) { m_answerDelayMs = qMax(0, milliseconds); }
    int answerDelay() const { return m_answerDelayMs; }

    ScaleModel &model() { return m_model; }
    const ScaleModel &model() const { return m_model; }

    // The baud rate the host set on the device; 0 when it cannot be read.
    int hostBaud() const;

    // Every byte the host has sent, in order.
    QByteArray received() const { return m_received; }
    // Every byte handed to the host, in order.
    QByteArray sent() const { return m_sent; }
    // How often the master side woke the server up. A hang-up that is not
    // handled shows here as a count that races upwards with no traffic.
    int readWakeups() const { return m_readWakeups; }

signals:
    void bytesReceived(const QByteArray &bytes);
    void bytesSent(const QByteArray &bytes);

private:
    struct PendingAnswer
    {
        QDeadlineTimer due;
        QByteArray bytes;
    };

    void readFromHost();
    void answerHost(const QByteArray &answer);
    void sendDueAnswers();
    void scheduleNextAnswer();
    void sendStreamAnswer();
    void sendContinuousAnswer();
    bool hostAtOurBaud() const;
    // Sends what the scale says, framed as its line settings frame it.
    void sendOnLine(const QByteArray &bytes);
    void writeToHost(const QByteArray &bytes);
    void flushOutgoing();

    ScaleModel m_model;
    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QString m_error;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;

    int m_answerDelayMs = 0;
    QList<PendingAnswer> m_pending;
    QTimer m_answerTimer;
    QTimer m_streamTimer;
    QTimer m_continuousTimer;
    // Bytes the pseudo-terminal could not take yet because the host is not reading.
    QByteArray m_outgoing;

    QByteArray m_received;
    QByteArray m_sent;
    int m_readWakeups = 0;
};
