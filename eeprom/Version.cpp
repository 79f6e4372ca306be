#include "Version.h"

#include "StringOperation.h"

#include <limits>
#include <optional>
#include <tuple>

namespace {

// Decimal value of a piece made only of digits and fitting 32 bits.
bool ReadPart(const std::string& text, unsigned int& value)
{
    if (!StringOperation::IsNumber(text)) {
        return false;
    }
    unsigned long long result = 0;
    for (const char c : text) {
        result = result * 10 + static_cast<unsigned long long>(c - '0');
        if (result > std::numeric_limits<unsigned int>::max()) {
            return false;
        }
    }
    value = static_cast<unsigned int>(result);
    return true;
}

// The texts of the three parts; a part without a text is 0.
struct PartTexts
{
    std::string major;
    std::optional<std::string> minor;
    std::optional<std::string> patch;
};

// Cuts a valid version text into its parts by three rules; false when the
// text names no version.
bool CutIntoParts(const std::string& text, PartTexts& parts)
{
    // The major needs a dot: "7" names no version.
    const std::size_t firstDot = text.find('.');
    if (firstDot == std::string::npos) {
        return false;
    }
    parts.major = text.substr(0, firstDot);
    // Minor and patch need a second dot: "7.2" is 7.0.0. The minor stands
    // between the two dots, the patch after the second.
    const std::size_t secondDot = text.find('.', firstDot + 1);
    if (secondDot == std::string::npos) {
        return true;
    }
    parts.minor = text.substr(firstDot + 1, secondDot - firstDot - 1);
    // Trailing dots are no part of the patch, and no patch is 0: "7.2." is
    // 7.2.0, "7.2.5.." 7.2.5.
    const std::size_t patchEnd = text.find_last_not_of('.');
    if (patchEnd != std::string::npos && patchEnd > secondDot) {
        parts.patch = text.substr(secondDot + 1, patchEnd - secondDot);
    }
    return true;
}

// Reads an optional part; a part that is present must be a number.
bool ReadOptionalPart(const std::optional<std::string>& text, unsigned int& value)
{
    return !text || ReadPart(*text, value);
}

} // namespace

Version::Version(unsigned int majorPart, unsigned int minorPart, unsigned int patchPart)
    // Braces: some C libraries define major() and minor() as macros.
    : major{majorPart}, minor{minorPart}, patch{patchPart}
{}

Version::Version(const std::string& text)
{
    PartTexts parts;
    Version read;
    // A part that is no number spoils the whole version.
    if (IsValidVersionString(text) && CutIntoParts(text, parts) && ReadPart(parts.major, read.major) &&
        ReadOptionalPart(parts.minor, read.minor) && ReadOptionalPart(parts.patch, read.patch)) {
        *this = read;
    }
}

bool Version::IsValidVersionString(const std::string& text)
{
    const std::vector<std::string> pieces = StringOperation::SplitString(text, '.');
    if (pieces.empty() || pieces.size() > 3) {
        return false;
    }
    for (const std::string& piece : pieces) {
        if (!StringOperation::IsNumber(piece)) {
            return false;
        }
    }
    return true;
}

bool Version::operator<(const Version& other) const
{
    return std::tie(major, minor, patch) < std::tie(other.major, other.minor, other.patch);
}

bool Version::operator==(const Version& other) const
{
    return major == other.major && minor == other.minor && patch == other.patch;
}

bool Version::operator!=(const Version& other) const
{
    return !(*this == other);
}

bool Version::operator<=(const Version& other) const
{
    return *this == other || *this < other;
}

bool Version::operator>(const Version& other) const
{
    return !(*this <= other);
}

bool Version::operator>=(const Version& other) const
{
    return !(*this < other);
}
