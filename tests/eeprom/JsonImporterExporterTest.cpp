#include "JsonImporterExporter.h"

#include "ByteBufferStream.h"
#include "FramedRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// A framed record with `spare` zero bytes after it (room for the terminator
// that the in-place import writes).
Bytes Record(const std::string& text, const unsigned char* identifier = DefaultRecordIdentifier, std::size_t spare = 1)
{
    const std::string framed = FramedRecord(text, identifier);
    Bytes record(framed.begin(), framed.end());
    record.insert(record.end(), spare, 0);
    return record;
}

Bytes WithLength(Bytes record, std::uint32_t n)
{
    for (int i = 0; i < 4; ++i) {
        record[16 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(n >> (8 * i));
    }
    return record;
}

std::string Exported(JsonImporterExporter& json)
{
    rapidjson::StringBuffer out;
    EXPECT_TRUE(json.ExportDataNoHeader(out));
    return out.GetString();
}

// Plays back a script of read results: a number of bytes to deliver from the
// data, or -1; past the script, what is asked for while the data lasts. Writes
// are accepted up to a budget.
class ScriptedStream : public Stream
{
public:
    using Stream::Read;
    using Stream::Write;

    ScriptedStream(Bytes data, std::deque<int> script, int writeBudget = 1 << 20)
        : data_(std::move(data)), script_(std::move(script)), writeBudget_(writeBudget)
    {}

    int Read(unsigned char* buf, int len) override
    {
        int take = len;
        if (!script_.empty()) {
            take = script_.front();
            script_.pop_front();
            if (take < 0) {
                return take;
            }
        }
        // The room the reader offers is its buffer, whether filled or not.
        reach = std::max(reach, pos_ + static_cast<std::size_t>(len));
        take = std::min({take, len, static_cast<int>(data_.size() - pos_)});
        std::memcpy(buf, data_.data() + pos_, static_cast<std::size_t>(take));
        pos_ += static_cast<std::size_t>(take);
        ++reads;
        return take;
    }
    int Write(const unsigned char* buf, int len) override
    {
        const int put = std::min(len, writeBudget_);
        written.insert(written.end(), buf, buf + put);
        ++writes;
        return put;
    }
    void Close() override {}

    Bytes written;
    int reads = 0;
    int writes = 0;
    // How far into the data a read could have gone, had the stream filled
    // every buffer it was given.
    std::size_t reach = 0;

private:
    Bytes data_;
    std::size_t pos_ = 0;
    std::deque<int> script_;
    int writeBudget_;
};

// Poses as a machine with `kib` KiB of free memory for the duration of a test.
class FreeMemory
{
public:
    explicit FreeMemory(unsigned long kib)
    {
        char pattern[] = "/tmp/meminfoXXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        path_ = pattern;
        std::ofstream(path_) << "MemTotal: 99999999 kB\nMemAvailable: " << kib << " kB\n";
        setenv("UPGRADE_HOST_MEMINFO", path_.c_str(), 1);
    }
    ~FreeMemory()
    {
        unsetenv("UPGRADE_HOST_MEMINFO");
        std::remove(path_.c_str());
    }
    FreeMemory(const FreeMemory&) = delete;
    FreeMemory& operator=(const FreeMemory&) = delete;

private:
    std::string path_;
};

} // namespace

TEST(JsonRecordExport, EmptyDocumentIsExactly22Bytes)
{
    JsonImporterExporter json;
    ByteBufferStream out;
    ASSERT_TRUE(json.ExportData(out));
    Bytes expected(DefaultRecordIdentifier, DefaultRecordIdentifier + 16);
    expected.insert(expected.end(), {0x02, 0x00, 0x00, 0x00, '{', '}'});
    EXPECT_EQ(out.GetBytes(), expected);
}

