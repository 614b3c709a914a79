// Times sma-check the way a production line or a CI job runs it: whole
// processes, started and waited for as a shell would, against simulated
// scales (sma-scale-sim) in processes of their own. Prints figures only.
//
//   check_bench [runs]      (default 20)
//
// (a) `sma-check --weight-stream skip --quiet` against a scale answering at
//     once (--delay 0): wall time of the whole process, min/median/max.
// (b) eight scales answering after 20 ms (--delay 20): eight checks at once
//     against one alone, and the ratio of their wall times.
// (c) peak resident memory of one check, from the kernel's accounting of the
//     child (wait4), without and with a PDF.
// (d) when a PostgreSQL server is at hand (PGHOST and PGPORT set, as
//     tools/with-postgres.sh does), (b) again with every check recording into
//     one database on it: eight writers at once against one alone.
//
// The checks of (a) to (c) record nothing (--no-record).

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Starts `argv` with standard output on `outFd` (or /dev/null when -1) and
// standard error on /dev/null. Returns the child's pid, or -1.
pid_t spawn(const std::vector<std::string> &arguments, int outFd = -1)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

struct Finished
{
    int exitStatus = -1;
    long maxRssKiB = 0;
    double cpuMs = 0; // user and system time
};

double milliseconds(const timeval &time)
{
    return double(time.tv_sec) * 1000.0 + double(time.tv_usec) / 1000.0;
}

Finished waitFor(pid_t pid)
{
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss,
            milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
}

// A simulated scale in a process of its own, and the device it serves.
struct Scale
{
    pid_t pid = -1;
    std::string device;
};

Scale startScale(int delayMs)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    Scale scale;
    scale.pid = spawn({SMA_SCALE_SIM, "--delay", std::to_string(delayMs)}, pipeFds[1]);
    close(pipeFds[1]);
    std::string line;
    char c = 0;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(pipeFds[0]);
    const std::string marker = "Port: ";
    const size_t at = line.find(marker);
    if (at != std::string::npos)
        scale.device = line.substr(at + marker.size());
    return scale;
}

void stopScale(const Scale &scale)
{
    if (scale.pid > 0) {
        kill(scale.pid, SIGTERM);
        waitFor(scale.pid);
    }
}

// `database` empty: nothing is recorded.
std::vector<std::string> checkArguments(const Scale &scale, const std::string &database = {})
{
    std::vector<std::string> arguments{SMA_CHECK,         "--port", scale.device,
                                       "--weight-stream", "skip",   "--quiet"};
    if (database.empty())
        arguments.push_back("--no-record");
    else
        arguments.insert(arguments.end(), {"--db", database});
    return arguments;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Timed
{
    double ms = 0;
    Finished finished;
};

Timed timeOneCheck(const std::vector<std::string> &arguments)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(arguments);
    Timed timed;
    timed.finished = pid > 0 ? waitFor(pid) : Finished{};
    timed.ms = millisecondsSince(start);
    return timed;
}

