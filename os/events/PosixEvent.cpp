#include "PosixEvent.h"

#include <cerrno>

namespace {
constexpr unsigned int AllBits = 0xFFFFFFFFu;
constexpr long NanosPerSecond = 1000000000L;

// One wait with the event's mutex already locked: marks the event as waited
// on, and clears the mark and unlocks when the wait ends, also when a
// predicate throws.
class WaitScope
{
public:
    WaitScope(pthread_mutex_t& mutex, std::atomic<bool>& waiting) : mutex_(mutex), waiting_(waiting)
    {
        waiting_.store(true);
    }
    ~WaitScope()
    {
        waiting_.store(false);
        pthread_mutex_unlock(&mutex_);
    }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    pthread_mutex_t& mutex_;
    std::atomic<bool>& waiting_;
};
} // namespace

PosixEvent::PosixEvent(bool autoResetEvent) : Event(autoResetEvent), mutex(), condition(), broadcasting(), initError(0)
{
    initError = pthread_mutex_init(&mutex, nullptr);
    if (initError != 0) {
        return;
    }
    initError = pthread_mutex_init(&broadcasting, nullptr);
    if (initError != 0) {
        pthread_mutex_destroy(&mutex);
        return;
    }
    pthread_condattr_t attr;
    int rc = pthread_condattr_init(&attr);
    if (rc == 0) {
        rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        if (rc == 0) {
            rc = pthread_cond_init(&condition, &attr);
        }
        pthread_condattr_destroy(&attr);
    }
    if (rc != 0) {
        pthread_mutex_destroy(&broadcasting);
        pthread_mutex_destroy(&mutex);
        initError = rc;
    }
}

PosixEvent::~PosixEvent()
{
    if (initError != 0) {
        return;
    }
    // Every Signal that has taken `mutex` holds `broadcasting` until its
    // broadcast has returned: taking both in turn waits for the last one.
    pthread_mutex_lock(&mutex);
    pthread_mutex_lock(&broadcasting);
    pthread_mutex_unlock(&broadcasting);
    pthread_mutex_unlock(&mutex);
    pthread_cond_destroy(&condition);
    pthread_mutex_destroy(&broadcasting);
    pthread_mutex_destroy(&mutex);
}

timespec PosixEvent::AddWaitTime(timespec now, unsigned int ms)
{
    if (ms == 0) {
        return now;
    }
    // Widened first: ms + 1 overflows unsigned int for the largest values.
    const unsigned long long m = static_cast<unsigned long long>(ms) + 1u;
    now.tv_sec += static_cast<time_t>(m / 1000u);
    now.tv_nsec += static_cast<long>(m % 1000u) * 1000000L;
    if (now.tv_nsec > NanosPerSecond - 1) {
        now.tv_sec += 1;
        now.tv_nsec %= NanosPerSecond;
    }
    return now;
}

timespec PosixEvent::CalculateWakeUpTime(unsigned int ms)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return AddWaitTime(now, ms);
}

template <typename Satisfied>
PosixEvent::Outcome PosixEvent::WaitUntil(const Satisfied& satisfied, const timespec* deadline, unsigned int clearMask,
                                          unsigned int* word)
{
    if (initError != 0 || pthread_mutex_lock(&mutex) != 0) {
        return Outcome::Failed;
    }
    const WaitScope scope(mutex, waiting);
    int rc = 0;
    while (!satisfied(flags.load(std::memory_order_relaxed))) {
        rc = deadline != nullptr ? pthread_cond_timedwait(&condition, &mutex, deadline)
                                 : pthread_cond_wait(&condition, &mutex);
        if (rc != 0) {
            break;
        }
    }
    Outcome outcome = Outcome::Satisfied;
    if (rc == ETIMEDOUT) {
        outcome = Outcome::TimedOut;
    } else if (rc != 0) {
        outcome = Outcome::Failed;
        if (autoReset) {
            flags.store(flags.load(std::memory_order_relaxed) & ~clearMask, std::memory_order_release);
        }
    } else {
        *word = flags.load(std::memory_order_relaxed);
        if (autoReset) {
            flags.store(*word & ~clearMask, std::memory_order_release);
        }
    }
    return outcome;
}