TEST(JsonRecordExport, SendsTheWholeRecordInOneWriteWithTheCallersIdentifier)
{
    JsonImporterExporter json;
    Bytes record = Record(R"({"a":[1,2.5,"x"],"b":{"c":null}})");
    ASSERT_TRUE(json.ImportData(record.data(), record.size()));
    ScriptedStream out({}, {});
    ASSERT_TRUE(json.ExportData(out, AlternateRecordIdentifier));
    EXPECT_EQ(out.writes, 1);
    EXPECT_EQ(out.written, Record(R"({"a":[1,2.5,"x"],"b":{"c":null}})", AlternateRecordIdentifier, 0));
    EXPECT_FALSE(json.ExportData(out, nullptr));
}

TEST(JsonRecordExport, AValueJsonCannotHoldIsRefusedAndNothingIsWritten)
{
    JsonImporterExporter json;
    rapidjson::Value notANumber(std::numeric_limits<double>::quiet_NaN());
    ScriptedStream out({}, {});
    EXPECT_FALSE(json.ExportData(notANumber, out, DefaultRecordIdentifier));
    EXPECT_EQ(out.writes, 0);
}

TEST(JsonRecordExport, ReportsAShortWriteAsFailure)
{
    JsonImporterExporter json;
    ScriptedStream out({}, {}, 10);
    EXPECT_FALSE(json.ExportData(out));
}

TEST(JsonRecordExport, RoundTripsThroughTheStreamImport)
{
    JsonImporterExporter source;
    Bytes record = Record(R"({"Properties":[{"Name":"k","Value":"\"q\"\n"}],"n":-5})");
    ASSERT_TRUE(source.ImportData(record.data(), record.size()));
    ByteBufferStream buffer;
    ASSERT_TRUE(source.ExportData(buffer));

    JsonImporterExporter copy;
    bool streamError = true;
    ASSERT_TRUE(copy.ImportDataNoRetry(buffer, streamError));
    EXPECT_FALSE(streamError);
    EXPECT_EQ(Exported(copy), Exported(source));
}

TEST(JsonRecordMemoryImport, ParsesTheTextInPlaceAndIgnoresTheIdentifier)
{
    const unsigned char other[16] = {1, 2, 3};
    Bytes record = Record(R"({"Name":"abc"})", other);
    JsonImporterExporter json;
    ASSERT_TRUE(json.ImportData(record.data(), record.size()));
    JsonImporterExporter::MemberIterator member;
    ASSERT_TRUE(json.FindTag("Name", member));
    // In-situ parsing leaves the string inside the caller's block.
    const char* inBlock = reinterpret_cast<const char*>(record.data());
    EXPECT_GE(member->value.GetString(), inBlock);
    EXPECT_LT(member->value.GetString(), inBlock + record.size());
}

TEST(JsonRecordMemoryImport, RefusesLengthZeroEvenWhenTextFollows)
{
    Bytes record = WithLength(Record("{}"), 0);
    JsonImporterExporter json;
    EXPECT_FALSE(json.ImportData(record.data(), record.size()));
}

TEST(JsonRecordMemoryImport, RefusesALengthThatDoesNotFitTheBlockAndTouchesNothing)
{
    Bytes record = Record(R"({"a":1})");
    const Bytes before = record;
    JsonImporterExporter json;
    // One byte short of room for the terminating zero.
    EXPECT_FALSE(json.ImportData(record.data(), record.size() - 1));
    EXPECT_FALSE(json.ImportData(WithLength(record, 0xFFFFFFFFu).data(), record.size()));
    EXPECT_FALSE(json.ImportData(record.data(), 19));
    EXPECT_FALSE(json.ImportData(nullptr, 100));
    EXPECT_EQ(record, before);
    EXPECT_TRUE(json.ImportData(record.data(), record.size()));
}

TEST(JsonRecordMemoryImport, WritesTheTerminatorRightAfterTheText)
{
    Bytes record = Record(R"({"a":1})", DefaultRecordIdentifier, 0);
    record.push_back('x'); // the byte after the text is not yet a zero
    record.push_back('y');
    JsonImporterExporter json;
    ASSERT_TRUE(json.ImportData(record.data(), record.size()));
    EXPECT_EQ(record[record.size() - 2], 0);
    EXPECT_EQ(record.back(), 'y');
}

