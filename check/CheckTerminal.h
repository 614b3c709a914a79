#pragma once

#include "StatusChecklist.h"
#include "WeightAnswer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QSocketNotifier;

// What sma-check does for a person at a terminal, apart from the run: the
// prompts that wait for Enter, colour, the weight stream's status line and a
// clean stop on Ctrl+C. Nothing here blocks the event loop.

// How the terminal is used, decided once from the standard streams and the
// environment.
struct TerminalUse
{
    bool waitForEnter = false; // stdin and stderr are terminals and --yes was not given
    bool decorate = false;     // stderr is a terminal and NO_COLOR is unset: colour, redrawing
    bool stdoutTerminal = false;
    bool colourOut = false; // stdout is a terminal and NO_COLOR is unset

    static TerminalUse detect(bool yes);
};

// `line` with its verdict, "Passed" or "Failed" after two blanks or a TAB,
// in green or red for an ANSI terminal.
QString colourVerdict(const QString &line);

// The weight stream analysis in one line: the weight and unit of the last
// answer, the flags seen and those still missing, and the seconds left:
//   "5.025 kg  seen: Zero Gross  missing: Motion Overcap Net Tare  118 s left"
QString weightStreamStatus(const std::optional<WeightAnswer> &last,
                           const StatusChecklist &checklist, int secondsLeft);

// Waits for a line on a terminal (Enter) without blocking the event loop,
// then calls back once. Type-ahead is thrown away first, so that only an
// Enter pressed after the prompt confirms it. Closed input counts as Enter:
// nobody can press it any more.
class EnterKeyWait : public QObject
{
    Q_OBJECT
public:
    explicit EnterKeyWait(int fd, QObject *parent = nullptr);

    // Calls `pressed` at the next Enter; a wait under way is replaced.
    void wait(std::function<void()> pressed);
    // Drops the wait under way without calling it.
    void cancel();

private:
    void onReadable();

    int m_fd;
    QSocketNotifier *m_notifier;
    std::function<void()> m_pressed;
};

// SIGINT and SIGTERM brought into the event loop through a pipe, so that the
// check can close its port and write its files before it ends. A second
// signal ends the program at once, as it would without this.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
