#include "Utf8Path.h"

#include <cstdint>

namespace {

constexpr std::uint32_t Replacement = 0xFFFD;
constexpr std::uint32_t MaxCodePoint = 0x10FFFF;

bool IsSurrogate(std::uint32_t cp)
{
    return cp >= 0xD800 && cp <= 0xDFFF;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0u) == 0x80u;
}

// Decodes one sequence at text[i]; returns its length, or 0 when invalid.
std::size_t DecodeOne(const std::string& text, std::size_t i, std::uint32_t& cp)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead < 0x80u) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0u) == 0xC0u) {
        length = 2;
        cp = lead & 0x1Fu;
        min = 0x80;
    } else if ((lead & 0xF0u) == 0xE0u) {
        length = 3;
        cp = lead & 0x0Fu;
        min = 0x800;
    } else if ((lead & 0xF8u) == 0xF0u) {
        length = 4;
        cp = lead & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(byte)) {
            return 0;
        }
        cp = (cp << 6) | (byte & 0x3Fu);
    }
    if (cp < min || cp > MaxCodePoint || IsSurrogate(cp)) {
        return 0;
    }
    return length;
}

} // namespace

namespace Utf8Path {

std::wstring ToWide(const std::string& utf8)
{
    std::wstring wide;
    wide.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t length = DecodeOne(utf8, i, cp);
        if (length == 0) {
            wide.push_back(static_cast<wchar_t>(Replacement));
            // Skip the lead byte and whatever continuation bytes follow it.
            ++i;
            while (i < utf8.size() && IsContinuation(static_cast<unsigned char>(utf8[i]))) {
                ++i;
            }
            continue;
        }
        wide.push_back(static_cast<wchar_t>(cp));
        i += length;
    }
    return wide;
}

bool ToUtf8(const std::wstring& wide, std::string& out)
{
    std::string utf8;
    utf8.reserve(wide.size());
    for (const wchar_t c : wide) {
        const auto cp = static_cast<std::uint32_t>(c);
        if (cp > MaxCodePoint || IsSurrogate(cp)) {
            return false;
        }
        if (cp < 0x80) {
            utf8.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            utf8.push_back(static_cast<char>(0xC0u | (cp >> 6)));
            utf8.push_back(static_cast<char>(0x80u | (cp & 0x3Fu)));
        } else if (cp < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0u | (cp >> 12)));
            utf8.push_back(static_cast<char>(0x80u | ((cp >> 6) & 0x3Fu)));
            utf8.push_back(static_cast<char>(0x80u | (cp & 0x3Fu)));
        } else {
            utf8.push_back(static_cast<char>(0xF0u | (cp >> 18)));
            utf8.push_back(static_cast<char>(0x80u | ((cp >> 12) & 0x3Fu)));
            utf8.push_back(static_cast<char>(0x80u | ((cp >> 6) & 0x3Fu)));
            utf8.push_back(static_cast<char>(0x80u | (cp & 0x3Fu)));
        }
    }
    out.swap(utf8);
    return true;
}

} // namespace Utf8Path
