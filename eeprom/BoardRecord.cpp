#include "BoardRecord.h"

#include <rapidjson/encodedstream.h>
#include <rapidjson/memorystream.h>

#include <cstring>

namespace QnxUpgradeCommon {

bool JsonDeserializeEEprom(rapidjson::Document& document, const QnxEEPromHandler& handler,
                           EEPromHandler::FilesInEEProm file)
{
    const std::string text = handler.Read(file);
    if (text.empty())
        return false;
    // rapidjson takes a zero byte for the end of the text, so it parses only
    // the one value and the rest of the record is checked here. The result
    // replaces the document only when the whole text was good.
    rapidjson::Document parsed;
    rapidjson::MemoryStream bytes(text.data(), text.size());
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> input(bytes);
    parsed.ParseStream<rapidjson::kParseStopWhenDoneFlag, rapidjson::UTF8<>>(input);
    if (parsed.HasParseError())
        return false;
    for (std::size_t i = bytes.Tell(); i < text.size(); ++i) {
        const char c = text[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    document.Swap(parsed);
    return true;
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
