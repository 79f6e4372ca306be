#pragma once

#include "Event.h"

#include <pthread.h>
#include <time.h>

// Event on a POSIX mutex and a condition variable that measures its time-outs
// on CLOCK_MONOTONIC. Every timed wait lasts one millisecond longer than asked,
// so it never gives up early. If the mutex or the condition variable cannot be
// created the object still exists, and every operation fails: waits report
// failure at once, Signal and ResetFlags return the error number.
class PosixEvent : public Event
{
public:
    explicit PosixEvent(bool autoReset);
    ~PosixEvent() override;

    unsigned int WaitOr(unsigned int mask) override;
    unsigned int WaitOr(unsigned int mask, unsigned int timeoutMs) override;
    unsigned int Wait(std::function<bool(unsigned int)> predicate) override;
    bool Wait(std::function<bool(unsigned int)> predicate, unsigned int timeoutMs) override;
    bool WaitAnd(unsigned int mask) override;
    bool WaitAnd(unsigned int mask, unsigned int timeoutMs) override;
    int Signal(unsigned int bits) override;
    int ResetFlags(unsigned int bits) override;

    // The absolute CLOCK_MONOTONIC deadline of a wait of ms milliseconds:
    // now for 0, otherwise now + ms + 1 ms.
    static timespec CalculateWakeUpTime(unsigned int ms);
    // The same deadline from a given start; the pure part of the above.
    static timespec AddWaitTime(timespec now, unsigned int ms);

private:
    enum class Outcome
    {
        Satisfied,
        TimedOut,
        Failed
    };

    // The common wait: satisfied(flags) under the lock, with an optional
    // deadline. On success the word read at wake-up goes to *word. An
    // auto-reset event clears the bits of clearMask on success and on a
    // failed wait, not on a time-out.
    template <typename Satisfied>
    Outcome WaitUntil(const Satisfied& satisfied, const timespec* deadline, unsigned int clearMask, unsigned int* word);

    pthread_mutex_t mutex;
    pthread_cond_t condition;
    // Held by Signal from before it releases `mutex` until its broadcast has
    // returned. A waiter may destroy the event as soon as its wait returns,
    // while the Signal that woke it is still inside the broadcast; the
    // destructor takes this lock and so blocks, rather than spins, until
    // that Signal is done, whatever the two threads' priorities.
    pthread_mutex_t broadcasting;
    // 0 when all three objects exist, else the error that prevented it.
    int initError;
};
