#include "QnxUpgradeProperties.h"

#include "FileHandle.h"
#include "JsonImporterExporter.h"
#include "LanguageInfo.h"
#include "PlatformStrings.h"
#include "PropertyNames.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {
// The whole file, or nothing when it cannot be opened, cannot be read or is
// longer than limit bytes. At most limit + 1 bytes are read, so a huge file
// costs no more memory than the limit.
std::optional<std::vector<unsigned char>> ReadUpTo(const std::string& path, std::uint64_t limit)
{
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    constexpr std::uint64_t Chunk = std::uint64_t{64} * 1024;
    while (bytes.size() <= limit) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(Chunk, limit + 1 - bytes.size()));
        const std::size_t have = bytes.size();
        bytes.resize(have + want);
        const std::size_t got = std::fread(bytes.data() + have, 1, want, file.get());
        bytes.resize(have + got);
        if (got < want) {
            break;
        }
    }
    if (bytes.size() > limit || std::ferror(file.get()) != 0) {
        return std::nullopt;
    }
    return bytes;
}

bool IsNamed(const rapidjson::Value& text, const char* name)
{
    const std::size_t length = std::strlen(name);
    return text.GetStringLength() == length && std::memcmp(text.GetString(), name, length) == 0;
}

// A value that can stand as one folder of a path and nothing more.
bool IsPlainFolderName(const std::string& value)
{
    return value != "." && value != ".." && value.find('/') == std::string::npos &&
           value.find('\0') == std::string::npos;
}

// The language of one entry of "Properties", or nothing when the entry is
// not a usable language entry.
std::optional<std::string> LanguageOfEntry(const rapidjson::Value& entry)
{
    if (!entry.IsObject()) {
        return std::nullopt;
    }
    const auto name = entry.FindMember(QnxUpgradeProperties::NameTag);
    if (name == entry.MemberEnd() || !name->value.IsString() || !IsNamed(name->value, PropertyNames::Language)) {
        return std::nullopt;
    }
    const auto value = entry.FindMember(QnxUpgradeProperties::ValueTag);
    if (value == entry.MemberEnd() || !value->value.IsString()) {
        return std::nullopt;
    }
    std::string language(value->value.GetString(), value->value.GetStringLength());
    if (!IsPlainFolderName(language)) {
        return std::nullopt;
    }
    return language;
}

std::string LanguageFromRecord(std::vector<unsigned char>& block)
{
    JsonImporterExporter importer;
    if (!importer.ImportData(block.data(), block.size())) {
        return {};
    }
    JsonImporterExporter::MemberIterator properties;
    if (!importer.FindTag(QnxUpgradeProperties::PropertiesTag, properties) || !properties->value.IsArray()) {
        return {};
    }
    for (const rapidjson::Value& entry : properties->value.GetArray()) {
        if (std::optional<std::string> language = LanguageOfEntry(entry)) {
            return *language;
        }
    }
    return {};
}
} // namespace

void QnxUpgradeProperties::Load()
{
    Load(std::string(PlatformStrings::FilePaths::Store) + PropertyJsonFile);
}

void QnxUpgradeProperties::Load(const std::string& preferenceFile)
{
    language_.clear();
    // Larger than the biggest record the importer takes: not worth reading.
    const std::uint64_t limit = std::uint64_t{JsonImporterExporter::HeaderBytes} + JsonImporterExporter::ImportLimit();
    std::optional<std::vector<unsigned char>> bytes = ReadUpTo(preferenceFile, limit);
    if (bytes && bytes->size() > JsonImporterExporter::HeaderBytes) {
        // The importer ends the text with a zero byte of its own, in place.
        bytes->push_back(0);
        language_ = LanguageFromRecord(*bytes);
    }
    const auto known = LanguageInfo.find(language_);
    if (known != LanguageInfo.end()) {
        language_ = known->second.folder;
    }
}

std::string QnxUpgradeProperties::FormatWithLanguage(const std::string& pathTemplate) const
{
    std::string path = pathTemplate;
    const std::size_t at = path.find("{}");
    if (at != std::string::npos) {
        path.replace(at, 2, language_);
    }
    return path;
}
