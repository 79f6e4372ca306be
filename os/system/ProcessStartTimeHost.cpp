// Stands in for the printer's record of when this process started: Linux's /proc/self/stat, moved onto the real-time
// clock.
#include "ProcessStartTime.h"

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>
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
    std::ifstream stat("/proc/self/stat");
    std::string text;
    if (!std::getline(stat, text)) {
        return std::nullopt;
    }
    // The command name in parentheses may itself hold spaces and parentheses.
    const std::size_t afterName = text.rfind(')');
    if (afterName == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(afterName + 1));
    std::string skipped;
    // The fields after the name begin with the third, the process's state.
    for (int field = 3; field < 22; ++field) {
        if (!(fields >> skipped)) {
            return std::nullopt;
        }
    }
    unsigned long long ticks = 0;
    if (!(fields >> ticks)) {
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
