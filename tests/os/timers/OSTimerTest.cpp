#include "EventFactory.h"

#include "EmulationLimits.h"
#include "OSTimerFactory.h"
#include "PosixOSTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the callbacks touch; it outlives every timer of a test.
struct Expiries
{
    std::atomic<int> count{0};
    std::atomic<long long> firstAtMs{-1};
    Clock::time_point origin = Clock::now();
    std::unique_ptr<SimpleEvent> fired = EventFactory::GetUniqueSimpleEvent(false);

    std::function<void()> Callback()
    {
        return [this] {
            long long expected = -1;
            firstAtMs.compare_exchange_strong(expected,
                                              std::chrono::duration_cast<milliseconds>(Clock::now() - origin).count());
            ++count;
            fired->Signal();
        };
    }

    // True when no further expiry is reported within quietMs.
    bool StaysQuietFor(unsigned int quietMs)
    {
        fired->Reset();
        return !fired->Wait(quietMs);
    }
};

std::unique_ptr<OSTimer> MakeTimer(OSTimer::EventType type, std::function<void()> callback)
{
    return OSTimerFactory::Create()->GetUniqueOSTimer(type, std::move(callback));
}

constexpr unsigned int Generous = 20000;

// Timers that notify a thread, where the system has them.
class OSTimerOneShot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string why = EmulationLimits::WhyNoThreadTimers(); !why.empty()) {
            GTEST_SKIP() << why;
        }
    }
};
using OSTimerPeriodic = OSTimerOneShot;

} // namespace

// --- one-shot timers

TEST_F(OSTimerOneShot, RunsOnceNoEarlierThanTheDelay)
{
    Expiries expiries;
    auto timer = MakeTimer(OSTimer::OneShot, expiries.Callback());
    ASSERT_EQ(timer->Start(150), 0);
    ASSERT_TRUE(expiries.fired->Wait(Generous));
    EXPECT_GE(expiries.firstAtMs.load(), 150);
    EXPECT_TRUE(expiries.StaysQuietFor(200));
    EXPECT_EQ(expiries.count.load(), 1);
    EXPECT_FALSE(timer->IsRunning());
}

TEST_F(OSTimerOneShot, StartingAgainReArmsFromTheNewCall)
{
    // The restart delay's case, scaled down: 300 ms, re-armed after 200 ms,
    // fires once, 300 ms after the second call.
    Expiries expiries;
    auto timer = MakeTimer(OSTimer::OneShot, expiries.Callback());
    ASSERT_EQ(timer->Start(300), 0);
    std::this_thread::sleep_for(milliseconds(200));
    const long long rearmedAtMs = std::chrono::duration_cast<milliseconds>(Clock::now() - expiries.origin).count();
    ASSERT_EQ(timer->Start(300), 0);
    ASSERT_TRUE(expiries.fired->Wait(Generous));
    if (rearmedAtMs >= 250) {
        GTEST_SKIP() << "the machine overslept the first arming (" << rearmedAtMs << " ms); the case is void";
    }
    EXPECT_GE(expiries.firstAtMs.load(), rearmedAtMs + 300);
    EXPECT_TRUE(expiries.StaysQuietFor(400));
    EXPECT_EQ(expiries.count.load(), 1);
}

TEST_F(OSTimerOneShot, IsRunningWhileArmedAndNotAfterExpiry)
{
    Expiries expiries;
    auto timer = MakeTimer(OSTimer::OneShot, expiries.Callback());
    EXPECT_FALSE(timer->IsRunning()) << "created disarmed";
    ASSERT_EQ(timer->Start(1000), 0);
    EXPECT_TRUE(timer->IsRunning());
    ASSERT_EQ(timer->Start(20), 0);
    ASSERT_TRUE(expiries.fired->Wait(Generous));
    EXPECT_FALSE(timer->IsRunning());
}

TEST_F(OSTimerOneShot, StopBeforeExpiryPreventsTheCallback)
{
    Expiries expiries;
    auto timer = MakeTimer(OSTimer::OneShot, expiries.Callback());
    ASSERT_EQ(timer->Start(150), 0);
    EXPECT_EQ(timer->Stop(), 0);
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_FALSE(expiries.fired->Wait(300u));
    EXPECT_EQ(expiries.count.load(), 0);
}

TEST_F(OSTimerOneShot, StartZeroLeavesTheTimerDisarmed)
{
    Expiries expiries;
    auto timer = MakeTimer(OSTimer::OneShot, expiries.Callback());
    ASSERT_EQ(timer->Start(1000), 0);
    EXPECT_EQ(timer->Start(0), 0);
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_FALSE(expiries.fired->Wait(100u));
}

TEST_F(OSTimerOneShot, EmptyCallbackMakesExpiriesDoNothing)
{
    // Called directly: an expiry on the notification thread could not be
    // ordered before the timer's destruction without a callback to report it.
    auto timer = OSTimerFactory::Create()->GetSharedOSTimer(OSTimer::OneShot, nullptr);
    timer->OnTimerExpired();
    EXPECT_EQ(timer->GetEventType(), OSTimer::OneShot);
    EXPECT_FALSE(timer->IsRunning());
}

// --- lifetime: no callback once the destructor has returned

