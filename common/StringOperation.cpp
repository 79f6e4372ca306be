#include "StringOperation.h"

#include "Utf8Codec.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ios>
#include <sstream>
#include <stdexcept>

namespace StringOperation {

const std::string WhiteSpace = " \t\n\r\f\v";
const std::wstring WideWhiteSpace = L" \t\n\r\f\v";

namespace {

[[noreturn]] void Malformed(const char* what)
{
    throw std::range_error(what);
}

// Decodes one UTF-8 sequence at text[pos], advancing pos; malformed input
// is refused, as the conversions promise.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos)
{
    char32_t cp = 0;
    const std::size_t length = Utf8Codec::DecodeOne(text, pos, cp);
    if (length == 0) {
        Malformed("invalid UTF-8");
    }
    pos += length;
    return cp;
}

void EncodeUtf8(char32_t cp, std::string& out)
{
    if (!Utf8Codec::AppendEncoded(cp, out)) {
        Malformed("code point cannot be written as UTF-8");
    }
}

void EncodeUtf16(char32_t cp, std::u16string& out)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Reads the UTF-16 units of `units` (any container of char16_t) as code points.
template <typename Units, typename Sink>
void DecodeUtf16(const Units& units, Sink&& sink)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= units.size()) {
                Malformed("truncated UTF-16 surrogate pair");
            }
            const char32_t low = units[++i];
            if (low < 0xDC00 || low > 0xDFFF) {
                Malformed("unpaired UTF-16 surrogate");
            }
            sink(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            Malformed("unpaired UTF-16 surrogate");
        } else {
            sink(unit);
        }
    }
}

// The UTF-16 units of marked bytes, without the mark.
std::u16string UnitsFromMarkedBytes(const unsigned char* bytes, unsigned int length, bool bigEndian)
{
    if (length % 2 != 0) {
        Malformed("odd number of UTF-16 bytes");
    }
    std::u16string units;
    units.reserve(length / 2);
    for (unsigned int i = 2; i < length; i += 2) {
        const unsigned int hi = bigEndian ? bytes[i] : bytes[i + 1];
        const unsigned int lo = bigEndian ? bytes[i + 1] : bytes[i];
        units.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    return units;
}

template <typename Str, typename Set>
void LeftTrimImpl(Str& s, const Set& set)
{
    const auto first = s.find_first_not_of(set);
    s.erase(0, first == Str::npos ? s.size() : first);
}

template <typename Str, typename Set>
void RightTrimImpl(Str& s, const Set& set)
{
    const auto last = s.find_last_not_of(set);
    s.erase(last == Str::npos ? 0 : last + 1);
}

template <typename Str>
void TrimImpl(Str& s, const Str& set, TrimDirection direction)
{
    if (direction != TrimDirection::Left) {
        RightTrimImpl(s, set);
    }
    if (direction != TrimDirection::Right) {
        LeftTrimImpl(s, set);
    }
}

template <typename Str>
Str JoinImpl(const std::vector<Str>& parts, const Str& separator)
{
    Str out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) {
            out += separator;
        }
        out += parts[i];
    }
    return out;
}

template <typename View>
bool IsEqualIgnoreCaseImpl(View a, View b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToLower(a[i]) != ToLower(b[i])) {
            return false;
        }
    }
    return true;
}

template <typename View>
bool EndsWithImpl(View text, View suffix)
{
    return suffix.size() <= text.size() && text.substr(text.size() - suffix.size()) == suffix;
}

