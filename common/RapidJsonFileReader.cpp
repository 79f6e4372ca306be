#include "RapidJsonFileReader.h"

#include "FileHandle.h"
#include "FileOperation.h"
#include "FitsIn.h"
#include "JsonDocumentParser.h"

// At high optimisation gcc follows the validator's inlined code into paths
// that cannot occur and flags them as null dereferences; the warning is
// silenced for that library header alone.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnull-dereference"
#endif
#include <rapidjson/schema.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <cmath>
#include <cstdio>
#include <system_error>

namespace {

constexpr double FloatMagnitudeLimit = 3.4028234e38;

// The member named `name` of an object, or null when absent or not an object.
const rapidjson::Value* FindMember(const rapidjson::Value& value, const std::string& name)
{
    if (!value.IsObject() || !FitsIn<rapidjson::SizeType>(name.size())) {
        return nullptr;
    }
    const rapidjson::Value key(rapidjson::StringRef(name.data(), static_cast<rapidjson::SizeType>(name.size())));
    const auto member = value.FindMember(key);
    return member == value.MemberEnd() ? nullptr : &member->value;
}

rapidjson::Value* FindMember(rapidjson::Value& value, const std::string& name)
{
    return const_cast<rapidjson::Value*>(FindMember(static_cast<const rapidjson::Value&>(value), name));
}

unsigned int UIntOf(const rapidjson::Value& value)
{
    return value.IsUint() ? value.GetUint() : 0;
}

int IntOf(const rapidjson::Value& value)
{
    return value.IsInt() ? value.GetInt() : 0;
}

// Up to the first zero byte, as the text would read in C.
std::string StringOf(const rapidjson::Value& value)
{
    return value.IsString() ? std::string(value.GetString()) : std::string();
}

bool ParseFileAt(rapidjson::Document& document, const std::string& path)
{
    // A file that exists but cannot be opened reads as an empty text.
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        return false;
    }
    return JsonDocumentParser::ParseFile(document, file.get());
}

template <typename T, typename Convert>
std::vector<T> ReadArray(rapidjson::Value* array, Convert convert)
{
    std::vector<T> out;
    if (array == nullptr || !array->IsArray() || array->Empty()) {
        return out;
    }
    out.reserve(array->Size());
    for (auto& element : array->GetArray()) {
        out.push_back(convert(element));
    }
    return out;
}

} // namespace

RapidJsonFileReader::RapidJsonFileReader(const std::string& path)
    : document_(JsonDocumentParser::NewDocument()), path_(path)
{
    RapidJsonFileReader::Reload();
}

RapidJsonFileReader::RapidJsonFileReader(const char* text, unsigned int length)
    : document_(JsonDocumentParser::NewDocument()), text_(text), textLength_(length)
{
    RapidJsonFileReader::Reload();
}

RapidJsonFileReader::~RapidJsonFileReader() = default;

bool RapidJsonFileReader::Reload()
{
    bool parsed = false;
    if (!path_.empty() && FileOperation::Exists(path_)) {
        parsed = ParseFileAt(document_, path_);
    } else if (text_ != nullptr && textLength_ != 0) {
        const std::size_t mark = JsonDocumentParser::ByteOrderMarkLength(text_, textLength_);
        parsed = JsonDocumentParser::Parse(document_, text_ + mark, textLength_ - mark);
    }
    parseError_ = !parsed;
    return parsed;
}

bool RapidJsonFileReader::HasParseError() const
{
    return parseError_;
}

bool RapidJsonFileReader::HasMember(const rapidjson::Value& value, const std::string& name)
{
    return HasValue(value, name);
}

rapidjson::Document& RapidJsonFileReader::GetJsonDocument()
{
    return document_;
}

rapidjson::Value RapidJsonFileReader::ReadJsonObject(rapidjson::Value& value, const std::string& name)
{
    return GetJsonObject(value, name);
}

bool RapidJsonFileReader::ReadBool(const rapidjson::Value& value, const std::string& name)
{
    return GetBool(value, name);
}

unsigned int RapidJsonFileReader::ReadUInt(const rapidjson::Value& value, const std::string& name)
{
    return GetUInt(value, name);
}

int RapidJsonFileReader::ReadInt(const rapidjson::Value& value, const std::string& name)
{
    return GetInt(value, name);
}

double RapidJsonFileReader::ReadNumber(const rapidjson::Value& value, const std::string& name)
{
    return GetNumber(value, name);
}

std::string RapidJsonFileReader::ReadString(const rapidjson::Value& value, const std::string& name)
{
    return GetString(value, name);
}

std::vector<rapidjson::Value> RapidJsonFileReader::ReadJsonObjectArray(rapidjson::Value& value, const std::string& name)
{
    if (!HasMember(value, name)) {
        return {};
    }
    return ReadArray<rapidjson::Value>(
        FindMember(value, name), [](rapidjson::Value& element) { return ConvertJsonValue<rapidjson::Value>(element); });
}

std::vector<unsigned int> RapidJsonFileReader::ReadUIntArray(const rapidjson::Value& value, const std::string& name)
{
    if (!HasMember(value, name)) {
        return {};
    }
    return ReadArray<unsigned int>(const_cast<rapidjson::Value*>(FindMember(value, name)),
                                   [](const rapidjson::Value& element) { return UIntOf(element); });
}

