#include "Version.h"

#include "StringOperation.h"

#include <limits>
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

} // namespace

Version::Version(unsigned int majorPart, unsigned int minorPart, unsigned int patchPart)
    // Braces: some C libraries define major() and minor() as macros.
    : major{majorPart}, minor{minorPart}, patch{patchPart}
{}

Version::Version(const std::string& text)
{
    if (!IsValidVersionString(text)) {
        return;
    }
    const std::size_t firstDot = text.find('.');
    if (firstDot == std::string::npos) {
        return;
    }
    unsigned int parsedMajor = 0;
    if (!ReadPart(text.substr(0, firstDot), parsedMajor)) {
        return;
    }
    const std::size_t secondDot = text.find('.', firstDot + 1);
    if (secondDot == std::string::npos) {
        major = parsedMajor;
        return;
    }
    std::string patchText = text.substr(secondDot + 1);
    const std::size_t lastDigit = patchText.find_last_not_of('.');
    patchText.erase(lastDigit == std::string::npos ? 0 : lastDigit + 1);
    unsigned int parsedMinor = 0;
    unsigned int parsedPatch = 0;
    if (!ReadPart(text.substr(firstDot + 1, secondDot - firstDot - 1), parsedMinor) ||
        (!patchText.empty() && !ReadPart(patchText, parsedPatch))) {
        return;
    }
    major = parsedMajor;
    minor = parsedMinor;
    patch = parsedPatch;
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
