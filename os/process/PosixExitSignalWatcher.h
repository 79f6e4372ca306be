#pragma once

#include "SimpleEvent.h"
#include "Thread.h"
#include "ThreadFactory.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <memory>
#include <mutex>

// Turns the first termination signal (SIGTERM, SIGQUIT or SIGINT) into one
// call of a notification, on a listener thread ("ExitSigWatcherThread"), so
// that no code of the program runs in signal context.
//
// The constructor blocks the signals in the calling thread: construct the
// watcher before any other thread exists, so every thread inherits the mask
// and only the listener receives them (through sigwaitinfo). Signals that
// arrive before Watch stay pending until the listener takes them. A signal
// taken while no notification is registered is dropped and the listener
// waits on; after the one notification, later signals stay pending.
//
// Destruction waits until a signal has been handled, then joins the
// listener: destroy the watcher only after its notification has run, and
// never from the notification itself. Once a signal has been handled the
// program is stopping, and the watched signals stay blocked in the
// destroying thread: a further one, pending or still to come, would
// otherwise end the program by its default action before it could return
// its status. A watcher that handled no signal (its listener never started)
// is destroyed without waiting and unblocks the signals again.
class PosixExitSignalWatcher
{
public:
    PosixExitSignalWatcher();
    explicit PosixExitSignalWatcher(std::function<void(int)> notification);
    // The listener thread comes from threads (a PosixThread of its own
    // otherwise); the factory need not outlive the constructor.
    PosixExitSignalWatcher(std::function<void(int)> notification, ThreadFactory& threads);
    ~PosixExitSignalWatcher();

    PosixExitSignalWatcher(const PosixExitSignalWatcher&) = delete;
    PosixExitSignalWatcher& operator=(const PosixExitSignalWatcher&) = delete;

    // Replaces the notification; the last registration wins. May be called
    // from any thread, also while the listener runs.
    void RegisterNotification(std::function<void(int)> notification);
    // Starts the listener and returns at once: true when this call started
    // it, false when it was already started or the system refused the
    // thread.
    bool Watch();
    // Listens on the calling thread instead, for when Watch could not start
    // the listener: returns once the notification has run. The calling
    // thread must have the watched signals blocked (the constructor's thread
    // has, and every thread it started afterwards).
    void Listen();
    // Change the watched set; meant for use before BlockSignals.
    bool AddSignal(int signal);
    bool RemoveSignal(int signal);
    // Block or unblock the watched set in the calling thread.
    bool BlockSignals();
    bool UnblockSignals();

    bool IsListening() const { return listening.load(); }

private:
    PosixExitSignalWatcher(std::function<void(int)> notification, std::unique_ptr<Thread> listener);

    static void* SignalListenerThreadEntryPoint(void* self);
    void WaitForSignal();
    std::function<void(int)> CurrentNotification();

    sigset_t watchedSet;
    std::function<void(int)> notification;
    std::atomic<bool> listening;
    std::unique_ptr<Thread> listenerThread;
    std::unique_ptr<SimpleEvent> handledEvent;
    std::atomic<bool> handled;
    // Guards notification: registration may race with the listener.
    std::mutex notificationMutex;
};
