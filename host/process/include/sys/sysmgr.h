// Stands in for QNX's <sys/sysmgr.h>: the system manager's reboot request.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// On the printer: restarts the machine. On a host it NEVER touches the
// machine: it writes "sysmgr_reboot: reboot requested ..." to standard error
// and ends the calling process with status 0 (see host_process.h for the
// test settings). Returns -1 with errno only when the request is refused.
int sysmgr_reboot(void);

#ifdef __cplusplus
}
#endif
