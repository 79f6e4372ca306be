#include "SimpleEvent.h"

#include <utility>

namespace {
constexpr unsigned int Bit = 1u;
}

SimpleEvent::SimpleEvent(std::unique_ptr<Event> ownedEvent) : event(std::move(ownedEvent))
{}

bool SimpleEvent::Wait()
{
    event->WaitOr(Bit);
    return true;
}

bool SimpleEvent::Wait(unsigned int timeoutMs)
{
    return event->WaitOr(Bit, timeoutMs) != 0;
}

unsigned int SimpleEvent::Wait(std::function<bool(unsigned int)> predicate)
{
    return event->Wait(std::move(predicate));
}

int SimpleEvent::Signal()
{
    return event->Signal(Bit);
}

int SimpleEvent::Reset()
{
    return event->ResetFlags(Bit);
}

bool SimpleEvent::IsSignalled() const
{
    return event->IsSignalled(Bit);
}

bool SimpleEvent::IsWaiting() const
{
    return event->IsWaiting();
}
