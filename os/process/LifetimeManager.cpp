#include "LifetimeManager.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

LifetimeManager lifetimeManager(&SIGCHLDHandler);

namespace {

constexpr char WakeByte = 'c';

// Opens the reaper's pipe: close-on-exec so children never inherit it, and a
// non-blocking write end so the signal handler can never block on it.
// Returns 0 or the errno of the failed pipe().
int OpenWakePipe(int fds[2])
{
    if (pipe(fds) != 0) {
        fds[0] = fds[1] = -1;
        return errno != 0 ? errno : EMFILE;
    }
    for (int i = 0; i < 2; ++i) {
        fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    }
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    return 0;
}

} // namespace

void SIGCHLDHandler(int)
{
    const int savedErrno = errno;
    if (lifetimeManager.ChildrenExist()) {
        lifetimeManager.WakeReaper();
    }
    errno = savedErrno;
}

LifetimeManager::LifetimeManager(void (*handler)(int))
    : trackedCount(0), wakeReadFd(-1), wakeWriteFd(-1), handlersRunning(0), pipeError(0), previousAction(),
      reaperOwnerPid(-1), stopping(false)
{
    int fds[2];
    pipeError = OpenWakePipe(fds);
    wakeReadFd = fds[0];
    wakeWriteFd.store(fds[1]);
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a child's end must not make a blocking call of some other
    // thread fail with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGCHLD, &action, &previousAction);
}

LifetimeManager::~LifetimeManager()
{
    // First, so that no handler starts any more for this manager.
    sigaction(SIGCHLD, &previousAction, nullptr);
    if (reaper.joinable()) {
        if (getpid() == reaperOwnerPid) {
            stopping.store(true);
            WakeReaper();
            reaper.join();
        } else {
            // A forked copy of the process has no reaper thread to join.
            reaper.detach();
        }
    }
    const int writeFd = wakeWriteFd.exchange(-1);
    // A handler that took the descriptor before the exchange is still about
    // to write to it; it never blocks, so this ends at once.
    while (handlersRunning.load() != 0) {
        const timespec pause{0, 100000L};
        nanosleep(&pause, nullptr);
    }
    if (writeFd >= 0) {
        close(writeFd);
    }
    if (wakeReadFd >= 0) {
        close(wakeReadFd);
        wakeReadFd = -1;
    }
}

bool LifetimeManager::ChildrenExist() const
{
    return trackedCount.load() > 0;
}

void LifetimeManager::WakeReaper()
{
    handlersRunning.fetch_add(1);
    const int fd = wakeWriteFd.load();
    if (fd >= 0) {
        // A full pipe already holds a pending wake-up: nothing is lost.
        const ssize_t ignored = write(fd, &WakeByte, 1);
        static_cast<void>(ignored);
    }
    handlersRunning.fetch_sub(1);
}

int LifetimeManager::CreateChildProcess(int& pid, const std::string& program, const std::vector<std::string>& arguments,
                                        unsigned int, const std::string&, const std::string&)
{
    std::vector<char*> argv;
    if (arguments.empty()) {
        argv.push_back(const_cast<char*>(program.c_str()));
    } else {
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
    }
    argv.push_back(nullptr);
    (void)std::fflush(stdout);
    (void)std::fflush(stderr);
    static const int fdMap[] = {0, 1, 2};
    const pid_t child = spawnp(program.c_str(), 3, fdMap, nullptr, argv.data(), nullptr);
    if (child == -1) {
        const int error = errno;
        pid = -1;
        return error != 0 ? error : EINVAL;
    }
    pid = static_cast<int>(child);
    return 0;
}

LifetimeManager::ChildContext LifetimeManager::CreateChildAndWait(const std::string& program,
                                                                  const std::vector<std::string>& arguments,
                                                                  unsigned int timeoutMs, unsigned int flags,
                                                                  const std::string& workingDir,
                                                                  const std::string& environment)
{
    ChildContext context;
    if (wakeReadFd < 0) {
        context.startError = pipeError;
        return context;
    }
    EnsureReaper();
    std::unique_lock<std::mutex> lock(mutex);
    // Counted before the start: a child that ends at once must already find
    // the handler willing to wake the reaper.
    ++trackedCount;
    int pid = -1;
    const int error = CreateChildProcess(pid, program, arguments, flags, workingDir, environment);
    if (error != 0) {
        --trackedCount;
        context.startError = error;
        return context;
    }
    ChildContext& entry = children[pid];
    entry.pid = pid;
    entry.state = StateRunning;
    // The reaper may have run between the start and the entry: look once
    // more now that the child can be found.
    WakeReaper();

    if (timeoutMs == 0) {
        context = entry;
    } else {
        entry.waiterPresent = true;
        const auto ended = [this, pid] { return children[pid].state == StateTerminated; };
        if (timeoutMs == InfiniteTimeout) {
            condition.wait(lock, ended);
        } else {
            condition.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs), ended);
        }
        ChildContext& result = children[pid];
        context = result;
        if (result.state == StateTerminated) {
            children.erase(pid);
            --trackedCount;
        } else {
            result.waiterPresent = false;
        }
    }
    context.startError = 0;
    return context;
}

void LifetimeManager::NotifyChildTerminated(int pid, int status)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        NotifyChildTerminatedLocked(pid, status);
    }
    condition.notify_all();
}

void LifetimeManager::NotifyChildTerminatedLocked(int pid, int status)
{
    const auto found = children.find(pid);
    if (found == children.end()) {
        return;
    }
    if (found->second.waiterPresent) {
        found->second.status = status;
        found->second.state = StateTerminated;
    } else {
        children.erase(found);
        --trackedCount;
    }
}

void LifetimeManager::EnsureReaper()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (wakeReadFd < 0 || (reaper.joinable() && reaperOwnerPid == static_cast<int>(getpid()))) {
        return;
    }
    if (reaper.joinable()) {
        // A forked copy of the process: its reaper stayed with the parent.
        reaper.detach();
    }
    // The reaper takes no signals: termination signals stay with the
    // exit-signal watcher, SIGCHLD with whichever thread is interrupted.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    reaper = std::thread([this] { ReaperLoop(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_setname_np(reaper.native_handle(), "ChildReaper");
    reaperOwnerPid = static_cast<int>(getpid());
}

void LifetimeManager::ReaperLoop()
{
    char buffer[64];
    while (!stopping.load()) {
        const ssize_t got = read(wakeReadFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        CollectTrackedChildren();
    }
}

void LifetimeManager::CollectTrackedChildren()
{
    bool any = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::pair<int, int>> ended;
        for (const auto& child : children) {
            if (child.second.state != StateRunning) {
                continue;
            }
            int status = 0;
            pid_t reaped;
            do {
                reaped = waitpid(child.first, &status, WNOHANG);
            } while (reaped == -1 && errno == EINTR);
            if (reaped == child.first) {
                ended.emplace_back(child.first, status);
            } else if (reaped == -1 && errno == ECHILD) {
                // Collected elsewhere: its status is lost, but its waiter must
                // not wait for ever. -1 reads as "did not exit normally".
                ended.emplace_back(child.first, -1);
            }
        }
        for (const auto& end : ended) {
            NotifyChildTerminatedLocked(end.first, end.second);
            any = true;
        }
    }
    if (any) {
        condition.notify_all();
    }
}
