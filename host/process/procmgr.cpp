// Stands in for QNX's procmgr_daemon(): detaches the caller in place, without forking, so its process id stays.
#include <sys/procmgr.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

extern "C" int procmgr_daemon(int, unsigned flags)
{
    // A process that leads its session already cannot start a new one, and
    // that is no failure here: it has no session to leave.
    setsid();
    if ((flags & PROCMGR_DAEMON_NOCHDIR) == 0 && chdir("/") != 0) {
        return -1;
    }
    if ((flags & PROCMGR_DAEMON_KEEPUMASK) == 0) {
        umask(0);
    }
    if ((flags & PROCMGR_DAEMON_NOCLOSE) == 0 && close_range(3, ~0u, 0) != 0) {
        const long limit = sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < (limit > 0 ? limit : 1024); ++fd) {
            close(static_cast<int>(fd));
        }
    }
    if ((flags & PROCMGR_DAEMON_NODEVNULL) == 0) {
        const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null < 0) {
            return -1;
        }
        for (int fd = 0; fd < 3; ++fd) {
            dup2(null, fd);
        }
        if (null > 2) {
            close(null);
        }
    }
    return 0;
}
