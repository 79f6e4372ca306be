#pragma once

#include <cstdint>

// Names shared by the I2C bus masters and the devices on them.
namespace I2C {

// How a slave address is sent on the bus.
enum class AddressMode : unsigned int
{
    SevenBit = 0,
    TenBit = 1
};

// A multi-step transfer; no bus of this system carries one.
struct Transaction;

// The resource manager's address format for a mode: 2 for 7-bit, 1 for
// 10-bit, 0 (which the driver refuses) for anything else.
constexpr std::uint32_t AddressFormatFor(AddressMode mode)
{
    return mode == AddressMode::SevenBit ? 2u : mode == AddressMode::TenBit ? 1u : 0u;
}

} // namespace I2C
