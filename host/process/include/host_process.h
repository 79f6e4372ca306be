// Host-only settings of the process stand-ins; the printer has none of this.
#pragma once

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// The process view is the machine's only inside a private PID namespace
// that tools/sandbox made (its init is "bwrap", its own process file system
// is mounted at /proc, and the runner's read-only mark /.upgrade-sandbox is
// there). Anywhere else the view is empty, so nothing outside the namespace
// can be found, and so none of it signalled, by the shutdown sequence. 1 or 0.
int host_process_namespace_is_private(void);

// Names a file describing what Linux processes lack: critical marks, extra
// process flags and connection records. One statement a line, '#' comments:
//   PID critical
//   PID flags NUMBER              (ORed into the information's flags; 0x1000 marks a daemon)
//   PID connect SERVER-PID        (a connection to a process of this machine)
//   PID remote NODE SERVER-PID    (a connection to another node)
// Connections are numbered 1, 2, ... in the order of the file.
#define HOST_PROCESS_DESCRIPTION_ENV "UPGRADE_HOST_PROCESSES"

// sysmgr_reboot settings: milliseconds to linger before the process ends
// (at most 10000), as a real restart gives signalled processes time to run;
// and, when set, a refusal (EPERM) instead.
#define HOST_REBOOT_DELAY_ENV "UPGRADE_HOST_REBOOT_DELAY_MS"
#define HOST_REBOOT_REFUSE_ENV "UPGRADE_HOST_REBOOT_REFUSE"

#ifdef __cplusplus
}
#endif
