#pragma once

#include <functional>
#include <memory>

// A millisecond timer that calls a callback once per Start (OneShot) or every
// period until Stop (Periodic).
//
// The callback runs on a notification thread of the system, concurrently with
// every thread of the program, and must do its own locking. Two expiries of a
// periodic timer whose callback outlasts the period may overlap. Start, Stop
// and IsRunning may be called from any thread.
//
// Once the destructor has returned, no callback of the timer runs or will
// run: the destructor waits for callbacks already running. A callback may
// destroy its own timer; that destructor does not wait for the callback it
// runs in, and the callback itself stays valid until it returns.
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
    // Runs the callback, if there is one. The callback is kept alive for the
    // call, so it may destroy this timer.
    void OnTimerExpired();

protected:
    // Shared with the calls running it (see OnTimerExpired).
    std::shared_ptr<const std::function<void()>> callback;
    EventType eventType;
};
