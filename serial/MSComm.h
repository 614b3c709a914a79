#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Event codes reported by MSComm::commEvent(). Only Received carries data; the
// others exist so that handlers can be shown to ignore them.
namespace CommEvents {
enum : int {
    Send = 1,
    Received = 2,
    Cts = 3,
    Dsr = 4,
    Cd = 5,
    Ring = 6,
    Eof = 7,
    Break = 1001,
    Frame = 1004,
    Overrun = 1006,
    RxOver = 1008,
    RxParity = 1009,
    TxFull = 1010,
    Dcb = 1011,
};
}

// Why an open request failed, in words an operator can act on.
struct OpenFailure
{
    enum Kind { None, InvalidPort, NoSuchDevice, PermissionDenied, Busy, Other };
    Kind kind = None;
    QString port;   // what the operator typed or the device it named
    QString reason; // plain-words reason, including any hint

    bool failed() const { return kind != None; }
    // "<port>: <reason>" for the informative text of an error message.
    QString describe() const;
};

// One serial port, shaped on the handful of operations the tester uses:
// port, line settings, receive/send thresholds, open/close, output, input,
// event code and a receive notification delivered on the UI thread.
//
// Contract shared by every implementation:
//  - setCommPort() and setSettings() are taken while closed; setSettings()
//    while open applies at once.
//  - setPortOpen(true) either opens and returns true, or leaves the port
//    closed, records openFailure() and returns false. It never ends the
//    process and never blocks.
//  - setPortOpen(true) on a port that is already open changes nothing and
//    returns true: the port is open, as portOpen() says.
//  - OnComm is raised with commEvent() == CommEvents::Received whenever
//    bytes have arrived and rThreshold() > 0. While the threshold is 0 no
//    answer is wanted: what arrives is read at once and thrown away (and
//    announced through Discarded), so nothing piles up unread and nothing
//    that came before a command can be taken for its answer. Raising the
//    threshold with bytes still waiting raises one notification from the
//    event loop.
//  - input() returns and removes everything received so far, as a receiver
//    with the settings' data bits delivers it: with 7 data bits, the low 7
//    bits of each byte. The port holds
//    at most kReadBufferLimit bytes unread; a device that sends faster than
//    its owner reads is slowed down by the line, not buffered without end.
//  - isReady() is false while an open port is still being connected (a
//    port on the network): what setOutput() is given meanwhile leaves once
//    it is, and Ready is raised then. A local port is ready once open.
//  - Lost is raised once when the device goes away or fails for good while
//    open (unplugged, an I/O error). portOpen() keeps reading true until
//    the owner closes the port, so the owner's close path runs as always.
class MSComm : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~MSComm() override = default;

    virtual void setCommPort(const QString &device) = 0;
    virtual QString commPort() const = 0;

    virtual void setSettings(const QString &settings) = 0; // "9600,n,8,1"
    virtual QString settings() const = 0;

    virtual void setRThreshold(int threshold) = 0;
    virtual int rThreshold() const = 0;
    virtual void setSThreshold(int threshold) = 0;
    virtual int sThreshold() const = 0;

    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    virtual OpenFailure openFailure() const = 0;

    virtual void setOutput(const QByteArray &bytes) = 0;
    virtual QByteArray input() = 0;

    virtual int commEvent() const = 0;

    virtual bool isReady() const { return portOpen(); }

    static constexpr qint64 kReadBufferLimit = 4096;

signals:
    void OnComm();
    // Bytes received while rThreshold() was 0, read and thrown away.
    void Discarded(const QByteArray &bytes);
    // The device is gone. `description` names the port and the reason in
    // plain words, as OpenFailure::describe() does for a failed open.
    void Lost(const QString &description);
    // An open port that was still connecting is ready now (see isReady()).
    void Ready();
};

#include <functional>

// Makes a closed port owned by `parent`. Windows take one so that tests can
// hand them a scripted port instead of a real one.
using MSCommFactory = std::function<MSComm *(QObject *parent)>;
