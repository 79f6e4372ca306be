#pragma once

#include "OSTimer.h"

#include <functional>
#include <memory>

// Creates the platform's timers, disarmed. Results are never null.
class OSTimerFactory
{
public:
    OSTimerFactory() = default;
    virtual ~OSTimerFactory() = default;

    OSTimerFactory(const OSTimerFactory&) = delete;
    OSTimerFactory& operator=(const OSTimerFactory&) = delete;

    virtual std::shared_ptr<OSTimer> GetSharedOSTimer(OSTimer::EventType type, std::function<void()> callback) = 0;
    virtual std::unique_ptr<OSTimer> GetUniqueOSTimer(OSTimer::EventType type, std::function<void()> callback) = 0;

    static std::unique_ptr<OSTimerFactory> Create();
};
