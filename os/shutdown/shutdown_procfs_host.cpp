// Stands in for the printer's "/proc" as the shutdown sequence sees it: the simulated printer's processes only.
//
// Safety: the listing is the kernel's /proc only inside the private PID
// namespace that tools/sandbox made (the process-list guard of the process
// stand-ins decides that). Anywhere else it is empty and no process can be
// opened, so a shutdown run on a developer's machine (or in any other
// container) can find, and so signal, nothing.
#include "shutdown_procfs.h"

#include <host_process.h>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The path below a process's folder, or -1 outside the simulated printer.
int OpenInProcessFolder(pid_t pid, const char* entry, int flags)
{
    if (pid < 1 || !host_process_namespace_is_private()) {
        errno = ENOENT;
        return -1;
    }
    // Room for "/proc/", any pid and the longest entry ("/cmdline").
    char path[48];
    (void)std::snprintf(path, sizeof path, "/proc/%d%s", static_cast<int>(pid), entry);
    return open(path, flags | O_RDONLY | O_CLOEXEC);
}

} // namespace

extern "C" int shutdown_procfs_walk(shutdown_procfs_visitor visit, void* context)
{
    if (!host_process_namespace_is_private()) {
        return 0;
    }
    DIR* listing = opendir("/proc");
    if (listing == nullptr) {
        return -1;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own; readdir is safe on unshared streams
    while (const dirent* entry = readdir(listing)) {
        if (visit(entry->d_name, context) != 0) {
            break;
        }
    }
    closedir(listing);
    return 0;
}

// Linux has no control file: the process's folder is the descriptor that the
// devctl stand-in answers DCMD_PROC_INFO on.
extern "C" int shutdown_procfs_open_process(pid_t pid)
{
    return OpenInProcessFolder(pid, "", O_DIRECTORY);
}

extern "C" int shutdown_procfs_open_command_line(pid_t pid)
{
    return OpenInProcessFolder(pid, "/cmdline", 0);
}
