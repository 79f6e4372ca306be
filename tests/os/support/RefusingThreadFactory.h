#pragma once

// A thread factory whose threads of chosen names the system "refuses" to
// start, as it does when it runs out of threads: StartThread fails with
// EAGAIN and the thread never runs. Other threads start as usual.

#include "PosixThread.h"
#include "ThreadFactory.h"

#include <cerrno>
#include <set>
#include <string>
#include <utility>

class RefusingThreadFactory : public ThreadFactory
{
public:
    // refused: the names of the threads that fail to start; an empty name
    // stands for every thread.
    RefusingThreadFactory(int priority, std::set<std::string> refused)
        : ThreadFactory(priority), refused_(std::move(refused))
    {}

    Thread* GetNewThread(Thread::Entry entry, int priority, unsigned int stackSize) override
    {
        return new RefusedThread(entry, priority, stackSize, refused_);
    }

private:
    class RefusedThread : public PosixThread
    {
    public:
        RefusedThread(Entry start, int threadPriority, unsigned int stackBytes, const std::set<std::string>& refused)
            : PosixThread(start, threadPriority, stackBytes), refused_(refused)
        {}

        int StartThread(void* startArgument, const std::string& name) override
        {
            if (refused_.count(name) != 0 || refused_.count("") != 0) {
                return EAGAIN;
            }
            return PosixThread::StartThread(startArgument, name);
        }

    private:
        const std::set<std::string> refused_;
    };

    const std::set<std::string> refused_;
};
