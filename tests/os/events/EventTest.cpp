#include "EventFactory.h"
#include "PosixEvent.h"
#include "SimpleEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits until cond() holds, polling; false after a generous bound.
template <typename Cond>
bool Eventually(Cond cond)
{
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

constexpr int NoRealTimeRights = 77;

void* SignalOnce(void* event)
{
    static_cast<Event*>(event)->Signal(1);
    return nullptr;
}

// In a forked process pinned to one processor: a SCHED_RR waiter of
// priority 2 frees the event as soon as a priority-1 signaller has woken it.
// The waiter preempts the signaller inside its Signal call, so the signaller
// runs on only once the waiter blocks. Exits 0 after all rounds.
[[noreturn]] void FreeEventOnOneProcessorAgainstALowerPrioritySignaller()
{
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_param waiterPriority{};
    waiterPriority.sched_priority = 2;
    if (sched_setaffinity(0, sizeof one, &one) != 0 ||
        pthread_setschedparam(pthread_self(), SCHED_RR, &waiterPriority) != 0) {
        _exit(NoRealTimeRights);
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attributes, SCHED_RR);
    sched_param signallerPriority{};
    signallerPriority.sched_priority = 1;
    pthread_attr_setschedparam(&attributes, &signallerPriority);
    for (int round = 0; round < 20; ++round) {
        auto* event = new PosixEvent(true);
        pthread_t signaller;
        if (pthread_create(&signaller, &attributes, &SignalOnce, event) != 0) {
            _exit(NoRealTimeRights);
        }
        event->WaitOr(1);
        delete event;
        pthread_join(signaller, nullptr);
    }
    _exit(0);
}

} // namespace

// --- bit merging and clearing

TEST(EventBits, AnyBitWaitReturnsWholeWordAndAutoResetClearsOnlyMaskBits)
{
    auto event = EventFactory::GetUniqueEvent(true);
    event->Signal(1);
    event->Signal(4);
    EXPECT_EQ(event->WaitOr(2 | 4), 5u);
    EXPECT_TRUE(event->IsSignalled(1));
    EXPECT_FALSE(event->IsSignalled(4));
}

TEST(EventBits, ManualResetEventKeepsBitsUntilReset)
{
    auto event = EventFactory::GetUniqueEvent(false);
    event->Signal(8);
    EXPECT_EQ(event->WaitOr(8), 8u);
    EXPECT_EQ(event->WaitOr(8, 0), 8u);
    EXPECT_EQ(event->ResetFlags(8), 0);
    EXPECT_EQ(event->WaitOr(8, 0), 0u);
}

TEST(EventBits, AllBitWaitNeedsEveryBitAndClearsOnlyThoseOnAutoReset)
{
    auto event = EventFactory::GetUniqueEvent(true);
    event->Signal(1 | 8);
    EXPECT_FALSE(event->WaitAnd(1 | 2, 0));
    EXPECT_TRUE(event->IsSignalled(1)) << "a failed wait clears nothing";
    event->Signal(2);
    EXPECT_TRUE(event->WaitAnd(1 | 2));
    EXPECT_FALSE(event->IsSignalled(1 | 2));
    EXPECT_TRUE(event->IsSignalled(8));
}

TEST(EventBits, TwoSignalsOfOneBitBeforeAWaitCountAsOne)
{
    auto simple = EventFactory::GetUniqueSimpleEvent(true);
    simple->Signal();
    simple->Signal();
    EXPECT_TRUE(simple->Wait());
    EXPECT_FALSE(simple->Wait(20u)) << "the single bit was consumed";
}

TEST(EventBits, SimpleEventResetClearsItsBit)
{
    auto simple = EventFactory::GetSharedSimpleEvent(false);
    simple->Signal();
    EXPECT_TRUE(simple->IsSignalled());
    EXPECT_EQ(simple->Reset(), 0);
    EXPECT_FALSE(simple->IsSignalled());
    EXPECT_FALSE(simple->Wait(0u));
}

TEST(EventBits, SignalWakesEveryWaiterOnItsOwnMask)
{
    auto event = EventFactory::GetSharedEvent(false);
    std::atomic<unsigned int> seenA{0}, seenB{0};
    std::thread a([&] { seenA = event->WaitOr(1); });
    std::thread b([&] { seenB = event->WaitOr(2); });
    event->Signal(1 | 2);
    a.join();
    b.join();
    EXPECT_EQ(seenA.load(), 3u);
    EXPECT_EQ(seenB.load(), 3u);
}

TEST(EventBits, AutoResetBitIsConsumedByExactlyOneOfTwoWaiters)
{
    auto event = EventFactory::GetSharedEvent(true);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (event->WaitOr(1, 300) != 0) {
            ++woken;
        }
    };
    std::thread a(waiter), b(waiter);
    event->Signal(1);
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