// Notifications still on their way when a timer goes: each round deletes a
// 1 ms timer at a moment scattered around its expiry, and every callback
// checks, as it starts and as it ends, that its timer's destructor has not
// returned yet. The records outlive the timers, so a late callback is
// counted rather than touching freed memory of the test.
TEST_F(OSTimerOneShot, NoCallbackRunsOrIsStillRunningOnceTheDestructorHasReturned)
{
    constexpr int Rounds = 1000;
    static std::atomic<bool> destroyed[Rounds];
    static std::atomic<int> late{0};
    static std::atomic<int> ran{0};
    for (int round = 0; round < Rounds; ++round) {
        destroyed[round] = false;
        auto timer = MakeTimer(OSTimer::OneShot, [round] {
            late += destroyed[round].load() ? 1 : 0;
            ++ran;
            // Long enough for a destructor that does not wait to overtake it.
            const auto until = Clock::now() + std::chrono::microseconds(200);
            while (Clock::now() < until) {
            }
            late += destroyed[round].load() ? 1 : 0;
        });
        ASSERT_EQ(timer->Start(1), 0);
        const auto expiry = Clock::now() + milliseconds(1);
        const auto deleteAt = expiry + std::chrono::microseconds((round % 21 - 10) * 10);
        while (Clock::now() < deleteAt) {
        }
        timer.reset();
        destroyed[round] = true;
    }
    EXPECT_EQ(late.load(), 0) << "of " << ran.load() << " callbacks in " << Rounds << " rounds";
}

// A callback may destroy its own timer: the destructor does not wait for
// the callback that runs it, and the callback runs to its end.
TEST_F(OSTimerOneShot, CallbackThatDestroysItsOwnTimerRunsToItsEnd)
{
    struct Owner
    {
        std::mutex mutex;
        std::unique_ptr<OSTimer> timer;
        std::unique_ptr<SimpleEvent> done = EventFactory::GetUniqueSimpleEvent(false);
    };
    auto owner = std::make_shared<Owner>();
    {
        std::lock_guard<std::mutex> lock(owner->mutex);
        owner->timer = MakeTimer(OSTimer::OneShot, [owner = owner.get()] {
            std::lock_guard<std::mutex> own(owner->mutex);
            owner->timer.reset();
            owner->done->Signal();
        });
        ASSERT_EQ(owner->timer->Start(10), 0);
    }
    ASSERT_TRUE(owner->done->Wait(Generous));
    std::lock_guard<std::mutex> lock(owner->mutex);
    EXPECT_EQ(owner->timer, nullptr);
}

// --- periodic timers

TEST_F(OSTimerPeriodic, FiresEveryPeriodUntilStopped)
{
    Expiries expiries;
    {
        auto timer = OSTimerFactory::Create()->GetSharedOSTimer(OSTimer::Periodic, expiries.Callback());
        ASSERT_EQ(timer->Start(30), 0);
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(expiries.fired->Wait(Generous));
            expiries.fired->Reset();
        }
        EXPECT_GE(expiries.firstAtMs.load(), 30);
        EXPECT_TRUE(timer->IsRunning());
        EXPECT_EQ(timer->Stop(), 0);
        EXPECT_FALSE(timer->IsRunning());
        // Expiries from before the stop may still be reported, late on a
        // loaded machine; a running 30 ms timer would never leave a gap of
        // 200 ms, a stopped one soon does.
        bool quiet = false;
        for (int attempt = 0; attempt < 25 && !quiet; ++attempt) {
            quiet = expiries.StaysQuietFor(200);
        }
        EXPECT_TRUE(quiet) << "the stopped timer keeps firing";
    }
    EXPECT_GE(expiries.count.load(), 3);
}

// --- arming and failures

TEST(OSTimerArming, SplitsMillisecondsIntoSecondsAndNanoseconds)
{
    const itimerspec once = PosixOSTimer::ArmingFor(1500, OSTimer::OneShot);
    EXPECT_EQ(once.it_value.tv_sec, 1);
    EXPECT_EQ(once.it_value.tv_nsec, 500000000);
    EXPECT_EQ(once.it_interval.tv_sec, 0);
    EXPECT_EQ(once.it_interval.tv_nsec, 0);

    const itimerspec every = PosixOSTimer::ArmingFor(15000, OSTimer::Periodic);
    EXPECT_EQ(every.it_value.tv_sec, 15);
    EXPECT_EQ(every.it_value.tv_nsec, 0);
    EXPECT_EQ(every.it_interval.tv_sec, 15);

    const itimerspec largest = PosixOSTimer::ArmingFor(0xFFFFFFFFu, OSTimer::OneShot);
    EXPECT_EQ(largest.it_value.tv_sec, 4294967);
    EXPECT_EQ(largest.it_value.tv_nsec, 295000000);
}

TEST(OSTimerArming, TimerTheSystemRefusedFailsEveryOperationAndIsNotRunning)
{
    // A process allowed no pending signals cannot create a timer; the child
    // runs the case so that the limit never reaches this process.
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit none = {0, 0};
        if (setrlimit(RLIMIT_SIGPENDING, &none) != 0) {
            _exit(10);
        }
        PosixOSTimer timer(OSTimer::OneShot, [] {});
        int code = 0;
        if (timer.IsCreated()) {
            code |= 1;
        }
        if (timer.Start(100) != -1) {
            code |= 2;
        }
        if (timer.IsRunning()) {
            code |= 4;
        }
        if (timer.Stop() != -1) {
            code |= 8;
        }
        _exit(code);
    }
    int status = 0;
    while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
