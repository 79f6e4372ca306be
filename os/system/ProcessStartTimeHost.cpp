// Stands in for the printer's record of when this process started: Linux's /proc/self/stat, moved onto the real-time
// clock.
#include "ProcessStartTime.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

long long Nanoseconds(clockid_t clock)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The start in clock ticks since boot (the 22nd field of /proc/self/stat).
std::optional<unsigned long long> StartTicks()
{
    const int fd = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    char text[1024];
    ssize_t got;
    do {
        got = read(fd, text, sizeof text - 1);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got <= 0) {
        return std::nullopt;
    }
    text[got] = '\0';
    // The command name in parentheses may itself hold spaces and parentheses.
    const char* afterName = std::strrchr(text, ')');
    unsigned long long ticks = 0;
    if (afterName == nullptr ||
        std::sscanf(afterName + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                    &ticks) != 1) {
        return std::nullopt;
    }
    return ticks;
}

} // namespace

std::optional<std::time_t> ProcessStartTime()
{
    const std::optional<unsigned long long> ticks = StartTicks();
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!ticks || ticksPerSecond <= 0) {
        return std::nullopt;
    }
    // The boot-time clock is read after the real-time one, so the start
    // comes out early rather than late; the ticks are rounded down as well.
    const long long realNow = Nanoseconds(CLOCK_REALTIME);
    const long long sinceBoot = Nanoseconds(CLOCK_BOOTTIME);
    const long long startSinceBoot = static_cast<long long>(*ticks) * (1000000000LL / ticksPerSecond);
    const long long start = realNow - (sinceBoot - startSinceBoot);
    return static_cast<std::time_t>(start / 1000000000LL);
}
