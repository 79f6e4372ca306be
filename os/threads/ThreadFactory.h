#pragma once

#include "Event.h"
#include "SimpleEvent.h"
#include "Thread.h"

#include <deque>
#include <memory>
#include <mutex>

// Hands out threads, and owns a reaper thread ("ThreadFactory") that deletes,
// and so joins, threads handed back to it with DestroyThread.
//
// Destroying the factory deletes every thread queued so far before the reaper
// ends. DestroyThread may be called from any thread except from a thread the
// reaper is deleting at that moment.
class ThreadFactory
{
public:
    explicit ThreadFactory(int priority);
    virtual ~ThreadFactory();

    ThreadFactory(const ThreadFactory&) = delete;
    ThreadFactory& operator=(const ThreadFactory&) = delete;

    // A new, unstarted thread that the caller owns. Never null. Virtual so
    // that tests can hand out threads the system refuses to start.
    virtual Thread* GetNewThread(Thread::Entry entry, int priority, unsigned int stackSize);
    // Queues the thread for deletion on the reaper and returns at once; the
    // factory then owns it. Null is accepted and ignored.
    void DestroyThread(Thread* thread);

private:
    static void* ThreadFactoryBootstrap(void* self);
    void ThreadFactoryThread();

    static constexpr unsigned int StopBit = 1;
    static constexpr unsigned int WorkBit = 2;

    Thread* reaperThread;
    std::mutex queueMutex;
    std::deque<Thread*> destroyQueue;
    std::unique_ptr<Event> reaperEvent;
    std::unique_ptr<SimpleEvent> reaperFinished;
    bool reaperStarted;
};
