#include "OSTimer.h"

#include <utility>

OSTimer::OSTimer(EventType type, std::function<void()> timerCallback)
    : callback(std::move(timerCallback)), eventType(type)
{}

void OSTimer::OnTimerExpired()
{
    if (callback) {
        callback();
    }
}
