// Latencies of the OS layer, each measured many times in one run:
//  - Event signal-to-wake, as a ping-pong round trip between two threads,
//    against the same handshake on a bare std::mutex + std::condition_variable;
//  - inotify file creation to the watcher's created callback;
//  - lateness of a 15 ms one-shot timer's callback.
// Prints a Markdown table of medians, worst cases and the event ratio.
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

struct Summary
{
    double median;
    double worst;
};

Summary Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
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

std::vector<double> CreateToCallback(int files)
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "fsbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return {0.0};
    }
    std::vector<double> samples;
    {
        ThreadFactory factory(14);
        auto watcher = FileSystemWatcher::CreateUnique(factory, Utf8Path::ToWide(pattern), FileSystemWatcher::ReportFiles);
        auto reported = EventFactory::GetUniqueSimpleEvent(true);
        std::atomic<long long> reportedAt{0};
        watcher->OnCreatedCallback([&](const std::wstring&) {
            reportedAt = Clock::now().time_since_epoch().count();
            reported->Signal();
        });
        for (int i = 0; i < files; ++i) {
            const std::string name = pattern + "/f" + std::to_string(i);
            const auto start = Clock::now();
            std::ofstream(name).put('x');
            if (!reported->Wait(5000u)) {
                continue;
            }
            samples.push_back(Micros(Clock::duration(reportedAt.load()) - start.time_since_epoch()));
        }
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return samples;
}

std::vector<double> TimerLateness(int shots, unsigned int ms)
{
    auto fired = EventFactory::GetUniqueSimpleEvent(true);
    std::atomic<long long> firedAt{0};
    auto timer = OSTimerFactory::Create()->GetUniqueOSTimer(OSTimer::OneShot, [&] {
        firedAt = Clock::now().time_since_epoch().count();
        fired->Signal();
    });
    std::vector<double> samples;
    for (int i = 0; i < shots; ++i) {
        const auto start = Clock::now();
        timer->Start(ms);
        if (!fired->Wait(5000u)) {
            continue;
        }
        const auto due = start + std::chrono::milliseconds(ms);
        samples.push_back(Micros(Clock::duration(firedAt.load()) - due.time_since_epoch()));
    }
    return samples;
}

} // namespace

int main()
{
    constexpr int Rounds = 20000;
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
    const Summary inotify = Summarise(CreateToCallback(500));
    const Summary timer = Summarise(TimerLateness(60, 15));

    std::printf("| measure | median | worst |\n|---|---|---|\n");
    std::printf("| Event round trip (2 wake-ups), %d rounds | %.1f us | %.1f us |\n", Rounds, eventSummary.median,
                eventSummary.worst);
    std::printf("| bare std::condition_variable round trip | %.1f us | %.1f us |\n", bareSummary.median, bareSummary.worst);
    std::printf("| **Event / bare ratio (medians)** | **%.2f** | |\n", eventSummary.median / bareSummary.median);
    std::printf("| inotify create to callback, 500 files | %.1f us | %.1f us |\n", inotify.median, inotify.worst);
    std::printf("| 15 ms one-shot timer lateness, 60 shots | %.1f us | %.1f us |\n", timer.median, timer.worst);
    return 0;
}