TEST(JsonRecordMemoryImport, ArrayRootIsRefusedAndInvalidTextKeepsThePreviousDocument)
{
    JsonImporterExporter json;
    Bytes good = Record(R"({"keep":1})");
    ASSERT_TRUE(json.ImportData(good.data(), good.size()));
    Bytes invalid = Record(R"({"keep":)");
    EXPECT_FALSE(json.ImportData(invalid.data(), invalid.size()));
    EXPECT_EQ(Exported(json), R"({"keep":1})");
    Bytes array = Record("[1,2]");
    EXPECT_FALSE(json.ImportData(array.data(), array.size()));
    Bytes trailing = Record(R"({"a":1} x)");
    EXPECT_FALSE(json.ImportData(trailing.data(), trailing.size()));
}

TEST(JsonRecordMemoryImport, RefusesTextsAboveAQuarterOfFreeMemory)
{
    const FreeMemory tiny(1); // 1 KiB free: texts up to 256 bytes
    const std::string fits = "{\"s\":\"" + std::string(248, 'x') + "\"}";
    ASSERT_EQ(fits.size(), 256u);
    Bytes small = Record(fits);
    Bytes large = Record("{\"s\":\"" + std::string(249, 'x') + "\"}");
    JsonImporterExporter json;
    EXPECT_TRUE(json.ImportData(small.data(), small.size()));
    EXPECT_FALSE(json.ImportData(large.data(), large.size()));
    ByteBufferStream stream(Record("{\"s\":\"" + std::string(249, 'x') + "\"}", DefaultRecordIdentifier, 0));
    EXPECT_FALSE(json.ImportData(stream));
}

TEST(JsonRecordMemoryImport, RefusesEverythingWhenFreeMemoryIsUnknown)
{
    setenv("UPGRADE_HOST_MEMINFO", "/nonexistent/meminfo", 1);
    Bytes record = Record("{}");
    JsonImporterExporter json;
    EXPECT_FALSE(json.ImportData(record.data(), record.size()));
    unsetenv("UPGRADE_HOST_MEMINFO");
}

TEST(JsonRecordStreamImport, ChecksTheParseResultButNotTheIdentifier)
{
    const unsigned char other[16] = {9};
    JsonImporterExporter json;
    ByteBufferStream good(Record(R"({"a":1})", other, 0));
    EXPECT_TRUE(json.ImportData(good));
    ByteBufferStream invalid(Record(R"({"a":)", other, 0));
    EXPECT_FALSE(json.ImportData(invalid));
    EXPECT_EQ(Exported(json), R"({"a":1})");
    ByteBufferStream array(Record("[]", other, 0));
    EXPECT_FALSE(json.ImportData(array));
}

TEST(JsonRecordStreamImport, FailsOnShortHeaderShortTextOrLengthZero)
{
    JsonImporterExporter json;
    ByteBufferStream header(Bytes(19, 0));
    EXPECT_FALSE(json.ImportData(header));
    Bytes record = Record(R"({"a":1})", DefaultRecordIdentifier, 0);
    record.pop_back();
    ByteBufferStream shortText(record);
    EXPECT_FALSE(json.ImportData(shortText));
    ByteBufferStream zero(WithLength(Record("{}", DefaultRecordIdentifier, 0), 0));
    EXPECT_FALSE(json.ImportData(zero));
}

TEST(JsonRecordStreamImport, ALyingLengthCostsOnlyTheBytesDelivered)
{
    const FreeMemory plenty(64ul * 1024 * 1024);
    // The length field claims 16 MiB; 100 KiB of text come, then nothing.
    const std::size_t delivered = 100 * 1024;
    ScriptedStream stream(WithLength(Record(std::string(delivered, ' '), DefaultRecordIdentifier, 0), 16u << 20), {});
    JsonImporterExporter json;
    EXPECT_FALSE(json.ImportData(stream));
    // The text buffer grows with the bytes that came, never to the length claimed.
    EXPECT_LE(stream.reach - JsonImporterExporter::HeaderBytes, 2 * delivered);
}

