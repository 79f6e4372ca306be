#include "shutdown_procfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

extern "C" int shutdown_procfs_walk(shutdown_procfs_visitor visit, void* context)
{
    DIR* listing = opendir("/proc");
    if (listing == nullptr) {
        return -1;
    }
    while (const dirent* entry = readdir(listing)) {
        if (visit(entry->d_name, context) != 0) {
            break;
        }
    }
    closedir(listing);
    return 0;
}

extern "C" int shutdown_procfs_open_process(pid_t pid)
{
    char path[32];
    snprintf(path, sizeof path, "/proc/%d/ctl", static_cast<int>(pid));
    return open(path, O_RDONLY | O_CLOEXEC);
}

extern "C" int shutdown_procfs_open_command_line(pid_t pid)
{
    char path[48];
    snprintf(path, sizeof path, "/proc/%d/cmdline", static_cast<int>(pid));
    return open(path, O_RDONLY | O_CLOEXEC);
}
