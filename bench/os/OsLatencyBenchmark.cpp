// Latencies of the OS layer, each measured many times in one run:
//  - Event signal-to-wake, as a ping-pong round trip between two threads,
//    against the same handshake on a bare std::mutex + std::condition_variable;
//  - inotify file creation to the watcher's created callback;
//  - lateness of a 15 ms one-shot timer's callback.
// Prints a Markdown table of medians, worst cases and the event ratio, and
// how many waits found no callback within 5 s (those count as no sample).
// The watcher's thread asks for real-time scheduling, so its figure differs
// between a privileged and an unprivileged run; the first line says which
// this was.
#include "BenchEnvironment.h"
#include "EventFactory.h"
#include "FileSystemWatcher.h"
#include "OSTimerFactory.h"
#include "ThreadFactory.h"
#include "Utf8Path.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

constexpr unsigned int WaitLimitMs = 5000;

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
    if (samples.empty())
        return {"no sample", "no sample", 0};
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
    if (!samples.failure.empty())
        return samples.failure;
    return std::to_string(samples.timedOut) + " timed out";
}

// One round trip: ping wakes the echo thread, whose pong wakes the caller.
std::vector<double> EventRoundTrips(int rounds)
{
    auto ping = EventFactory::GetSharedEvent(true);
    auto pong = EventFactory::GetSharedEvent(true);
    std::thread echo([&] {
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

std::vector<double> BareRoundTrips(int rounds)
{
    BareFlag ping, pong;
    std::thread echo([&] {
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

// The callback of one created file: which path, and when.
struct Report
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::wstring path;
    Clock::time_point at;
};

Samples CreateToCallback(int files)
{
    namespace fs = std::filesystem;
    Samples samples;
    std::string pattern = (fs::temp_directory_path() / "fsbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        samples.failure = "no scratch folder";
        return samples;
    }
    {
        ThreadFactory factory(14);
        auto watcher = FileSystemWatcher::CreateUnique(factory, Utf8Path::ToWide(pattern), FileSystemWatcher::ReportFiles);
        Report report;
        watcher->OnCreatedCallback([&report](const std::wstring& path) {
            const auto now = Clock::now();
            {
                std::lock_guard<std::mutex> lock(report.mutex);
                report.path = path;
                report.at = now;
            }
            report.arrived.notify_all();
        });
        for (int i = 0; i < files; ++i) {
            const std::string name = pattern + "/f" + std::to_string(i);
            const std::wstring expected = Utf8Path::ToWide(name);
            const auto start = Clock::now();
            std::ofstream(name).put('x');
            std::unique_lock<std::mutex> lock(report.mutex);
            // Only this file's callback counts: a late one of an earlier file
            // must not pass for it.
            if (!report.arrived.wait_until(lock, start + std::chrono::milliseconds(WaitLimitMs),
                                           [&] { return report.path == expected; })) {
                ++samples.timedOut;
                continue;
            }
            samples.values.push_back(Micros(report.at - start));
        }
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return samples;
}

Samples TimerLateness(int shots, unsigned int ms)
{
    auto fired = EventFactory::GetUniqueSimpleEvent(true);
    std::atomic<long long> firedAt{0};
    auto timer = OSTimerFactory::Create()->GetUniqueOSTimer(OSTimer::OneShot, [&] {
        firedAt = Clock::now().time_since_epoch().count();
        fired->Signal();
    });
    Samples samples;
    for (int i = 0; i < shots; ++i) {
        const auto start = Clock::now();
        timer->Start(ms);
        if (!fired->Wait(WaitLimitMs)) {
            ++samples.timedOut;
            continue;
        }
        const auto due = start + std::chrono::milliseconds(ms);
        samples.values.push_back(Micros(Clock::duration(firedAt.load()) - due.time_since_epoch()));
    }
    return samples;
}

} // namespace

int main()
{
    constexpr int Rounds = 20000;
    std::printf("%s\n\n", BenchEnvironment::Describe().c_str());
    // Interleaved halves, so that a change of machine load meets both sides.
    std::vector<double> event, bare;
    for (int half = 0; half < 2; ++half) {
        const auto e = EventRoundTrips(Rounds / 2);
        const auto b = BareRoundTrips(Rounds / 2);
        event.insert(event.end(), e.begin(), e.end());
        bare.insert(bare.end(), b.begin(), b.end());
    }
    const Summary eventSummary = Summarise(event);
    const Summary bareSummary = Summarise(bare);
    const Samples created = CreateToCallback(500);
    const Samples timer = TimerLateness(60, 15);
    const Summary createdSummary = Summarise(created.values);
    const Summary timerSummary = Summarise(timer.values);

    std::printf("| measure | median | worst | lost |\n|---|---|---|---|\n");
    std::printf("| Event round trip (2 wake-ups), %d rounds | %s | %s | |\n", Rounds, eventSummary.median.c_str(),
                eventSummary.worst.c_str());
    std::printf("| bare std::condition_variable round trip | %s | %s | |\n", bareSummary.median.c_str(),
                bareSummary.worst.c_str());
    std::printf("| **Event / bare ratio (medians)** | **%.2f** | | |\n",
                eventSummary.medianValue / bareSummary.medianValue);
    std::printf("| inotify create to callback, 500 files (%zu samples) | %s | %s | %s |\n", created.values.size(),
                createdSummary.median.c_str(), createdSummary.worst.c_str(), Lost(created).c_str());
    std::printf("| 15 ms one-shot timer lateness, 60 shots (%zu samples) | %s | %s | %s |\n", timer.values.size(),
                timerSummary.median.c_str(), timerSummary.worst.c_str(), Lost(timer).c_str());
    std::printf("\nafter the run: %s\n", BenchEnvironment::Load().c_str());
    return 0;
}