template <typename Str>
bool IsNumberImpl(const Str& text)
{
    if (text.empty()) {
        return false;
    }
    for (const auto c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool IsLeapYear(unsigned int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned int DaysInMonth(unsigned int year, unsigned int month)
{
    static const unsigned int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Reads exactly `digits` decimal digits at text[pos].
bool ReadField(const std::string& text, std::size_t pos, std::size_t digits, unsigned int& value)
{
    if (text.size() < pos + digits) {
        return false;
    }
    value = 0;
    for (std::size_t i = pos; i < pos + digits; ++i) {
        if (!IsNumber(text[i])) {
            return false;
        }
        value = value * 10 + static_cast<unsigned int>(text[i] - '0');
    }
    return true;
}

// Every character of text through change, in place.
template <typename Char>
void ChangeEach(std::basic_string<Char>& text, Char (*change)(Char))
{
    for (Char& c : text) {
        c = change(c);
    }
}

// A copy of text with every character through change.
template <typename Char>
std::basic_string<Char> ChangedCopy(std::basic_string_view<Char> text, Char (*change)(Char))
{
    std::basic_string<Char> copy(text);
    ChangeEach(copy, change);
    return copy;
}

} // namespace

std::vector<std::string> SplitString(std::string_view text, char delimiter)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

std::vector<std::string> SplitString(std::string_view text, char delimiter, char remove)
{
    std::string kept;
    kept.reserve(text.size());
    for (const char c : text) {
        if (c != remove) {
            kept.push_back(c);
        }
    }
    return SplitString(kept, delimiter);
}

std::wstring WStringFromString(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (const char c : text) {
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

std::wstring WStringFromUtf8(const char* text)
{
    return text == nullptr ? std::wstring() : WStringFromUtf8(std::string(text));
}

std::wstring WStringFromUtf8(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        out.push_back(static_cast<wchar_t>(DecodeUtf8(text, pos)));
    }
    return out;
}

std::string WStringToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        EncodeUtf8(static_cast<char32_t>(c), out);
    }
    return out;
}

std::string ToUTF8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    DecodeUtf16(text, [&out](char32_t cp) { EncodeUtf8(cp, out); });
    return out;
}

std::u16string ToUTF16(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        EncodeUtf16(DecodeUtf8(text, pos), out);
    }
    return out;
}

std::string ToUTF8(const unsigned char* bytes, unsigned int length)
{
    const EncodedFormat format = IdentifyEncodedFormat(bytes, length);
    if (format == EncodedFormat::Utf16LittleEndian || format == EncodedFormat::Utf16BigEndian) {
        return ToUTF8(UnitsFromMarkedBytes(bytes, length, format == EncodedFormat::Utf16BigEndian));
    }
    if (bytes == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

std::u16string ToUTF16(const unsigned char* bytes, unsigned int length)
{
    const EncodedFormat format = IdentifyEncodedFormat(bytes, length);
    if (format == EncodedFormat::Utf16LittleEndian || format == EncodedFormat::Utf16BigEndian) {
        std::u16string units = UnitsFromMarkedBytes(bytes, length, format == EncodedFormat::Utf16BigEndian);
        DecodeUtf16(units, [](char32_t) {});
        return units;
    }
    if (bytes == nullptr) {
        return std::u16string();
    }
    return ToUTF16(std::string(reinterpret_cast<const char*>(bytes), length));
}

EncodedFormat IdentifyEncodedFormat(const unsigned char* bytes, unsigned int length)
{
    if (bytes == nullptr || length < 2) {
        return EncodedFormat::Undetermined;
    }
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return EncodedFormat::Utf16LittleEndian;
    }
    if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return EncodedFormat::Utf16BigEndian;
    }
    return EncodedFormat::NoByteOrderMark;
}

