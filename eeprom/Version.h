#pragma once

#include <string>

// A three-part version number, major.minor.patch, compared part by part.
//
// Built from a text: a text that IsValidVersionString refuses gives 0.0.0.
// Otherwise major is the number before the first '.', and minor and patch are
// read only when a second '.' follows: minor between the two dots, patch after
// the second (dots at the end of the patch ignored, an empty patch is 0). So
// "7" gives 0.0.0, "7.2" gives 7.0.0, "7.2." gives 7.2.0 and "7.2.5" 7.2.5.
// A valid text whose parts cannot all be read as numbers - an empty part from
// a leading or doubled dot ("..5", "1..5"), or a number above 4294967295 -
// gives 0.0.0 as a whole, just as an invalid text does.
struct Version
{
    unsigned int major = 0;
    unsigned int minor = 0;
    unsigned int patch = 0;

    Version() = default;
    Version(unsigned int majorPart, unsigned int minorPart, unsigned int patchPart);
    explicit Version(const std::string& text);

    // 1 to 3 non-empty pieces between the dots, each made of decimal digits
    // only; empty pieces (from leading, trailing or doubled dots) are dropped.
    static bool IsValidVersionString(const std::string& text);

    bool operator<(const Version& other) const;
    bool operator==(const Version& other) const;
    bool operator!=(const Version& other) const;
    bool operator<=(const Version& other) const;
    bool operator>(const Version& other) const;
    bool operator>=(const Version& other) const;
};
