#include "PosixExitSignalWatcher.h"

#include "EventFactory.h"
#include "PosixThread.h"

#include <cerrno>
#include <pthread.h>
#include <utility>

namespace {
constexpr int ListenerPriority = 16;
}

PosixExitSignalWatcher::PosixExitSignalWatcher() : PosixExitSignalWatcher(std::function<void(int)>())
{}

PosixExitSignalWatcher::PosixExitSignalWatcher(std::function<void(int)> notify)
    : PosixExitSignalWatcher(
          std::move(notify),
          std::make_unique<PosixThread>(&PosixExitSignalWatcher::SignalListenerThreadEntryPoint, ListenerPriority, 0))
{}

PosixExitSignalWatcher::PosixExitSignalWatcher(std::function<void(int)> notify, ThreadFactory& threads)
    : PosixExitSignalWatcher(std::move(notify),
                             std::unique_ptr<Thread>(threads.GetNewThread(
                                 &PosixExitSignalWatcher::SignalListenerThreadEntryPoint, ListenerPriority, 0)))
{}

PosixExitSignalWatcher::PosixExitSignalWatcher(std::function<void(int)> notify, std::unique_ptr<Thread> listener)
    : watchedSet(), notification(std::move(notify)), listening(false), listenerThread(std::move(listener)),
      handledEvent(EventFactory::GetUniqueSimpleEvent(true)), handled(false)
{
    sigemptyset(&watchedSet);
    AddSignal(SIGTERM);
    AddSignal(SIGQUIT);
    AddSignal(SIGINT);
    BlockSignals();
}

PosixExitSignalWatcher::~PosixExitSignalWatcher()
{
    // A listener that never started can handle nothing: waiting would never end.
    if (listenerThread->IsRunning()) {
        handledEvent->Wait();
    }
    if (!handled.load()) {
        UnblockSignals();
    }
    handledEvent.reset();
    listenerThread.reset();
    notification = nullptr;
}

void PosixExitSignalWatcher::RegisterNotification(std::function<void(int)> notify)
{
    std::function<void(int)> previous;
    std::lock_guard<std::mutex> lock(notificationMutex);
    previous.swap(notification);
    notification = std::move(notify);
}

std::function<void(int)> PosixExitSignalWatcher::CurrentNotification()
{
    std::lock_guard<std::mutex> lock(notificationMutex);
    return notification;
}

bool PosixExitSignalWatcher::Watch()
{
    if (listening.load()) {
        return false;
    }
    // StartThread refuses a second start, so of two calls only one succeeds
    // even before the listener has set its flag.
    return listenerThread->StartThread(this, "ExitSigWatcherThread") != 1 && listenerThread->IsRunning();
}

bool PosixExitSignalWatcher::AddSignal(int signal)
{
    return sigaddset(&watchedSet, signal) == 0;
}

bool PosixExitSignalWatcher::RemoveSignal(int signal)
{
    return sigdelset(&watchedSet, signal) == 0;
}

bool PosixExitSignalWatcher::BlockSignals()
{
    return pthread_sigmask(SIG_BLOCK, &watchedSet, nullptr) == 0;
}

bool PosixExitSignalWatcher::UnblockSignals()
{
    return pthread_sigmask(SIG_UNBLOCK, &watchedSet, nullptr) == 0;
}

void PosixExitSignalWatcher::Listen()
{
    WaitForSignal();
}

void* PosixExitSignalWatcher::SignalListenerThreadEntryPoint(void* self)
{
    static_cast<PosixExitSignalWatcher*>(self)->WaitForSignal();
    return nullptr;
}

void PosixExitSignalWatcher::WaitForSignal()
{
    listening.store(true);
    for (;;) {
        siginfo_t info;
        const int signal = sigwaitinfo(&watchedSet, &info);
        if (signal == -1) {
            continue;
        }
        // Called outside the lock: the notification may register another.
        const std::function<void(int)> notify = CurrentNotification();
        if (!notify || sigismember(&watchedSet, signal) != 1) {
            continue;
        }
        notify(signal);
        handled.store(true);
        break;
    }
    listening.store(false);
    handledEvent->Signal();
}
