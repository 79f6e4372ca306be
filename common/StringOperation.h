#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// Free functions over narrow strings (UTF-8 or ASCII) and wide strings
// (32-bit code points). Case mapping and the character classes act on ASCII
// letters and digits only, as the C library's "C" locale does, whatever locale
// the process has set. Nothing here keeps state; all of it may be used from
// any thread.
namespace StringOperation {

// Default trim set: space, tab, line feed, carriage return, form feed, vertical tab.
extern const std::string WhiteSpace;
extern const std::wstring WideWhiteSpace;

enum class TrimDirection : unsigned char
{
    Left = 0,
    Right = 1,
    Both = 2
};

// Result of IdentifyEncodedFormat.
enum class EncodedFormat : unsigned char
{
    NoByteOrderMark = 1,
    Utf16LittleEndian = 2, // bytes FF FE
    Utf16BigEndian = 3,    // bytes FE FF
    Undetermined = 4,      // null pointer or fewer than 2 bytes
};

template <typename T>
struct NonDeduced
{
    using Type = T;
};

// Case-sensitive substring test; an empty part is in every text. The part is
// converted to the text's string type, so a literal may be passed.
template <typename S>
bool Contains(const S& text, const typename NonDeduced<S>::Type& part)
{
    return part.size() <= text.size() && text.find(part) != S::npos;
}

// Pieces between the delimiters, in order; empty pieces are dropped.
std::vector<std::string> SplitString(std::string_view text, char delimiter);
// Deletes every `remove` character first, then splits as above.
std::vector<std::string> SplitString(std::string_view text, char delimiter, char remove);

// Conversions. Malformed input (invalid or truncated UTF-8, unpaired UTF-16
// surrogates, code points that are surrogates or above U+10FFFF) makes the
// UTF conversions throw std::range_error; callers that handle untrusted text
// catch it. WStringFromString never throws: every byte becomes the code point
// of the same value (ASCII unchanged, bytes above 127 as Latin-1).
std::wstring WStringFromString(const std::string& text);
std::wstring WStringFromUtf8(const char* text); // null gives an empty string
std::wstring WStringFromUtf8(const std::string& text);
std::string WStringToUtf8(const std::wstring& text);
std::string ToUTF8(const std::u16string& text);
std::u16string ToUTF16(const std::string& text);
// Bytes with a UTF-16 byte-order mark are read as UTF-16 in that byte order
// (the mark itself is dropped; an odd last byte is malformed). Bytes without
// one (also a single byte) are UTF-8 already: ToUTF8 returns them as they are,
// ToUTF16 decodes them. A null pointer gives an empty string.
std::string ToUTF8(const unsigned char* bytes, unsigned int length);
std::u16string ToUTF16(const unsigned char* bytes, unsigned int length);
EncodedFormat IdentifyEncodedFormat(const unsigned char* bytes, unsigned int length);

// Case mapping: in place, as a copy, or one character.
void ToLower(std::string& text);
void ToUpper(std::string& text);
void ToLower(std::wstring& text);
void ToUpper(std::wstring& text);
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
std::wstring ToLower(std::wstring_view text);
std::wstring ToUpper(std::wstring_view text);
char ToLower(char c);
char ToUpper(char c);
wchar_t ToLower(wchar_t c);
wchar_t ToUpper(wchar_t c);

bool IsEqualIgnoreCase(std::string_view a, std::string_view b);
bool IsEqualIgnoreCase(std::wstring_view a, std::wstring_view b);
bool EndsWith(std::string_view text, std::string_view suffix);
bool EndsWith(std::wstring_view text, std::wstring_view suffix);

// Not empty and decimal digits only (no sign, point or blank).
bool IsNumber(const std::string& text);
bool IsNumber(const std::wstring& text);
bool IsNumber(char c);

template <typename C>
bool IsUpper(C c)
{
    return c >= C('A') && c <= C('Z');
}
template <typename C>
bool IsAlnum(C c)
{
    return (c >= C('0') && c <= C('9')) || (c >= C('a') && c <= C('z')) || IsUpper(c);
}
template <typename C>
bool IsPrint(C c)
{
    return c >= C(0x20) && c <= C(0x7E);
}

// Removes leading (LeftTrim) or trailing (RightTrim) characters found in set.
void LeftTrim(std::string& s, const std::string& set = WhiteSpace);
void RightTrim(std::string& s, const std::string& set = WhiteSpace);
void LeftTrim(std::wstring& s, const std::wstring& set = WideWhiteSpace);
void RightTrim(std::wstring& s, const std::wstring& set = WideWhiteSpace);
void Trim(std::string& s, const std::string& set = WhiteSpace, TrimDirection direction = TrimDirection::Both);
void Trim(std::wstring& s, const std::wstring& set = WideWhiteSpace, TrimDirection direction = TrimDirection::Both);

// Replaces every occurrence of from by to, left to right; replaced text is not
// searched again. An empty `from` replaces nothing.
void Replace(std::string& s, std::string_view from, std::string_view to);
std::string Replace(const std::string& s, std::string_view from, std::string_view to);

std::string Join(const std::vector<std::string>& parts, const std::string& separator);
std::wstring Join(const std::vector<std::wstring>& parts, const std::wstring& separator);

// Fixed notation: no decimals for a value without a fractional part,
// otherwise exactly `decimals` of them.
std::string DoubleToString(const double& value, unsigned char decimals);

// strtol of the blank-trimmed text in `base`. True and value stored only when
// the whole trimmed text was consumed and the result is neither LONG_MAX nor
// LONG_MIN (strtol's overflow markers); an empty or blank text gives 0.
bool StringToValue(const std::string& text, long& value, int base);

// Reads a date and time laid out as "YYYY-MM-DD HH:MM:SS" (a 'T' may stand for
// the blank; the time may be left out, giving midnight). Every field has its
// exact number of digits; the year must lie within [minYear, maxYear], the
// day must exist in its month (leap years included), hours 0-23, minutes
// 0-59, seconds 0-60. On success fills every field of `out` (week day and day
// of the year computed, tm_isdst -1: unknown) and returns true; otherwise
// returns false and leaves `out` alone.
bool ParseDateTime(const std::string& text, std::tm& out, unsigned short minYear, unsigned short maxYear);

} // namespace StringOperation
