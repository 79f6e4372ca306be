// RadioFlashMonitor's benchmarks, run inside the simulated printer
// (tools/sandbox), which gives "/ramdisk/" and its own process namespace:
//
//   supervisor_bench_run pages [N]    start -> page 16 posted and marker file
//                                     created -> result page posted, over N
//                                     runs of the real program (default 50),
//                                     through the film; the baseline is the
//                                     presenter showing the same pages here
//   supervisor_bench_run timer [N]    lateness of the 15000-ms restart timer,
//                                     N expiries (default 4), in-process
//   supervisor_bench_run idle [S]     CPU time and wake-ups per second of the
//                                     supervisor's threads over S seconds
//                                     (default 60) while it waits for a
//                                     marker, then while a result page waits
//                                     for a touch, in-process
//
// Its memory over a whole road: bench/supervisor/road-memory.
//
// Times are taken on CLOCK_MONOTONIC. A frame counts as posted when the
// virtual display creates its file (the PNG is encoded after that).
#include "EmbeddedResourceTable.h"
#include "PosixExitSignalWatcher.h"
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"
#include "RadioFlashMonitor.h"
#include "ThreadFactory.h"

#include <screen/host_display.h>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Summary
{
    double median;
    double worst;
};

Summary Summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.empty()) {
        return {0, 0};
    }
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.back()};
}

void CreateFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
    }
}

// Waits for files of one folder to be created or closed after writing.
class FolderWatch
{
public:
    explicit FolderWatch(const std::string& folder) : fd_(inotify_init1(IN_CLOEXEC))
    {
        inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_CLOSE_WRITE);
    }
    ~FolderWatch() { close(fd_); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // True once name had the event (IN_CREATE or IN_CLOSE_WRITE); events
    // of other names and kinds read meanwhile are remembered.
    bool WaitFor(const std::string& name, std::uint32_t mask)
    {
        for (;;) {
            if ((seen_[name] & mask) != 0) {
                return true;
            }
            alignas(inotify_event) char buffer[4096];
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                return false;
            }
            for (ssize_t at = 0; at < got;) {
                // The kernel pads every name so that the next event starts aligned, and
                // the buffer itself is aligned: the cast through void is sound.
                const auto* event = static_cast<const inotify_event*>(static_cast<const void*>(buffer + at));
                if (event->len > 0) {
                    seen_[event->name] |= event->mask;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
    std::map<std::string, std::uint32_t> seen_;
};

// The real program with the given film folder, the signals at their defaults.
pid_t StartProgram(const std::string& film)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        environment.emplace_back(*e);
    }
    if (!film.empty()) {
        environment.push_back("UPGRADE_SCREEN_FILM=" + film);
    }
    std::vector<char*> envp;
    for (std::string& e : environment) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    char program[] = RADIO_FLASH_MONITOR;
    char* argv[] = {program, nullptr};

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGTERM, SIGINT, SIGQUIT, SIGPWR}) {
        sigaddset(&defaults, signal);
    }
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program, &files, &attributes, argv, envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

std::string ReadWhole(const std::string& path);

// True once the program's exit-signal listener runs: main starts it after
// the supervisor is made, so the marker watch is in place.
bool WaitUntilWatching(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        if (DIR* dir = opendir(tasks.c_str())) {
            bool found = false;
            while (const dirent* entry = readdir(dir)) {
                found = found || ReadWhole(tasks + "/" + entry->d_name + "/comm") == "ExitSigWatcherT\n";
            }
            closedir(dir);
            if (found) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int Pages(int runs)
{
    std::vector<double> start;
    std::vector<double> result;
    for (int run = 0; run < runs; ++run) {
        const std::string film = "/tmp/film-" + std::to_string(run);
        mkdir(film.c_str(), 0755);
        FolderWatch watch(film);
        const Clock::time_point spawned = Clock::now();
        const pid_t pid = StartProgram(film);
        if (pid < 0 || !watch.WaitFor("frame-00001.png", IN_CREATE)) {
            return 1;
        }
        start.push_back(MsSince(spawned));
        // The next frame's file is made only once this one is written.
        watch.WaitFor("frame-00001.png", IN_CLOSE_WRITE);
        if (!WaitUntilWatching(pid)) {
            return 1;
        }
        const std::string marker = run % 2 == 0 ? "/ramdisk/wifi.started" : "/ramdisk/wifiupgrade.failed";
        const Clock::time_point created = Clock::now();
        CreateFile(marker);
        if (!watch.WaitFor("frame-00002.png", IN_CREATE)) {
            return 1;
        }
        result.push_back(MsSince(created));
        unlink(marker.c_str());
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    // The baseline: the presenter showing the same pages in this process.
    QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
    std::vector<double> present;
    {
        QnxScreenPresenter presenter(2);
        for (int run = 0; run < runs; ++run) {
            const Clock::time_point begun = Clock::now();
            presenter.Present(run % 2 == 0 ? "/Upgrade/qnxupgrade/english/15.png"
                                           : "/Upgrade/qnxupgrade/english/17.png");
            present.push_back(MsSince(begun));
        }
    }
    const Summary s = Summarise(start);
    const Summary r = Summarise(result);
    const Summary p = Summarise(present);
    std::printf("start -> page 16 posted:        median %.2f ms, worst %.2f ms (%d runs)\n", s.median, s.worst, runs);
    std::printf("marker created -> page posted:  median %.2f ms, worst %.2f ms (%d runs)\n", r.median, r.worst, runs);
    std::printf("baseline, Present of the page:  median %.2f ms, worst %.2f ms\n", p.median, p.worst);
    std::printf("ratios to the baseline (medians): start %.2f, marker %.2f\n", s.median / p.median,
                r.median / p.median);
    return 0;
}

// A restart action that stamps its expiry and lets the waiter go on.
struct Expiries
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Clock::time_point> stamps;

    void Stamp()
    {
        std::lock_guard<std::mutex> lock(mutex);
        stamps.push_back(Clock::now());
        changed.notify_all();
    }
    bool WaitForCount(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return stamps.size() >= count; });
    }
};

