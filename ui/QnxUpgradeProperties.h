#pragma once

#include <string>

// The printer's display language as the folder name of its translated pages,
// and the page and layout paths formed with it.
//
// The language comes from the preference file "/Store/AppPreferences.json":
// one framed JSON record (JsonImporterExporter) whose root member
// "Properties" is an array of entries {"Name": ..., "Value": ...}; the first
// entry named PropertyNames::Language gives the language. Its value is a
// folder name ("german") or one of the forms of LanguageInfo ("tradchinese").
//
// Whatever goes wrong gives "english", silently: no file, a file of 20 bytes
// or less (a header without text), a file larger than the record importer
// accepts (it is not read past that size), a record that does not parse, no
// "Properties" array or no usable language entry. Entries that are not
// objects, whose "Name" or "Value" is not a string, or whose value is not a
// plain folder name (it contains '/' or a zero byte, or is "." or "..") are
// skipped, so they never put path components into page paths.
//
// One thread at a time; the folder is fixed after Load.
class QnxUpgradeProperties
{
public:
    static constexpr const char* PropertyJsonFile = "/AppPreferences.json";
    static constexpr const char* PropertiesTag = "Properties";
    static constexpr const char* NameTag = "Name";
    static constexpr const char* ValueTag = "Value";

    // Reads the language from the store's preference file.
    void Load();
    // Reads the language from the preference file at path.
    void Load(const std::string& preferenceFile);

    // template with its first "{}" replaced by the language folder; a
    // template without "{}" comes back unchanged. Before Load the folder is
    // empty.
    std::string FormatWithLanguage(const std::string& pathTemplate) const;

    // The language folder; empty before Load.
    const std::string& GetLanguage() const { return language_; }

private:
    std::string language_;
};
