#include "EventFactory.h"
#include "PosixThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <string>
#include <thread>
#include <type_traits>
#include <unistd.h>

namespace {

struct Probe
{
    std::atomic<int> runs{0};
    std::atomic<int> finished{0};
    std::atomic<Thread*> self{nullptr};
    char name[32] = {};
    std::unique_ptr<SimpleEvent> started = EventFactory::GetUniqueSimpleEvent(false);
};

// Runs until the thread's own stop request arrives.
void* WaitForStop(void* arg)
{
    auto* probe = static_cast<Probe*>(arg);
    ++probe->runs;
    Thread* self = Thread::CurrentThread();
    probe->self = self;
    pthread_getname_np(pthread_self(), probe->name, sizeof probe->name);
    probe->started->Signal();
    self->GetThreadEvent()->WaitOr(self->GetStopRequestFlag());
    ++probe->finished;
    return nullptr;
}

void* ReturnAtOnce(void* arg)
{
    auto* probe = static_cast<Probe*>(arg);
    ++probe->runs;
    probe->started->Signal();
    return nullptr;
}

// Signals its event when the thread that touched it ends: the thread's
// objects are destroyed only after its entry function has returned.
struct ThreadEnd
{
    SimpleEvent* ended = nullptr;
    ~ThreadEnd()
    {
        if (ended != nullptr) {
            ended->Signal();
        }
    }
};
thread_local ThreadEnd threadEnd;

void* ReturnAndReportTheThreadsEnd(void* arg)
{
    auto* ended = static_cast<SimpleEvent*>(arg);
    threadEnd.ended = ended;
    return nullptr;
}

void RecordCancellation(void* cancelled)
{
    *static_cast<std::atomic<bool>*>(cancelled) = true;
}

struct CancelProbe
{
    std::atomic<bool> cancelled{false};
    std::atomic<bool> returned{false};
    std::unique_ptr<SimpleEvent> started = EventFactory::GetUniqueSimpleEvent(false);
};

// Waits in a cancellation point for at most 20 s, then returns by itself.
void* WaitForCancellation(void* arg)
{
    auto* probe = static_cast<CancelProbe*>(arg);
    pthread_cleanup_push(&RecordCancellation, &probe->cancelled);
    probe->started->Signal();
    for (int i = 0; i < 20000; ++i) {
        usleep(1000);
    }
    pthread_cleanup_pop(0);
    probe->returned = true;
    return nullptr;
}

constexpr int Priority = 10;
constexpr unsigned int WaitMs = 20000;

} // namespace

TEST(ThreadStart, SecondStartReturnsOneAndTheEntryRunsOnce)
{
    Probe probe;
    {
        PosixThread thread(&WaitForStop, Priority, 0);
        EXPECT_FALSE(thread.IsRunning());
        EXPECT_EQ(thread.StartThread(&probe, "Worker"), 0);
        EXPECT_EQ(thread.StartThread(&probe, "Worker"), 1);
        EXPECT_TRUE(thread.IsRunning());
        ASSERT_TRUE(probe.started->Wait(WaitMs));
    }
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_EQ(probe.finished.load(), 1) << "the destructor asked the thread to stop and joined it";
}

TEST(ThreadStart, ConcurrentStartsStartAtMostOneThread)
{
    Probe probe;
    {
        PosixThread thread(&WaitForStop, Priority, 0);
        std::atomic<int> zeroes{0};
        auto start = [&] {
            if (thread.StartThread(&probe, "") == 0) {
                ++zeroes;
            }
        };
        std::thread a(start), b(start);
        a.join();
        b.join();
        EXPECT_EQ(zeroes.load(), 1);
        ASSERT_TRUE(probe.started->Wait(WaitMs));
    }
    EXPECT_EQ(probe.runs.load(), 1);
}

TEST(ThreadStart, UnnamedThreadStartsAndKeepsTheInheritedName)
{
    Probe probe;
    char ownName[32] = {};
    pthread_getname_np(pthread_self(), ownName, sizeof ownName);
    PosixThread thread(&WaitForStop, Priority, 0);
    EXPECT_EQ(thread.StartThread(&probe, ""), 0);
    ASSERT_TRUE(probe.started->Wait(WaitMs));
    EXPECT_STREQ(probe.name, ownName);
}

TEST(ThreadStart, NameTooLongForTheHostIsShortenedAndNamingSucceeds)
{
    Probe probe;
    PosixThread thread(&WaitForStop, Priority, 0);
    EXPECT_EQ(thread.StartThread(&probe, "ExitSigWatcherThread"), 0);
    ASSERT_TRUE(probe.started->Wait(WaitMs));
    EXPECT_STREQ(probe.name, std::string("ExitSigWatcherThread").substr(0, PosixThread::ShortNameLength).c_str());
}

