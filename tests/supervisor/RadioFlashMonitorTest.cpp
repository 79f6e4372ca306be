// The supervisor in the simulated printer (each case in a sandbox of its
// own: "/ramdisk/" exists there), on the virtual display, with a restart
// action of the test's instead of the system restart. The lifecycle's
// timing is the campaign's (LifecycleCampaign.cpp); these are the cases
// around it: its lifetime, the markers found at the start, and the parts
// the system may refuse.
#include "RadioFlashMonitor.h"

#include "Latch.h"
#include "OSTimerFactory.h"
#include "PagesShown.h"
#include "RefusingThreadFactory.h"
#include "ThreadFactory.h"

#include <host_process.h>
#include <screen/host_display.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

void CreateFile(const std::string& name)
{
    const int fd = open(("/ramdisk/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name;
    close(fd);
}

// Timers whose Start and Stop give chosen results, as timers the system
// refused (both -1) or would not arm (Start -1) do; they never fire.
class TimerResults : public OSTimerFactory
{
public:
    TimerResults(int startResult, int stopResult) : start_(startResult), stop_(stopResult) {}

    std::shared_ptr<OSTimer> GetSharedOSTimer(OSTimer::EventType type, std::function<void()> callback) override
    {
        return std::make_shared<Timer>(type, std::move(callback), start_, stop_);
    }
    std::unique_ptr<OSTimer> GetUniqueOSTimer(OSTimer::EventType type, std::function<void()> callback) override
    {
        return std::make_unique<Timer>(type, std::move(callback), start_, stop_);
    }

private:
    class Timer : public OSTimer
    {
    public:
        Timer(EventType type, std::function<void()> expired, int startResult, int stopResult)
            : OSTimer(type, std::move(expired)), start_(startResult), stop_(stopResult)
        {}
        int Start(unsigned int) override { return start_; }
        int Stop() override { return stop_; }
        bool IsRunning() const override { return false; }

    private:
        const int start_;
        const int stop_;
    };

    const int start_;
    const int stop_;
};

class RadioFlashMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        struct stat status = {};
        ASSERT_TRUE(host_process_namespace_is_private() == 1 && stat("/ramdisk", &status) == 0 &&
                    S_ISDIR(status.st_mode))
            << "needs the simulated printer: run inside tools/sandbox";
        factory_ = std::make_shared<ThreadFactory>(14);
    }

    // A restart action that counts its calls and opens restarted_.
    RadioFlashMonitor::Settings Counting(unsigned int delayMs)
    {
        RadioFlashMonitor::Settings settings;
        settings.restartDelayMs = delayMs;
        settings.restartAction = [this] {
            ++restarts_;
            restarted_.Open();
        };
        return settings;
    }

    std::shared_ptr<ThreadFactory> factory_;
    PagesShown pages_{UI_RESOURCES_DIR};
    std::atomic<int> restarts_{0};
    Latch restarted_;
};

// The exit notification runs on another thread, as the signal listener's
// does: it holds no reference, so the owner's release destroys everything
// before it returns.
TEST_F(RadioFlashMonitorTest, OwnersReleaseAfterTheExitNotificationDestroysEverythingOnItsThread)
{
    for (int cycle = 0; cycle < 20; ++cycle) {
        SCOPED_TRACE(cycle);
        auto supervisor = RadioFlashMonitor::Create(factory_, true, false, 0, Counting(600000));
        ASSERT_NE(nullptr, supervisor);
        const std::function<void(int)> notify = RadioFlashMonitor::ExitNotification(supervisor);
        std::thread listener([&notify] { notify(SIGTERM); });
        supervisor->WaitForExit();
        supervisor.reset();
        EXPECT_EQ(0, host_screen_window_count());
        listener.join();
    }
}

// The restart runs on the timer's thread while the supervisor is destroyed:
// destruction waits for it, and the screen stays until it is over. (With
// auto-confirm no result page holds the event thread, so only the restart
// can hold the destruction.)
TEST_F(RadioFlashMonitorTest, DestructionWaitsForARunningRestartBeforeTheScreenGoes)
{
    Latch mayFinish;
    RadioFlashMonitor::Settings settings = Counting(50);
    settings.restartAction = [&] {
        ++restarts_;
        restarted_.Open();
        mayFinish.WaitFor(seconds(60));
    };
    auto supervisor = RadioFlashMonitor::Create(factory_, true, false, 0, std::move(settings));
    ASSERT_NE(nullptr, supervisor);
    CreateFile("wifi.started");
    ASSERT_TRUE(restarted_.WaitFor(seconds(30)));

    auto destroying = std::async(std::launch::async, [&] { supervisor.reset(); });
    EXPECT_EQ(std::future_status::timeout, destroying.wait_for(milliseconds(500)));
    EXPECT_EQ(1, host_screen_window_count());
    mayFinish.Open();
    ASSERT_EQ(std::future_status::ready, destroying.wait_for(seconds(30)));
    EXPECT_EQ(0, host_screen_window_count());
    EXPECT_EQ(1, restarts_.load());
}

