#pragma once

#include <string>

// Tells which of the program's compiled-in Wi-Fi pages a filmed frame shows,
// pixel for pixel, in a language folder: "16" (in progress), "15" (success),
// "17" (failure), "black" (the display stopped or no window), or "other".
class PageNames
{
public:
    // language: a folder of the compiled-in pages, e.g. "english".
    explicit PageNames(const std::string& language);

    // "unreadable" when the frame cannot be decoded.
    std::string NameOf(const std::string& framePath) const;

private:
    std::string language_;
};
