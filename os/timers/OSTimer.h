#pragma once

#include <functional>

// A millisecond timer that calls a callback once per Start (OneShot) or every
// period until Stop (Periodic).
//
// The callback runs on a notification thread of the system, concurrently with
// every thread of the program, and must do its own locking. Two expiries of a
// periodic timer whose callback outlasts the period may overlap. Start, Stop
// and IsRunning may be called from any thread. Destroying the timer does not
// wait for a callback already running: whatever the callback touches must
// outlive it.
class OSTimer
{
public:
    enum EventType
    {
        OneShot = 0,
        Periodic = 1
    };

    OSTimer(EventType type, std::function<void()> callback);
    virtual ~OSTimer() = default;

    OSTimer(const OSTimer&) = delete;
    OSTimer& operator=(const OSTimer&) = delete;

    // Arms the timer ms from now, replacing any earlier arming; 0 disarms it.
    // 0, or -1 with errno.
    virtual int Start(unsigned int ms) = 0;
    // Disarms the timer. 0, or -1 with errno.
    virtual int Stop() = 0;
    // True while an expiry is pending.
    virtual bool IsRunning() const = 0;

    EventType GetEventType() const { return eventType; }
    // Runs the callback, if there is one.
    void OnTimerExpired();

protected:
    std::function<void()> callback;
    EventType eventType;
};
