#include "ReplyStep.h"

#include <array>
#include <utility>

namespace {

constexpr std::string_view ChunkPrefix = "chunk-";

// The steps that are a name alone.
constexpr std::array<std::pair<std::string_view, ReplyStep::Kind>, 8> Named = {{
    {"start-banner", ReplyStep::Kind::StartBanner},
    {"ylc", ReplyStep::Kind::Ylc},
    {"ate0", ReplyStep::Kind::EchoOff},
    {"upload-start", ReplyStep::Kind::UploadStart},
    {"upload-banner", ReplyStep::Kind::UpgradeBanner},
    {"accept", ReplyStep::Kind::Accept},
    {"accept-banner", ReplyStep::Kind::AcceptBanner},
    {"version", ReplyStep::Kind::Version},
}};

} // namespace

std::optional<ReplyStep> ReplyStep::Parse(std::string_view name)
{
    for (const auto& [text, kind] : Named) {
        if (name == text) {
            return ReplyStep{kind, 0};
        }
    }
    if (name.substr(0, ChunkPrefix.size()) != ChunkPrefix) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(ChunkPrefix.size());
    // Nine digits cannot overflow the count; no image has that many chunks.
    if (digits.empty() || digits.size() > 9 || digits.front() == '0') {
        return std::nullopt;
    }
    std::uint32_t chunk = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        chunk = chunk * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return ReplyStep{Kind::Chunk, chunk};
}

std::string ReplyStep::Name() const
{
    if (kind == Kind::Chunk) {
        return std::string(ChunkPrefix) + std::to_string(chunk);
    }
    for (const auto& [text, named] : Named) {
        if (named == kind) {
            return std::string(text);
        }
    }
    return "none";
}