std::vector<int> RapidJsonFileReader::ReadIntArray(const rapidjson::Value& value, const std::string& name)
{
    if (!HasMember(value, name)) {
        return {};
    }
    return ReadArray<int>(const_cast<rapidjson::Value*>(FindMember(value, name)),
                          [](const rapidjson::Value& element) { return IntOf(element); });
}

std::vector<std::string> RapidJsonFileReader::ReadStringArray(const rapidjson::Value& value, const std::string& name)
{
    if (!HasMember(value, name)) {
        return {};
    }
    return ReadArray<std::string>(const_cast<rapidjson::Value*>(FindMember(value, name)),
                                  [](const rapidjson::Value& element) { return StringOf(element); });
}

bool RapidJsonFileReader::IsValidAgainstSchema(const std::filesystem::path& schema) const
{
    std::error_code error;
    if (parseError_ || !std::filesystem::exists(schema, error)) {
        return false;
    }
    rapidjson::Document schemaDocument = JsonDocumentParser::NewDocument();
    if (!ParseFileAt(schemaDocument, schema.string())) {
        return false;
    }
    const rapidjson::SchemaDocument compiled(schemaDocument);
    rapidjson::SchemaValidator validator(compiled);
    document_.Accept(validator);
    return validator.IsValid();
}

bool RapidJsonFileReader::HasValue(const rapidjson::Value& value, const std::string& name)
{
    return FindMember(value, name) != nullptr;
}

bool RapidJsonFileReader::HasObject(const rapidjson::Value& value, const std::string& name)
{
    const rapidjson::Value* member = FindMember(value, name);
    return member != nullptr && member->IsObject();
}

rapidjson::Value RapidJsonFileReader::GetJsonObject(rapidjson::Value& value, const std::string& name)
{
    rapidjson::Value* member = FindMember(value, name);
    if (member == nullptr) {
        return rapidjson::Value();
    }
    // Moving leaves the member holding null.
    return rapidjson::Value(std::move(*member));
}

bool RapidJsonFileReader::GetBool(const rapidjson::Value& value, const std::string& name)
{
    const rapidjson::Value* member = FindMember(value, name);
    return member != nullptr && member->IsTrue();
}

unsigned int RapidJsonFileReader::GetUInt(const rapidjson::Value& value, const std::string& name)
{
    const rapidjson::Value* member = FindMember(value, name);
    return member == nullptr ? 0 : UIntOf(*member);
}

int RapidJsonFileReader::GetInt(const rapidjson::Value& value, const std::string& name)
{
    const rapidjson::Value* member = FindMember(value, name);
    return member == nullptr ? 0 : IntOf(*member);
}

double RapidJsonFileReader::GetNumber(const rapidjson::Value& value, const std::string& name)
{
    const rapidjson::Value* member = FindMember(value, name);
    return member != nullptr && member->IsNumber() ? member->GetDouble() : 0.0;
}

std::string RapidJsonFileReader::GetString(const rapidjson::Value& value, const std::string& name)
{
    const rapidjson::Value* member = FindMember(value, name);
    return member == nullptr ? std::string() : StringOf(*member);
}

template <>
bool RapidJsonFileReader::ConvertJsonValue<bool>(const rapidjson::Value& value, bool& out)
{
    if (!value.IsBool()) {
        return false;
    }
    out = value.GetBool();
    return true;
}

template <>
bool RapidJsonFileReader::ConvertJsonValue<unsigned int>(const rapidjson::Value& value, unsigned int& out)
{
    if (!value.IsUint()) {
        return false;
    }
    out = value.GetUint();
    return true;
}

template <>
bool RapidJsonFileReader::ConvertJsonValue<int>(const rapidjson::Value& value, int& out)
{
    if (!value.IsInt()) {
        return false;
    }
    out = value.GetInt();
    return true;
}

template <>
bool RapidJsonFileReader::ConvertJsonValue<std::string>(const rapidjson::Value& value, std::string& out)
{
    if (!value.IsString()) {
        return false;
    }
    out = StringOf(value);
    return true;
}

template <>
bool RapidJsonFileReader::ConvertJsonValue<float>(const rapidjson::Value& value, float& out)
{
    if (!value.IsDouble() || !(std::fabs(value.GetDouble()) <= FloatMagnitudeLimit)) {
        return false;
    }
    out = static_cast<float>(value.GetDouble());
    return true;
}

template <>
unsigned int RapidJsonFileReader::ConvertJsonValue<unsigned int>(rapidjson::Value& value)
{
    return UIntOf(value);
}

template <>
int RapidJsonFileReader::ConvertJsonValue<int>(rapidjson::Value& value)
{
    return IntOf(value);
}

template <>
std::string RapidJsonFileReader::ConvertJsonValue<std::string>(rapidjson::Value& value)
{
    return StringOf(value);
}

template <>
rapidjson::Value RapidJsonFileReader::ConvertJsonValue<rapidjson::Value>(rapidjson::Value& value)
{
    // The member is handed over and an empty object stays in its place.
    rapidjson::Value taken(rapidjson::kObjectType);
    taken.Swap(value);
    return taken;
}
