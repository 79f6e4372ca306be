#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The one UTF-8 decoder and encoder of the program. Pure functions, safe on
// any thread; they never throw. Callers choose what malformed input means:
// the string conversions refuse it, the watcher's paths replace it.
namespace Utf8Codec {

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// Decodes the sequence at text[at] (at < text.size()) into codePoint and
// returns its length in bytes. 0, with codePoint untouched, when it is not
// valid UTF-8: a stray continuation or invalid lead byte, a truncated
// sequence, an overlong form, a surrogate or a value above U+10FFFF.
std::size_t DecodeOne(std::string_view text, std::size_t at, char32_t& codePoint);

// Where decoding goes on after an invalid sequence at text[at]: past its
// lead byte and the continuation bytes that follow it, so one malformed
// sequence counts once.
std::size_t SkipInvalid(std::string_view text, std::size_t at);

// Appends the UTF-8 form of codePoint; false, with out untouched, for a
// surrogate or a value above U+10FFFF, which have none.
bool AppendEncoded(char32_t codePoint, std::string& out);

} // namespace Utf8Codec
