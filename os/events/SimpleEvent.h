#pragma once

#include "Event.h"

#include <functional>
#include <memory>

// A one-bit event: bit 1 of the Event it owns. On an auto-reset event a
// successful wait consumes the bit, so two signals before a wait count as one.
class SimpleEvent
{
public:
    // Takes ownership; the event must not be null.
    explicit SimpleEvent(std::unique_ptr<Event> event);

    SimpleEvent(const SimpleEvent&) = delete;
    SimpleEvent& operator=(const SimpleEvent&) = delete;

    // Waits without limit; true (also when the event's lock failed).
    bool Wait();
    // True when the bit came within timeoutMs (Event::NoTimeout: no limit).
    bool Wait(unsigned int timeoutMs);
    // The flag word at wake-up, or 0 on failure.
    unsigned int Wait(std::function<bool(unsigned int)> predicate);
    int Signal();
    int Reset();
    bool IsSignalled() const;
    bool IsWaiting() const;

private:
    std::unique_ptr<Event> event;
};