// All checks started together; the wall time runs until the last has ended.
// `cpuMs` gets the processor time they used together.
double timeChecksAtOnce(const std::vector<Scale> &scales, int *failures, double *cpuMs,
                        const std::string &database = {})
{
    const Clock::time_point start = Clock::now();
    std::vector<pid_t> pids;
    for (const Scale &scale : scales)
        pids.push_back(spawn(checkArguments(scale, database)));
    *cpuMs = 0;
    for (const pid_t pid : pids) {
        const Finished finished = pid > 0 ? waitFor(pid) : Finished{};
        *cpuMs += finished.cpuMs;
        if (finished.exitStatus != 0)
            ++*failures;
    }
    return millisecondsSince(start);
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    // (a)
    const Scale quick = startScale(0);
    if (quick.device.empty()) {
        std::fprintf(stderr, "cannot start %s\n", SMA_SCALE_SIM);
        return 1;
    }
    std::vector<double> wall;
    std::vector<double> cpu;
    long peakRss = 0;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        const Timed timed = timeOneCheck(checkArguments(quick));
        wall.push_back(timed.ms);
        cpu.push_back(timed.finished.cpuMs);
        peakRss = std::max(peakRss, timed.finished.maxRssKiB);
        failures += timed.finished.exitStatus != 0;
    }
    std::printf("(a) sma-check --weight-stream skip --quiet, scale --delay 0, %d runs:\n"
                "    wall min %.1f ms, median %.1f ms, max %.1f ms (target: median <= 200 ms);\n"
                "    processor time (user + system) median %.1f ms\n",
                runs, *std::min_element(wall.begin(), wall.end()), median(wall),
                *std::max_element(wall.begin(), wall.end()), median(cpu));

    // (c), with a PDF drawn as well
    char pdfName[] = "/tmp/check_bench_XXXXXX";
    const int pdfFd = mkstemp(pdfName);
    long pdfRss = 0;
    double pdfMs = 0;
    if (pdfFd >= 0) {
        close(pdfFd);
        std::vector<std::string> arguments = checkArguments(quick);
        arguments.insert(arguments.end(), {"--pdf", pdfName});
        const Timed timed = timeOneCheck(arguments);
        pdfRss = timed.finished.maxRssKiB;
        pdfMs = timed.ms;
        failures += timed.finished.exitStatus != 0;
        unlink(pdfName);
    }
    stopScale(quick);

    // (b)
    std::vector<Scale> slow;
    for (int i = 0; i < 8; ++i)
        slow.push_back(startScale(20));
    std::vector<double> alone;
    std::vector<double> together;
    std::vector<double> togetherCpu;
    for (int round = 0; round < 5; ++round) {
        const Timed timed = timeOneCheck(checkArguments(slow.front()));
        failures += timed.finished.exitStatus != 0;
        alone.push_back(timed.ms);
        double cpuMs = 0;
        together.push_back(timeChecksAtOnce(slow, &failures, &cpuMs));
        togetherCpu.push_back(cpuMs);
    }
    std::printf("(b) scales --delay 20, median of 5 rounds: one check alone %.1f ms, "
                "8 checks at once %.1f ms,\n    ratio %.2f (target <= 1.2); the 8 checks used "
                "%.1f ms of processor time together\n",
                median(alone), median(together), median(together) / median(alone),
                median(togetherCpu));

    // (d)
    const char *host = std::getenv("PGHOST");
    const char *port = std::getenv("PGPORT");
    if (host && port) {
        const char *user = std::getenv("PGUSER");
        const char *name = std::getenv("PGDATABASE");
        const std::string database = std::string("postgresql://") + (user ? user : "") + "@" +
                                     host + ":" + port + "/" + (name ? name : "");
        std::vector<double> recordedAlone;
        std::vector<double> recordedTogether;
        for (int round = 0; round < 5; ++round) {
            const Timed timed = timeOneCheck(checkArguments(slow.front(), database));
            failures += timed.finished.exitStatus != 0;
            recordedAlone.push_back(timed.ms);
            double cpuMs = 0;
            recordedTogether.push_back(timeChecksAtOnce(slow, &failures, &cpuMs, database));
        }
        std::printf("(d) the same, each check recorded into PostgreSQL (%s): one alone %.1f ms, "
                    "8 at once %.1f ms,\n    ratio %.2f (target <= 1.3)\n",
                    database.c_str(), median(recordedAlone), median(recordedTogether),
                    median(recordedTogether) / median(recordedAlone));
    } else {
        std::printf("(d) skipped: no PostgreSQL server (run under tools/with-postgres.sh)\n");
    }
    for (const Scale &scale : slow)
        stopScale(scale);

    std::printf("(c) peak resident memory of one check: %.1f MiB (target <= 30 MiB); "
                "with --pdf: %.1f MiB, %.1f ms\n",
                double(peakRss) / 1024.0, double(pdfRss) / 1024.0, pdfMs);
    if (failures > 0)
        std::printf("    %d check(s) did not exit with 0\n", failures);
    return 0;
}
