// Stands in for QNX's ConnectServerInfo(): the connections a description file gives a process.
#include "ProcessDescription.h"

#include <sys/neutrino.h>

#include <cerrno>
#include <cstring>

extern "C" int ConnectServerInfo(pid_t pid, int coid, struct _server_info* info)
{
    host_process::Connection connection{};
    if (info == nullptr || !host_process::DescribedConnection(pid, coid < 0 ? 0 : coid, &connection)) {
        errno = EINVAL;
        return -1;
    }
    std::memset(info, 0, sizeof *info);
    info->nd = connection.node;
    info->pid = connection.server;
    info->chid = 1;
    info->scoid = connection.coid;
    info->coid = connection.coid;
    return connection.coid;
}