unsigned int PosixEvent::WaitOr(unsigned int mask)
{
    unsigned int word = 0;
    const auto anyBit = [mask](unsigned int f) { return (mask & f) != 0; };
    return WaitUntil(anyBit, nullptr, mask, &word) == Outcome::Satisfied ? word : 0u;
}

unsigned int PosixEvent::WaitOr(unsigned int mask, unsigned int timeoutMs)
{
    if (timeoutMs == NoTimeout) {
        return WaitOr(mask);
    }
    const timespec deadline = CalculateWakeUpTime(timeoutMs);
    unsigned int word = 0;
    const auto anyBit = [mask](unsigned int f) { return (mask & f) != 0; };
    return WaitUntil(anyBit, &deadline, mask, &word) == Outcome::Satisfied ? word : 0u;
}

unsigned int PosixEvent::Wait(std::function<bool(unsigned int)> predicate)
{
    if (!predicate) {
        return 0u;
    }
    unsigned int word = 0;
    return WaitUntil(predicate, nullptr, AllBits, &word) == Outcome::Satisfied ? word : 0u;
}

bool PosixEvent::Wait(std::function<bool(unsigned int)> predicate, unsigned int timeoutMs)
{
    if (!predicate) {
        return false;
    }
    if (timeoutMs == NoTimeout) {
        // Not through the untimed form: its flag word cannot tell success from
        // failure when the predicate holds for an empty word.
        unsigned int word = 0;
        return WaitUntil(predicate, nullptr, AllBits, &word) == Outcome::Satisfied;
    }
    const timespec deadline = CalculateWakeUpTime(timeoutMs);
    unsigned int word = 0;
    return WaitUntil(predicate, &deadline, AllBits, &word) == Outcome::Satisfied;
}

bool PosixEvent::WaitAnd(unsigned int mask)
{
    unsigned int word = 0;
    const auto allBits = [mask](unsigned int f) { return (mask & ~f) == 0; };
    return WaitUntil(allBits, nullptr, mask, &word) == Outcome::Satisfied;
}

bool PosixEvent::WaitAnd(unsigned int mask, unsigned int timeoutMs)
{
    if (timeoutMs == NoTimeout) {
        return WaitAnd(mask);
    }
    const timespec deadline = CalculateWakeUpTime(timeoutMs);
    unsigned int word = 0;
    const auto allBits = [mask](unsigned int f) { return (mask & ~f) == 0; };
    return WaitUntil(allBits, &deadline, mask, &word) == Outcome::Satisfied;
}

int PosixEvent::Signal(unsigned int bits)
{
    if (initError != 0) {
        return initError;
    }
    const int rc = pthread_mutex_lock(&mutex);
    if (rc != 0) {
        return rc;
    }
    flags.store(flags.load(std::memory_order_relaxed) | bits, std::memory_order_release);
    if (pthread_mutex_lock(&broadcasting) != 0) {
        // Without the second lock the destructor cannot wait for this call:
        // broadcast under the first one instead.
        pthread_cond_broadcast(&condition);
        pthread_mutex_unlock(&mutex);
        return 0;
    }
    pthread_mutex_unlock(&mutex);
    // After the unlock, so that the woken waiters do not run into the held
    // lock.
    pthread_cond_broadcast(&condition);
    pthread_mutex_unlock(&broadcasting);
    return 0;
}

int PosixEvent::ResetFlags(unsigned int bits)
{
    if (initError != 0) {
        return initError;
    }
    const int rc = pthread_mutex_lock(&mutex);
    if (rc != 0) {
        return rc;
    }
    flags.store(flags.load(std::memory_order_relaxed) & ~bits, std::memory_order_release);
    pthread_mutex_unlock(&mutex);
    return 0;
}
