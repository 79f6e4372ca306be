#pragma once

// A counting event that other processes can share: Signal adds one, a wait
// takes one, Reset drops the count to 0.
class OSSimpleEvent
{
public:
    OSSimpleEvent() = default;
    virtual ~OSSimpleEvent() = default;

    OSSimpleEvent(const OSSimpleEvent&) = delete;
    OSSimpleEvent& operator=(const OSSimpleEvent&) = delete;

    // True when a count was taken; false on error.
    virtual bool Wait() = 0;
    // True when a count was taken within timeoutMs (0xFFFFFFFF: no limit);
    // false on time-out or error.
    virtual bool Wait(unsigned int timeoutMs) = 0;
    virtual void Signal() = 0;
    virtual void Reset() = 0;
};
