#pragma once

#include "OSTimer.h"

#include <ctime>
#include <signal.h>

// OSTimer on a POSIX per-process timer on CLOCK_MONOTONIC with thread
// notification. If the system refuses to create the timer the object still
// exists: Start and Stop return -1 (errno EINVAL) and IsRunning is false.
class PosixOSTimer : public OSTimer
{
public:
    PosixOSTimer(EventType type, std::function<void()> callback);
    ~PosixOSTimer() override;

    int Start(unsigned int ms) override;
    int Stop() override;
    bool IsRunning() const override;

    bool IsCreated() const { return created; }

    // The arming of a timer for ms milliseconds of the given type.
    static itimerspec ArmingFor(unsigned int ms, EventType type);

private:
    timer_t id;
    bool created;
};
