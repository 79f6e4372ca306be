// Runs the real supervisor (RadioFlashMonitor::Create on the virtual
// display, a short restart delay, a restart action that records its call
// and takes a while, as a slow shutdown does) against seeded random
// sequences of markers, touches and stop signals, and compares the pages
// shown, the restart calls and the time its destruction took with the
// reference model. Runs in the simulated printer ("/ramdisk/").
//
//   supervisor_lifecycle_campaign [--first-seed N] [--count N] [--seconds S]
//                                 [--replay SEED] [--delay-ms MS] [--margin-ms MS]
//
// Sequences run one after another from the first seed until count
// sequences or S seconds, whichever comes first; --replay runs one seed and
// prints what it saw. The model judges each sequence as it was played (a
// loaded machine plays steps late); one played so late that its outcome
// could go either way is void, counted but not judged. A mismatch prints the
// seed, its sequence, what the model expects and what happened. Exit status:
// 0 when every judged sequence matched, 1 on a mismatch, 2 on a usage error
// or when the supervisor could not be made.
#include "Latch.h"
#include "LifecycleModel.h"
#include "PagesShown.h"
#include "RadioFlashMonitor.h"
#include "ThreadFactory.h"

#include <screen/host_display.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace lifecycle_model;
using Clock = std::chrono::steady_clock;

// The button of the result pages, and a point beside every button.
constexpr int ButtonX = 929;
constexpr int ButtonY = 550;
constexpr int BesideX = 100;
constexpr int BesideY = 100;
// However a sequence goes, its stop comes this long after its last step at
// the latest.
constexpr auto StopLimit = std::chrono::seconds(30);
constexpr auto DestructionLimit = std::chrono::seconds(30);

int MsSince(Clock::time_point origin, Clock::time_point at)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(at - origin).count());
}

struct Observed
{
    // The steps as they were played: at the time each one's action began,
    // which a loaded machine makes later than asked.
    std::vector<Step> played;
    std::vector<std::string> pages;
    std::vector<int> restartsAtMs;
    int destructionMs = 0;
    // The feeder never got to the stop.
    bool neverStopped = false;
};

void EmptyRamDisk()
{
    DIR* entries = opendir("/ramdisk");
    if (entries == nullptr) {
        return;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own
    while (const dirent* entry = readdir(entries)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            unlink((std::string("/ramdisk/") + entry->d_name).c_str());
        }
    }
    closedir(entries);
}

// A marker of a name no earlier step used: creating an existing file gives
// no create event.
void CreateMarker(const char* name, int number)
{
    const std::string path = std::string("/ramdisk/") + name + "." + std::to_string(number);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
    }
}

class Run
{
public:
    // label: what to print should the run never end.
    Run(const std::vector<Step>& steps, const Timing& timing, std::string label)
        : steps_(steps), timing_(timing), label_(std::move(label))
    {}

    // Empty when the supervisor could not be made.
    std::optional<Observed> Go()
    {
        EmptyRamDisk();
        // A touch on a button earlier stopped the display for the process.
        host_screen_restart_services();
        PagesShown pages(UI_RESOURCES_DIR);
        auto threads = std::make_shared<ThreadFactory>(14);
        RadioFlashMonitor::Settings settings;
        settings.restartDelayMs = static_cast<unsigned int>(timing_.restartDelayMs);
        settings.restartAction = [this] { Restarted(); };
        settings.runStart = std::time(nullptr);
        auto supervisor = RadioFlashMonitor::Create(threads, false, false, 0, std::move(settings));
        if (!supervisor) {
            return std::nullopt;
        }
        origin_ = Clock::now();
        const std::function<void(int)> notify = RadioFlashMonitor::ExitNotification(supervisor);
        std::thread feeder([&] { Feed(notify); });

        const int lastStepMs = steps_.empty() ? 0 : steps_.back().atMs;
        Observed observed;
        if (!stopped_.WaitUntil(origin_ + std::chrono::milliseconds(lastStepMs) + StopLimit)) {
            observed.neverStopped = true;
            notify(SIGTERM);
        }
        supervisor->WaitForExit();
        const Clock::time_point destroying = Clock::now();
        Destroy(std::move(supervisor));
        observed.destructionMs = MsSince(destroying, Clock::now());
        feeder.join();
        threads.reset();
        observed.pages = pages.Pages();
        observed.played = played_;
        std::lock_guard<std::mutex> lock(mutex_);
        observed.restartsAtMs = restarts_;
        return observed;
    }

private:
    // A destruction that never ends is the worst mismatch there is: the
    // printer could not be stopped. It ends the campaign with this seed.
    void Destroy(std::shared_ptr<RadioFlashMonitor> supervisor)
    {
        Latch destroyed;
        std::thread destroying([&] {
            supervisor.reset();
            destroyed.Open();
        });
        if (!destroyed.WaitUntil(Clock::now() + DestructionLimit)) {
            std::printf("%s\n  the supervisor's destruction did not end within %lld s\n", label_.c_str(),
                        static_cast<long long>(DestructionLimit.count()));
            std::fflush(stdout);
            std::_Exit(1);
        }
        destroying.join();
    }

    // The restart action: a record of the call, then as long as a slow
    // shutdown takes.
    void Restarted()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            restarts_.push_back(MsSince(origin_, Clock::now()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(timing_.restartActionMs));
    }

