#pragma once

#include <cerrno>

// The flasher's one place for interrupted system calls: calls a function that
// returns -1 with errno set on failure, again for as long as it fails with
// EINTR. close() must not go through here: the descriptor is gone even when
// close reports the interruption.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR) {
            return result;
        }
    }
}
