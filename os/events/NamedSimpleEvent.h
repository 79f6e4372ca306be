#pragma once

#include "OSSimpleEvent.h"

#include <semaphore.h>
#include <string>

// A named POSIX semaphore "/<name>", created with the given count if no
// process has created it yet. It is closed, never unlinked, on destruction, so
// it outlives the process. When it cannot be opened the object still exists and
// every wait returns false; Signal and Reset do nothing.
class NamedSimpleEvent : public OSSimpleEvent
{
public:
    explicit NamedSimpleEvent(const std::string& name);
    NamedSimpleEvent(const std::string& name, unsigned char initialCount);
    ~NamedSimpleEvent() override;

    bool Wait() override;
    bool Wait(unsigned int timeoutMs) override;
    void Signal() override;
    void Reset() override;

    const std::string& GetName() const { return semaphoreName; }
    bool IsOpen() const { return semaphore != nullptr; }

private:
    std::string semaphoreName;
    sem_t* semaphore;
};