    void Feed(const std::function<void(int)>& notify)
    {
        int number = 0;
        for (const Step& step : steps_) {
            std::this_thread::sleep_until(origin_ + std::chrono::milliseconds(step.atMs));
            played_.push_back({MsSince(origin_, Clock::now()), step.input});
            switch (step.input) {
            case Input::Success:
                CreateMarker("wifi.started", ++number);
                break;
            case Input::Failure:
                CreateMarker("wifiupgrade.failed", ++number);
                break;
            case Input::TouchButton:
                host_screen_press(ButtonX, ButtonY, 0);
                break;
            case Input::TouchElsewhere:
                host_screen_press(BesideX, BesideY, 0);
                break;
            case Input::Signal:
                // What the exit-signal watcher's listener does with a signal.
                notify(SIGTERM);
                stopped_.Open();
                break;
            }
        }
    }

    const std::vector<Step> steps_;
    const Timing timing_;
    const std::string label_;
    Clock::time_point origin_;
    Latch stopped_;
    // Written by the feeder alone, read once it has been joined.
    std::vector<Step> played_;
    std::mutex mutex_;
    std::vector<int> restarts_;
};

// Empty when what happened is what the model expects; otherwise how not.
std::string Compare(const Prediction& expected, const Observed& observed, const Timing& timing)
{
    std::string differences;
    if (observed.neverStopped) {
        differences += " the stop never came;";
    }
    if (observed.pages != expected.pages) {
        differences += " pages differ;";
    }
    if (observed.restartsAtMs.size() != (expected.restartAtMs ? 1u : 0u)) {
        differences += " restart calls differ;";
    } else if (expected.restartAtMs) {
        // Never early; late by a margin at most, on a loaded machine, and by
        // what the model allows for.
        const int late = observed.restartsAtMs.front() - *expected.restartAtMs;
        if (late < 0 || late > expected.restartLateMs + timing.marginMs) {
            differences += " restart time differs;";
        }
    }
    if (observed.destructionMs < expected.destructionMinMs - timing.marginMs ||
        observed.destructionMs > expected.destructionMaxMs) {
        differences += " destruction time differs;";
    }
    return differences;
}

std::string Describe(const Observed& observed)
{
    std::string text = "pages";
    for (const std::string& page : observed.pages) {
        text += " " + page;
    }
    text += "; restart calls at";
    for (const int at : observed.restartsAtMs) {
        text += " " + std::to_string(at) + " ms";
    }
    text += observed.restartsAtMs.empty() ? " none" : "";
    text += "; destruction " + std::to_string(observed.destructionMs) + " ms";
    return text;
}

struct Options
{
    std::uint32_t firstSeed = 1;
    int count = 1000000;
    int seconds = 60;
    bool replay = false;
    Timing timing;
};

bool Parse(int argc, char** argv, Options& options)
{
    const std::map<std::string, std::function<void(long)>> numbers = {
        {"--first-seed", [&](long v) { options.firstSeed = static_cast<std::uint32_t>(v); }},
        {"--count", [&](long v) { options.count = static_cast<int>(v); }},
        {"--seconds", [&](long v) { options.seconds = static_cast<int>(v); }},
        {"--replay",
         [&](long v) {
             options.firstSeed = static_cast<std::uint32_t>(v);
             options.count = 1;
             options.replay = true;
         }},
        {"--delay-ms", [&](long v) { options.timing.restartDelayMs = static_cast<int>(v); }},
        {"--margin-ms", [&](long v) { options.timing.marginMs = static_cast<int>(v); }},
    };
    for (int i = 1; i < argc; i += 2) {
        const auto option = numbers.find(argv[i]);
        char* end = nullptr;
        const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
        if (option == numbers.end() || end == argv[i + 1] || *end != '\0' || value < 0) {
            std::fprintf(stderr, "supervisor_lifecycle_campaign: bad option near \"%s\"\n", argv[i]);
            return false;
        }
        option->second(value);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!Parse(argc, argv, options)) {
        return 2;
    }
    // Signals are the steps' business, never the process's own.
    std::signal(SIGPIPE, SIG_IGN);
    const Clock::time_point end = Clock::now() + std::chrono::seconds(options.seconds);
    int runs = 0;
    int mismatches = 0;
    int void_ = 0;
    std::uint32_t seed = options.firstSeed;
    for (; runs < options.count && (options.replay || Clock::now() < end); ++runs, ++seed) {
        const std::vector<Step> steps = Generate(seed, options.timing);
        const std::optional<Observed> observed =
            Run(steps, options.timing, "seed " + std::to_string(seed) + ": " + Describe(steps)).Go();
        if (!observed) {
            std::fprintf(stderr, "supervisor_lifecycle_campaign: seed %u: the supervisor could not be made\n", seed);
            return 2;
        }
        // The model judges the steps as they were played: a step the
        // machine played late into a moment where the outcome turns makes
        // the sequence void rather than wrong.
        const Prediction expected = Predict(observed->played, options.timing);
        const std::string differences =
            expected.ambiguity.empty() ? Compare(expected, *observed, options.timing) : std::string();
        if (!differences.empty() || options.replay) {
            std::printf("seed %u:%s\n  steps:    %s\n  played:   %s\n  expected: %s\n  observed: %s\n  replay:   "
                        "supervisor_lifecycle_campaign --replay %u --delay-ms %d --margin-ms %d\n",
                        seed, differences.empty() ? " as expected" : differences.c_str(), Describe(steps).c_str(),
                        Describe(observed->played).c_str(), Describe(expected).c_str(), Describe(*observed).c_str(),
                        seed, options.timing.restartDelayMs, options.timing.marginMs);
            std::fflush(stdout);
        }
        mismatches += differences.empty() ? 0 : 1;
        void_ += expected.ambiguity.empty() ? 0 : 1;
    }
    std::printf("supervisor_lifecycle_campaign: %d sequences (seeds %u to %u), %d mismatches, %d void (played too "
                "late to judge)\n",
                runs, options.firstSeed, seed - 1, mismatches, void_);
    return mismatches == 0 ? 0 : 1;
}
