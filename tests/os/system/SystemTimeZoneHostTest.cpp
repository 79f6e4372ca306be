// The host half of the time-zone setting: a test may set any zone, and the
// host's own zone and the process's environment stay as they were.
#include "SystemTimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(SystemTimeZone, IsKeptInTheProcessAndLeavesTheEnvironmentAlone)
{
    const char* before = std::getenv("TZ");
    const std::string tzBefore = before != nullptr ? before : "(unset)";
    SetSystemTimeZone("EST5EDT");
    EXPECT_EQ(GetSystemTimeZone(), "EST5EDT");
    SetSystemTimeZone("");
    EXPECT_EQ(GetSystemTimeZone(), "");
    const char* after = std::getenv("TZ");
    EXPECT_EQ(after != nullptr ? after : "(unset)", tzBefore);
}

} // namespace
