#pragma once

#include <ctime>
#include <optional>

// When this process was started, on the system's real-time clock (the one
// that stamps file times), in whole seconds since the epoch, rounded down;
// empty when the system does not tell. CMake picks the platform's source:
// on the printer the process manager's own record (ProcessStartTimeQnx.cpp),
// in host builds the kernel's (ProcessStartTimeHost.cpp). Either may come
// out earlier than the true start by a fraction of a second, never later.
// May be called from any thread.
std::optional<std::time_t> ProcessStartTime();
