#include "ThreadFactory.h"
#include "EventFactory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <fstream>
#include <string>
#include <type_traits>

namespace {

std::atomic<int> finishedEntries{0};

void* WaitForStop(void*)
{
    Thread* self = Thread::CurrentThread();
    self->GetThreadEvent()->WaitOr(self->GetStopRequestFlag());
    ++finishedEntries;
    return nullptr;
}

bool ProcessHasThreadNamed(const std::string& name)
{
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* entry = readdir(tasks)) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string line;
        if (std::getline(comm, line) && line == name) {
            found = true;
        }
    }
    closedir(tasks);
    return found;
}

} // namespace

TEST(ThreadFactory, RunsItsReaperUnderItsName)
{
    ThreadFactory factory(14);
    EXPECT_TRUE(ProcessHasThreadNamed("ThreadFactory"));
}

TEST(ThreadFactory, HandsOutUnstartedThreadsWithTheGivenPriority)
{
    ThreadFactory factory(14);
    Thread* thread = factory.GetNewThread(&WaitForStop, 3, 0);
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(thread->IsRunning());
    EXPECT_EQ(thread->GetPriority(), 3);
    delete thread;
}

TEST(ThreadFactory, ReaperDeletesAndJoinsThreadsHandedBack)
{
    const int before = Thread::GetThreadCount();
    const int finishedBefore = finishedEntries.load();
    {
        ThreadFactory factory(14);
        auto done = EventFactory::GetUniqueSimpleEvent(true);
        for (int i = 0; i < 3; ++i) {
            Thread* thread = factory.GetNewThread(&WaitForStop, 10, 0);
            ASSERT_EQ(thread->StartThread(nullptr, "Reaped"), 0);
            factory.DestroyThread(thread);
        }
        factory.DestroyThread(nullptr);
        // The reaper works while the factory lives: wait until it has caught up.
        for (int i = 0; i < 20000 && Thread::GetThreadCount() != before + 1; ++i) {
            done->Wait(1u);
        }
        EXPECT_EQ(Thread::GetThreadCount(), before + 1) << "only the reaper itself is left";
    }
    EXPECT_EQ(finishedEntries.load(), finishedBefore + 3);
    EXPECT_EQ(Thread::GetThreadCount(), before);
}

TEST(ThreadFactory, DestructionDrainsEveryQueuedThreadBeforeTheReaperEnds)
{
    const int before = Thread::GetThreadCount();
    const int finishedBefore = finishedEntries.load();
    {
        ThreadFactory factory(14);
        for (int i = 0; i < 5; ++i) {
            Thread* thread = factory.GetNewThread(&WaitForStop, 10, 0);
            ASSERT_EQ(thread->StartThread(nullptr, ""), 0);
            factory.DestroyThread(thread);
        }
        factory.DestroyThread(nullptr);
    }
    EXPECT_EQ(finishedEntries.load(), finishedBefore + 5);
    EXPECT_EQ(Thread::GetThreadCount(), before);
}

TEST(ThreadFactory, CannotBeCopied)
{
    static_assert(!std::is_copy_constructible_v<ThreadFactory> && !std::is_copy_assignable_v<ThreadFactory>);
}
