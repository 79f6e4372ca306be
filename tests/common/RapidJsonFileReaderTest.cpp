#include "RapidJsonFileReader.h"
#include "VexaJsonFileReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

RapidJsonFileReader FromText(const std::string& text)
{
    return RapidJsonFileReader(text.data(), static_cast<unsigned int>(text.size()));
}

// A file in a private temporary folder, removed again by the destructor.
class TempFile
{
public:
    explicit TempFile(const std::string& content)
    {
        char pattern[] = "/tmp/jsonreaderXXXXXX";
        const int fd = mkstemp(pattern);
        path_ = pattern;
        if (fd >= 0) {
            close(fd);
        }
        Write(content);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    void Write(const std::string& content) const { std::ofstream(path_, std::ios::binary) << content; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

const char* const Sample = R"({"flag":true,"word":"true","count":7,"negative":-3,"ratio":2.5,"big":5000000000,
"name":"box","nested":{"x":1},"list":[1,2,3],"mixed":[1,"two",-3,4.5],"names":["a",5,"c"],
"boxes":[{"w":1},{"w":2}],"empty":[]})";

} // namespace

TEST(JsonReaderLoading, MemoryTextWithByteOrderMarkParses)
{
    const std::string text = "\xEF\xBB\xBF{\"a\":1}";
    RapidJsonFileReader reader = FromText(text);
    EXPECT_FALSE(reader.HasParseError());
    EXPECT_EQ(reader.GetUInt(reader.GetJsonDocument(), "a"), 1u);
}

TEST(JsonReaderLoading, PartsOfAByteOrderMarkOrASecondMarkAreParseErrors)
{
    for (const char* text : {"\xEF{}", "\xBB{}", "\xBF{}", "\xEF\xBB{}", "\xBB\xBF{}", "\xEF\xBB\xBF\xEF\xBB\xBF{}",
                             "\xEF\xBB\xBF\xBF{}"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(FromText(text).HasParseError());
    }
}

TEST(JsonReaderLoading, EmptyNullAndInvalidTextsAreParseErrors)
{
    const char text[] = "{\"a\":1}";
    EXPECT_TRUE(RapidJsonFileReader(text, 0).HasParseError());
    EXPECT_TRUE(RapidJsonFileReader(nullptr, 5).HasParseError());
    EXPECT_TRUE(FromText("{\"a\":1} x").HasParseError());
    EXPECT_TRUE(FromText("   ").HasParseError());
    EXPECT_TRUE(VexaJsonFileReader(text, -1).HasParseError());
    EXPECT_FALSE(FromText("[1] \n").HasParseError());
}

TEST(JsonReaderLoading, TextEndsAtItsLengthOrFirstZeroByte)
{
    const std::string withZero("{\"a\":1}\0garbage", 15);
    EXPECT_FALSE(FromText(withZero).HasParseError());
    const std::string longer = "{\"a\":1}trailing";
    EXPECT_FALSE(RapidJsonFileReader(longer.data(), 7).HasParseError());
}

TEST(JsonReaderLoading, NestingBeyondTheLimitIsAParseErrorNotACrash)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_TRUE(FromText(deep).HasParseError());
    const std::string fine = std::string(100, '[') + std::string(100, ']');
    EXPECT_FALSE(FromText(fine).HasParseError());
}

TEST(JsonReaderLoading, NumbersBeyondDoubleRangeAreParseErrors)
{
    EXPECT_TRUE(FromText(R"({"n":76335733e305})").HasParseError());
    EXPECT_TRUE(FromText(R"({"n":-1e400})").HasParseError());
    EXPECT_FALSE(FromText(R"({"n":1.7e308,"tiny":1e-400})").HasParseError());
}

TEST(JsonReaderLoading, ReloadReadsTheFileAgainAndKeepsTheDocumentOnFailure)
{
    TempFile file("{\"v\":1}");
    RapidJsonFileReader reader(file.Path());
    ASSERT_FALSE(reader.HasParseError());
    file.Write("{\"v\":2}");
    EXPECT_TRUE(reader.Reload());
    EXPECT_EQ(reader.ReadInt(reader.GetJsonDocument(), "v"), 2);
    file.Write("{\"v\":");
    EXPECT_FALSE(reader.Reload());
    EXPECT_TRUE(reader.HasParseError());
    EXPECT_EQ(reader.ReadInt(reader.GetJsonDocument(), "v"), 2);
}

