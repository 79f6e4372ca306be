#include "PosixOSTimer.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace {

// The live timers by key, and how many notifications are inside each.
class TimerRegistry
{
public:
    std::uintptr_t Add(OSTimer* timer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::uintptr_t key = nextKey_++;
        live_[key] = Entry{timer, 0};
        return key;
    }

    // The timer a notification may run, counted as entered; null once the
    // timer is unregistered.
    OSTimer* Enter(std::uintptr_t key)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = live_.find(key);
        if (found == live_.end() || found->second.timer == nullptr) {
            return nullptr;
        }
        ++found->second.inside;
        return found->second.timer;
    }

    void Leave(std::uintptr_t key)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = live_.find(key);
        // Gone when the timer was destroyed from this very notification.
        if (found != live_.end() && --found->second.inside == 0) {
            left_.notify_all();
        }
    }

    // Unregisters the timer once no notification but the caller's own
    // (ownInside: 0 or 1) is inside it.
    void Remove(std::uintptr_t key, unsigned int ownInside)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto found = live_.find(key);
        if (found == live_.end()) {
            return;
        }
        // Removing at once would let no new notification in, but the entry
        // still counts those inside.
        found->second.timer = nullptr;
        left_.wait(lock, [&] { return found->second.inside <= ownInside; });
        live_.erase(found);
    }

private:
    // Both members are used through the map's iterators, which cppcheck does
    // not follow.
    struct Entry
    {
        // cppcheck-suppress unusedStructMember
        OSTimer* timer;
        // cppcheck-suppress unusedStructMember
        unsigned int inside;
    };

    std::mutex mutex_;
    std::condition_variable left_;
    std::unordered_map<std::uintptr_t, Entry> live_;
    // Keys are not reused, so that a late notification of a deleted timer
    // cannot reach a newer one. On 32 bits they last for 4 billion timers.
    std::uintptr_t nextKey_ = 1;
};

TimerRegistry& Registry()
{
    // Never destroyed: a late notification may arrive while the process exits.
    static TimerRegistry* const registry = new TimerRegistry;
    return *registry;
}

// The key of the notification the calling thread runs, 0 when none.
thread_local std::uintptr_t runningKey = 0;

void TimerCallback(sigval value)
{
    const auto key = reinterpret_cast<std::uintptr_t>(value.sival_ptr);
    OSTimer* const timer = Registry().Enter(key);
    if (timer == nullptr) {
        return;
    }
    const std::uintptr_t outer = runningKey;
    runningKey = key;
    timer->OnTimerExpired();
    runningKey = outer;
    Registry().Leave(key);
}

} // namespace

PosixOSTimer::PosixOSTimer(EventType type, std::function<void()> timerCallback)
    : OSTimer(type, std::move(timerCallback)), id(), created(true), key(Registry().Add(this))
{
    sigevent event = {};
    event.sigev_notify = SIGEV_THREAD;
    event.sigev_notify_function = &TimerCallback;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the value carries the registry key, never dereferenced
    event.sigev_value.sival_ptr = reinterpret_cast<void*>(key);
    event.sigev_notify_attributes = nullptr;
    errno = 0;
    if (timer_create(CLOCK_MONOTONIC, &event, &id) == -1) {
        created = false;
    }
}

PosixOSTimer::~PosixOSTimer()
{
    if (created) {
        timer_delete(id);
    }
    Registry().Remove(key, runningKey == key ? 1u : 0u);
}

itimerspec PosixOSTimer::ArmingFor(unsigned int ms, EventType type)
{
    itimerspec arming = {};
    arming.it_value.tv_sec = static_cast<time_t>(ms / 1000u);
    arming.it_value.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    if (type == Periodic) {
        arming.it_interval = arming.it_value;
    }
    return arming;
}

int PosixOSTimer::Start(unsigned int ms)
{
    // Without a system timer there is no valid id to pass on: an unset id
    // could name another timer of the process.
    if (!created) {
        errno = EINVAL;
        return -1;
    }
    const itimerspec arming = ArmingFor(ms, eventType);
    errno = 0;
    return timer_settime(id, 0, &arming, nullptr);
}

int PosixOSTimer::Stop()
{
    if (!created) {
        errno = EINVAL;
        return -1;
    }
    const itimerspec disarm = {};
    return timer_settime(id, 0, &disarm, nullptr);
}

bool PosixOSTimer::IsRunning() const
{
    if (!created) {
        return false;
    }
    itimerspec current = {};
    if (timer_gettime(id, &current) != 0) {
        return false;
    }
    return current.it_value.tv_sec != 0 || current.it_value.tv_nsec != 0;
}
