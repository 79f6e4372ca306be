#include "NamedSimpleEvent.h"

#include "PosixEvent.h"

#include <cerrno>
#include <fcntl.h>

namespace {
constexpr unsigned int NoTimeout = 0xFFFFFFFFu;
constexpr mode_t AllAccess = 0777;
} // namespace

NamedSimpleEvent::NamedSimpleEvent(const std::string& name) : NamedSimpleEvent(name, 0)
{}

NamedSimpleEvent::NamedSimpleEvent(const std::string& name, unsigned char initialCount)
    : semaphoreName("/" + name), semaphore(nullptr)
{
    sem_t* const opened = sem_open(semaphoreName.c_str(), O_CREAT, AllAccess, static_cast<unsigned int>(initialCount));
    if (opened != SEM_FAILED) {
        semaphore = opened;
    }
}

NamedSimpleEvent::~NamedSimpleEvent()
{
    if (semaphore != nullptr) {
        sem_close(semaphore);
    }
}

bool NamedSimpleEvent::Wait()
{
    if (semaphore == nullptr) {
        return false;
    }
    int rc;
    do {
        rc = sem_wait(semaphore);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool NamedSimpleEvent::Wait(unsigned int timeoutMs)
{
    if (timeoutMs == NoTimeout) {
        return Wait();
    }
    if (semaphore == nullptr) {
        return false;
    }
    int rc;
    do {
        // A fresh deadline after each interruption, as the waiting time starts anew.
        const timespec deadline = PosixEvent::CalculateWakeUpTime(timeoutMs);
        rc = sem_timedwait_monotonic(semaphore, &deadline);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void NamedSimpleEvent::Signal()
{
    if (semaphore != nullptr) {
        sem_post(semaphore);
    }
}

void NamedSimpleEvent::Reset()
{
    if (semaphore == nullptr) {
        return;
    }
    int rc;
    do {
        rc = sem_trywait(semaphore);
    } while (rc == 0 || errno == EINTR);
}
