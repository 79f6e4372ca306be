#include "Event.h"

std::atomic<int> Event::numberOfEvents{0};

Event::Event(bool autoResetEvent) : flags(0), waiting(false), autoReset(autoResetEvent)
{
    ++numberOfEvents;
}

Event::~Event()
{
    --numberOfEvents;
}

bool Event::IsSignalled(unsigned int mask) const
{
    return (mask & flags.load(std::memory_order_acquire)) != 0;
}
