#pragma once

#include "RapidJsonFileReader.h"

#include <filesystem>
#include <string>
#include <vector>

// The JSON reader the rest of the program holds: a plain (non-virtual) class
// that contains one RapidJsonFileReader and forwards every operation to it
// with the same arguments and results. See RapidJsonFileReader for the rules.
class VexaJsonFileReader
{
public:
    explicit VexaJsonFileReader(const std::string& path);
    // A negative length counts as 0, which is a parse error.
    VexaJsonFileReader(const char* text, int length);
    ~VexaJsonFileReader();

    VexaJsonFileReader(const VexaJsonFileReader&) = delete;
    VexaJsonFileReader& operator=(const VexaJsonFileReader&) = delete;

    bool Reload();
    bool HasParseError() const;
    bool HasMember(const rapidjson::Value& value, const std::string& name);
    rapidjson::Document& GetJsonDocument();
    bool IsValidAgainstSchema(const std::filesystem::path& schema) const;

    bool HasObject(const rapidjson::Value& value, const std::string& name) const;
    bool HasValue(const rapidjson::Value& value, const std::string& name) const;
    rapidjson::Value GetJsonObject(rapidjson::Value& value, const std::string& name);
    bool GetBool(const rapidjson::Value& value, const std::string& name) const;
    unsigned int GetUInt(const rapidjson::Value& value, const std::string& name) const;
    int GetInt(const rapidjson::Value& value, const std::string& name) const;
    double GetNumber(const rapidjson::Value& value, const std::string& name) const;
    std::string GetString(const rapidjson::Value& value, const std::string& name) const;

    rapidjson::Value ReadJsonObject(rapidjson::Value& value, const std::string& name);
    bool ReadBool(const rapidjson::Value& value, const std::string& name);
    unsigned int ReadUInt(const rapidjson::Value& value, const std::string& name);
    int ReadInt(const rapidjson::Value& value, const std::string& name);
    double ReadNumber(const rapidjson::Value& value, const std::string& name);
    std::string ReadString(const rapidjson::Value& value, const std::string& name);
    std::vector<rapidjson::Value> ReadJsonObjectArray(rapidjson::Value& value, const std::string& name);
    std::vector<unsigned int> ReadUIntArray(const rapidjson::Value& value, const std::string& name);
    std::vector<int> ReadIntArray(const rapidjson::Value& value, const std::string& name);
    std::vector<std::string> ReadStringArray(const rapidjson::Value& value, const std::string& name);

private:
    RapidJsonFileReader reader_;
};
