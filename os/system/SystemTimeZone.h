#pragma once

#include <string>

// The system's time-zone string (TZ form, e.g. "CET-1CEST"). CMake picks the
// platform's source: on the printer it is the system-wide setting that
// confstr sets and reads (SystemTimeZoneQnx.cpp); in host builds it is kept
// in this process only, so that nothing ever changes the host's own zone
// (SystemTimeZoneHost.cpp). Both may be called from any thread.

// Sets the zone; the platform reports no result.
void SetSystemTimeZone(const std::string& zone);

// The zone last set, empty when none is known.
std::string GetSystemTimeZone();