TEST(JsonReaderLoading, MissingFileIsAParseError)
{
    RapidJsonFileReader reader(std::string("/nonexistent/dir/file.json"));
    EXPECT_TRUE(reader.HasParseError());
    EXPECT_FALSE(reader.Reload());
    EXPECT_FALSE(reader.HasMember(reader.GetJsonDocument(), "x"));
}

TEST(JsonReaderLookups, GiveTheTableDefaultsForAbsentMembersAndWrongKinds)
{
    RapidJsonFileReader reader = FromText(Sample);
    ASSERT_FALSE(reader.HasParseError());
    const rapidjson::Value& root = reader.GetJsonDocument();
    EXPECT_TRUE(reader.ReadBool(root, "flag"));
    EXPECT_FALSE(reader.ReadBool(root, "word"));
    EXPECT_FALSE(reader.ReadBool(root, "missing"));
    EXPECT_EQ(reader.ReadUInt(root, "count"), 7u);
    EXPECT_EQ(reader.ReadUInt(root, "negative"), 0u);
    EXPECT_EQ(reader.ReadUInt(root, "big"), 0u);
    EXPECT_EQ(reader.ReadInt(root, "negative"), -3);
    EXPECT_EQ(reader.ReadInt(root, "ratio"), 0);
    EXPECT_DOUBLE_EQ(reader.ReadNumber(root, "ratio"), 2.5);
    EXPECT_DOUBLE_EQ(reader.ReadNumber(root, "big"), 5e9);
    EXPECT_DOUBLE_EQ(reader.ReadNumber(root, "name"), 0.0);
    EXPECT_EQ(reader.ReadString(root, "name"), "box");
    EXPECT_EQ(reader.ReadString(root, "count"), "");
    EXPECT_TRUE(RapidJsonFileReader::HasObject(root, "nested"));
    EXPECT_FALSE(RapidJsonFileReader::HasObject(root, "list"));
    EXPECT_TRUE(RapidJsonFileReader::HasValue(root, "empty"));
    // Lookups on a value that is not an object find nothing.
    EXPECT_FALSE(reader.HasMember(root["list"], "x"));
    EXPECT_EQ(reader.ReadInt(root["count"], "x"), 0);
}

TEST(JsonReaderLookups, StringsStopAtTheirFirstZeroByte)
{
    RapidJsonFileReader reader = FromText(R"({"s":"ab\u0000cd"})");
    EXPECT_EQ(reader.ReadString(reader.GetJsonDocument(), "s"), "ab");
}

TEST(JsonReaderMoves, ReadingAnObjectTwiceGivesNullTheSecondTime)
{
    RapidJsonFileReader reader = FromText(Sample);
    rapidjson::Value& root = reader.GetJsonDocument();
    const rapidjson::Value first = reader.ReadJsonObject(root, "nested");
    ASSERT_TRUE(first.IsObject());
    EXPECT_EQ(RapidJsonFileReader::GetInt(first, "x"), 1);
    EXPECT_TRUE(reader.ReadJsonObject(root, "nested").IsNull());
    EXPECT_TRUE(reader.ReadJsonObject(root, "missing").IsNull());
}

TEST(JsonReaderArrays, ReturnOneEntryPerElementAndDefaultsForWrongKinds)
{
    RapidJsonFileReader reader = FromText(Sample);
    rapidjson::Value& root = reader.GetJsonDocument();
    EXPECT_EQ(reader.ReadUIntArray(root, "list"), (std::vector<unsigned int>{1, 2, 3}));
    EXPECT_EQ(reader.ReadIntArray(root, "mixed"), (std::vector<int>{1, 0, -3, 0}));
    EXPECT_EQ(reader.ReadStringArray(root, "names"), (std::vector<std::string>{"a", "", "c"}));
    const std::vector<rapidjson::Value> boxes = reader.ReadJsonObjectArray(root, "boxes");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(RapidJsonFileReader::GetInt(boxes[1], "w"), 2);
    // Moved elements stay behind as empty objects.
    EXPECT_TRUE(root["boxes"][0].IsObject());
    EXPECT_EQ(root["boxes"][0].MemberCount(), 0u);
}

