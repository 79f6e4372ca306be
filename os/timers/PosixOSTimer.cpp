#include "PosixOSTimer.h"

#include <cerrno>

namespace {

void TimerCallback(sigval value)
{
    static_cast<OSTimer*>(value.sival_ptr)->OnTimerExpired();
}

} // namespace

PosixOSTimer::PosixOSTimer(EventType type, std::function<void()> timerCallback)
    : OSTimer(type, std::move(timerCallback)), id(), created(true)
{
    sigevent event = {};
    event.sigev_notify = SIGEV_THREAD;
    event.sigev_notify_function = &TimerCallback;
    event.sigev_value.sival_ptr = static_cast<OSTimer*>(this);
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
