#pragma once

// How the shutdown sequence reaches the process file system: its only way
// to "/proc". CMake picks the platform's source: shutdown_procfs_qnx.cpp on
// the printer ("/proc" itself and each process's control file),
// shutdown_procfs_host.cpp in host builds (the processes of the simulated
// printer's private process namespace, and nothing anywhere else).

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called with each top-level entry name of the process file system until it
// returns non-zero.
typedef int (*shutdown_procfs_visitor)(const char* entry, void* context);

// Walks the top-level entries once. 0, or -1 when the listing cannot be read.
int shutdown_procfs_walk(shutdown_procfs_visitor visit, void* context);

// A read-only descriptor on which devctl(DCMD_PROC_INFO) describes `pid`;
// -1 when the process cannot be opened. The caller closes it.
int shutdown_procfs_open_process(pid_t pid);

// A read-only descriptor on the command line of `pid` (its arguments, each
// ended by a zero byte); -1 when it cannot be opened. The caller closes it.
int shutdown_procfs_open_command_line(pid_t pid);

#ifdef __cplusplus
}
#endif
