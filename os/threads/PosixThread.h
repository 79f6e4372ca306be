#pragma once

#include "Thread.h"

#include <atomic>
#include <mutex>
#include <pthread.h>
#include <sched.h>

// Thread on POSIX threads, with explicit SCHED_RR scheduling at the given
// priority. Where the system refuses real-time scheduling to the process
// (EPERM), the thread starts with the creator's policy instead. A name longer
// than the system allows is shortened to the system's limit.
class PosixThread : public Thread
{
public:
    PosixThread(Entry entry, int priority, unsigned int stackSize);
    ~PosixThread() override;

    int StartThread(void* argument, const std::string& name) override;
    bool SetPriority(int priority) override;

    static Thread* CurrentThread();

    // The longest name the host accepts for a thread: names are cut to it
    // when the system refuses a longer one.
    static constexpr std::size_t ShortNameLength = 15;

private:
    static void* CallableEntry(void* self);
    int SetName(const std::string& name);

    pthread_attr_t attributes;
    bool attributesValid;
    pthread_t id;
    // Set once id holds the created thread; the destructor may run on
    // another thread than StartThread.
    std::atomic<bool> idStored;
    sched_param schedule;
    // Held by StartThread until the thread is named, so that the entry
    // cannot run (and end) before the name is set.
    std::mutex startGate;
};
