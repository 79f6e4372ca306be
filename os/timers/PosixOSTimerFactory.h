#pragma once

#include "OSTimerFactory.h"

// Makes PosixOSTimer objects.
class PosixOSTimerFactory : public OSTimerFactory
{
public:
    std::shared_ptr<OSTimer> GetSharedOSTimer(OSTimer::EventType type, std::function<void()> callback) override;
    std::unique_ptr<OSTimer> GetUniqueOSTimer(OSTimer::EventType type, std::function<void()> callback) override;
};
