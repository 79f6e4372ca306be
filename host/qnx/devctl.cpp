// Stands in for QNX's devctl()/devctlv(): hands each request to the stand-in that serves it.
#include <devctl.h>

#include <cerrno>
#include <initializer_list>

// The serving areas are optional: a host build links whichever stand-ins it has.
extern "C" {
__attribute__((weak)) int host_i2c_devctl(int, int, void*, size_t, int*);
__attribute__((weak)) int host_i2c_devctlv(int, int, int, int, const iov_t*, const iov_t*, int*);
__attribute__((weak)) int host_proc_devctl(int, int, void*, size_t, int*);
}

extern "C" int devctl(int filedes, int dcmd, void* dev_data_ptr, size_t n_bytes, int* dev_info_ptr)
{
    if (filedes < 0) {
        return EBADF;
    }
    for (auto handler : {host_i2c_devctl, host_proc_devctl}) {
        if (handler == nullptr) {
            continue;
        }
        const int result = handler(filedes, dcmd, dev_data_ptr, n_bytes, dev_info_ptr);
        if (result != HOST_DEVCTL_NOT_MINE) {
            return result;
        }
    }
    return ENOTTY;
}

extern "C" int devctlv(int filedes, int dcmd, int sparts, int rparts, const iov_t* sv, const iov_t* rv,
                       int* dev_info_ptr)
{
    if (filedes < 0) {
        return EBADF;
    }
    if (host_i2c_devctlv != nullptr) {
        const int result = host_i2c_devctlv(filedes, dcmd, sparts, rparts, sv, rv, dev_info_ptr);
        if (result != HOST_DEVCTL_NOT_MINE) {
            return result;
        }
    }
    return ENOTTY;
}