TEST(JsonReaderArrays, EmptyArrayNumberOrAbsentMemberGiveEmptyVectors)
{
    RapidJsonFileReader reader = FromText(Sample);
    rapidjson::Value& root = reader.GetJsonDocument();
    EXPECT_TRUE(reader.ReadUIntArray(root, "empty").empty());
    EXPECT_TRUE(reader.ReadUIntArray(root, "count").empty());
    EXPECT_TRUE(reader.ReadUIntArray(root, "missing").empty());
    EXPECT_TRUE(reader.ReadJsonObjectArray(root, "name").empty());
}

TEST(JsonReaderConversions, CheckedFormsAcceptOnlyTheirKindAndLeaveOutAloneOtherwise)
{
    RapidJsonFileReader reader = FromText(R"({"i":5,"d":5.0,"n":-1,"huge":1e39,"s":"x","b":false})");
    const rapidjson::Value& root = reader.GetJsonDocument();
    float f = 9.0f;
    EXPECT_FALSE(RapidJsonFileReader::ConvertJsonValue(root["i"], f));
    EXPECT_FLOAT_EQ(f, 9.0f);
    EXPECT_TRUE(RapidJsonFileReader::ConvertJsonValue(root["d"], f));
    EXPECT_FLOAT_EQ(f, 5.0f);
    EXPECT_FALSE(RapidJsonFileReader::ConvertJsonValue(root["huge"], f));
    unsigned int u = 3;
    EXPECT_FALSE(RapidJsonFileReader::ConvertJsonValue(root["n"], u));
    EXPECT_FALSE(RapidJsonFileReader::ConvertJsonValue(root["d"], u));
    EXPECT_EQ(u, 3u);
    int i = 0;
    EXPECT_TRUE(RapidJsonFileReader::ConvertJsonValue(root["n"], i));
    EXPECT_EQ(i, -1);
    bool b = true;
    EXPECT_TRUE(RapidJsonFileReader::ConvertJsonValue(root["b"], b));
    EXPECT_FALSE(b);
    std::string s;
    EXPECT_FALSE(RapidJsonFileReader::ConvertJsonValue(root["i"], s));
    EXPECT_TRUE(RapidJsonFileReader::ConvertJsonValue(root["s"], s));
    EXPECT_EQ(s, "x");
}

TEST(JsonReaderSchema, ValidatesOnlyParsedDocumentsAgainstExistingSchemas)
{
    TempFile schema(R"({"type":"object","required":["a"],"properties":{"a":{"type":"integer"}}})");
    TempFile badSchema("{not json");
    EXPECT_TRUE(FromText(R"({"a":1})").IsValidAgainstSchema(schema.Path()));
    EXPECT_FALSE(FromText(R"({"a":"x"})").IsValidAgainstSchema(schema.Path()));
    EXPECT_FALSE(FromText(R"({"a":1)").IsValidAgainstSchema(schema.Path()));
    EXPECT_FALSE(FromText(R"({"a":1})").IsValidAgainstSchema("/nonexistent/schema.json"));
    EXPECT_FALSE(FromText(R"({"a":1})").IsValidAgainstSchema(badSchema.Path()));
}

TEST(JsonReaderFacade, ForwardsToTheContainedReader)
{
    const std::string text = Sample;
    VexaJsonFileReader reader(text.data(), static_cast<int>(text.size()));
    ASSERT_FALSE(reader.HasParseError());
    rapidjson::Value& root = reader.GetJsonDocument();
    EXPECT_EQ(reader.GetString(root, "name"), "box");
    EXPECT_EQ(reader.ReadUIntArray(root, "list").size(), 3u);
    EXPECT_TRUE(reader.GetJsonObject(root, "nested").IsObject());
    EXPECT_TRUE(reader.ReadJsonObject(root, "nested").IsNull());
    EXPECT_TRUE(reader.Reload());
    EXPECT_TRUE(reader.HasObject(reader.GetJsonDocument(), "nested"));
}
