#include "BoardRecord.h"

#include <cstring>

namespace QnxUpgradeCommon {

bool JsonDeserializeEEprom(rapidjson::Document& document, const QnxEEPromHandler& handler,
                           EEPromHandler::FilesInEEProm file)
{
    const std::string text = handler.Read(file);
    if (text.empty())
        return false;
    // With an explicit length: a zero byte inside the record must not end the text early.
    // A failed parse leaves the document as it was.
    document.Parse(text.data(), text.size());
    return !document.HasParseError();
}

std::string ExtractStringMemberFromJson(const rapidjson::Document& document, const std::string& key)
{
    if (!document.IsObject())
        return {};
    const rapidjson::Value name(rapidjson::StringRef(key.data(), static_cast<rapidjson::SizeType>(key.size())));
    const auto member = document.FindMember(name);
    if (member == document.MemberEnd() || !member->value.IsString())
        return {};
    const char* value = member->value.GetString();
    return std::string(value, ::strnlen(value, member->value.GetStringLength()));
}

} // namespace QnxUpgradeCommon
