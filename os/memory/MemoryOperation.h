#pragma once

#include <array>
#include <cstdint>

// Physical memory figures of the system, asked of the system manager.
namespace MemoryOperation {

// The connection every process has to the system manager (the header's
// SYSMGR_COID), carried as its number so that the request goes to that
// connection whatever the target's header defines.
inline constexpr int SystemManagerConnection = 0x40000000;

// Size of the memory-manager information request and of its reply.
inline constexpr std::size_t InfoRequestBytes = 16;
inline constexpr std::size_t InfoReplyBytes = 40;

// The memory-manager information request: message type 0x42 (16 bits), a
// 16-bit zero, file descriptor -1 (32 bits), two 32-bit zero words; all in
// the processor's byte order.
std::array<unsigned char, InfoRequestBytes> BuildInfoRequest();

// The free physical memory of a reply: the 64-bit length at offset 16.
std::uint64_t FreeMemoryFromReply(const std::array<unsigned char, InfoReplyBytes>& reply);

// Free physical memory in bytes, or 0 when the system manager cannot be asked.
// Any thread; keeps no state.
std::uint64_t GetAvailablePhysicalMemory();

} // namespace MemoryOperation
