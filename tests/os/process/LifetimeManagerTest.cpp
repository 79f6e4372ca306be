#include "LifetimeManager.h"

#include "EmulationLimits.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ctx = LifetimeManager::ChildContext;

Ctx RunChild(const std::vector<std::string>& args, unsigned int timeoutMs)
{
    return lifetimeManager.CreateChildAndWait(args.front(), args, timeoutMs, 0, "", "");
}

// Polls until cond() holds; false once a generous deadline has passed.
template <typename Cond>
bool Eventually(Cond cond)
{
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// True once the process is gone entirely (collected, not a zombie).
bool EventuallyGone(int pid)
{
    return Eventually([pid] { return kill(pid, 0) == -1 && errno == ESRCH; });
}

// The reaper collects the child before it drops the entry: both are seen.
bool EventuallyCollectedAndForgotten(int pid)
{
    return EventuallyGone(pid) && Eventually([] { return !lifetimeManager.ChildrenExist(); });
}

// Ends a tracked child of this test, which the manager then collects.
void EndOwnChild(int pid)
{
    kill(pid, SIGKILL);
    EXPECT_TRUE(EventuallyCollectedAndForgotten(pid)) << "the child must not stay a zombie";
}

void IgnoreChildSignal(int)
{}

// A manager of the test's own beside the process-wide one; the SIGCHLD
// action is put back whatever the manager does.
class OwnLifetimeManager : public ::testing::Test
{
protected:
    void SetUp() override { sigaction(SIGCHLD, nullptr, &before); }
    void TearDown() override { sigaction(SIGCHLD, &before, nullptr); }

    struct sigaction before = {};
};

int PcloseStatus(const char* command)
{
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr) {
        return -2;
    }
    return pclose(pipe);
}

} // namespace

// --- starting and waiting

TEST(LifetimeManagerWait, InfiniteWaitReportsTheExitStatus)
{
    const Ctx ctx = RunChild({"sh", "-c", "exit 3"}, LifetimeManager::InfiniteTimeout);
    EXPECT_EQ(ctx.startError, 0);
    EXPECT_EQ(ctx.state, LifetimeManager::StateTerminated);
    ASSERT_TRUE(WIFEXITED(ctx.status));
    EXPECT_EQ(WEXITSTATUS(ctx.status), 3);
    EXPECT_GT(ctx.pid, 0);
    EXPECT_FALSE(lifetimeManager.ChildrenExist());
}

TEST(LifetimeManagerWait, EmptyArgumentsRunTheProgramAlone)
{
    const Ctx ctx = lifetimeManager.CreateChildAndWait("true", {}, LifetimeManager::InfiniteTimeout, 0, "", "");
    EXPECT_EQ(ctx.state, LifetimeManager::StateTerminated);
    EXPECT_TRUE(WIFEXITED(ctx.status) && WEXITSTATUS(ctx.status) == 0);
}

TEST(LifetimeManagerWait, ZeroTimeoutReturnsAtOnceWithTheChildRunningAndItIsCollectedLater)
{
    const Ctx ctx = RunChild({"sleep", "0.5"}, 0);
    EXPECT_EQ(ctx.startError, 0);
    EXPECT_EQ(ctx.state, LifetimeManager::StateRunning) << "returned without waiting for the child";
    ASSERT_GT(ctx.pid, 0);
    EXPECT_TRUE(EventuallyCollectedAndForgotten(ctx.pid)) << "the child must not stay a zombie";
}

TEST(LifetimeManagerWait, TimedWaitEndsWithTheChildOrAfterTheTimeout)
{
    const Ctx quick = RunChild({"true"}, 10000);
    EXPECT_EQ(quick.state, LifetimeManager::StateTerminated);

    const auto start = Clock::now();
    const Ctx slow = RunChild({"sleep", "30"}, 100);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(slow.state, LifetimeManager::StateRunning);
    ASSERT_GT(slow.pid, 0);
    EndOwnChild(slow.pid);
}