char ToLower(char c)
{
    return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

char ToUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

wchar_t ToLower(wchar_t c)
{
    return IsUpper(c) ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

wchar_t ToUpper(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

void ToLower(std::string& text)
{
    ChangeEach<char>(text, ToLower);
}

void ToUpper(std::string& text)
{
    ChangeEach<char>(text, ToUpper);
}

void ToLower(std::wstring& text)
{
    ChangeEach<wchar_t>(text, ToLower);
}

void ToUpper(std::wstring& text)
{
    ChangeEach<wchar_t>(text, ToUpper);
}

std::string ToLower(std::string_view text)
{
    return ChangedCopy<char>(text, ToLower);
}

std::string ToUpper(std::string_view text)
{
    return ChangedCopy<char>(text, ToUpper);
}

std::wstring ToLower(std::wstring_view text)
{
    return ChangedCopy<wchar_t>(text, ToLower);
}

std::wstring ToUpper(std::wstring_view text)
{
    return ChangedCopy<wchar_t>(text, ToUpper);
}

bool IsEqualIgnoreCase(std::string_view a, std::string_view b)
{
    return IsEqualIgnoreCaseImpl(a, b);
}

bool IsEqualIgnoreCase(std::wstring_view a, std::wstring_view b)
{
    return IsEqualIgnoreCaseImpl(a, b);
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return EndsWithImpl(text, suffix);
}

bool EndsWith(std::wstring_view text, std::wstring_view suffix)
{
    return EndsWithImpl(text, suffix);
}

bool IsNumber(const std::string& text)
{
    return IsNumberImpl(text);
}

bool IsNumber(const std::wstring& text)
{
    return IsNumberImpl(text);
}

bool IsNumber(char c)
{
    return c >= '0' && c <= '9';
}

void LeftTrim(std::string& s, const std::string& set)
{
    LeftTrimImpl(s, set);
}

void RightTrim(std::string& s, const std::string& set)
{
    RightTrimImpl(s, set);
}

void LeftTrim(std::wstring& s, const std::wstring& set)
{
    LeftTrimImpl(s, set);
}

void RightTrim(std::wstring& s, const std::wstring& set)
{
    RightTrimImpl(s, set);
}

void Trim(std::string& s, const std::string& set, TrimDirection direction)
{
    TrimImpl(s, set, direction);
}

void Trim(std::wstring& s, const std::wstring& set, TrimDirection direction)
{
    TrimImpl(s, set, direction);
}

void Replace(std::string& s, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return;
    }
    std::string out;
    std::size_t start = 0;
    for (std::size_t hit = s.find(from.data(), 0, from.size()); hit != std::string::npos;
         hit = s.find(from.data(), start, from.size())) {
        out.append(s, start, hit - start);
        out.append(to);
        start = hit + from.size();
    }
    if (start == 0) {
        return;
    }
    out.append(s, start, std::string::npos);
    s.swap(out);
}

std::string Replace(const std::string& s, std::string_view from, std::string_view to)
{
    std::string copy(s);
    Replace(copy, from, to);
    return copy;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator)
{
    return JoinImpl(parts, separator);
}

std::wstring Join(const std::vector<std::wstring>& parts, const std::wstring& separator)
{
    return JoinImpl(parts, separator);
}

std::string DoubleToString(const double& value, unsigned char decimals)
{
    double whole = 0.0;
    const double fraction = std::modf(value, &whole);
    std::ostringstream out;
    out << std::fixed;
    out.precision(fraction == 0.0 ? 0 : static_cast<std::streamsize>(decimals));
    out << value;
    return out.str();
}

bool StringToValue(const std::string& text, long& value, int base)
{
    std::string trimmed(text);
    Trim(trimmed, WhiteSpace, TrimDirection::Both);
    const char* begin = trimmed.c_str();
    char* end = nullptr;
    const long result = std::strtol(begin, &end, base);
    if (end != begin + trimmed.size() || result == LONG_MAX || result == LONG_MIN) {
        return false;
    }
    value = result;
    return true;
}

bool ParseDateTime(const std::string& text, std::tm& out, unsigned short minYear, unsigned short maxYear)
{
    unsigned int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadField(text, 0, 4, year) || text.size() < 10 || text[4] != '-' || !ReadField(text, 5, 2, month) ||
        text[7] != '-' || !ReadField(text, 8, 2, day)) {
        return false;
    }
    if (text.size() != 10) {
        if (text.size() != 19 || (text[10] != ' ' && text[10] != 'T') || !ReadField(text, 11, 2, hour) ||
            text[13] != ':' || !ReadField(text, 14, 2, minute) || text[16] != ':' || !ReadField(text, 17, 2, second)) {
            return false;
        }
    }
    if (year < minYear || year > maxYear || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 60) {
        return false;
    }

    unsigned int yearDay = day - 1;
    for (unsigned int m = 1; m < month; ++m) {
        yearDay += DaysInMonth(year, m);
    }
    // Day of the week by Zeller's congruence, shifted so that 0 is Sunday.
    const unsigned int zm = month < 3 ? month + 12 : month;
    // Shifted by one 400-year cycle, which keeps the week day, so that the
    // year before January of year 0 stays positive.
    const unsigned int zy = year + 400 - (month < 3 ? 1 : 0);
    const unsigned int h = (day + 13 * (zm + 1) / 5 + zy + zy / 4 - zy / 100 + zy / 400) % 7;

    std::tm parsed{};
    parsed.tm_year = static_cast<int>(year) - 1900;
    parsed.tm_mon = static_cast<int>(month) - 1;
    parsed.tm_mday = static_cast<int>(day);
    parsed.tm_hour = static_cast<int>(hour);
    parsed.tm_min = static_cast<int>(minute);
    parsed.tm_sec = static_cast<int>(second);
    parsed.tm_yday = static_cast<int>(yearDay);
    parsed.tm_wday = static_cast<int>((h + 6) % 7);
    parsed.tm_isdst = -1;
    out = parsed;
    return true;
}

} // namespace StringOperation
