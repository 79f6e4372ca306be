#include "FlasherProtocol.h"

#include <gtest/gtest.h>

#include <string>

using namespace FlasherProtocol;

namespace {

std::string Text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

Bytes Image(std::size_t size)
{
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return image;
}

} // namespace

TEST(ChunkFraming, FullChunkCarriesPrefixFourDigitLengthColonAndTheData)
{
    const Bytes data = Image(FotaChunkSize);
    const Bytes chunk = FrameChunk(data.data(), data.size());
    ASSERT_EQ(chunk.size(), FotaChunkHeaderSize + FotaChunkSize);
    EXPECT_EQ(Text(Bytes(chunk.begin(), chunk.begin() + 7)), "\x1bM1024:");
    EXPECT_EQ(Bytes(chunk.begin() + 7, chunk.end()), data);
}

TEST(ChunkFraming, ShortChunksHaveZeroPaddedLengths)
{
    const Bytes data = Image(517);
    const Bytes last = FrameChunk(data.data(), 476);
    EXPECT_EQ(Text(Bytes(last.begin(), last.begin() + 7)), "\x1bM0476:");
    EXPECT_EQ(Text(FrameChunk(data.data(), 1)), std::string("\x1bM0001:") + static_cast<char>(data[0]));
    EXPECT_EQ(FrameChunk(data.data(), 517).size(), 7u + 517u);
}

TEST(ChunkFraming, NoChunkForNoDataOrMoreThanOneChunkOfData)
{
    const Bytes data = Image(FotaChunkSize + 1);
    EXPECT_TRUE(FrameChunk(data.data(), 0).empty());
    EXPECT_TRUE(FrameChunk(data.data(), FotaChunkSize + 1).empty());
    EXPECT_TRUE(FrameChunk(nullptr, 5).empty());
}

TEST(ChunkFraming, EveryChunkButTheLastExpectsTheAcknowledgement)
{
    // 2048 bytes: ack, then OK for the chunk that completes the image.
    EXPECT_EQ(ExpectedChunkReply(2048, 0, 1024), FotaChunkAck);
    EXPECT_EQ(ExpectedChunkReply(2048, 1024, 1024), RespOk);
    // 1500 bytes: a full chunk, then a short one.
    EXPECT_EQ(ExpectedChunkReply(1500, 0, 1024), FotaChunkAck);
    EXPECT_EQ(ExpectedChunkReply(1500, 1024, 476), RespOk);
    EXPECT_EQ(ExpectedChunkReply(1, 0, 1), RespOk);
    // More sent than announced never wraps around into an "OK".
    EXPECT_EQ(ExpectedChunkReply(1024, 2048, 1024), FotaChunkAck);
}

TEST(StartCommand, SizeReplacesThePlaceholder)
{
    EXPECT_EQ(Text(*BuildStartCommand(CmdFotaStartTemplate, 1500)), "AT+SOTHFWUPSTART=1,0,1500\r\n");
    EXPECT_EQ(Text(*BuildStartCommand(CmdFotaStartTemplate, 4294967296ULL)), "AT+SOTHFWUPSTART=1,0,4294967296\r\n");
}

TEST(StartCommand, OnlyTheFirstPlaceholderIsReplacedAndNoneMeansNoCommand)
{
    EXPECT_EQ(Text(*BuildStartCommand("{filesize}/{filesize}", 7)), "7/{filesize}");
    EXPECT_FALSE(BuildStartCommand("AT+SOTHFWUPSTART=1,0,\r\n", 7).has_value());
}

TEST(VersionExtraction, VersionIsTheTextBetweenKeyAndFirstLineEnd)
{
    EXPECT_EQ(ExtractVersion(StrToBytes("AT+VER=?\r\nAPP VERSION=5.2.1a \r\nBOOT VERSION=1\r\nOK\r\n")), "5.2.1a ");
    EXPECT_EQ(ExtractVersion(StrToBytes("APP VERSION=\r\nOK\r\n")), "");
}

TEST(VersionExtraction, OnlyTheFirstKeyCounts)
{
    EXPECT_EQ(ExtractVersion(StrToBytes("APP VERSION=1\r\nAPP VERSION=2\r\nOK\r\n")), "1");
}

TEST(VersionExtraction, MissingKeyOrLineEndGivesNothing)
{
    EXPECT_EQ(ExtractVersion({}), "");
    EXPECT_EQ(ExtractVersion(StrToBytes("VERSION=1\r\nOK\r\n")), "");
    EXPECT_EQ(ExtractVersion(StrToBytes("OK\r\nAPP VERSION=3.0")), "");
    // Without a line end of its own the version runs to that of "OK".
    EXPECT_EQ(ExtractVersion(StrToBytes("APP VERSION=3.0OK\r\n")), "3.0OK");
}

TEST(TraceLine, PrintableBytesStayAndOthersBecomeLowercaseHex)
{
    EXPECT_EQ(FormatTraceLine("Recv: ", StrToBytes("OK\r\n")), "Recv: OK\\x0d\\x0a");
    EXPECT_EQ(FormatTraceLine("Sent: ", Bytes{0x1B, 0x4D, 0x7E, 0x7F, 0x00, 0xFF, 0x20}),
              "Sent: \\x1bM~\\x7f\\x00\\xff ");
    EXPECT_EQ(FormatTraceLine("Version Information:", {}), "Version Information:");
}

TEST(PathJoin, RelativeNamesGoBelowTheDirectory)
{
    EXPECT_EQ(JoinPath(".", "image.bin"), "./image.bin");
    EXPECT_EQ(JoinPath("/Store", "WifiFirmwareVersion.txt"), "/Store/WifiFirmwareVersion.txt");
    EXPECT_EQ(JoinPath("/Store/", "a/b.bin"), "/Store/a/b.bin");
    EXPECT_EQ(JoinPath("", "image.bin"), "image.bin");
}

TEST(PathJoin, AbsoluteNamesStayAsTheyAre)
{
    EXPECT_EQ(JoinPath(".", "/tmp/image.bin"), "/tmp/image.bin");
    EXPECT_EQ(JoinPath("/Store", "/"), "/");
}

TEST(ReplySuffix, ResponseMustEndWithTheExpectedBytes)
{
    EXPECT_TRUE(EndsWith(StrToBytes("x\r\nOK\r\n"), RespOk));
    EXPECT_TRUE(EndsWith(RespOk, RespOk));
    EXPECT_FALSE(EndsWith(StrToBytes("K\r\n"), RespOk));
    EXPECT_FALSE(EndsWith(StrToBytes("OK\r\n "), RespOk));
    EXPECT_TRUE(EndsWith({}, {}));
}
