// Stands in for QNX's sysmgr_reboot(): NEVER reboots, halts or powers off the host; it reports the request and ends the
// calling process.
#include <host_process.h>
#include <sys/sysmgr.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr long MaximumLingerMs = 10000;

long LingerMs()
{
    const char* text = std::getenv(HOST_REBOOT_DELAY_ENV);
    if (text == nullptr) {
        return 0;
    }
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (end == text || ms <= 0) {
        return 0;
    }
    return ms > MaximumLingerMs ? MaximumLingerMs : ms;
}

long long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000L;
}

// Short sleeps up to a monotonic deadline, so that signal handlers of the
// caller (reporting children that end meanwhile) run during the wait.
void Linger(long ms)
{
    const long long deadline = NowMs() + ms;
    while (NowMs() < deadline) {
        const timespec step{0, 5000000L};
        nanosleep(&step, nullptr);
    }
}

} // namespace

extern "C" int sysmgr_reboot(void)
{
    if (std::getenv(HOST_REBOOT_REFUSE_ENV) != nullptr) {
        errno = EPERM;
        return -1;
    }
    std::fprintf(stderr, "sysmgr_reboot: reboot requested; the host stand-in ends process %d instead\n",
                 static_cast<int>(getpid()));
    std::fflush(stderr);
    Linger(LingerMs());
    _exit(0);
}
