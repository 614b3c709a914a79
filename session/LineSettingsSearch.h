#pragma once

#include "LineSettings.h"
#include "MSComm.h"
#include "UnaskedLines.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class TrafficRecorder;

// Finds the line settings a scale answers at. It first listens for half a
// second at the settings it is given (a scale that talks by itself is found
// there), then sends "A" at each baud rate in turn, 8 data bits and no
// parity, waiting up to half a second for an answer line at each, and stops
// at the first one. Bit 7 of that line tells the framing: a 7-bit scale's
// parity or stop bit lands there for an 8-bit receiver. The worst case takes
// about five seconds.
//
// It drives a port it is lent (the session's own, while nothing else uses
// it) from the event loop and never blocks; every byte sent and received goes
// into the traffic log it is given.
class LineSettingsSearch : public QObject
{
    Q_OBJECT
public:
    // How long it listens, and waits for an answer at each baud rate.
    struct Timing
    {
        int listenMs = 500;
        int probeMs = 500;
    };
    // Complete lines during the listening that make a talking scale; one or
    // two may be a start-up text.
    static constexpr int kUnaskedLinesForContinuous = 3;

    // The baud rates tried, in order: 9600 first, then the others by how
    // often scales are found set to them.
    static const QList<int> &searchOrder();

    struct Outcome
    {
        enum class Kind {
            Found,        // the scale answered; `settings` are its own
            Continuous,   // lines kept coming unasked during the listening
            NotFound,     // no answer line at any baud rate
            PortLost,     // the device went away
            Unsearchable, // a raw network port: its line settings are not the tester's
        };
        Kind kind = Kind::NotFound;
        LineSettings settings;     // Found
        QByteArray evidence;       // the answer line, or an unasked line, as read
        QString explanation;       // NotFound: what was tried and what arrived;
                                   // PortLost: the port and why; Unsearchable: why
        int unaskedLines = 0;      // Continuous
        double linesPerSecond = 0; // Continuous
    };

    explicit LineSettingsSearch(MSComm &port, QObject *parent = nullptr);

    // Where every probe and what came back is written down.
    void setTrafficRecorder(TrafficRecorder *recorder) { m_recorder = recorder; }
    void setTiming(const Timing &timing) { m_timing = timing; }

    // Opens the port `portText` names at `listenAt` and starts. finished()
    // follows from the event loop. When the port does not open nothing is
    // started and the failure says why. A raw network port opens nothing:
    // finished() follows with Unsearchable.
    OpenFailure start(const QString &portText, const LineSettings &listenAt);
    // Stops and closes the port; no signal.
    void cancel();
    bool isRunning() const { return m_step != Step::Idle; }

    // "The scale answers at 19200,7,E,1", or what went wrong, in plain words.
    static QString describe(const Outcome &outcome);

signals:
    // The search is over and the port closed.
    void finished(const LineSettingsSearch::Outcome &outcome);

private:
    enum class Step { Idle, Listening, Probing };

    struct Probe
    {
        int baud = 0;
        QByteArray arrived;
    };

    void onComm();
    void onTimer();
    void onLost(const QString &description);
    void probe(int index);
    void finish(Outcome outcome);

    MSComm &m_port;
    TrafficRecorder *m_recorder = nullptr;
    QElapsedTimer m_sentAt;
    Timing m_timing;
    QTimer m_timer;
    Step m_step = Step::Idle;
    UnaskedLines m_heard; // during the listening
    QList<Probe> m_probes;
};

Q_DECLARE_METATYPE(LineSettingsSearch::Outcome)
