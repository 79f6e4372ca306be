#pragma once

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Starts child processes and waits for the ones it tracks.
//
// One process-wide instance, `lifetimeManager`, exists from before main; it
// installs SIGCHLDHandler. The handler does nothing but wake the manager's
// reaper thread, so it never takes a lock: the reaper collects the tracked
// children by their own process ids and hands their status to the waiting
// threads. Children the manager does not track (those of popen or system)
// are never collected by it, whether or not it tracks children of its own.
// Destroying a manager puts back the SIGCHLD action it found and closes its
// pipe; from then on a child's end reaches none of its descriptors.
class LifetimeManager
{
public:
    enum ChildState : int
    {
        StateNone = 0,
        StateTerminated = 1,
        StateRunning = 2
    };

    struct ChildContext
    {
        int startError = -1; // errno of a failed start, or 0
        int status = -1;     // the wait status as waitpid reported it
        int pid = -1;
        bool waiterPresent = false;
        int state = StateNone;

        void Print() const {}
    };

    static constexpr unsigned int InfiniteTimeout = 0xFFFFFFFFu;

    explicit LifetimeManager(void (*handler)(int signal));
    ~LifetimeManager();

    LifetimeManager(const LifetimeManager&) = delete;
    LifetimeManager& operator=(const LifetimeManager&) = delete;

    // True while a child is tracked. Safe to call from a signal handler.
    bool ChildrenExist() const;

    // Starts program (searched on PATH) with the given arguments (the
    // program name alone when empty), standard input, output and error and the
    // environment of this process. Stores the pid; returns 0 or the errno of the
    // failed start. The three reserved parameters are accepted and not used.
    int CreateChildProcess(int& pid, const std::string& program, const std::vector<std::string>& arguments,
                           unsigned int reservedNumber, const std::string& reservedFirst,
                           const std::string& reservedSecond);

    // Starts the child and waits: for its end with InfiniteTimeout, not at all
    // with 0, otherwise until it ends or timeoutMs have passed. The returned
    // state says whether it ended (StateTerminated, with its status) or still
    // runs (StateRunning). A child still running when the wait ends stays
    // tracked until it ends, so that it never lingers as a zombie. A manager
    // whose wake-up pipe could not be opened could collect no child: it
    // starts none and reports the pipe's errno as the start error.
    ChildContext CreateChildAndWait(const std::string& program, const std::vector<std::string>& arguments,
                                    unsigned int timeoutMs, unsigned int reservedNumber,
                                    const std::string& reservedFirst, const std::string& reservedSecond);

    // Records the end of a tracked child: the waiter gets the status, an
    // entry nobody waits for is dropped.
    void NotifyChildTerminated(int pid, int status);

    // Wakes the reaper. Async-signal-safe.
    void WakeReaper();

private:
    void NotifyChildTerminatedLocked(int pid, int status);
    void EnsureReaper();
    void ReaperLoop();
    void CollectTrackedChildren();

    std::mutex mutex;
    std::condition_variable condition;
    std::map<int, ChildContext> children;
    // The number of children tracked or about to be: read by the handler.
    std::atomic<int> trackedCount;
    // Wake-up pipe of the reaper: [0] read by the reaper, [1] written by the
    // handler. The write end is atomic and the handler counts itself in
    // `handlersRunning`, so that the destructor can take the descriptor away
    // from under a handler running on another thread.
    int wakeReadFd;
    std::atomic<int> wakeWriteFd;
    std::atomic<int> handlersRunning;
    // errno of the failed pipe(), or 0.
    int pipeError;
    // The SIGCHLD action before this manager's, put back by the destructor.
    struct sigaction previousAction;
    std::thread reaper;
    int reaperOwnerPid;
    std::atomic<bool> stopping;
};

void SIGCHLDHandler(int signal);

extern LifetimeManager lifetimeManager;
