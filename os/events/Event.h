#pragma once

#include <atomic>
#include <functional>

// A 32-bit word of flags that threads signal and wait on.
//
// Signal ORs bits in; a waiter waits until any (WaitOr) or all (WaitAnd) bits
// of a mask are present, or until a predicate over the whole word holds, with
// or without a time-out in milliseconds on the monotonic clock (NoTimeout
// waits without limit). An auto-reset event clears what satisfied the wait as
// it returns: the mask bits, or for a predicate wait the whole word.
//
// Any number of threads may signal and wait concurrently. Destroying an event
// while a thread waits on it is not supported: owners signal a stop bit and
// wait for the waiter to leave first.
class Event
{
public:
    static constexpr unsigned int NoTimeout = 0xFFFFFFFFu;

    explicit Event(bool autoReset);
    virtual ~Event();

    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // The flag word at wake-up (it may hold bits outside the mask), or 0 on
    // time-out or failure.
    virtual unsigned int WaitOr(unsigned int mask) = 0;
    virtual unsigned int WaitOr(unsigned int mask, unsigned int timeoutMs) = 0;
    // The untimed form returns the flag word read before any clearing, or 0 on
    // failure; the timed form returns true when the predicate held. The
    // predicate is called with the event's lock held and must not touch the
    // event. An empty predicate fails at once (0 or false) and waits for nothing.
    virtual unsigned int Wait(std::function<bool(unsigned int)> predicate) = 0;
    virtual bool Wait(std::function<bool(unsigned int)> predicate, unsigned int timeoutMs) = 0;
    // True when all bits of the mask were present.
    virtual bool WaitAnd(unsigned int mask) = 0;
    virtual bool WaitAnd(unsigned int mask, unsigned int timeoutMs) = 0;
    // 0, or the error number of the failed system call.
    virtual int Signal(unsigned int bits) = 0;
    virtual int ResetFlags(unsigned int bits) = 0;
    // Reads the flags without taking the lock: a snapshot only.
    virtual bool IsSignalled(unsigned int mask) const;

    // True while a thread is inside a wait.
    bool IsWaiting() const { return waiting.load(); }
    bool IsAutoReset() const { return autoReset; }
    static int GetNumberOfEvents() { return numberOfEvents.load(); }

protected:
    // Written only under the implementation's lock; atomic so that
    // IsSignalled may read it without one.
    std::atomic<unsigned int> flags;
    std::atomic<bool> waiting;
    const bool autoReset;

    static std::atomic<int> numberOfEvents;
};
