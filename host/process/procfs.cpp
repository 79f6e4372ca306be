// Stands in for QNX's process information request (DCMD_PROC_INFO) on a process's descriptor, and holds the
// process-list guard.
//
// Safety: the guard says whether the caller lives in the private PID
// namespace with its own /proc that tools/sandbox made. The shutdown
// sequence's host view of /proc (os/shutdown/shutdown_procfs_host.cpp) shows
// and opens processes only then, so a shutdown run on a developer's machine
// (or in any other container) can find, and so signal, nothing.
#include "ProcessDescription.h"

#include <devctl.h>
#include <host_process.h>
#include <sys/procfs.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The inode the kernel gives the initial PID namespace.
constexpr ino_t InitialPidNamespace = 0xEFFFFFFCu;
// The command name of bubblewrap's init, as /proc/1/comm shows it.
constexpr const char* BubblewrapInit = "bwrap\n";
// The mark tools/sandbox leaves: a file with this text, mounted read-only
// on a file system of its own at a path no host has.
constexpr const char* SandboxMark = "/.upgrade-sandbox";
constexpr const char SandboxMarkText[] = "simulated printer made by tools/sandbox\n";

bool ProcShowsOwnNamespace()
{
    char target[32] = {};
    const ssize_t length = readlink("/proc/self", target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    char* end = nullptr;
    const long pid = std::strtol(target, &end, 10);
    return *end == '\0' && pid == static_cast<long>(getpid());
}

bool PidNamespaceIsNested()
{
    struct stat status = {};
    return stat("/proc/self/ns/pid", &status) == 0 && status.st_ino != InitialPidNamespace;
}

// The namespace's first process is bubblewrap's init.
bool InitIsBubblewrap()
{
    char name[32] = {};
    const int fd = open("/proc/1/comm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const ssize_t length = read(fd, name, sizeof name - 1);
    close(fd);
    return length > 0 && std::strcmp(name, BubblewrapInit) == 0;
}

// A stray file of that name (on the host's root, or copied into another
// namespace) lies on the file system of "/" or is writable, so it does not count.
bool SandboxMarkIsMounted()
{
    const int fd = open(SandboxMark, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat mark = {};
    struct stat root = {};
    struct statvfs mount = {};
    char text[sizeof SandboxMarkText + 1] = {};
    const bool mounted = fstat(fd, &mark) == 0 && S_ISREG(mark.st_mode) && stat("/", &root) == 0 &&
                         mark.st_dev != root.st_dev && fstatvfs(fd, &mount) == 0 && (mount.f_flag & ST_RDONLY) != 0;
    const bool marked = mounted && read(fd, text, sizeof text) == static_cast<ssize_t>(sizeof SandboxMarkText - 1) &&
                        std::strcmp(text, SandboxMarkText) == 0;
    close(fd);
    return marked;
}

// A nested namespace of any other kind (a container the whole machine might
// run in, another bubblewrap sandbox) is not taken for the simulated printer.
bool NamespaceBelongsToSandbox()
{
    return InitIsBubblewrap() && SandboxMarkIsMounted();
}

// The process whose folder in /proc the descriptor is open on, or 0.
pid_t ProcessOfDescriptor(int fd)
{
    char link[48];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[64] = {};
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 6 || std::strncmp(target, "/proc/", 6) != 0) {
        return 0;
    }
    char* end = nullptr;
    const long pid = std::strtol(target + 6, &end, 10);
    // The folder of a process that has been reaped reads as deleted.
    const bool ended = std::strcmp(end, " (deleted)") == 0;
    if (end == target + 6 || (*end != '\0' && !ended) || pid < 1 || pid > 0x7FFFFFFFL) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

uint64_t BootTimeNs()
{
    FILE* file = std::fopen("/proc/stat", "re");
    if (file == nullptr) {
        return 0;
    }
    char line[256];
    unsigned long long boot = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "btime %llu", &boot) == 1) {
            break;
        }
    }
    std::fclose(file);
    return static_cast<uint64_t>(boot) * 1000000000ull;
}

uint64_t TicksToNs(unsigned long long ticks)
{
    const long perSecond = sysconf(_SC_CLK_TCK);
    const unsigned long long hz = perSecond > 0 ? static_cast<unsigned long long>(perSecond) : 100ull;
    return static_cast<uint64_t>(ticks / hz * 1000000000ull + ticks % hz * 1000000000ull / hz);
}

// Fills `info` from the kernel's stat line of the process behind `dir`.
int ReadStat(int dir, pid_t pid, procfs_info* info)
{
    const int fd = openat(dir, "stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return ESRCH;
    }
    char text[1024];
    ssize_t got;
    do {
        got = read(fd, text, sizeof text - 1);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got <= 0) {
        return ESRCH;
    }
    text[got] = '\0';
    // The command name in parentheses may itself hold spaces and parentheses.
    const char* close_paren = std::strrchr(text, ')');
    if (close_paren == nullptr) {
        return EIO;
    }
    char state = '?';
    int parent = 0;
    int group = 0;
    int session = 0;
    unsigned long long user = 0;
    unsigned long long system = 0;
    long threads = 0;
    unsigned long long start = 0;
    const int fields =
        std::sscanf(close_paren + 1, " %c %d %d %d %*d %*d %*u %*u %*u %*u %*u %llu %llu %*d %*d %*d %*d %ld %*d %llu",
                    &state, &parent, &group, &session, &user, &system, &threads, &start);
    if (fields != 8) {
        return EIO;
    }

    std::memset(info, 0, sizeof *info);
    info->pid = pid;
    info->parent = parent;
    info->pgrp = group;
    info->sid = session;
    info->num_threads = threads > 0 ? static_cast<uint32_t>(threads) : 0u;
    info->start_time = BootTimeNs() + TicksToNs(start);
    info->utime = TicksToNs(user);
    info->stime = TicksToNs(system);
    info->flags = host_process::DescribedFlags(pid);
    if (state == 'Z' || state == 'X') {
        info->flags |= _NTO_PF_ZOMBIE;
    }
    struct stat owner = {};
    if (fstat(dir, &owner) == 0) {
        info->uid = owner.st_uid;
        info->gid = owner.st_gid;
    }
    return EOK;
}

} // namespace

extern "C" int host_process_namespace_is_private(void)
{
    return ProcShowsOwnNamespace() && PidNamespaceIsNested() && NamespaceBelongsToSandbox() ? 1 : 0;
}

extern "C" int host_proc_devctl(int filedes, int dcmd, void* data, size_t n_bytes, int* info)
{
    if (dcmd != DCMD_PROC_INFO) {
        return HOST_DEVCTL_NOT_MINE;
    }
    const pid_t pid = ProcessOfDescriptor(filedes);
    if (pid == 0) {
        return HOST_DEVCTL_NOT_MINE;
    }
    if (data == nullptr) {
        return EINVAL;
    }
    procfs_info process{};
    const int result = ReadStat(filedes, pid, &process);
    if (result != EOK) {
        return result;
    }
    std::memcpy(data, &process, n_bytes < sizeof process ? n_bytes : sizeof process);
    if (info != nullptr) {
        *info = 0;
    }
    return EOK;
}
