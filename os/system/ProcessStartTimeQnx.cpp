#include "ProcessStartTime.h"

#include <devctl.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/procfs.h>
#include <unistd.h>

std::optional<std::time_t> ProcessStartTime()
{
    char path[32];
    snprintf(path, sizeof path, "/proc/%d/ctl", static_cast<int>(getpid()));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    procfs_info info = {};
    const int rc = devctl(fd, DCMD_PROC_INFO, &info, sizeof info, nullptr);
    close(fd);
    if (rc != EOK) {
        return std::nullopt;
    }
    // Nanoseconds since the epoch on the real-time clock.
    return static_cast<std::time_t>(info.start_time / 1000000000u);
}