TEST(LifetimeManagerWait, UnknownProgramReportsTheStartError)
{
    if (const std::string why = EmulationLimits::WhySpawnHidesExecFailures(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const Ctx ctx = RunChild({"/nonexistent/program"}, LifetimeManager::InfiniteTimeout);
    EXPECT_EQ(ctx.startError, ENOENT);
    EXPECT_EQ(ctx.state, LifetimeManager::StateNone);
    EXPECT_FALSE(lifetimeManager.ChildrenExist());

    int pid = 0;
    EXPECT_EQ(lifetimeManager.CreateChildProcess(pid, "/nonexistent/program", {}, 0, "", ""), ENOENT);
}

TEST(LifetimeManagerWait, ManyChildrenFromTwoThreadsAllEndWithoutDeadlock)
{
    auto batch = [](int* ok) {
        for (int i = 0; i < 15; ++i) {
            const Ctx ctx = RunChild({"sh", "-c", "exit 5"}, LifetimeManager::InfiniteTimeout);
            if (ctx.state == LifetimeManager::StateTerminated && WEXITSTATUS(ctx.status) == 5) {
                ++*ok;
            }
        }
    };
    int a = 0, b = 0;
    std::thread first(batch, &a), second(batch, &b);
    first.join();
    second.join();
    EXPECT_EQ(a, 15);
    EXPECT_EQ(b, 15);
}

TEST(LifetimeManagerWait, UnknownPidNotificationLeavesTheTrackedChildAlone)
{
    const Ctx tracked = RunChild({"sleep", "30"}, 0);
    ASSERT_GT(tracked.pid, 0);
    lifetimeManager.NotifyChildTerminated(tracked.pid + 100000, 0);
    EXPECT_TRUE(lifetimeManager.ChildrenExist()) << "the running child is still tracked";
    EndOwnChild(tracked.pid);
}

// --- a manager's own resources

TEST_F(OwnLifetimeManager, DestructionPutsTheFormerChildSignalActionBack)
{
    {
        LifetimeManager manager(&IgnoreChildSignal);
        struct sigaction during = {};
        sigaction(SIGCHLD, nullptr, &during);
        EXPECT_EQ(during.sa_handler, &IgnoreChildSignal);
    }
    struct sigaction after = {};
    sigaction(SIGCHLD, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "a late child must find no handler of the destroyed manager";
}

TEST_F(OwnLifetimeManager, WithoutItsWakeUpPipeItStartsNoChildAndReportsTheError)
{
    // No descriptor free while the manager is built: its pipe() fails.
    rlimit limit = {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit none = limit;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    LifetimeManager manager(&IgnoreChildSignal);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

    // Timed, so that a manager that starts the child anyway shows here
    // instead of waiting for ever for a child it cannot collect.
    const Ctx ctx = manager.CreateChildAndWait("true", {}, 200, 0, "", "");
    EXPECT_EQ(ctx.startError, EMFILE);
    EXPECT_EQ(ctx.pid, -1) << "no child started";
    EXPECT_EQ(ctx.state, LifetimeManager::StateNone);
    EXPECT_FALSE(manager.ChildrenExist());
}

// --- children that are not the manager's

TEST(LifetimeManagerForeignChildren, PopenChildIsLeftToPcloseWhileNoChildIsTracked)
{
    ASSERT_FALSE(lifetimeManager.ChildrenExist());
    const int status = PcloseStatus("exit 7");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(LifetimeManagerForeignChildren, PopenChildIsLeftToPcloseEvenWhileAChildIsTracked)
{
    const Ctx tracked = RunChild({"sleep", "30"}, 0);
    ASSERT_GT(tracked.pid, 0);
    ASSERT_TRUE(lifetimeManager.ChildrenExist());
    for (int i = 0; i < 5; ++i) {
        const int status = PcloseStatus("exit 6");
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 6);
    }
    EXPECT_TRUE(lifetimeManager.ChildrenExist()) << "the tracked child is still the manager's";
    EndOwnChild(tracked.pid);
}

TEST(LifetimeManagerForeignChildren, ForkedChildIsLeftToItsOwnWaitpid)
{
    const Ctx tracked = RunChild({"sleep", "30"}, 0);
    ASSERT_GT(tracked.pid, 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        _exit(9);
    }
    int status = 0;
    pid_t got;
    do {
        got = waitpid(child, &status, 0);
    } while (got == -1 && errno == EINTR);
    EXPECT_EQ(got, child);
    EXPECT_EQ(WEXITSTATUS(status), 9);
    EXPECT_TRUE(lifetimeManager.ChildrenExist()) << "the tracked child is still the manager's";
    EndOwnChild(tracked.pid);
}

// --- the spawnp the manager starts children with

TEST(Spawnp, ChildGetsOnlyTheMappedDescriptors)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0); // not close-on-exec: only the map keeps it out
    const std::string probe = "exec 2>/dev/null; true >&" + std::to_string(fds[1]);
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(probe.c_str()), nullptr};
    const int map[] = {0, 1, 2};
    const pid_t pid = spawnp("sh", 3, map, nullptr, argv, nullptr);
    ASSERT_GT(pid, 0);
    int status = 0;
    while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    EXPECT_NE(WEXITSTATUS(status), 0) << "the unmapped pipe must be closed in the child";

    const int mapWithPipe[] = {0, 1, 2, fds[1]};
    const std::string onThree = "exec 2>/dev/null; true >&3";
    char* argv3[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(onThree.c_str()), nullptr};
    const pid_t second = spawnp("sh", 4, mapWithPipe, nullptr, argv3, nullptr);
    ASSERT_GT(second, 0);
    while (waitpid(second, &status, 0) == -1 && errno == EINTR) {
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a mapped descriptor appears at its index";
    close(fds[0]);
    close(fds[1]);
}

TEST(Spawnp, MissingProgramFailsWithErrno)
{
    if (const std::string why = EmulationLimits::WhySpawnHidesExecFailures(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    char* argv[] = {const_cast<char*>("nope"), nullptr};
    errno = 0;
    EXPECT_EQ(spawnp("/nonexistent/nope", 0, nullptr, nullptr, argv, nullptr), -1);
    EXPECT_EQ(errno, ENOENT);
}
