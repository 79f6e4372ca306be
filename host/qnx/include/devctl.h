// Stands in for QNX's <devctl.h>: device control requests on an open descriptor.
#pragma once

#include <stddef.h>
#include <sys/uio.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef EOK
#define EOK 0
#endif

// QNX's scatter/gather element has the layout of a POSIX iovec.
typedef struct iovec iov_t;
#define SETIOV(_iov, _addr, _len) ((_iov)->iov_base = (void*)(_addr), (_iov)->iov_len = (size_t)(_len))

// Both return EOK or an errno value (never -1), as on QNX.
int devctl(int filedes, int dcmd, void* dev_data_ptr, size_t n_bytes, int* dev_info_ptr);
int devctlv(int filedes, int dcmd, int sparts, int rparts, const iov_t* sv, const iov_t* rv, int* dev_info_ptr);

// Host side: each stand-in area that serves device commands (the I2C bus, the
// process file system) provides one of these handlers. A handler returns
// HOST_DEVCTL_NOT_MINE for a descriptor or command it does not serve, so the
// next one can try; when none serves it the request fails with ENOTTY.
#define HOST_DEVCTL_NOT_MINE (-1)
int host_i2c_devctl(int filedes, int dcmd, void* data, size_t n_bytes, int* info);
int host_i2c_devctlv(int filedes, int dcmd, int sparts, int rparts, const iov_t* sv, const iov_t* rv, int* info);
int host_proc_devctl(int filedes, int dcmd, void* data, size_t n_bytes, int* info);

#ifdef __cplusplus
}
#endif