TEST(JsonRecordNoRetryImport, AcceptsBothIdentifiersAndNoOther)
{
    JsonImporterExporter json;
    bool streamError = true;
    ByteBufferStream alternate(Record(R"({"x":2})", AlternateRecordIdentifier, 0));
    EXPECT_TRUE(json.ImportDataNoRetry(alternate, streamError));
    EXPECT_FALSE(streamError);
    const unsigned char other[16] = {0xb3, 0xec};
    Bytes foreign = Record(R"({"x":3})", other, 0);
    ByteBufferStream foreignStream(foreign);
    EXPECT_FALSE(json.ImportDataNoRetry(foreignStream, streamError));
    EXPECT_FALSE(streamError);
    EXPECT_EQ(Exported(json), R"({"x":2})");
    foreign.push_back(0);
    EXPECT_TRUE(json.ImportData(foreign.data(), foreign.size()));
}

TEST(JsonRecordNoRetryImport, ReportsStreamFailuresButNotShortReads)
{
    const Bytes record = Record(R"({"x":1})", DefaultRecordIdentifier, 0);
    JsonImporterExporter json;
    bool streamError = false;

    ScriptedStream failsAtIdentifier(record, {-1});
    EXPECT_FALSE(json.ImportDataNoRetry(failsAtIdentifier, streamError));
    EXPECT_TRUE(streamError);

    ScriptedStream failsAtLength(record, {16, -1});
    EXPECT_FALSE(json.ImportDataNoRetry(failsAtLength, streamError));
    EXPECT_TRUE(streamError);

    ScriptedStream failsInText(record, {16, 4, 3, -1});
    EXPECT_FALSE(json.ImportDataNoRetry(failsInText, streamError));
    EXPECT_TRUE(streamError);

    ScriptedStream shortIdentifier(record, {15});
    EXPECT_FALSE(json.ImportDataNoRetry(shortIdentifier, streamError));
    EXPECT_FALSE(streamError);

    ScriptedStream trickle(record, {16, 4, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_TRUE(json.ImportDataNoRetry(trickle, streamError));
    EXPECT_FALSE(streamError);
}

TEST(JsonRecordTextBuffer, IsZeroTerminatedAndEmptyWhenTheStreamRunsDry)
{
    JsonImporterExporter json;
    bool streamError = true;
    ByteBufferStream stream(std::string("abcdef"));
    const auto text = json.ReadJsonDocumentAsBuffer(stream, 4, streamError);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "abcd");
    EXPECT_FALSE(streamError);
    EXPECT_EQ(json.ReadJsonDocumentAsBuffer(stream, 4, streamError), nullptr);
    EXPECT_FALSE(streamError);
    ByteBufferStream huge(std::string("x"));
    EXPECT_EQ(json.ReadJsonDocumentAsBuffer(huge, 0xFFFFFFFFu, streamError), nullptr);
}

TEST(JsonRecordTags, FindAndUpdateOnlyExistingMembers)
{
    Bytes record = Record(R"({"name":"old","count":1})");
    JsonImporterExporter json;
    ASSERT_TRUE(json.ImportData(record.data(), record.size()));
    EXPECT_TRUE(json.UpdateTag("name", std::string("new\0tail", 8)));
    EXPECT_TRUE(json.UpdateTag("count", 42));
    EXPECT_FALSE(json.UpdateTag("missing", 1));
    EXPECT_FALSE(json.UpdateTag("missing", std::string("x")));
    EXPECT_FALSE(json.UpdateTag("nam", 1)); // names match byte for byte, not by prefix
    EXPECT_EQ(Exported(json), R"({"name":"new","count":42})");
    EXPECT_TRUE(json.FindTag("count") != json.GetDocument().MemberEnd());
}

TEST(JsonRecordTags, NonObjectRootHasNothingToFind)
{
    Bytes record = Record("[1]");
    JsonImporterExporter json;
    EXPECT_FALSE(json.ImportData(record.data(), record.size()));
    JsonImporterExporter::MemberIterator member;
    EXPECT_FALSE(json.FindTag("x", member));
    EXPECT_FALSE(json.UpdateTag("x", 1));
    json.ResetData();
    EXPECT_EQ(Exported(json), "{}");
}

TEST(JsonRecordCopy, CopiesEveryStringIntoItsOwnMemory)
{
    Bytes record = Record(R"({"k":"value"})");
    JsonImporterExporter original;
    ASSERT_TRUE(original.ImportData(record.data(), record.size()));
    JsonImporterExporter copy(original.GetDocument());
    std::fill(record.begin(), record.end(), 0); // the in-place strings are gone now
    EXPECT_EQ(Exported(copy), R"({"k":"value"})");
}

TEST(JsonRecordMemoryImport, DeepNestingIsRefusedWithoutRunningTheStackOut)
{
    Bytes record = Record("{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}");
    JsonImporterExporter json;
    EXPECT_FALSE(json.ImportData(record.data(), record.size()));
    EXPECT_EQ(Exported(json), "{}");
}

TEST(JsonRecordEscaping, EscapesControlQuoteAndBackslashOnly)
{
    EXPECT_EQ(JsonImporterExporter::GetSafeString("plain \x7F\xC3\xA9"), "plain \x7F\xC3\xA9");
    EXPECT_EQ(JsonImporterExporter::GetSafeString("\b\t\n\f\r\"\\"), R"(\b\t\n\f\r\"\\)");
    EXPECT_EQ(JsonImporterExporter::GetSafeString(std::string("\x01\x1F\0", 3)), R"(\u0001\u001f\u0000)");
}

TEST(JsonRecordEscaping, RawStringUndoesTheEscapes)
{
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\b\t\n\f\r\"\\)"), "\b\t\n\f\r\"\\");
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\u001F\u0041\u1234)"), "\x1F"
                                                                           "A"
                                                                           "\x34");
    std::string all;
    for (int c = 0; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(JsonImporterExporter::GetRawString(JsonImporterExporter::GetSafeString(all)), all);
}

