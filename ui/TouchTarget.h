#pragma once

#include "ButtonId.h"

#include <cstdint>

// A rectangle of the window that answers a touch with id. Window pixel
// coordinates; all four bounds are inclusive.
struct TouchTarget
{
    ButtonId id;
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};
