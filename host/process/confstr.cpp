// Stands in for QNX's confstr() time-zone requests: the zone is kept for this process only, never set on the host.
#include <host_process.h>

#include <unistd.h>
#undef confstr

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex zoneLock;
std::string& Zone()
{
    static std::string zone;
    return zone;
}

// confstr's convention: the length the whole value needs, with its
// terminator; as much as fits is copied.
size_t Answer(const std::string& value, char* buffer, size_t length)
{
    if (buffer != nullptr && length > 0) {
        const size_t copied = value.size() < length - 1 ? value.size() : length - 1;
        std::memcpy(buffer, value.data(), copied);
        buffer[copied] = '\0';
    }
    return value.size() + 1;
}

} // namespace

extern "C" size_t host_confstr(int name, char* buffer, size_t length)
{
    if (name == HOST_CS_SET_TIMEZONE) {
        if (buffer == nullptr) {
            errno = EINVAL;
            return 0;
        }
        std::lock_guard<std::mutex> guard(zoneLock);
        Zone() = buffer;
        return Zone().size() + 1;
    }
    if (name == HOST_CS_TIMEZONE) {
        std::lock_guard<std::mutex> guard(zoneLock);
        return Answer(Zone(), buffer, length);
    }
    return confstr(name, buffer, length);
}
