// Runs one case of the exit-signal watcher in a process of its own and exits
// with 0 when every check held, or with the number of the first failed check.
#include "EventFactory.h"
#include "PosixExitSignalWatcher.h"
#include "RefusingThreadFactory.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr unsigned int WaitMs = 10000;

struct Recorder
{
    std::atomic<int> calls{0};
    std::atomic<int> lastSignal{0};
    std::unique_ptr<SimpleEvent> called = EventFactory::GetUniqueSimpleEvent(false);

    std::function<void(int)> Notification()
    {
        return [this](int signal) {
            lastSignal = signal;
            ++calls;
            called->Signal();
        };
    }
};

bool IsBlocked(int signal)
{
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, signal) == 1;
}

bool IsPending(int signal)
{
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, signal) == 1;
}

template <typename Cond>
bool Eventually(Cond cond)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int Fail(int check, const char* what)
{
    std::fprintf(stderr, "check %d failed: %s\n", check, what);
    return check;
}

int SignalBeforeWatch()
{
    Recorder recorder;
    PosixExitSignalWatcher watcher;
    watcher.RegisterNotification(recorder.Notification());
    // Blocked in every thread, so pending as soon as kill returns.
    kill(getpid(), SIGINT);
    if (recorder.calls != 0) {
        return Fail(2, "notified before Watch");
    }
    if (!IsPending(SIGINT)) {
        return Fail(3, "SIGINT not pending before Watch");
    }
    if (!watcher.Watch()) {
        return Fail(4, "Watch refused");
    }
    if (!recorder.called->Wait(WaitMs)) {
        return Fail(5, "no notification after Watch");
    }
    if (recorder.lastSignal != SIGINT) {
        return Fail(6, "wrong signal");
    }
    return 0;
}

int SignalWithoutNotification()
{
    Recorder recorder;
    PosixExitSignalWatcher watcher;
    if (!watcher.Watch()) {
        return Fail(2, "Watch refused");
    }
    if (!Eventually([&] { return watcher.IsListening(); })) {
        return Fail(3, "listener not listening");
    }
    kill(getpid(), SIGTERM);
    if (!Eventually([] { return !IsPending(SIGTERM); })) {
        return Fail(4, "SIGTERM not consumed");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!watcher.IsListening()) {
        return Fail(5, "listener ended on a signal with no notification");
    }
    watcher.RegisterNotification(recorder.Notification());
    kill(getpid(), SIGQUIT);
    if (!recorder.called->Wait(WaitMs)) {
        return Fail(6, "no notification for the next signal");
    }
    if (recorder.lastSignal != SIGQUIT || recorder.calls != 1) {
        return Fail(7, "wrong signal or count");
    }
    return 0;
}

int TwoSignals()
{
    Recorder recorder;
    {
        PosixExitSignalWatcher watcher(recorder.Notification());
        if (!watcher.Watch()) {
            return Fail(2, "Watch refused");
        }
        kill(getpid(), SIGTERM);
        if (!recorder.called->Wait(WaitMs)) {
            return Fail(3, "no notification");
        }
        if (!Eventually([&] { return !watcher.IsListening(); })) {
            return Fail(4, "listener did not end");
        }
        // No thread waits for it any more: it is pending as soon as kill returns.
        kill(getpid(), SIGTERM);
        if (recorder.calls != 1) {
            return Fail(5, "notified twice");
        }
        if (!IsPending(SIGTERM)) {
            return Fail(6, "second SIGTERM not left pending");
        }
    }
    // Still blocked: the pending one, and any later one, cannot end the
    // probe by its default action before it returns its status.
    kill(getpid(), SIGINT);
    if (!IsPending(SIGTERM) || !IsPending(SIGINT)) {
        return Fail(7, "signals after the stop not left pending");
    }
    return 0;
}

int WatchTwice()
{
    Recorder recorder;
    PosixExitSignalWatcher watcher(recorder.Notification());
    if (!watcher.Watch()) {
        return Fail(2, "first Watch refused");
    }
    if (watcher.Watch()) {
        return Fail(3, "second Watch accepted");
    }
    if (!Eventually([&] { return watcher.IsListening(); })) {
        return Fail(4, "not listening");
    }
    if (watcher.Watch()) {
        return Fail(5, "Watch accepted while listening");
    }
    kill(getpid(), SIGTERM);
    if (!recorder.called->Wait(WaitMs)) {
        return Fail(6, "no notification");
    }
    return 0;
}

