// Runs the whole discovery run against the simulated scale over a
// pseudo-terminal, with no answer delay, many times, and prints the tester's
// own turnaround per command (answer read -> next frame written), the wall
// time of a run and the peak resident memory.
//
//   discovery_bench [runs]      (default 200)

#include "PtyScale.h"
#include "QSerialMSComm.h"
#include "smaForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Passes everything to a real port and notes when an answer's CR was read
// and when the next frame went out.
class TimedPort : public MSComm
{
public:
    explicit TimedPort(QObject *parent) : MSComm(parent), m_port(new QSerialMSComm(this))
    {
        connect(m_port, &MSComm::OnComm, this, &MSComm::OnComm);
        m_clock.start();
    }

    void setCommPort(const QString &device) override { m_port->setCommPort(device); }
    QString commPort() const override { return m_port->commPort(); }
    void setSettings(const QString &settings) override { m_port->setSettings(settings); }
    QString settings() const override { return m_port->settings(); }
    void setRThreshold(int threshold) override { m_port->setRThreshold(threshold); }
    int rThreshold() const override { return m_port->rThreshold(); }
    void setSThreshold(int threshold) override { m_port->setSThreshold(threshold); }
    int sThreshold() const override { return m_port->sThreshold(); }
    bool setPortOpen(bool open) override { return m_port->setPortOpen(open); }
    bool portOpen() const override { return m_port->portOpen(); }
    OpenFailure openFailure() const override { return m_port->openFailure(); }
    int commEvent() const override { return m_port->commEvent(); }

    void setOutput(const QByteArray &bytes) override
    {
        m_port->setOutput(bytes);
        if (m_answerReadAt >= 0) {
            turnaroundsNs.push_back(m_clock.nsecsElapsed() - m_answerReadAt);
            m_answerReadAt = -1;
        }
    }
    QByteArray input() override
    {
        QByteArray bytes = m_port->input();
        if (bytes.contains('\r'))
            m_answerReadAt = m_clock.nsecsElapsed();
        return bytes;
    }

    std::vector<qint64> turnaroundsNs;

private:
    QSerialMSComm *m_port;
    QElapsedTimer m_clock;
    qint64 m_answerReadAt = -1;
};

// The tester with its modal windows left out: the run is timed from the
// operator's confirmation to the hand-over.
class BenchForm : public smaForm
{
public:
    using smaForm::smaForm;
    bool finished = false;

protected:
    void showMessage(const QString &, const QString &) override {}
    void showWeightStreamAnalysis(WeightStreamEngine &) override { finished = true; }
    void showReportPreview() override {}
};

double percentile(std::vector<qint64> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    return double(values[index]) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The checks are recorded as the window records them, but not among the operator's.
    QTemporaryDir records;
    qputenv("SMA_DB", records.filePath(QStringLiteral("history.sqlite")).toUtf8());
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    ScaleOptions options;
    options.level2Commands = "ABDWZXHM";
    PtyScale scale(options);
    scale.setAnswerDelay(0);
    if (!scale.start()) {
        std::fprintf(stderr, "cannot start the simulated scale: %s\n",
                     qPrintable(scale.errorString()));
        return 1;
    }

    TimedPort *port = nullptr;
    BenchForm form([&port](QObject *parent) -> MSComm * {
        auto *timed = new TimedPort(parent);
        if (!port)
            port = timed;
        return timed;
    });
    form.findChild<QLineEdit *>("Port")->setText(scale.devicePath());
    auto *start = form.findChild<QPushButton *>("Connect");

    std::vector<qint64> runNs;
    size_t commands = 0;
    QElapsedTimer runClock;
    for (int run = 0; run < runs; ++run) {
        form.finished = false;
        const size_t before = port->turnaroundsNs.size();
        runClock.start();
        start->click();
        while (!form.finished) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            if (runClock.elapsed() > 10000) {
                std::fprintf(stderr, "run %d did not finish\n", run);
                return 1;
            }
        }
        runNs.push_back(runClock.nsecsElapsed());
        commands = port->turnaroundsNs.size() - before;
    }

    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("discovery runs:            %d (%zu answers each)\n", runs, commands);
    std::printf("turnaround per command:    median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                percentile(port->turnaroundsNs, 0.5), percentile(port->turnaroundsNs, 0.99),
                percentile(port->turnaroundsNs, 1.0));
    std::printf("whole run (no modal windows): median %.2f ms, p99 %.2f ms\n",
                percentile(runNs, 0.5), percentile(runNs, 0.99));
    std::printf("peak resident memory:      %.1f MiB\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
