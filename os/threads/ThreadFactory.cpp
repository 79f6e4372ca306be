#include "ThreadFactory.h"

#include "EventFactory.h"
#include "PosixThread.h"

ThreadFactory::ThreadFactory(int priority)
    : reaperThread(nullptr), reaperEvent(EventFactory::GetUniqueEvent(true)),
      reaperFinished(EventFactory::GetUniqueSimpleEvent(true)), reaperStarted(false)
{
    // Always a thread of the system's: a subclass's GetNewThread is not in
    // place yet, and the threads it hands out are the callers' business.
    reaperThread = new PosixThread(&ThreadFactory::ThreadFactoryBootstrap, priority, 0);
    // Only the start itself counts: a refused name leaves the reaper running.
    reaperThread->StartThread(this, "ThreadFactory");
    reaperStarted = reaperThread->IsRunning();
}

ThreadFactory::~ThreadFactory()
{
    reaperEvent->Signal(StopBit);
    if (reaperStarted) {
        reaperFinished->Wait();
    }
    delete reaperThread;
    reaperFinished.reset();
    reaperEvent.reset();
}

Thread* ThreadFactory::GetNewThread(Thread::Entry entry, int priority, unsigned int stackSize)
{
    return new PosixThread(entry, priority, stackSize);
}

void ThreadFactory::DestroyThread(Thread* thread)
{
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        destroyQueue.push_back(thread);
    }
    reaperEvent->Signal(WorkBit);
}

void* ThreadFactory::ThreadFactoryBootstrap(void* self)
{
    auto* factory = static_cast<ThreadFactory*>(self);
    factory->ThreadFactoryThread();
    factory->reaperFinished->Signal();
    return nullptr;
}

void ThreadFactory::ThreadFactoryThread()
{
    for (;;) {
        const unsigned int bits = reaperEvent->WaitOr(StopBit | WorkBit);
        // 0 means the event itself failed: drain once more and end rather than spin.
        const bool stop = bits == 0 || (bits & StopBit) != 0;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            while (!destroyQueue.empty()) {
                Thread* const thread = destroyQueue.front();
                destroyQueue.pop_front();
                delete thread;
            }
        }
        if (stop) {
            return;
        }
    }
}