int MaskIsInheritedAndKeptOnceASignalWasHandled()
{
    Recorder recorder;
    {
        PosixExitSignalWatcher watcher(recorder.Notification());
        std::atomic<bool> blockedInThread{false};
        std::thread later([&] {
            sigset_t mask;
            pthread_sigmask(SIG_BLOCK, nullptr, &mask);
            blockedInThread =
                sigismember(&mask, SIGTERM) == 1 && sigismember(&mask, SIGQUIT) == 1 && sigismember(&mask, SIGINT) == 1;
        });
        later.join();
        if (!blockedInThread) {
            return Fail(2, "a later thread does not inherit the blocked set");
        }
        watcher.Watch();
        kill(getpid(), SIGQUIT);
        if (!recorder.called->Wait(WaitMs)) {
            return Fail(3, "no notification");
        }
    }
    if (!IsBlocked(SIGTERM)) {
        return Fail(4, "signals unblocked after a handled one");
    }
    return 0;
}

// No thread for the listener: the owner listens on its own thread, and the
// stop comes all the same.
int ListenerRefused()
{
    // Blocked before the factory starts its reaper, as a program blocks them
    // before any thread exists.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    RefusingThreadFactory threads(14, {"ExitSigWatcherThread"});
    Recorder recorder;
    {
        PosixExitSignalWatcher watcher(recorder.Notification(), threads);
        if (watcher.Watch()) {
            return Fail(2, "Watch reported a listener the system refused");
        }
        kill(getpid(), SIGTERM);
        watcher.Listen();
        if (recorder.calls != 1 || recorder.lastSignal != SIGTERM) {
            return Fail(3, "no notification from the owner's own thread");
        }
    }
    return 0;
}

int LastRegistrationWins()
{
    Recorder first, second;
    PosixExitSignalWatcher watcher(first.Notification());
    watcher.RegisterNotification(second.Notification());
    watcher.Watch();
    kill(getpid(), SIGINT);
    if (!second.called->Wait(WaitMs)) {
        return Fail(2, "the last notification did not run");
    }
    if (first.calls != 0) {
        return Fail(3, "a replaced notification ran");
    }
    return 0;
}

int RemovedSignalIsNotWatched()
{
    Recorder recorder;
    PosixExitSignalWatcher watcher;
    // Still blocked (it was blocked by the constructor) but no longer waited for.
    if (!watcher.RemoveSignal(SIGINT)) {
        return Fail(2, "RemoveSignal failed");
    }
    watcher.RegisterNotification(recorder.Notification());
    watcher.Watch();
    // A listener that still waited for SIGINT would be handed it first: it
    // is sent first and, were both pending, is the lower number.
    kill(getpid(), SIGINT);
    kill(getpid(), SIGTERM);
    if (!recorder.called->Wait(WaitMs)) {
        return Fail(3, "no notification");
    }
    if (recorder.lastSignal != SIGTERM || recorder.calls != 1) {
        return Fail(4, "notified for a removed signal");
    }
    if (!IsPending(SIGINT)) {
        return Fail(5, "removed signal not left pending");
    }
    sigset_t intSet;
    sigemptyset(&intSet);
    sigaddset(&intSet, SIGINT);
    const timespec none = {0, 0};
    sigtimedwait(&intSet, nullptr, &none);
    return 0;
}

int UnstartedWatcher()
{
    {
        PosixExitSignalWatcher watcher;
    }
    // Reaching this means the destructor did not wait for ever.
    if (IsBlocked(SIGTERM)) {
        return Fail(2, "signals left blocked by a watcher that handled none");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    alarm(60); // a hang ends the probe, and the test reports it
    if (argc != 2) {
        return 100;
    }
    const std::string scenario = argv[1];
    if (scenario == "before-watch") {
        return SignalBeforeWatch();
    }
    if (scenario == "no-notification") {
        return SignalWithoutNotification();
    }
    if (scenario == "two-signals") {
        return TwoSignals();
    }
    if (scenario == "watch-twice") {
        return WatchTwice();
    }
    if (scenario == "mask") {
        return MaskIsInheritedAndKeptOnceASignalWasHandled();
    }
    if (scenario == "listener-refused") {
        return ListenerRefused();
    }
    if (scenario == "last-registration") {
        return LastRegistrationWins();
    }
    if (scenario == "removed-signal") {
        return RemovedSignalIsNotWatched();
    }
    if (scenario == "unstarted") {
        return UnstartedWatcher();
    }
    return 101;
}
