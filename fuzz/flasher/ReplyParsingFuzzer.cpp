// Whatever a module sends, the flasher's reply rules stay inside the reply:
// the version is a piece of it that lies between the key and a line end, the
// trace line accounts for every byte, and a chunk framed from any data parses
// back to that data.
#include "FlasherProtocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using FlasherProtocol::Bytes;

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void CheckVersion(const Bytes& reply)
{
    const std::string version = FlasherProtocol::ExtractVersion(reply);
    const auto& key = FlasherProtocol::AppVersion;
    const auto keyAt = std::search(reply.begin(), reply.end(), key.begin(), key.end());
    if (keyAt == reply.end()) {
        Require(version.empty());
        return;
    }
    const auto valueAt = keyAt + static_cast<std::ptrdiff_t>(key.size());
    const auto& crnl = FlasherProtocol::Crnl;
    const auto endAt = std::search(valueAt, reply.end(), crnl.begin(), crnl.end());
    if (endAt == reply.end()) {
        Require(version.empty());
        return;
    }
    Require(std::equal(valueAt, endAt, version.begin(), version.end(),
                       [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
}

void CheckTrace(const Bytes& reply)
{
    const std::string line = FlasherProtocol::FormatTraceLine("Recv: ", reply);
    const std::size_t printable = static_cast<std::size_t>(
        std::count_if(reply.begin(), reply.end(), [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; }));
    Require(line.size() == 6 + printable + 4 * (reply.size() - printable));
}

void CheckFraming(const Bytes& data)
{
    const std::size_t count = std::min(data.size(), FlasherProtocol::FotaChunkSize);
    const Bytes chunk = FlasherProtocol::FrameChunk(data.data(), count);
    if (count == 0) {
        Require(chunk.empty());
        return;
    }
    Require(chunk.size() == FlasherProtocol::FotaChunkHeaderSize + count);
    Require(chunk[0] == 0x1B && chunk[1] == 0x4D && chunk[6] == ':');
    std::size_t length = 0;
    for (std::size_t i = 2; i < 6; ++i) {
        Require(chunk[i] >= '0' && chunk[i] <= '9');
        length = length * 10 + (chunk[i] - '0');
    }
    Require(length == count);
    Require(std::equal(chunk.begin() + 7, chunk.end(), data.begin()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes reply(data, data + size);
    CheckVersion(reply);
    CheckTrace(reply);
    CheckFraming(reply);
    return 0;
}
