#include "PosixOSTimerFactory.h"

#include "PosixOSTimer.h"

#include <utility>

std::shared_ptr<OSTimer> PosixOSTimerFactory::GetSharedOSTimer(OSTimer::EventType type, std::function<void()> callback)
{
    return std::make_shared<PosixOSTimer>(type, std::move(callback));
}

std::unique_ptr<OSTimer> PosixOSTimerFactory::GetUniqueOSTimer(OSTimer::EventType type, std::function<void()> callback)
{
    return std::unique_ptr<OSTimer>(new PosixOSTimer(type, std::move(callback)));
}
