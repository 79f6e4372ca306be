// The supervisor in the simulated printer (each case in a sandbox of its
// own: "/ramdisk/" exists there), on the virtual display, with a restart
// action of the test's instead of the system restart.
#include "RadioFlashMonitor.h"

#include "ThreadFactory.h"

#include <host_process.h>
#include <screen/host_display.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
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

// A one-way latch with a deadline on its wait.
class Latch
{
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
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

    std::shared_ptr<ThreadFactory> factory_;
};

// The exit notification wakes the owner while it still holds its locked
// reference: the owner's release must still be the one that destroys the
// supervisor, so that everything is gone when it returns.
TEST_F(RadioFlashMonitorTest, ReleaseAfterTheExitNotificationDestroysOnTheReleasingThread)
{
    RadioFlashMonitor::RestartSettings restart;
    restart.delayMs = 600000;
    for (int cycle = 0; cycle < 20; ++cycle) {
        SCOPED_TRACE(cycle);
        auto supervisor = RadioFlashMonitor::Create(factory_, true, false, 0, restart);
        const std::function<void(int)> notify = RadioFlashMonitor::ExitNotification(supervisor);
        std::thread listener([&notify] { notify(SIGTERM); });
        supervisor->WaitForExit();
        RadioFlashMonitor::Release(std::move(supervisor));
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
    Latch restarting;
    Latch mayFinish;
    std::atomic<int> restarts{0};
    RadioFlashMonitor::RestartSettings restart;
    restart.delayMs = 50;
    restart.action = [&] {
        restarts.fetch_add(1);
        restarting.Open();
        mayFinish.WaitFor(seconds(60));
    };
    auto supervisor = RadioFlashMonitor::Create(factory_, true, false, 0, restart);
    CreateFile("wifi.started");
    ASSERT_TRUE(restarting.WaitFor(seconds(30)));

    auto destroying = std::async(std::launch::async, [&] { RadioFlashMonitor::Release(std::move(supervisor)); });
    EXPECT_EQ(std::future_status::timeout, destroying.wait_for(milliseconds(500)));
    EXPECT_EQ(1, host_screen_window_count());
    mayFinish.Open();
    ASSERT_EQ(std::future_status::ready, destroying.wait_for(seconds(30)));
    EXPECT_EQ(0, host_screen_window_count());
    EXPECT_EQ(1, restarts.load());
}

// A stop while the result page waits for a touch ends that wait: the stop
// does not last until the restart.
TEST_F(RadioFlashMonitorTest, StopEndsAWaitingResultPageAndNoRestartFollows)
{
    std::atomic<int> restarts{0};
    RadioFlashMonitor::RestartSettings restart;
    restart.delayMs = 600000;
    restart.action = [&] { restarts.fetch_add(1); };
    auto supervisor = RadioFlashMonitor::Create(factory_, false, false, 0, restart);
    CreateFile("wifiupgrade.failed");
    ASSERT_EQ(1, host_screen_wait_for_event_waiter(30000));
    auto destroying = std::async(std::launch::async, [&] { RadioFlashMonitor::Release(std::move(supervisor)); });
    ASSERT_EQ(std::future_status::ready, destroying.wait_for(seconds(30)));
    EXPECT_EQ(0, restarts.load());
}

} // namespace
