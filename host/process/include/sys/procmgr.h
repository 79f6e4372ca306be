// Stands in for QNX's <sys/procmgr.h>: detaching a process as a daemon.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define PROCMGR_DAEMON_NOCHDIR 0x0001u
#define PROCMGR_DAEMON_NOCLOSE 0x0002u
#define PROCMGR_DAEMON_NODEVNULL 0x0004u
#define PROCMGR_DAEMON_KEEPUMASK 0x0008u

// Makes the calling process a daemon in place (its process id stays):
// a new session, and unless the flags say otherwise the root folder, umask 0,
// descriptors above 2 closed and 0-2 on /dev/null. On the printer the parent
// is told the process ended with `status`; a host keeps the parent waiting.
// 0, or -1 with errno.
int procmgr_daemon(int status, unsigned flags);

#ifdef __cplusplus
}
#endif
