#pragma once

#include <cstdint>

// What QnxI2CBus sends to the I2C resource manager: its device command codes
// (direction and size encoded in the code) and the headers that precede the
// data of a transfer. Written out here rather than taken from <hw/i2c.h> so
// that the bytes on the printer are these whatever a header release calls
// them; docs/target.md says how to compare them with a target's header.
namespace QnxI2CMessages {

inline constexpr std::uint32_t SetBusSpeedCommand = 0x80040502u; // DCMD_I2C_SET_BUS_SPEED: a 32-bit speed in Hz
inline constexpr std::uint32_t SendCommand = 0x80100505u;        // DCMD_I2C_SEND, with a TransferHeader
inline constexpr std::uint32_t ReceiveCommand = 0xC0100506u;     // DCMD_I2C_RECV, with a TransferHeader
inline constexpr std::uint32_t SendReceiveCommand = 0xC0140507u; // DCMD_I2C_SENDRECV, with a SendReceiveHeader

// The layout of i2c_send_t and i2c_recv_t: 16 bytes.
struct TransferHeader
{
    std::uint32_t address; // slave address, right-aligned
    std::uint32_t format;  // I2C::AddressFormatFor
    std::uint32_t length;  // data bytes after the header
    std::uint32_t stop;    // 1: end with a stop condition
};

// The layout of i2c_sendrecv_t: 20 bytes; the receive follows the send after
// a repeated start.
struct SendReceiveHeader
{
    std::uint32_t address;
    std::uint32_t format;
    std::uint32_t sendLength;
    std::uint32_t receiveLength;
    std::uint32_t stop;
};

} // namespace QnxI2CMessages
