// Stands in for QNX's <sys/neutrino.h>: the kernel calls the code uses (messages, connections).
#pragma once

#include <devctl.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// The permanent connection every QNX process has to the system manager.
#define SYSMGR_COID 0x40000000

// What ConnectServerInfo reports about a connection of a process.
struct _server_info
{
    uint32_t nd;   // node descriptor: 0 for this node
    pid_t pid;     // server process
    int32_t chid;  // channel
    int32_t scoid; // server connection id
    int32_t coid;  // the connection id this describes
};

// Sends a message and blocks for the reply; -1 with errno on failure.
long MsgSend(int coid, const void* smsg, size_t sbytes, void* rmsg, size_t rbytes);

// Describes connection `coid` of process `pid`, or the next one above it that
// exists; returns that connection id, or -1 when there are no more.
int ConnectServerInfo(pid_t pid, int coid, struct _server_info* info);

#ifdef __cplusplus
}
#endif
