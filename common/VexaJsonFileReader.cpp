#include "VexaJsonFileReader.h"

VexaJsonFileReader::VexaJsonFileReader(const std::string& path) : reader_(path)
{}

VexaJsonFileReader::VexaJsonFileReader(const char* text, int length)
    : reader_(text, length < 0 ? 0u : static_cast<unsigned int>(length))
{}

VexaJsonFileReader::~VexaJsonFileReader() = default;

bool VexaJsonFileReader::Reload()
{
    return reader_.Reload();
}
bool VexaJsonFileReader::HasParseError() const
{
    return reader_.HasParseError();
}
bool VexaJsonFileReader::HasMember(const rapidjson::Value& value, const std::string& name)
{
    return reader_.HasMember(value, name);
}
rapidjson::Document& VexaJsonFileReader::GetJsonDocument()
{
    return reader_.GetJsonDocument();
}
bool VexaJsonFileReader::IsValidAgainstSchema(const std::filesystem::path& schema) const
{
    return reader_.IsValidAgainstSchema(schema);
}

bool VexaJsonFileReader::HasObject(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.HasObject(value, name);
}
bool VexaJsonFileReader::HasValue(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.HasValue(value, name);
}
rapidjson::Value VexaJsonFileReader::GetJsonObject(rapidjson::Value& value, const std::string& name)
{
    return reader_.GetJsonObject(value, name);
}
bool VexaJsonFileReader::GetBool(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.GetBool(value, name);
}
unsigned int VexaJsonFileReader::GetUInt(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.GetUInt(value, name);
}
int VexaJsonFileReader::GetInt(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.GetInt(value, name);
}
double VexaJsonFileReader::GetNumber(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.GetNumber(value, name);
}
std::string VexaJsonFileReader::GetString(const rapidjson::Value& value, const std::string& name) const
{
    return reader_.GetString(value, name);
}

rapidjson::Value VexaJsonFileReader::ReadJsonObject(rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadJsonObject(value, name);
}
bool VexaJsonFileReader::ReadBool(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadBool(value, name);
}
unsigned int VexaJsonFileReader::ReadUInt(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadUInt(value, name);
}
int VexaJsonFileReader::ReadInt(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadInt(value, name);
}
double VexaJsonFileReader::ReadNumber(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadNumber(value, name);
}
std::string VexaJsonFileReader::ReadString(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadString(value, name);
}
std::vector<rapidjson::Value> VexaJsonFileReader::ReadJsonObjectArray(rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadJsonObjectArray(value, name);
}
std::vector<unsigned int> VexaJsonFileReader::ReadUIntArray(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadUIntArray(value, name);
}
std::vector<int> VexaJsonFileReader::ReadIntArray(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadIntArray(value, name);
}
std::vector<std::string> VexaJsonFileReader::ReadStringArray(const rapidjson::Value& value, const std::string& name)
{
    return reader_.ReadStringArray(value, name);
}