// --- time-outs

TEST(EventTimeout, ZeroTimeoutOnlyTestsTheBits)
{
    auto event = EventFactory::GetUniqueEvent(true);
    const auto start = Clock::now();
    EXPECT_EQ(event->WaitOr(1, 0), 0u);
    EXPECT_FALSE(event->WaitAnd(1, 0));
    EXPECT_FALSE(event->Wait([](unsigned int f) { return f != 0; }, 0));
    EXPECT_LT(MsSince(start), 2000);
    event->Signal(1);
    EXPECT_EQ(event->WaitOr(1, 0), 1u);
}

TEST(EventTimeout, HundredMillisecondWaitGivesUpNoEarlierThan101Ms)
{
    auto event = EventFactory::GetUniqueEvent(true);
    for (int form = 0; form < 3; ++form) {
        const auto start = Clock::now();
        bool got = true;
        if (form == 0) {
            got = event->WaitOr(1, 100) != 0;
        } else if (form == 1) {
            got = event->WaitAnd(1, 100);
        } else {
            got = event->Wait([](unsigned int f) { return f == 1; }, 100);
        }
        const auto elapsed = Clock::now() - start;
        EXPECT_FALSE(got);
        EXPECT_GE(elapsed, std::chrono::milliseconds(101)) << "form " << form;
        EXPECT_LT(elapsed, std::chrono::seconds(10)) << "form " << form;
    }
}

TEST(EventTimeout, AllBitsTimeoutWaitsWithoutLimitUntilSignalled)
{
    auto event = EventFactory::GetSharedEvent(true);
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        event->Signal(2);
    });
    const auto start = Clock::now();
    EXPECT_EQ(event->WaitOr(2, Event::NoTimeout), 2u);
    EXPECT_GE(MsSince(start), 140);
    signaller.join();

    std::thread again([&] { event->Signal(4); });
    EXPECT_TRUE(event->WaitAnd(4, Event::NoTimeout));
    again.join();
}

TEST(EventTimeout, TimedOutWaitClearsNoFlags)
{
    auto event = EventFactory::GetUniqueEvent(true);
    event->Signal(1);
    EXPECT_EQ(event->WaitOr(2, 5), 0u);
    EXPECT_FALSE(event->WaitAnd(1 | 2, 5));
    EXPECT_TRUE(event->IsSignalled(1));
}

TEST(EventDeadline, IsNowForZeroAndOneMillisecondLongerOtherwise)
{
    const timespec now{100, 999500000};
    const timespec zero = PosixEvent::AddWaitTime(now, 0);
    EXPECT_EQ(zero.tv_sec, 100);
    EXPECT_EQ(zero.tv_nsec, 999500000);

    const timespec carry = PosixEvent::AddWaitTime(now, 1); // + 2 ms
    EXPECT_EQ(carry.tv_sec, 101);
    EXPECT_EQ(carry.tv_nsec, 1500000);

    const timespec longer = PosixEvent::AddWaitTime(timespec{5, 0}, 1500);
    EXPECT_EQ(longer.tv_sec, 6);
    EXPECT_EQ(longer.tv_nsec, 501000000);

    const timespec largest = PosixEvent::AddWaitTime(timespec{0, 0}, 0xFFFFFFFEu);
    EXPECT_EQ(largest.tv_sec, 4294967);
    EXPECT_EQ(largest.tv_nsec, 295000000);
}

