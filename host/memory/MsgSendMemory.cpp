// Stands in for QNX's MsgSend to the system manager: answers the memory-manager information request.
//
// Only the one message the programs send is served: the 16-byte memory
// information request (type 0x42) on the system-manager connection. The reply
// carries the kernel's figure for available memory ("MemAvailable" of
// /proc/meminfo, or "MemFree" on kernels without it) as the 64-bit length at
// offset 16 of the 40-byte reply. Every other message fails with ENOSYS, every
// other connection with EBADF.
//
// Simulation: the environment variable UPGRADE_HOST_MEMINFO names another file
// in /proc/meminfo's format to read instead, so that tests can pose as a
// machine with little (or unreadable) memory information.

#include <sys/neutrino.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint16_t MemInfoMessageType = 0x42;
constexpr size_t RequestBytes = 16;
constexpr size_t ReplyBytes = 40;
constexpr size_t FreeLengthOffset = 16;

// Reads the available memory in bytes; false when the file or its figure is missing.
bool ReadAvailableMemory(std::uint64_t& bytes)
{
    const char* path = std::getenv("UPGRADE_HOST_MEMINFO");
    FILE* file = std::fopen(path != nullptr ? path : "/proc/meminfo", "r");
    if (file == nullptr)
        return false;
    bool haveAvailable = false;
    bool haveFree = false;
    unsigned long long available = 0;
    unsigned long long free = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        unsigned long long kib = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
            available = kib;
            haveAvailable = true;
        } else if (std::sscanf(line, "MemFree: %llu kB", &kib) == 1) {
            free = kib;
            haveFree = true;
        }
    }
    std::fclose(file);
    if (!haveAvailable && !haveFree)
        return false;
    const unsigned long long kib = haveAvailable ? available : free;
    bytes = kib > UINT64_MAX / 1024 ? UINT64_MAX : static_cast<std::uint64_t>(kib) * 1024;
    return true;
}

} // namespace

extern "C" long MsgSend(int coid, const void* smsg, size_t sbytes, void* rmsg, size_t rbytes)
{
    if (coid != SYSMGR_COID) {
        errno = EBADF;
        return -1;
    }
    std::uint16_t type = 0;
    if (smsg == nullptr || sbytes < RequestBytes) {
        errno = EFAULT;
        return -1;
    }
    std::memcpy(&type, smsg, sizeof type);
    if (type != MemInfoMessageType) {
        errno = ENOSYS;
        return -1;
    }
    if (rmsg == nullptr || rbytes < ReplyBytes) {
        errno = EFAULT;
        return -1;
    }
    std::uint64_t available = 0;
    if (!ReadAvailableMemory(available)) {
        errno = EIO;
        return -1;
    }
    unsigned char reply[ReplyBytes] = {};
    std::memcpy(reply + FreeLengthOffset, &available, sizeof available);
    std::memcpy(rmsg, reply, sizeof reply);
    return 0;
}
