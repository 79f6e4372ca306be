#pragma once

// How the shutdown sequence reaches the process file system. The platform
// provides these (CMake picks the source): on the printer they are "/proc"
// itself and each process's control file; a host build provides stand-ins
// that show only the processes of a private process namespace.

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

#ifdef __cplusplus
}
#endif
