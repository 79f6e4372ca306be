#pragma once

#include <string>

// Conversion of file system paths between the file system's bytes (UTF-8)
// and the wide form (one code point per wchar_t) that the watcher's clients
// use. Pure functions, safe on any thread; neither ever throws.
namespace Utf8Path {

// Every byte sequence that is not valid UTF-8 (a stray or truncated
// sequence, an overlong form, a surrogate, a value above U+10FFFF) becomes
// one U+FFFD, and decoding carries on after it: a name never gets lost.
std::wstring ToWide(const std::string& utf8);

// False, with `out` untouched, when the text holds a surrogate or a value
// above U+10FFFF, which have no UTF-8 form.
bool ToUtf8(const std::wstring& wide, std::string& out);

} // namespace Utf8Path
