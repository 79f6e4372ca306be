#include "Thread.h"

#include "EventFactory.h"
#include "PosixThread.h"

std::atomic<int> Thread::threadCount{0};

Thread::Thread(Entry entryFunction, int threadPriority, unsigned int stackBytes)
    : entry(entryFunction), priority(threadPriority), stackSize(stackBytes), started(false),
      threadEvent(EventFactory::GetSharedEvent(true)), stopRequestFlag(1), argument(nullptr)
{
    ++threadCount;
}

Thread::~Thread()
{
    threadEvent.reset();
    --threadCount;
}

void Thread::RequestStop()
{
    threadEvent->Signal(stopRequestFlag);
}

Thread* Thread::CurrentThread()
{
    return PosixThread::CurrentThread();
}
