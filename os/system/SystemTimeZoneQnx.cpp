#include "SystemTimeZone.h"

#include <unistd.h>

#include <vector>

namespace {

// The platform's confstr names: the time-zone string, and the flag that turns
// a name into a request to set it.
constexpr int TimeZoneRequest = 203;
constexpr int SetRequest = 0x100;
constexpr int SetTimeZoneRequest = SetRequest | TimeZoneRequest;

} // namespace

void SetSystemTimeZone(const std::string& zone)
{
    std::vector<char> value(zone.begin(), zone.end());
    value.push_back('\0');
    confstr(SetTimeZoneRequest, value.data(), 0);
}

std::string GetSystemTimeZone()
{
    // confstr tells the length the value needs, its terminator included.
    const size_t needed = confstr(TimeZoneRequest, nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::vector<char> value(needed, '\0');
    confstr(TimeZoneRequest, value.data(), value.size());
    return value.data();
}
