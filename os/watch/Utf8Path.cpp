#include "Utf8Path.h"

#include "Utf8Codec.h"

namespace Utf8Path {

std::wstring ToWide(const std::string& utf8)
{
    std::wstring wide;
    wide.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        const std::size_t length = Utf8Codec::DecodeOne(utf8, i, cp);
        if (length == 0) {
            wide.push_back(static_cast<wchar_t>(Utf8Codec::ReplacementCharacter));
            i = Utf8Codec::SkipInvalid(utf8, i);
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
        if (!Utf8Codec::AppendEncoded(static_cast<char32_t>(c), utf8)) {
            return false;
        }
    }
    out.swap(utf8);
    return true;
}

} // namespace Utf8Path
