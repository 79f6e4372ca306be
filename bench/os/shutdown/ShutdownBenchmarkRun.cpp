// One measurement inside the sandbox: the time 50 well-behaved processes
// need to end when each gets SIGTERM and is waited for in turn (the
// baseline), against the time the shutdown sequence takes for 50 such
// processes from its start to the end of its main pass. Prints both in
// microseconds: "baseline_us sequence_us".
#include "shutdown_system.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr int ProcessCount = 50;
long long sequenceStart = 0;
long long baseline = 0;

long long NowUs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Children that wait for SIGTERM and end on it (its default action).
std::vector<pid_t> StartChildren()
{
    std::vector<pid_t> children;
    for (int i = 0; i < ProcessCount; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (;;) {
                pause();
            }
        }
        if (pid > 0) {
            children.push_back(pid);
        }
    }
    return children;
}

} // namespace

// Every child is an application; the runner itself is never listed.
extern "C" ProcessClass_t shutdown_classify(const ProcessInfo_t*)
{
    return CLASS_APP;
}

extern "C" void shutdown_done(int)
{
    std::printf("%lld %lld\n", baseline, NowUs() - sequenceStart);
    std::fflush(stdout);
}

int main()
{
    std::vector<pid_t> children = StartChildren();
    const long long start = NowUs();
    for (pid_t child : children) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    baseline = NowUs() - start;

    children = StartChildren();
    // Let the children reach pause() before they are listed.
    const timespec settle{0, 50000000L};
    nanosleep(&settle, nullptr);
    sequenceStart = NowUs();
    shutdown_system(SHUTDOWN_REBOOT, 0);
    return 1;
}