int Timer(int expiries)
{
    auto factory = std::make_shared<ThreadFactory>(14);
    Expiries seen;
    std::vector<double> lateness;
    // The restart comes once per supervisor: one supervisor an expiry.
    for (int i = 0; i < expiries; ++i) {
        RadioFlashMonitor::Settings settings;
        settings.restartAction = [&seen] { seen.Stamp(); };
        auto supervisor = RadioFlashMonitor::Create(factory, true, false, 0, std::move(settings));
        if (!supervisor) {
            return 1;
        }
        const Clock::time_point armed = Clock::now();
        supervisor->CompleteUpgrade(true);
        if (!seen.WaitForCount(static_cast<std::size_t>(i + 1))) {
            return 1;
        }
        lateness.push_back(std::chrono::duration<double, std::milli>(seen.stamps.back() - armed).count() -
                           RadioFlashMonitor::RestartDelayMs);
    }
    const Summary l = Summarise(lateness);
    std::printf("restart timer lateness against %u ms: median %.2f ms, worst %.2f ms (%d expiries); ratio %.5f\n",
                RadioFlashMonitor::RestartDelayMs, l.median, l.worst, expiries,
                l.median / RadioFlashMonitor::RestartDelayMs);
    return 0;
}

struct ThreadSample
{
    std::string name;
    long long cpuTicks = 0;
    long long switches = 0;
};

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The process's threads but the calling one: CPU ticks and context switches.
std::map<int, ThreadSample> SampleThreads()
{
    std::map<int, ThreadSample> samples;
    const int self = static_cast<int>(gettid());
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return samples;
    }
    while (const dirent* entry = readdir(tasks)) {
        const int tid = std::atoi(entry->d_name);
        if (tid <= 0 || tid == self) {
            continue;
        }
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        ThreadSample sample;
        sample.name = ReadWhole(base + "/comm");
        if (!sample.name.empty() && sample.name.back() == '\n') {
            sample.name.pop_back();
        }
        const std::string stat = ReadWhole(base + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close != std::string::npos) {
            std::istringstream fields(stat.substr(close + 2));
            std::string field;
            for (int i = 3; i <= 15 && fields >> field; ++i) {
                if (i == 14 || i == 15) {
                    sample.cpuTicks += std::atoll(field.c_str());
                }
            }
        }
        std::istringstream status(ReadWhole(base + "/status"));
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                sample.switches += std::atoll(line.substr(line.find(':') + 1).c_str());
            }
        }
        samples[tid] = sample;
    }
    closedir(tasks);
    return samples;
}

void ReportIdle(const char* phase, int seconds)
{
    const auto before = SampleThreads();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = SampleThreads();
    const double tickMs = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf("%s, over %d s:\n", phase, seconds);
    double totalWakeUps = 0;
    double totalCpu = 0;
    for (const auto& entry : after) {
        const auto found = before.find(entry.first);
        const ThreadSample start = found != before.end() ? found->second : ThreadSample{};
        const double wakeUps = static_cast<double>(entry.second.switches - start.switches) / seconds;
        const double cpuMs = static_cast<double>(entry.second.cpuTicks - start.cpuTicks) * tickMs;
        totalWakeUps += wakeUps;
        totalCpu += cpuMs;
        std::printf("  %-18s %6.2f wake-ups/s  %7.1f ms CPU\n", entry.second.name.c_str(), wakeUps, cpuMs);
    }
    std::printf("  %-18s %6.2f wake-ups/s  %7.1f ms CPU\n", "all", totalWakeUps, totalCpu);
}

int Idle(int seconds)
{
    // As main does: the signals blocked in every thread, the listener waiting.
    PosixExitSignalWatcher exitSignalWatcher;
    auto factory = std::make_shared<ThreadFactory>(14);
    RadioFlashMonitor::Settings settings;
    settings.restartDelayMs = 3600000;
    settings.restartAction = [] {};
    auto supervisor = RadioFlashMonitor::Create(factory, false, false, 0, std::move(settings));
    if (!supervisor) {
        return 1;
    }
    exitSignalWatcher.RegisterNotification(RadioFlashMonitor::ExitNotification(supervisor));
    exitSignalWatcher.Watch();
    ReportIdle("waiting for a marker (in-progress page)", seconds);
    CreateFile("/ramdisk/wifi.started");
    if (host_screen_wait_for_event_waiter(30000) != 1) {
        return 1;
    }
    ReportIdle("waiting for a touch (success page)", seconds);
    // Ends the listener as a signal would, so that the watcher can go.
    kill(getpid(), SIGTERM);
    supervisor->WaitForExit();
    supervisor.reset();
    return 0;
}

int Count(int argc, char** argv, int fallback)
{
    return argc > 2 ? std::atoi(argv[2]) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (access("/ramdisk", W_OK) != 0) {
        std::fprintf(stderr, "supervisor_bench_run: needs the simulated printer (tools/sandbox)\n");
        return 2;
    }
    if (mode == "pages") {
        return Pages(Count(argc, argv, 50));
    }
    if (mode == "timer") {
        return Timer(Count(argc, argv, 4));
    }
    if (mode == "idle") {
        return Idle(Count(argc, argv, 60));
    }
    std::fprintf(stderr, "usage: supervisor_bench_run pages [N] | timer [N] | idle [SECONDS]\n");
    return 2;
}
