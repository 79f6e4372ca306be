// Latencies of the OS layer, each measured many times in one run against a
// bare form of the same job, the two taking turns in ten blocks so that a
// change of load meets both:
//  - Event signal-to-wake, as a ping-pong round trip between two threads,
//    against the same handshake on a bare std::mutex + std::condition_variable,
//    with both threads on one processor and on two;
//  - file creation to the watcher's created callback, against a thread
//    blocked in read() on an inotify descriptor of its own;
//  - lateness of a 15 ms one-shot OSTimer's callback, against a bare POSIX
//    timer with thread notification.
// Prints a Markdown table of medians and worst cases, the ratios of the
// medians, and how many waits found no callback within 5 s (those count as
// no sample).
// The watcher's thread (and its baseline's) asks for real-time scheduling,
// so those figures differ between a privileged and an unprivileged run; the
// first line says which this was.
#include "BenchEnvironment.h"
#include "EventFactory.h"
#include "FileSystemWatcher.h"
#include "OSTimerFactory.h"
#include "ThreadFactory.h"
#include "Utf8Path.h"

#include <sys/inotify.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

constexpr unsigned int WaitLimitMs = 5000;
// Program and baseline take turns in this many blocks each, so that a change
// of the machine's load (another build starting) meets both alike.
constexpr int Blocks = 10;

// What one measurement gathered: its samples in microseconds, and the waits
// that ended without the awaited callback.
struct Samples
{
    std::vector<double> values;
    int timedOut = 0;
    std::string failure; // set when the measurement could not run at all
};

// The median and worst of the samples, or "no sample" when there is none.
struct Summary
{
    std::string median;
    std::string worst;
    double medianValue = 0;
};

Summary Summarise(std::vector<double> samples)
{
    if (samples.empty()) {
        return {"no sample", "no sample", 0};
    }
    std::sort(samples.begin(), samples.end());
    char median[32];
    char worst[32];
    std::snprintf(median, sizeof median, "%.1f us", samples[samples.size() / 2]);
    std::snprintf(worst, sizeof worst, "%.1f us", samples.back());
    return {median, worst, samples[samples.size() / 2]};
}

// The table's note on what a measurement lost.
std::string Lost(const Samples& samples)
{
    if (!samples.failure.empty()) {
        return samples.failure;
    }
    return std::to_string(samples.timedOut) + " timed out";
}

// One table row: count, median and worst of the samples, and what was lost.
void Row(const char* what, const std::vector<double>& values, const Samples* losses)
{
    const Summary summary = Summarise(values);
    std::printf("| %s (%zu samples) | %s | %s | %s |\n", what, values.size(), summary.median.c_str(),
                summary.worst.c_str(), losses != nullptr ? Lost(*losses).c_str() : "");
}

// The ratio of two medians as a bold row; none when either side has no sample.
void Ratio(const char* what, const std::vector<double>& product, const std::vector<double>& baseline)
{
    const Summary p = Summarise(product);
    const Summary b = Summarise(baseline);
    if (product.empty() || baseline.empty() || b.medianValue == 0) {
        std::printf("| **%s (medians)** | no ratio | | |\n", what);
    } else {
        std::printf("| **%s (medians)** | **%.2f** | | |\n", what, p.medianValue / b.medianValue);
    }
}

// Where the two threads of a round trip run. A wake-up on the same
// processor is a context switch; one on the other processor costs what it
// costs that processor to wake, which on an idle virtual machine is many
// times more. Left to the scheduler, the placement (and with it the median)
// changes from run to run, so both sides are measured on the same placement.
struct Placement
{
    unsigned caller;
    unsigned echo;
};

void PinCallingThread(unsigned processor)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(processor, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// One round trip: ping wakes the echo thread, whose pong wakes the caller.
std::vector<double> EventRoundTrips(int rounds, Placement placement)
{
    auto ping = EventFactory::GetSharedEvent(true);
    auto pong = EventFactory::GetSharedEvent(true);
    PinCallingThread(placement.caller);
    std::thread echo([&] {
        PinCallingThread(placement.echo);
        for (int i = 0; i < rounds; ++i) {
            ping->WaitOr(1);
            pong->Signal(1);
        }
    });
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        ping->Signal(1);
        pong->WaitOr(1);
        samples.push_back(Micros(Clock::now() - start));
    }
    echo.join();
    return samples;
}

// The same handshake with nothing but the standard library.
struct BareFlag
{
    std::mutex mutex;
    std::condition_variable condition;
    bool set = false;

    void Signal()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            set = true;
        }
        condition.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait(lock, [this] { return set; });
        set = false;
    }
};

std::vector<double> BareRoundTrips(int rounds, Placement placement)
{
    BareFlag ping, pong;
    PinCallingThread(placement.caller);
    std::thread echo([&] {
        PinCallingThread(placement.echo);
        for (int i = 0; i < rounds; ++i) {
            ping.Wait();
            pong.Signal();
        }
    });
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        ping.Signal();
        pong.Wait();
        samples.push_back(Micros(Clock::now() - start));
    }
    echo.join();
    return samples;
}

