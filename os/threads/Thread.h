#pragma once

#include "Event.h"

#include <atomic>
#include <memory>
#include <string>

// A thread of the program: an entry function run with a fixed priority under
// round-robin real-time scheduling, an optional stack size and a name.
//
// The object is created unstarted; StartThread runs it once. Destroying it
// joins the thread: it first asks the thread to stop by signalling the
// stop-request bits on the thread event (or cancels it when those bits are 0),
// so an entry function that runs for long must watch that event, or another
// event of its owner, and return. Once the destructor returns, the entry
// function has ended; never destroy a thread from itself. IsRunning tells
// whether the thread was started; it stays true after the entry function
// returns.
class Thread
{
public:
    using Entry = void* (*)(void*);

    Thread(Entry entry, int priority, unsigned int stackSize);
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // 0 on success, 1 when already started, else the error number of the
    // failed system call. A name the system refuses is reported by its error
    // number, but the thread runs all the same.
    virtual int StartThread(void* argument, const std::string& name) = 0;
    virtual unsigned int GetStopRequestFlag() const { return stopRequestFlag; }
    virtual std::shared_ptr<Event> GetThreadEvent() const { return threadEvent; }
    // Takes effect only before StartThread; false when the system refuses it.
    virtual bool SetPriority(int priority) = 0;
    virtual void SetStopRequestFlag(unsigned int bits) { stopRequestFlag = bits; }
    virtual bool IsRunning() const { return started.load(); }
    virtual void RequestStop();

    int GetPriority() const { return priority; }
    // The object of the calling thread, or null for a thread not started
    // through this class (the main thread among them).
    static Thread* CurrentThread();
    static int GetThreadCount() { return threadCount.load(); }

protected:
    Entry entry;
    int priority;
    unsigned int stackSize;
    std::atomic<bool> started;
    std::shared_ptr<Event> threadEvent;
    unsigned int stopRequestFlag;
    void* argument;

private:
    static std::atomic<int> threadCount;
};