TEST(JsonRecordEscaping, RawStringKeepsUnknownAndTruncatedSequences)
{
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(a\)"), R"(a\)");
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\q\/)"), R"(\q\/)");
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\u00)"), R"(\u00)");
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\u00g1)"), R"(\u00g1)");
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\\u0041)"), R"(\u0041)");
    EXPECT_EQ(JsonImporterExporter::GetRawString(R"(\u\n)"), "\\u\n");
}

TEST(JsonRecordIdentifier, IsTheDefaultSixteenBytes)
{
    JsonImporterExporter json;
    ASSERT_EQ(json.GetIdentifierLengthBytes(), 16u);
    EXPECT_EQ(Bytes(json.GetIdentifier(), json.GetIdentifier() + 16),
              Bytes(DefaultRecordIdentifier, DefaultRecordIdentifier + 16));
}

TEST(JsonRecordThreads, ConcurrentExportsToOneSinkArriveAsWholeRecords)
{
    // The sink itself is not synchronised: only the class-wide lock keeps the
    // two writers apart.
    ByteBufferStream sink;
    auto writer = [&sink](int value) {
        Bytes record = Record("{\"v\":" + std::to_string(value) + "}");
        JsonImporterExporter json;
        ASSERT_TRUE(json.ImportData(record.data(), record.size()));
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(json.ExportData(sink));
        }
    };
    std::thread first(writer, 1);
    std::thread second(writer, 2);
    first.join();
    second.join();

    int ones = 0;
    int twos = 0;
    for (int i = 0; i < 200; ++i) {
        JsonImporterExporter json;
        bool streamError = false;
        ASSERT_TRUE(json.ImportDataNoRetry(sink, streamError));
        const int v = json.GetDocument()["v"].GetInt();
        (v == 1 ? ones : twos)++;
    }
    EXPECT_EQ(ones, 100);
    EXPECT_EQ(twos, 100);
}