// What a callback reports: which arrival (a file's path, a timer's shot
// number), and when. The waiter takes only the arrival it expects, so a late
// callback of an earlier one never passes for it.
class Report
{
public:
    void Arrive(std::wstring what)
    {
        const auto now = Clock::now();
        // Notified under the lock: the waiter may return and end the report
        // as soon as it has the lock again, and the notifying thread must be
        // done with it by then.
        std::lock_guard<std::mutex> lock(mutex_);
        what_ = std::move(what);
        at_ = now;
        arrived_.notify_all();
    }

    // When `expected` arrived, or nothing when it did not within the wait limit from `start`.
    std::optional<Clock::time_point> WaitFor(const std::wstring& expected, Clock::time_point start)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_until(lock, start + std::chrono::milliseconds(WaitLimitMs),
                                 [&] { return what_ == expected; })) {
            return std::nullopt;
        }
        return at_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::wstring what_;
    Clock::time_point at_;
};

// The baseline of the watcher: one thread blocked in read() on an inotify
// descriptor that watches the folder for created files, with the watcher's
// scheduling where the system grants it.
class BareInotify
{
public:
    BareInotify(const std::string& folder, Report& report)
        : folder_(folder), report_(report), descriptor_(inotify_init1(IN_CLOEXEC))
    {
        if (descriptor_ < 0 || pipe2(stop_, O_CLOEXEC) != 0 ||
            inotify_add_watch(descriptor_, folder.c_str(), IN_CREATE) < 0) {
            return;
        }
        thread_ = std::thread([this] { Run(); });
        sched_param param{};
        param.sched_priority = 16;
        pthread_setschedparam(thread_.native_handle(), SCHED_RR, &param);
    }
    ~BareInotify()
    {
        if (thread_.joinable()) {
            const char stop = 1;
            (void)!write(stop_[1], &stop, 1);
            thread_.join();
        }
        for (int fd : {descriptor_, stop_[0], stop_[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    BareInotify(const BareInotify&) = delete;
    BareInotify& operator=(const BareInotify&) = delete;

    bool Running() const { return thread_.joinable(); }

private:
    void Run()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            pollfd waits[2] = {{descriptor_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (poll(waits, 2, -1) < 0 && errno != EINTR) {
                return;
            }
            if (waits[1].revents != 0) {
                return;
            }
            const ssize_t got = read(descriptor_, buffer, sizeof buffer);
            for (ssize_t at = 0; got > 0 && at < got;) {
                // The kernel pads every name so that the next event starts aligned, and
                // the buffer itself is aligned: the cast through void is sound.
                const auto* event = static_cast<const inotify_event*>(static_cast<const void*>(buffer + at));
                if (event->len > 0) {
                    report_.Arrive(Utf8Path::ToWide(folder_ + "/" + event->name));
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    std::string folder_;
    Report& report_;
    int descriptor_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// Creates files number first .. first + count - 1 in folder and measures each
// one's way to its report.
void CreateToReport(const std::string& folder, Report& report, int first, int count, Samples& samples)
{
    for (int i = first; i < first + count; ++i) {
        const std::string name = folder + "/f" + std::to_string(i);
        const auto start = Clock::now();
        std::ofstream(name).put('x');
        if (const auto at = report.WaitFor(Utf8Path::ToWide(name), start)) {
            samples.values.push_back(Micros(*at - start));
        } else {
            ++samples.timedOut;
        }
    }
}

struct Pair
{
    Samples product;
    Samples baseline;
};

// The watcher's created callback and the bare inotify thread, taking
// turns, each on a folder of its own.
Pair CreateToCallback(int files)
{
    namespace fs = std::filesystem;
    Pair pair;
    std::string watched = (fs::temp_directory_path() / "fsbench-XXXXXX").string();
    std::string bare = (fs::temp_directory_path() / "fsbench-bare-XXXXXX").string();
    const bool made = mkdtemp(watched.data()) != nullptr;
    if (!made || mkdtemp(bare.data()) == nullptr) {
        pair.product.failure = pair.baseline.failure = "no scratch folder";
        if (made) {
            fs::remove(watched);
        }
        return pair;
    }
    {
        // The reports outlive the watcher and the reader that call into them.
        Report watcherReport;
        Report bareReport;
        ThreadFactory factory(14);
        auto watcher =
            FileSystemWatcher::CreateUnique(factory, Utf8Path::ToWide(watched), FileSystemWatcher::ReportFiles);
        watcher->OnCreatedCallback([&watcherReport](const std::wstring& path) { watcherReport.Arrive(path); });
        BareInotify baseline(bare, bareReport);
        if (!baseline.Running()) {
            pair.baseline.failure = "no inotify";
        }
        for (int block = 0; block < Blocks; ++block) {
            CreateToReport(watched, watcherReport, block * files / Blocks, files / Blocks, pair.product);
            if (baseline.Running()) {
                CreateToReport(bare, bareReport, block * files / Blocks, files / Blocks, pair.baseline);
            }
        }
    }
    std::error_code ignored;
    fs::remove_all(watched, ignored);
    fs::remove_all(bare, ignored);
    return pair;
}

// The baseline of OSTimer: a bare POSIX one-shot timer with thread
// notification on the same clock.
class BareTimer
{
public:
    explicit BareTimer(Report& report) : report_(report)
    {
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD;
        event.sigev_notify_function = &BareTimer::Expired;
        event.sigev_value.sival_ptr = this;
        created_ = timer_create(CLOCK_MONOTONIC, &event, &id_) == 0;
    }
    ~BareTimer()
    {
        if (created_) {
            timer_delete(id_);
        }
    }
    BareTimer(const BareTimer&) = delete;
    BareTimer& operator=(const BareTimer&) = delete;

    bool Start(unsigned int ms)
    {
        itimerspec arming{};
        arming.it_value.tv_sec = static_cast<time_t>(ms / 1000u);
        arming.it_value.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
        return created_ && timer_settime(id_, 0, &arming, nullptr) == 0;
    }

private:
    static void Expired(sigval value)
    {
        auto* self = static_cast<BareTimer*>(value.sival_ptr);
        self->report_.Arrive(std::to_wstring(++self->shots_));
    }

    Report& report_;
    timer_t id_{};
    bool created_ = false;
    std::atomic<unsigned> shots_{0};
};

// Arms arm(ms) count times in a row and measures how late each shot's
// report came; shots are numbered from first + 1.
template <typename Arm>
void Lateness(Report& report, Arm arm, unsigned int ms, unsigned first, int count, Samples& samples)
{
    for (unsigned shot = first + 1; shot <= first + static_cast<unsigned>(count); ++shot) {
        const auto start = Clock::now();
        if (!arm(ms)) {
            samples.failure = "the timer cannot be armed";
            return;
        }
        if (const auto at = report.WaitFor(std::to_wstring(shot), start)) {
            samples.values.push_back(Micros(*at - (start + std::chrono::milliseconds(ms))));
        } else {
            ++samples.timedOut;
        }
    }
}

// OSTimer and the bare timer, taking turns.
Pair TimerLateness(int shots, unsigned int ms)
{
    Pair pair;
    Report timerReport;
    std::atomic<unsigned> fired{0};
    auto timer = OSTimerFactory::Create()->GetUniqueOSTimer(OSTimer::OneShot,
                                                            [&] { timerReport.Arrive(std::to_wstring(++fired)); });
    Report bareReport;
    BareTimer bare(bareReport);
    for (int block = 0; block < Blocks; ++block) {
        const auto first = static_cast<unsigned>(block * shots / Blocks);
        Lateness(
            timerReport, [&](unsigned int m) { return timer->Start(m) == 0; }, ms, first, shots / Blocks, pair.product);
        Lateness(
            bareReport, [&](unsigned int m) { return bare.Start(m); }, ms, first, shots / Blocks, pair.baseline);
    }
    return pair;
}

} // namespace

int main()
{
    constexpr int Rounds = 20000;
    std::printf("%s\n\n", BenchEnvironment::Describe().c_str());
    cpu_set_t unpinned;
    pthread_getaffinity_np(pthread_self(), sizeof unpinned, &unpinned);
    std::vector<double> event[2], bare[2];
    const int placements = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 2 : 1;
    for (int p = 0; p < placements; ++p) {
        const Placement placement{0, static_cast<unsigned>(p)};
        for (int block = 0; block < Blocks; ++block) {
            const auto e = EventRoundTrips(Rounds / Blocks, placement);
            const auto b = BareRoundTrips(Rounds / Blocks, placement);
            event[p].insert(event[p].end(), e.begin(), e.end());
            bare[p].insert(bare[p].end(), b.begin(), b.end());
        }
    }
    pthread_setaffinity_np(pthread_self(), sizeof unpinned, &unpinned);
    const Pair created = CreateToCallback(500);
    const Pair timer = TimerLateness(60, 15);

    std::printf("| measure | median | worst | lost |\n|---|---|---|---|\n");
    Row("Event round trip (2 wake-ups), both threads on processor 0", event[0], nullptr);
    Row("bare std::condition_variable round trip, the same", bare[0], nullptr);
    Ratio("Event / bare, one processor", event[0], bare[0]);
    if (placements > 1) {
        Row("Event round trip, the threads on processors 0 and 1", event[1], nullptr);
        Row("bare std::condition_variable round trip, the same", bare[1], nullptr);
        Ratio("Event / bare, two processors", event[1], bare[1]);
    }
    Row("file created to the watcher's callback, 500 files", created.product.values, &created.product);
    Row("file created to a bare inotify read, 500 files", created.baseline.values, &created.baseline);
    Ratio("watcher / bare inotify", created.product.values, created.baseline.values);
    Row("lateness of a 15 ms one-shot OSTimer, 60 shots", timer.product.values, &timer.product);
    Row("lateness of a bare 15 ms POSIX timer, 60 shots", timer.baseline.values, &timer.baseline);
    Ratio("OSTimer / bare timer", timer.product.values, timer.baseline.values);
    std::printf("\nafter the run: %s\n", BenchEnvironment::Load().c_str());
    return 0;
}
