#pragma once

#include <cstddef>
#include <limits>

// True when n fits the unsigned type Limit. A template, so that on a 32-bit
// target, where the comparison would always be false, it is not even
// compiled.
template <typename Limit>
bool FitsIn(std::size_t n)
{
    if constexpr (sizeof(std::size_t) > sizeof(Limit)) {
        return n <= std::numeric_limits<Limit>::max();
    } else {
        return true;
    }
}
