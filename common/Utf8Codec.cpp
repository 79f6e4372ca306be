#include "Utf8Codec.h"

namespace {

constexpr char32_t MaxCodePoint = 0x10FFFF;

bool IsSurrogate(char32_t codePoint)
{
    return codePoint >= 0xD800 && codePoint <= 0xDFFF;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0u) == 0x80u;
}

// The length a lead byte announces, with the bits it carries and the least
// code point that needs that length; 0 for a byte that cannot lead.
struct Lead
{
    std::size_t length;
    char32_t bits;
    char32_t minimum;
};

Lead ReadLead(unsigned char byte)
{
    if (byte < 0x80u) {
        return {1, byte, 0};
    }
    if ((byte & 0xE0u) == 0xC0u) {
        return {2, byte & 0x1Fu, 0x80};
    }
    if ((byte & 0xF0u) == 0xE0u) {
        return {3, byte & 0x0Fu, 0x800};
    }
    if ((byte & 0xF8u) == 0xF0u) {
        return {4, byte & 0x07u, 0x10000};
    }
    return {0, 0, 0};
}

} // namespace

namespace Utf8Codec {

std::size_t DecodeOne(std::string_view text, std::size_t at, char32_t& codePoint)
{
    const Lead lead = ReadLead(static_cast<unsigned char>(text[at]));
    if (lead.length == 0 || text.size() - at < lead.length) {
        return 0;
    }
    char32_t decoded = lead.bits;
    for (std::size_t k = 1; k < lead.length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (!IsContinuation(byte)) {
            return 0;
        }
        decoded = (decoded << 6) | (byte & 0x3Fu);
    }
    if (decoded < lead.minimum || decoded > MaxCodePoint || IsSurrogate(decoded)) {
        return 0;
    }
    codePoint = decoded;
    return lead.length;
}

std::size_t SkipInvalid(std::string_view text, std::size_t at)
{
    std::size_t next = at + 1;
    while (next < text.size() && IsContinuation(static_cast<unsigned char>(text[next]))) {
        ++next;
    }
    return next;
}

bool AppendEncoded(char32_t codePoint, std::string& out)
{
    if (codePoint > MaxCodePoint || IsSurrogate(codePoint)) {
        return false;
    }
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0u | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80u | (codePoint & 0x3Fu)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0u | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80u | ((codePoint >> 6) & 0x3Fu)));
        out.push_back(static_cast<char>(0x80u | (codePoint & 0x3Fu)));
    } else {
        out.push_back(static_cast<char>(0xF0u | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80u | ((codePoint >> 12) & 0x3Fu)));
        out.push_back(static_cast<char>(0x80u | ((codePoint >> 6) & 0x3Fu)));
        out.push_back(static_cast<char>(0x80u | (codePoint & 0x3Fu)));
    }
    return true;
}

} // namespace Utf8Codec
