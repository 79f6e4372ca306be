#pragma once

#include <algorithm>
#include <cstdint>

// The rules by which serial EEPROMs split transfers: pure, so they can be
// checked without a chip.
namespace EepromPaging {

// Bytes of the next page write at `address`: up to the end of its page, at
// most `remaining`. A page write that crossed the boundary would wrap to the
// start of the page on the chip.
constexpr unsigned int PageChunk(unsigned int address, unsigned int remaining, unsigned int pageSize)
{
    return std::min(pageSize - address % pageSize, remaining);
}

// Bytes of the next read: a fixed chunk, fewer for the last.
constexpr unsigned int ReadChunk(unsigned int remaining, unsigned int chunkSize)
{
    return std::min(chunkSize, remaining);
}

// A 16-bit memory address as the 24C256 takes it: high byte first.
constexpr std::uint8_t AddressHigh(unsigned int address)
{
    return static_cast<std::uint8_t>((address >> 8) & 0xFFu);
}
constexpr std::uint8_t AddressLow(unsigned int address)
{
    return static_cast<std::uint8_t>(address & 0xFFu);
}

// A 24C16 answers one slave address per 256-byte block: the block number sits
// in the low three bits of the slave address and only the low byte of the
// memory address is sent.
constexpr unsigned short BlockSlaveAddress(unsigned short baseSlave, unsigned int address)
{
    return static_cast<unsigned short>(baseSlave | ((address >> 8) & 0x07u));
}

// Whether [address, address + len) lies inside a chip of `size` bytes.
constexpr bool RangeFits(unsigned int address, unsigned int len, unsigned int size)
{
    return address <= size && len <= size - address;
}

} // namespace EepromPaging
