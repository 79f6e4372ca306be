#include "BoardRecord.h"

#include "JsonDocumentParser.h"

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
    // replaces the document only when the whole text was good. One complete
    // byte-order mark is skipped; rapidjson's encoded stream would also drop
    // parts of one.
    const std::size_t mark = JsonDocumentParser::ByteOrderMarkLength(text.data(), text.size());
    rapidjson::Document parsed;
    rapidjson::MemoryStream input(text.data() + mark, text.size() - mark);
    parsed.ParseStream<rapidjson::kParseStopWhenDoneFlag, rapidjson::UTF8<>>(input);
    if (parsed.HasParseError())
        return false;
    for (std::size_t i = mark + input.Tell(); i < text.size(); ++i) {
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
