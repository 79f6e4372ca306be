#include "BoardRecord.h"

#include "JsonDocumentParser.h"

#include <cstring>

namespace QnxUpgradeCommon {

bool JsonDeserializeEEprom(rapidjson::Document& document, const QnxEEPromHandler& handler,
                           EEPromHandler::FilesInEEProm file)
{
    const std::string text = handler.Read(file);
    if (text.empty()) {
        return false;
    }
    // The whole record is the text, after at most one complete byte-order
    // mark; its nesting is limited, so a hostile record cannot run the stack
    // out. The document is replaced only when the text was good.
    const std::size_t mark = JsonDocumentParser::ByteOrderMarkLength(text.data(), text.size());
    return JsonDocumentParser::ParseWhole(document, text.data() + mark, text.size() - mark);
}

std::string ExtractStringMemberFromJson(const rapidjson::Document& document, const std::string& key)
{
    if (!document.IsObject()) {
        return {};
    }
    const rapidjson::Value name(rapidjson::StringRef(key.data(), static_cast<rapidjson::SizeType>(key.size())));
    const auto member = document.FindMember(name);
    if (member == document.MemberEnd() || !member->value.IsString()) {
        return {};
    }
    const char* value = member->value.GetString();
    return std::string(value, ::strnlen(value, member->value.GetStringLength()));
}

} // namespace QnxUpgradeCommon
