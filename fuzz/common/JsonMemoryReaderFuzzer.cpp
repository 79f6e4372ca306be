// The JSON reader on a memory text, with every lookup on every root member.
// Only one complete byte-order mark is skipped: a text that goes on with a
// mark byte after it cannot parse, as no JSON text starts with one.
#include "RapidJsonFileReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool IsMarkByte(std::uint8_t byte)
{
    return byte == 0xEF || byte == 0xBB || byte == 0xBF;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    RapidJsonFileReader reader(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size));
    if (reader.HasParseError()) {
        return 0;
    }
    const std::size_t mark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
    if (size > mark && IsMarkByte(data[mark])) {
        std::abort();
    }
    rapidjson::Value& root = reader.GetJsonDocument();
    if (!root.IsObject()) {
        return 0;
    }
    std::vector<std::string> names;
    for (auto member = root.MemberBegin(); member != root.MemberEnd(); ++member) {
        names.emplace_back(member->name.GetString(), member->name.GetStringLength());
    }
    for (const std::string& name : names) {
        reader.ReadBool(root, name);
        reader.ReadUInt(root, name);
        reader.ReadInt(root, name);
        reader.ReadNumber(root, name);
        reader.ReadString(root, name);
        reader.ReadUIntArray(root, name);
        reader.ReadIntArray(root, name);
        reader.ReadStringArray(root, name);
        float f = 0.0f;
        RapidJsonFileReader::ConvertJsonValue(root[name.c_str()], f);
        for (rapidjson::Value& element : reader.ReadJsonObjectArray(root, name)) {
            reader.ReadString(element, name);
        }
        rapidjson::Value moved = reader.ReadJsonObject(root, name);
        reader.HasMember(moved, name);
    }
    reader.Reload();
    return 0;
}
