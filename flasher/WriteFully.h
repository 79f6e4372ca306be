#pragma once

#include "RetryOnInterrupt.h"

#include <cstddef>
#include <unistd.h>

// Writes all size bytes of data to fd, going on after short writes and
// interruptions; false as soon as a write fails or takes nothing (also
// EAGAIN on a non-blocking descriptor).
inline bool WriteFully(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = RetryOnInterrupt([=] { return ::write(fd, bytes + written, size - written); });
        if (count <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}
