#include "MemoryOperation.h"

#include <sys/neutrino.h>

#include <cstring>

namespace MemoryOperation {

namespace {

constexpr std::uint16_t MemInfoMessageType = 0x42;
constexpr std::size_t FreeLengthOffset = 16;

} // namespace

std::array<unsigned char, InfoRequestBytes> BuildInfoRequest()
{
    const std::uint16_t type = MemInfoMessageType;
    const std::uint16_t zero = 0;
    const std::int32_t fd = -1;
    std::array<unsigned char, InfoRequestBytes> request{};
    std::memcpy(request.data(), &type, sizeof type);
    std::memcpy(request.data() + 2, &zero, sizeof zero);
    std::memcpy(request.data() + 4, &fd, sizeof fd);
    return request;
}

std::uint64_t FreeMemoryFromReply(const std::array<unsigned char, InfoReplyBytes>& reply)
{
    std::uint64_t length = 0;
    std::memcpy(&length, reply.data() + FreeLengthOffset, sizeof length);
    return length;
}

std::uint64_t GetAvailablePhysicalMemory()
{
    const auto request = BuildInfoRequest();
    std::array<unsigned char, InfoReplyBytes> reply{};
    if (MsgSend(SystemManagerConnection, request.data(), request.size(), reply.data(), reply.size()) == -1) {
        return 0;
    }
    return FreeMemoryFromReply(reply);
}

} // namespace MemoryOperation
