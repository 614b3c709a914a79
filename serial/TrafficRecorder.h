#pragma once

#include <QByteArray>
#include <QString>

// Where the owner of a port writes down its traffic with the scale, so that
// one record can hold the traffic of every port owner on one timeline: the
// frames sent, the bytes received, the bytes thrown away unread, and which
// received bytes made an answer.
class TrafficRecorder
{
public:
    virtual ~TrafficRecorder() = default;

    virtual void sent(const QByteArray &frame) = 0;
    virtual void received(const QByteArray &chunk) = 0;
    // Bytes thrown away without ever being read as an answer.
    virtual void discarded(const QByteArray &bytes) = 0;
    // The newest received bytes hold an answer to `takenFor` ("<LF>W<CR>"),
    // `answer` being its text between LF and CR; `after` are the bytes
    // received after the answer's CR that are still waiting.
    virtual void answerTaken(const QByteArray &after, const QByteArray &answer,
                             const QString &takenFor, qint64 responseMs) = 0;
    // What was received and not taken as an answer has been thrown away.
    virtual void pendingDiscarded() = 0;
};
