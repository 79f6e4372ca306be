#pragma once

#include "OSTimer.h"

#include <cstdint>
#include <ctime>
#include <signal.h>

// OSTimer on a POSIX per-process timer on CLOCK_MONOTONIC with thread
// notification. If the system refuses to create the timer the object still
// exists: Start and Stop return -1 (errno EINVAL) and IsRunning is false.
//
// The system starts a thread per expiry and does not wait for it when the
// timer is deleted: a notification may begin after timer_delete has returned.
// Notifications therefore name the timer by a key that is never reused, and
// reach it only while it is registered under that key; the destructor
// unregisters it and then waits for the notifications that reached it.
class PosixOSTimer : public OSTimer
{
public:
    PosixOSTimer(EventType type, std::function<void()> callback);
    // Deletes the system timer; returns once no callback of this timer runs
    // on another thread, and none can start.
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
    std::uintptr_t key;
};
