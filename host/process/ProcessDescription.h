// Stands in for the kernel's per-process records that Linux lacks (critical marks, process flags, connections).
#pragma once

#include <stdint.h>
#include <sys/types.h>

namespace host_process {

struct Connection
{
    int coid;
    uint32_t node;
    pid_t server;
};

// Extra information flags of `pid` from the description file; 0 without one.
uint32_t DescribedFlags(pid_t pid);

// The connection of `pid` numbered `coid` or the next above it; false when
// there is none.
bool DescribedConnection(pid_t pid, int coid, Connection* connection);

} // namespace host_process
