#pragma once

#include <functional>
#include <map>
#include <string>

// One entry of the language table: the page folder of a language value.
struct LanguageInfoItem
{
    const char* folder;
};

// The language values of the preference file that do not name their page
// folder themselves: the empty value (no language set) and the two short
// Chinese forms. Every other value is a folder name already. Built during
// static initialisation, read-only afterwards; lookups from any thread.
extern const std::map<std::string, LanguageInfoItem, std::less<>> LanguageInfo;
