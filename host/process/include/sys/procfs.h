// Stands in for QNX's <sys/procfs.h>: the process information request on a process's control descriptor.
#pragma once

#include_next <sys/procfs.h>

#include <devctl.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Process flags of the information record.
#define _NTO_PF_ZOMBIE 0x00000008u
#define _NTO_PF_CRITICAL 0x40000000u

// What DCMD_PROC_INFO reports about a process. Times in nanoseconds; the
// start time counts from the epoch.
typedef struct
{
    pid_t pid;
    pid_t parent;
    uint32_t flags;
    pid_t pgrp;
    pid_t sid;
    uid_t uid;
    gid_t gid;
    uint32_t num_threads;
    uint64_t start_time;
    uint64_t utime;
    uint64_t stime;
} procfs_info;

// devctl on a descriptor from the host's process view; EOK, or ESRCH once
// the process is gone.
#define DCMD_PROC_INFO 0x50524f01

#ifdef __cplusplus
}
#endif
