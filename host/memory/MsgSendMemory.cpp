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
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::uint16_t MemInfoMessageType = 0x42;
constexpr size_t RequestBytes = 16;
constexpr size_t ReplyBytes = 40;
constexpr size_t FreeLengthOffset = 16;

// The number of KiB after `key` in a meminfo text, if the key is there.
bool FindKib(const char* text, const char* key, unsigned long long& kib)
{
    const char* at = std::strstr(text, key);
    if (at == nullptr) {
        return false;
    }
    at += std::strlen(key);
    while (*at == ' ') {
        ++at;
    }
    if (*at < '0' || *at > '9') {
        return false;
    }
    kib = 0;
    for (; *at >= '0' && *at <= '9'; ++at) {
        kib = kib * 10 + static_cast<unsigned long long>(*at - '0');
    }
    return true;
}

// Reads the available memory in bytes; false when the file or its figure is
// missing. Plain system calls: the import asks before every record.
bool ReadAvailableMemory(std::uint64_t& bytes)
{
    const char* path = std::getenv("UPGRADE_HOST_MEMINFO");
    const int fd = ::open(path != nullptr ? path : "/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // The figures sit in the first lines; a short read is enough. The text
    // starts after a line end so that every key can be found at a line start.
    char text[1024];
    text[0] = '\n';
    ssize_t got = 0;
    do {
        got = ::read(fd, text + 1, sizeof text - 2);
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0) {
        return false;
    }
    text[got + 1] = '\0';
    unsigned long long kib = 0;
    if (!FindKib(text, "\nMemAvailable:", kib) && !FindKib(text, "\nMemFree:", kib)) {
        return false;
    }
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
