#pragma once

#include "JsonFileReader.h"

#include <rapidjson/document.h>

#include <filesystem>
#include <string>
#include <vector>

// JsonFileReader on rapidjson, loading from a file path or from a text in
// memory (such as a resource compiled into the program).
//
// A memory text is not copied: it must stay valid as long as Reload() may be
// called. A leading UTF-8 byte-order mark is skipped, and the text ends at its
// length or at its first zero byte, whichever comes first. A file is read as
// standard JSON. A missing or unreadable source, or a text that is not one
// JSON value (nesting deeper than 128 levels counts as not), sets the parse
// error; the document then keeps its earlier content. Constructors load once
// and never fail.
//
// Values moved out (GetJsonObject, ReadJsonObject, ReadJsonObjectArray) use
// the reader's memory: they are valid while the reader exists and until its
// next Reload().
class RapidJsonFileReader : public JsonFileReader<rapidjson::Value>
{
public:
    explicit RapidJsonFileReader(const std::string& path);
    RapidJsonFileReader(const char* text, unsigned int length);
    ~RapidJsonFileReader() override;

    bool Reload() override;
    bool HasParseError() const override;
    bool HasMember(const rapidjson::Value& value, const std::string& name) override;
    rapidjson::Document& GetJsonDocument() override;
    rapidjson::Value ReadJsonObject(rapidjson::Value& value, const std::string& name) override;
    bool ReadBool(const rapidjson::Value& value, const std::string& name) override;
    unsigned int ReadUInt(const rapidjson::Value& value, const std::string& name) override;
    int ReadInt(const rapidjson::Value& value, const std::string& name) override;
    double ReadNumber(const rapidjson::Value& value, const std::string& name) override;
    std::string ReadString(const rapidjson::Value& value, const std::string& name) override;
    std::vector<rapidjson::Value> ReadJsonObjectArray(rapidjson::Value& value, const std::string& name) override;
    std::vector<unsigned int> ReadUIntArray(const rapidjson::Value& value, const std::string& name) override;
    std::vector<int> ReadIntArray(const rapidjson::Value& value, const std::string& name) override;
    std::vector<std::string> ReadStringArray(const rapidjson::Value& value, const std::string& name) override;

    // False when this reader has a parse error, no file exists at `schema` or
    // it does not parse; otherwise whether the document is valid against the
    // schema (the JSON Schema dialect of rapidjson's validator).
    bool IsValidAgainstSchema(const std::filesystem::path& schema) const;

    // Lookups on any object; the same results as the Read operations.
    static bool HasValue(const rapidjson::Value& value, const std::string& name);
    static bool HasObject(const rapidjson::Value& value, const std::string& name);
    static rapidjson::Value GetJsonObject(rapidjson::Value& value, const std::string& name);
    static bool GetBool(const rapidjson::Value& value, const std::string& name);
    static unsigned int GetUInt(const rapidjson::Value& value, const std::string& name);
    static int GetInt(const rapidjson::Value& value, const std::string& name);
    static double GetNumber(const rapidjson::Value& value, const std::string& name);
    static std::string GetString(const rapidjson::Value& value, const std::string& name);

    // Checked conversions: false, and `out` untouched, unless the value has
    // the asked kind - bool: true or false; unsigned int / int: an integer
    // that fits (a number written with a fraction or exponent does not);
    // std::string: a string (up to its first zero byte); float: a number
    // written with a fraction or exponent of magnitude at most 3.4028234e38.
    template <typename T>
    static bool ConvertJsonValue(const rapidjson::Value& value, T& out);
    // Unchecked conversions for unsigned int, int and std::string (0 or empty
    // for a value of another kind), and for rapidjson::Value: the value moved
    // out, leaving an empty object behind.
    template <typename T>
    static T ConvertJsonValue(rapidjson::Value& value);

private:
    rapidjson::Document document_;
    bool parseError_ = true;
    std::string path_;
    const char* text_ = nullptr;
    unsigned int textLength_ = 0;
};

template <>
bool RapidJsonFileReader::ConvertJsonValue<bool>(const rapidjson::Value& value, bool& out);
template <>
bool RapidJsonFileReader::ConvertJsonValue<unsigned int>(const rapidjson::Value& value, unsigned int& out);
template <>
bool RapidJsonFileReader::ConvertJsonValue<int>(const rapidjson::Value& value, int& out);
template <>
bool RapidJsonFileReader::ConvertJsonValue<std::string>(const rapidjson::Value& value, std::string& out);
template <>
bool RapidJsonFileReader::ConvertJsonValue<float>(const rapidjson::Value& value, float& out);

template <>
unsigned int RapidJsonFileReader::ConvertJsonValue<unsigned int>(rapidjson::Value& value);
template <>
int RapidJsonFileReader::ConvertJsonValue<int>(rapidjson::Value& value);
template <>
std::string RapidJsonFileReader::ConvertJsonValue<std::string>(rapidjson::Value& value);
template <>
rapidjson::Value RapidJsonFileReader::ConvertJsonValue<rapidjson::Value>(rapidjson::Value& value);