// The stop ends a waiting result page, and the restart that falls due while
// the program stops does not come.
TEST_F(RadioFlashMonitorTest, StopEndsAWaitingResultPageAndNoRestartFollows)
{
    constexpr unsigned int DelayMs = 300;
    auto supervisor = RadioFlashMonitor::Create(factory_, false, false, 0, Counting(DelayMs));
    ASSERT_NE(nullptr, supervisor);
    const auto armed = std::chrono::steady_clock::now();
    CreateFile("wifiupgrade.failed");
    ASSERT_EQ(1, host_screen_wait_for_event_waiter(30000));
    RadioFlashMonitor::ExitNotification(supervisor)(SIGTERM);
    std::this_thread::sleep_until(armed + milliseconds(2 * DelayMs));
    auto destroying = std::async(std::launch::async, [&] { supervisor.reset(); });
    ASSERT_EQ(std::future_status::ready, destroying.wait_for(seconds(30)));
    EXPECT_EQ(0, restarts_.load());
    EXPECT_EQ((std::vector<std::string>{"16", "17", "black"}), pages_.Pages());
}

// The RAM disk keeps markers until the printer restarts: one of an earlier
// run is not a result, one made since this run started is, also before the
// watch is in place.
TEST_F(RadioFlashMonitorTest, MarkerMadeSinceTheRunStartedCountsAndAnOlderOneDoesNot)
{
    CreateFile("wifi.started");
    const std::time_t earlier = std::time(nullptr);
    while (std::time(nullptr) == earlier) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    RadioFlashMonitor::Settings settings = Counting(600000);
    settings.runStart = std::time(nullptr);
    CreateFile("wifiupgrade.failed");
    auto supervisor = RadioFlashMonitor::Create(factory_, false, false, 0, std::move(settings));
    ASSERT_NE(nullptr, supervisor);
    // Both taken would show the success page first.
    ASSERT_TRUE(pages_.WaitFor("17", milliseconds(30000)));
    EXPECT_EQ((std::vector<std::string>{"16", "17"}), pages_.Pages());
}

// Without the restart timer, the event thread or the watcher the printer
// would wait for ever: there is no supervisor, and no page stays.
TEST_F(RadioFlashMonitorTest, SupervisorWithoutItsTimerEventThreadOrWatcherIsNotMadeAndLeavesNoPage)
{
    struct Refusal
    {
        const char* what;
        std::shared_ptr<ThreadFactory> threads;
        bool timerRefused;
    };
    const Refusal refusals[] = {
        {"restart timer", factory_, true},
        {"event thread",
         std::make_shared<RefusingThreadFactory>(14, std::set<std::string>{"RadioFlashMonitorEventThread"}), false},
        {"watcher thread", std::make_shared<RefusingThreadFactory>(14, std::set<std::string>{"FileSystemWatcher"}),
         false},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        RadioFlashMonitor::Settings settings = Counting(600000);
        if (refusal.timerRefused) {
            settings.timerFactory = std::make_unique<TimerResults>(-1, -1);
        }
        EXPECT_EQ(nullptr, RadioFlashMonitor::Create(refusal.threads, false, false, 0, std::move(settings)));
        EXPECT_EQ(0, host_screen_window_count());
    }
}

// A restart that cannot be armed comes at once instead of never.
TEST_F(RadioFlashMonitorTest, ResultWhoseRestartCannotBeArmedRestartsAtOnceWithoutAPage)
{
    RadioFlashMonitor::Settings settings = Counting(600000);
    settings.timerFactory = std::make_unique<TimerResults>(-1, 0);
    auto supervisor = RadioFlashMonitor::Create(factory_, false, false, 0, std::move(settings));
    ASSERT_NE(nullptr, supervisor);
    CreateFile("wifi.started");
    ASSERT_TRUE(restarted_.WaitFor(seconds(30)));
    supervisor.reset();
    EXPECT_EQ(1, restarts_.load());
    EXPECT_EQ((std::vector<std::string>{"16", "black"}), pages_.Pages());
}

// However the last reference goes: here inside the restart action, on the
// timer's own thread.
TEST_F(RadioFlashMonitorTest, LastReferenceReleasedInsideTheRestartActionEndsEverything)
{
    std::mutex holding;
    std::shared_ptr<RadioFlashMonitor> supervisor;
    RadioFlashMonitor::Settings settings = Counting(50);
    settings.restartAction = [&] {
        std::shared_ptr<RadioFlashMonitor> last;
        {
            std::lock_guard<std::mutex> lock(holding);
            last = std::move(supervisor);
        }
        last.reset();
        restarted_.Open();
    };
    {
        std::lock_guard<std::mutex> lock(holding);
        supervisor = RadioFlashMonitor::Create(factory_, true, false, 0, std::move(settings));
        ASSERT_NE(nullptr, supervisor);
    }
    CreateFile("wifi.started");
    ASSERT_TRUE(restarted_.WaitFor(seconds(30)));
    EXPECT_EQ(0, host_screen_window_count());
}

} // namespace