TEST(ThreadStart, StartsWithAGivenStackSize)
{
    Probe probe;
    PosixThread thread(&WaitForStop, Priority, 256u * 1024u);
    EXPECT_EQ(thread.StartThread(&probe, "Stacked"), 0);
    EXPECT_TRUE(probe.started->Wait(WaitMs));
}

TEST(ThreadStart, StaysRunningAfterTheEntryReturns)
{
    auto ended = EventFactory::GetUniqueSimpleEvent(false);
    PosixThread thread(&ReturnAndReportTheThreadsEnd, Priority, 0);
    ASSERT_EQ(thread.StartThread(ended.get(), "Short"), 0);
    ASSERT_TRUE(ended->Wait(WaitMs));
    EXPECT_TRUE(thread.IsRunning());
}

TEST(ThreadPriority, ChangeBeforeStartIsKeptAndAnInvalidOneIsRefused)
{
    PosixThread thread(&ReturnAtOnce, Priority, 0);
    EXPECT_EQ(thread.GetPriority(), Priority);
    EXPECT_TRUE(thread.SetPriority(Priority + 2));
    EXPECT_EQ(thread.GetPriority(), Priority + 2);
    EXPECT_FALSE(thread.SetPriority(100000));
    EXPECT_EQ(thread.GetPriority(), Priority + 2);
    Probe probe;
    EXPECT_EQ(thread.StartThread(&probe, "Prio"), 0);
    EXPECT_TRUE(probe.started->Wait(WaitMs));
}

TEST(ThreadStop, UnstartedThreadIsDestroyedWithoutJoining)
{
    const auto start = std::chrono::steady_clock::now();
    {
        PosixThread thread(&WaitForStop, Priority, 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(ThreadStop, DestructorSignalsTheChosenStopBits)
{
    Probe probe;
    {
        PosixThread thread(&WaitForStop, Priority, 0);
        thread.SetStopRequestFlag(8);
        EXPECT_EQ(thread.GetStopRequestFlag(), 8u);
        ASSERT_EQ(thread.StartThread(&probe, "StopBits"), 0);
        ASSERT_TRUE(probe.started->Wait(WaitMs));
        thread.GetThreadEvent()->Signal(1); // not a stop bit any more
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(probe.finished.load(), 0);
    }
    EXPECT_EQ(probe.finished.load(), 1);
}

TEST(ThreadStop, ZeroStopFlagCancelsTheThread)
{
    CancelProbe probe;
    {
        PosixThread thread(&WaitForCancellation, Priority, 0);
        thread.SetStopRequestFlag(0);
        ASSERT_EQ(thread.StartThread(&probe, "Cancelled"), 0);
        ASSERT_TRUE(probe.started->Wait(WaitMs));
    }
    EXPECT_TRUE(probe.cancelled.load()) << "the destructor cancelled the thread";
    EXPECT_FALSE(probe.returned.load());
}

TEST(ThreadIdentity, CurrentThreadIsNullOnMainAndTheObjectOnAStartedThread)
{
    EXPECT_EQ(Thread::CurrentThread(), nullptr);
    Probe probe;
    PosixThread thread(&WaitForStop, Priority, 0);
    ASSERT_EQ(thread.StartThread(&probe, "Identity"), 0);
    ASSERT_TRUE(probe.started->Wait(WaitMs));
    EXPECT_EQ(probe.self.load(), &thread);
}

TEST(ThreadIdentity, CountRisesAndFallsWithObjectsNotWithRunningThreads)
{
    const int before = Thread::GetThreadCount();
    auto first = std::make_unique<PosixThread>(&ReturnAtOnce, Priority, 0);
    auto second = std::make_unique<PosixThread>(&ReturnAtOnce, Priority, 0);
    EXPECT_EQ(Thread::GetThreadCount(), before + 2);
    Probe probe;
    ASSERT_EQ(first->StartThread(&probe, ""), 0);
    ASSERT_TRUE(probe.started->Wait(WaitMs));
    EXPECT_EQ(Thread::GetThreadCount(), before + 2);
    first.reset();
    EXPECT_EQ(Thread::GetThreadCount(), before + 1);
    second.reset();
    EXPECT_EQ(Thread::GetThreadCount(), before);
}

TEST(ThreadIdentity, ThreadsCannotBeCopied)
{
    static_assert(!std::is_copy_constructible_v<Thread> && !std::is_copy_assignable_v<Thread>);
    static_assert(!std::is_copy_constructible_v<PosixThread> && !std::is_copy_assignable_v<PosixThread>);
}
