#include <gtest/gtest.h>

#include "EmulationLimits.h"

#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

namespace {

// Runs one case in the probe process; its exit code names the failed check.
int RunProbe(const std::string& scenario)
{
    const std::string path = EXIT_SIGNAL_PROBE;
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(scenario.c_str()), nullptr};
    pid_t pid = -1;
    // The probe starts with nothing blocked, whatever this runner blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    const int rc = posix_spawn(&pid, path.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return -1000 - rc;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        return -WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

// The probe is a program of this build, started as the host starts it.
class ExitSignalWatcher : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string why = EmulationLimits::WhyCannotStart(EXIT_SIGNAL_PROBE); !why.empty()) {
            GTEST_SKIP() << why;
        }
    }
};

} // namespace

TEST_F(ExitSignalWatcher, SignalBeforeWatchStaysPendingAndIsHandledOnceListening)
{
    EXPECT_EQ(RunProbe("before-watch"), 0);
}

TEST_F(ExitSignalWatcher, SignalWithNoNotificationIsConsumedAndTheListenerWaitsOn)
{
    EXPECT_EQ(RunProbe("no-notification"), 0);
}

// Also once the watcher is gone: a second stop signal must not end the
// stopping program by its default action.
TEST_F(ExitSignalWatcher, SecondSignalStaysPendingAfterTheOneNotificationAndAfterDestruction)
{
    EXPECT_EQ(RunProbe("two-signals"), 0);
}

TEST_F(ExitSignalWatcher, SecondWatchIsRefused)
{
    EXPECT_EQ(RunProbe("watch-twice"), 0);
}

TEST_F(ExitSignalWatcher, LaterThreadsInheritTheBlockedSetAndItStaysBlockedOnceASignalWasHandled)
{
    EXPECT_EQ(RunProbe("mask"), 0);
}

TEST_F(ExitSignalWatcher, ListenerTheSystemRefusesLeavesTheOwnerToListenOnItsOwnThread)
{
    EXPECT_EQ(RunProbe("listener-refused"), 0);
}

TEST_F(ExitSignalWatcher, LastRegisteredNotificationRuns)
{
    EXPECT_EQ(RunProbe("last-registration"), 0);
}

TEST_F(ExitSignalWatcher, RemovedSignalIsNotWaitedFor)
{
    EXPECT_EQ(RunProbe("removed-signal"), 0);
}

TEST_F(ExitSignalWatcher, WatcherNeverWatchingIsDestroyedWithoutWaitingAndUnblocksTheSignals)
{
    EXPECT_EQ(RunProbe("unstarted"), 0);
}
