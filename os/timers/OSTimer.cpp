#include "OSTimer.h"

#include <utility>

OSTimer::OSTimer(EventType type, std::function<void()> timerCallback)
    : callback(std::make_shared<const std::function<void()>>(std::move(timerCallback))), eventType(type)
{}

void OSTimer::OnTimerExpired()
{
    const std::shared_ptr<const std::function<void()>> running = callback;
    if (*running) {
        (*running)();
    }
}
