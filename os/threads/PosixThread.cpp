#include "PosixThread.h"

#include "EventFactory.h"

#include <cerrno>
#include <cstdio>

namespace {

// The key that maps each started thread to its object, created before main.
struct CurrentThreadHolder
{
    CurrentThreadHolder() { created = pthread_key_create(&key, nullptr) == 0; }
    ~CurrentThreadHolder()
    {
        if (created) {
            pthread_key_delete(key);
        }
    }
    CurrentThreadHolder(const CurrentThreadHolder&) = delete;
    CurrentThreadHolder& operator=(const CurrentThreadHolder&) = delete;

    pthread_key_t key{};
    bool created = false;
};

CurrentThreadHolder currentThreadHolder;

constexpr int IdPollRounds = 10;
constexpr unsigned int IdPollMs = 10;

} // namespace

PosixThread::PosixThread(Entry entryFunction, int threadPriority, unsigned int stackBytes)
    : Thread(entryFunction, threadPriority, stackBytes), attributes(), attributesValid(false), id(), idStored(false),
      schedule()
{
    if (pthread_attr_init(&attributes) != 0) {
        return;
    }
    attributesValid = true;
    if (stackBytes != 0) {
        pthread_attr_setstacksize(&attributes, stackBytes);
    }
    pthread_attr_setschedpolicy(&attributes, SCHED_RR);
    pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED);
    if (pthread_attr_getschedparam(&attributes, &schedule) != 0) {
        return;
    }
    schedule.sched_priority = threadPriority;
    pthread_attr_setschedparam(&attributes, &schedule);
}

PosixThread::~PosixThread()
{
    (void)std::fflush(stdout);
    if (attributesValid) {
        pthread_attr_destroy(&attributes);
    }
    if (!started.load()) {
        return;
    }
    if (!idStored.load()) {
        auto pause = EventFactory::GetUniqueSimpleEvent(true);
        for (int round = 0; round < IdPollRounds && !idStored.load(); ++round) {
            pause->Wait(IdPollMs);
        }
        if (!idStored.load()) {
            return;
        }
    }
    if (stopRequestFlag != 0) {
        RequestStop();
    } else {
        pthread_cancel(id);
    }
    pthread_join(id, nullptr);
}

int PosixThread::StartThread(void* startArgument, const std::string& name)
{
    bool expected = false;
    if (!started.compare_exchange_strong(expected, true)) {
        return 1;
    }
    argument = startArgument;
    std::lock_guard<std::mutex> gate(startGate);
    pthread_t created{};
    int rc = pthread_create(&created, attributesValid ? &attributes : nullptr, &PosixThread::CallableEntry, this);
    if (rc == EPERM && attributesValid) {
        // Real-time scheduling refused: run with the creator's policy.
        pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
        rc = pthread_create(&created, &attributes, &PosixThread::CallableEntry, this);
    }
    if (rc != 0) {
        started.store(false);
        return rc;
    }
    id = created;
    idStored.store(true);
    return name.empty() ? 0 : SetName(name);
}

int PosixThread::SetName(const std::string& name)
{
    int rc = pthread_setname_np(id, name.c_str());
    if (rc == ERANGE && name.size() > ShortNameLength) {
        rc = pthread_setname_np(id, name.substr(0, ShortNameLength).c_str());
    }
    return rc;
}

bool PosixThread::SetPriority(int newPriority)
{
    if (!attributesValid) {
        return false;
    }
    schedule.sched_priority = newPriority;
    if (pthread_attr_setschedparam(&attributes, &schedule) != 0) {
        return false;
    }
    priority = newPriority;
    return true;
}

void* PosixThread::CallableEntry(void* self)
{
    auto* thread = static_cast<PosixThread*>(self);
    if (currentThreadHolder.created) {
        pthread_setspecific(currentThreadHolder.key, thread);
    }
    {
        std::lock_guard<std::mutex> gate(thread->startGate);
    }
    thread->entry(thread->argument);
    return nullptr;
}

Thread* PosixThread::CurrentThread()
{
    if (!currentThreadHolder.created) {
        return nullptr;
    }
    return static_cast<Thread*>(pthread_getspecific(currentThreadHolder.key));
}
