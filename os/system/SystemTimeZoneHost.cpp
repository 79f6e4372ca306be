// Stands in for the printer's system-wide time-zone setting: the zone is kept in this process only, never set on the
// host.
#include "SystemTimeZone.h"

#include <mutex>

namespace {

std::mutex zoneLock;

std::string& Zone()
{
    static std::string zone;
    return zone;
}

} // namespace

void SetSystemTimeZone(const std::string& zone)
{
    std::lock_guard<std::mutex> guard(zoneLock);
    Zone() = zone;
}

std::string GetSystemTimeZone()
{
    std::lock_guard<std::mutex> guard(zoneLock);
    return Zone();
}
