#pragma once

// Lets a test wait until a thread of its own process is blocked in a given
// system call, as the kernel reports it in /proc/self/task/<id>/syscall,
// instead of sleeping and hoping that it is by then.

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace blocked_thread {

inline pid_t OwnId()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// The id of the thread of this process with the given name, or 0.
inline pid_t FindByName(const std::string& name)
{
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return 0;
    }
    pid_t found = 0;
    while (const dirent* entry = readdir(tasks)) {
        std::string comm;
        std::getline(std::ifstream(std::string("/proc/self/task/") + entry->d_name + "/comm"), comm);
        if (comm == name) {
            found = static_cast<pid_t>(std::atol(entry->d_name));
            break;
        }
    }
    closedir(tasks);
    return found;
}

// The system call the thread is blocked in, or -1 while it runs.
inline long CurrentCall(pid_t thread)
{
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    std::string first;
    if (!(file >> first) || first == "running") {
        return -1;
    }
    return std::atol(first.c_str());
}

// Polls until the thread sits in one of the calls; false after 20 s.
inline bool EventuallyIn(pid_t thread, const std::vector<long>& calls)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        const long current = CurrentCall(thread);
        for (long call : calls) {
            if (current == call) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The calls a wait for descriptors may sit in.
inline std::vector<long> PollCalls()
{
#ifdef SYS_poll
    return {SYS_poll, SYS_ppoll};
#else
    return {SYS_ppoll};
#endif
}

} // namespace blocked_thread
