#include "FlasherProtocol.h"

#include <algorithm>
#include <cstdio>
#include <sys/types.h>

namespace FlasherProtocol {

Bytes FrameChunk(const std::uint8_t* data, std::size_t count)
{
    if (count == 0 || count > FotaChunkSize || data == nullptr) {
        return {};
    }
    // Four digits always suffice: count is at most 1024.
    char digits[8] = {};
    (void)std::snprintf(digits, sizeof digits, "%04zd", static_cast<ssize_t>(count));

    Bytes chunk;
    chunk.reserve(FotaChunkHeaderSize + count);
    chunk.insert(chunk.end(), FotaChunkPrefix.begin(), FotaChunkPrefix.end());
    chunk.insert(chunk.end(), digits, digits + 4);
    chunk.push_back(':');
    chunk.insert(chunk.end(), data, data + count);
    return chunk;
}

std::optional<Bytes> BuildStartCommand(std::string_view templ, std::uint64_t imageSize)
{
    const std::size_t at = templ.find(FileSizePlaceholder);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string command(templ.substr(0, at));
    command += std::to_string(imageSize);
    command += templ.substr(at + FileSizePlaceholder.size());
    return StrToBytes(command);
}

const Bytes& ExpectedChunkReply(std::uint64_t imageSize, std::uint64_t bytesSent, std::size_t chunkSize)
{
    // Compared without subtracting, so a sent count beyond the size cannot wrap.
    const bool completes = bytesSent <= imageSize && imageSize - bytesSent == chunkSize;
    return completes ? RespOk : FotaChunkAck;
}

std::string ExtractVersion(const Bytes& reply)
{
    const auto key = std::search(reply.begin(), reply.end(), AppVersion.begin(), AppVersion.end());
    if (key == reply.end()) {
        return {};
    }
    const auto start = key + static_cast<std::ptrdiff_t>(AppVersion.size());
    const auto end = std::search(start, reply.end(), Crnl.begin(), Crnl.end());
    if (end == reply.end()) {
        return {};
    }
    return std::string(start, end);
}

std::string FormatTraceLine(std::string_view label, const Bytes& bytes)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string line(label);
    line.reserve(label.size() + bytes.size() * 4);
    for (const std::uint8_t byte : bytes) {
        if (byte >= 0x20 && byte <= 0x7E) {
            line.push_back(static_cast<char>(byte));
        } else {
            line += "\\x";
            line.push_back(hex[byte >> 4]);
            line.push_back(hex[byte & 0x0F]);
        }
    }
    return line;
}

std::string JoinPath(std::string_view directory, std::string_view name)
{
    if (!name.empty() && name.front() == '/') {
        return std::string(name);
    }
    std::string joined(directory);
    if (!joined.empty() && joined.back() != '/') {
        joined.push_back('/');
    }
    joined += name;
    return joined;
}

bool EndsWith(const Bytes& bytes, const Bytes& suffix)
{
    return bytes.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), bytes.end() - static_cast<std::ptrdiff_t>(suffix.size()));
}

} // namespace FlasherProtocol