TEST(EventDeadline, LiesOnTheMonotonicClock)
{
    timespec before{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    const timespec deadline = PosixEvent::CalculateWakeUpTime(1000);
    const long long delta =
        (deadline.tv_sec - before.tv_sec) * 1000LL + (deadline.tv_nsec - before.tv_nsec) / 1000000LL;
    EXPECT_GE(delta, 1000);
    EXPECT_LT(delta, 11000);
}

// --- predicate waits

TEST(EventPredicate, AutoResetClearsTheWholeWordAndUntimedFormReturnsItFirst)
{
    auto event = EventFactory::GetUniqueEvent(true);
    event->Signal(1 | 2 | 16);
    EXPECT_EQ(event->Wait([](unsigned int f) { return (f & 2) != 0; }), 19u);
    EXPECT_FALSE(event->IsSignalled(0xFFFFFFFFu));
}

TEST(EventPredicate, TimedFormReportsTruthAndManualResetKeepsTheWord)
{
    auto event = EventFactory::GetSharedEvent(false);
    std::thread signaller([&] { event->Signal(6); });
    EXPECT_TRUE(event->Wait([](unsigned int f) { return f == 6; }, 10000));
    signaller.join();
    EXPECT_TRUE(event->IsSignalled(6));
}

TEST(EventPredicate, PredicateHoldingForAnEmptyWordSucceedsWithoutLimit)
{
    auto event = EventFactory::GetUniqueEvent(true);
    EXPECT_TRUE(event->Wait([](unsigned int f) { return f == 0; }, Event::NoTimeout));
}

TEST(EventPredicate, SimpleEventForwardsThePredicate)
{
    auto simple = EventFactory::GetUniqueSimpleEvent(true);
    simple->Signal();
    EXPECT_EQ(simple->Wait([](unsigned int f) { return f == 1; }), 1u);
    EXPECT_FALSE(simple->IsSignalled());
}

TEST(EventPredicate, EmptyPredicateFailsAtOnceAndLeavesTheEventUsable)
{
    auto event = EventFactory::GetUniqueEvent(true);
    event->Signal(1);
    EXPECT_EQ(event->Wait(std::function<bool(unsigned int)>()), 0u);
    EXPECT_FALSE(event->Wait(std::function<bool(unsigned int)>(), 50));
    EXPECT_FALSE(event->Wait(std::function<bool(unsigned int)>(), Event::NoTimeout));
    EXPECT_TRUE(event->IsSignalled(1)) << "a failed wait clears nothing";
    std::thread signaller([&] { event->Signal(2); });
    EXPECT_EQ(event->WaitOr(2, 20000), 3u) << "the lock was left free";
    signaller.join();
}

TEST(EventPredicate, ThrowingPredicateLeavesTheEventUnlockedAndNotWaitedOn)
{
    auto event = EventFactory::GetUniqueEvent(true);
    const auto throwing = [](unsigned int) -> bool { throw std::runtime_error("predicate"); };
    EXPECT_THROW(event->Wait(throwing, 50), std::runtime_error);
    EXPECT_FALSE(event->IsWaiting());
    std::thread signaller([&] { event->Signal(2); });
    EXPECT_EQ(event->WaitOr(2, 20000), 2u) << "the lock was left free";
    signaller.join();
}

// --- lifetime and the waiting indicator

TEST(EventLifetime, WaitingIndicatorIsSetOnlyWhileAThreadWaits)
{
    auto simple = EventFactory::GetSharedSimpleEvent(true);
    EXPECT_FALSE(simple->IsWaiting());
    std::thread waiter([&] { simple->Wait(); });
    EXPECT_TRUE(Eventually([&] { return simple->IsWaiting(); }));
    simple->Signal();
    waiter.join();
    EXPECT_FALSE(simple->IsWaiting());
}

TEST(EventLifetime, CountsLiveEvents)
{
    const int before = Event::GetNumberOfEvents();
    {
        auto a = EventFactory::GetUniqueEvent(true);
        auto b = EventFactory::GetSharedSimpleEvent(false);
        EXPECT_EQ(Event::GetNumberOfEvents(), before + 2);
    }
    EXPECT_EQ(Event::GetNumberOfEvents(), before);
}

TEST(EventLifetime, EventMayBeDestroyedAsSoonAsItsWaiterReturns)
{
    // The waiter frees the event the moment its wait returns, as owners of a
    // thread-finished event do; the signaller must no longer touch it then.
    for (int round = 0; round < 300; ++round) {
        auto* event = new PosixEvent(true);
        std::thread signaller([event] { event->Signal(1); });
        event->WaitOr(1);
        delete event;
        signaller.join();
    }
}

TEST(EventLifetime, HigherPriorityWaiterFreesTheEventWhileTheSignallerIsStillInsideSignal)
{
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        FreeEventOnOneProcessorAgainstALowerPrioritySignaller();
    }
    int status = 0;
    pid_t ended = 0;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the destruction did not finish: the waiter keeps the processor from the signaller";
    }
    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (WEXITSTATUS(status) == NoRealTimeRights) {
        GTEST_SKIP() << "no real-time scheduling rights here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(EventLifetime, ManySignalsAndWaitsAcrossThreadsLoseNothing)
{
    auto request = EventFactory::GetSharedEvent(true);
    auto reply = EventFactory::GetSharedEvent(true);
    constexpr int Rounds = 2000;
    std::thread echo([&] {
        for (int i = 0; i < Rounds; ++i) {
            request->WaitOr(1);
            reply->Signal(2);
        }
    });
    int answered = 0;
    for (int i = 0; i < Rounds; ++i) {
        request->Signal(1);
        if (reply->WaitOr(2, 20000) == 2u) {
            ++answered;
        }
    }
    echo.join();
    EXPECT_EQ(answered, Rounds);
}
