#include "QnxEEPromHandler.h"
#include "BoardImage.h"
#include "ModelI2CBus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using File = EEPromHandler::FilesInEEProm;
using Location = QnxEEPromHandler::EEPromLocation;
using Kind = ModelI2CBus::Transfer::Kind;

std::shared_ptr<ModelI2CBus> BusWith(Bytes image)
{
    return std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), std::move(image));
}

bool WroteTable(const ModelI2CBus& bus)
{
    for (const auto& t : bus.Log()) {
        if (t.kind == Kind::Write && t.succeeded && t.sent.size() > 2 && t.sent[0] == 0 && t.sent[1] == 4) {
            return true;
        }
    }
    return false;
}

Bytes TableOnChip(ModelI2CBus& bus)
{
    return Bytes(bus.Memory().begin() + 4, bus.Memory().begin() + 16);
}

// A scratch host file, removed with the test.
class HostFile
{
public:
    HostFile()
    {
        char name[] = "/tmp/eeprom-test-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0) {
            ::close(fd);
        }
        path_ = name;
    }
    ~HostFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }
    void Put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Get() const
    {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

// --- construction and the first file

TEST(QnxEEPromHandlerFreshChip, TableIsInvalidAndFirstFileIsAssumedInMemoryOnly)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    ASSERT_TRUE(handler.IsEEPromAccessible());
    EXPECT_EQ(handler.GetFileTable()[0].start, 64);
    EXPECT_EQ(handler.GetFileTable()[0].size, 16384);
    EXPECT_EQ(handler.GetFileTable()[1].start, 0xFFFF);
    EXPECT_FALSE(WroteTable(*bus));
    EXPECT_EQ(TableOnChip(*bus), Bytes(12, 0xFF));
    EXPECT_EQ(handler.Read(File::BuildRecord), "");
}

TEST(QnxEEPromHandlerFreshChip, OlderLayoutFirstFileIsAdoptedUpToItsFirstErasedByte)
{
    // An intact 16384-byte record at 64 with no table: its first 0xFF marks its end.
    std::string payload;
    for (char fill = 'a'; fill <= 'z'; ++fill) {
        payload.assign(16382, fill);
        payload[98] = '\xFF';
        const Bytes record = BoardImage::Record(payload);
        if (record[0] != 0xFF && record[1] != 0xFF) {
            break;
        }
    }
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, payload);
    BoardImage::PutEntry(image, 0, 0xFFFF, 0xFFFF);
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_EQ(handler.GetFileTable()[0].size, 100);
    EXPECT_EQ(TableOnChip(*bus)[2], 100);
}

TEST(QnxEEPromHandlerConstruction, WithoutAChipEverythingReadsEmptyAndWritesFail)
{
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(0x50));
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_FALSE(handler.IsEEPromAccessible());
    EXPECT_EQ(handler.GetFileTable()[0].start, 0);
    EXPECT_EQ(handler.Read(File::PeripheralConfig), "");
    EXPECT_FALSE(handler.Write(File::BuildRecord, Bytes{1, 2}));
    EXPECT_EQ(handler.ByteGet(1), 0);
    EXPECT_FALSE(handler.ByteSet(1, 5));
    EXPECT_FALSE(handler.Erase());
    HostFile out;
    EXPECT_FALSE(handler.ReadAll(out.Path()));
}

TEST(QnxEEPromHandlerConstruction, TableThatCouldNotBeReadRefusesEveryWriteUntilItIsRead)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "config");
    BoardImage::PutFile(image, 1, 128, "build");
    auto bus = BusWith(image);
    // Transfer 0 is the probe; from 1 on the table read and its retry fail.
    bus->FailFrom(1);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->failWhen = nullptr;
    ASSERT_TRUE(handler.IsEEPromAccessible());
    // The zero table would place any file at 64, over file 0 and its neighbours.
    EXPECT_FALSE(handler.Write(File::BuildRecord, Bytes{'n', 'e', 'w'}));
    EXPECT_FALSE(handler.Write(File::ThirdFile, Bytes{'n', 'e', 'w'}));
    EXPECT_FALSE(handler.WriteFileAllocationTable());
    EXPECT_EQ(bus->Memory(), image);
    ASSERT_TRUE(handler.ReadFileAllocationTable());
    EXPECT_TRUE(handler.Write(File::ThirdFile, Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(handler.Read(File::BuildRecord), "build");
}

TEST(QnxEEPromHandlerConstruction, VorlikBoardIsLookedForAt0x52)
{
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(0x52), BoardImage::Erased());
    EXPECT_TRUE(QnxEEPromHandler(bus, Location::VorlikBoard).IsEEPromAccessible());
    EXPECT_FALSE(QnxEEPromHandler(bus, Location::StandardBoard).IsEEPromAccessible());
}

// --- reading records

TEST(QnxEEPromHandlerRead, PayloadOfAnIntactRecord)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "config");
    BoardImage::PutFile(image, 1, 128, "{\"BuildNumber\":\"1.2.3\"}");
    QnxEEPromHandler handler(BusWith(image), Location::StandardBoard);
    EXPECT_EQ(handler.Read(File::BuildRecord), "{\"BuildNumber\":\"1.2.3\"}");
    EXPECT_EQ(handler.ReadCurrentFile(File::PeripheralConfig).size(), 8u);
}

TEST(QnxEEPromHandlerRead, TwoByteRecordWrongCheckWordAndUnknownIndexReadEmpty)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "");
    BoardImage::PutFile(image, 1, 128, "payload");
    image[130] ^= 0x01;
    QnxEEPromHandler handler(BusWith(image), Location::StandardBoard);
    EXPECT_TRUE(handler.ReadCurrentFile(File::PeripheralConfig).empty());
    EXPECT_EQ(handler.Read(File::BuildRecord), "");
    EXPECT_TRUE(handler.ReadCurrentFile(static_cast<File>(3)).empty());
}

TEST(QnxEEPromHandlerRead, RecordPastTheEndOfTheChipIsNotReadWrappedRound)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "a");
    // A record at 32760 of 40 bytes would continue at address 0.
    BoardImage::PutEntry(image, 1, 32760, 40);
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->ClearLog();
    EXPECT_TRUE(handler.ReadCurrentFile(File::BuildRecord).empty());
    EXPECT_TRUE(bus->Log().empty());
}

// --- placement

TEST(QnxEEPromHandlerWrite, NewFileGoesToTheBoundaryAfterTheHighestFile)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutEntry(image, 0, 64, 200);
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_EQ(handler.GetFileStartAddress(File::BuildRecord), 320);
    ASSERT_TRUE(handler.Write(File::BuildRecord, Bytes(100, 0x33)));
    EXPECT_EQ(handler.GetFileTable()[1].start, 320);
    EXPECT_EQ(handler.GetFileTable()[1].size, 102);
    EXPECT_EQ(TableOnChip(*bus), (Bytes{64, 0, 200, 0, 0x40, 0x01, 102, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(handler.Read(File::BuildRecord), std::string(100, '\x33'));
}

TEST(QnxEEPromHandlerWrite, OnAFreshChipTheFirstFileReservesItsSpace)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    ASSERT_TRUE(handler.Write(File::BuildRecord, Bytes{'{', '}'}));
    EXPECT_EQ(handler.GetFileTable()[1].start, 64 + 16384);
    QnxEEPromHandler reopened(bus, Location::StandardBoard);
    EXPECT_EQ(reopened.Read(File::BuildRecord), "{}");
}

TEST(QnxEEPromHandlerWrite, SameSizeIsRewrittenInPlaceWithoutTouchingTheTable)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "old!");
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->ClearLog();
    ASSERT_TRUE(handler.Write(File::PeripheralConfig, Bytes{'n', 'e', 'w', '!'}));
    EXPECT_FALSE(WroteTable(*bus));
    EXPECT_EQ(handler.Read(File::PeripheralConfig), "new!");
}

TEST(QnxEEPromHandlerWrite, GrowingTheFirstFileMovesTheLaterFilesBehindIt)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, std::string(50, 'a'));
    BoardImage::PutFile(image, 1, 128, std::string(30, 'b'));
    BoardImage::PutFile(image, 2, 192, std::string(10, 'c'));
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    ASSERT_TRUE(handler.Write(File::PeripheralConfig, Bytes(150, 'A')));
    QnxEEPromHandler reopened(bus, Location::StandardBoard);
    const auto& table = reopened.GetFileTable();
    EXPECT_EQ(table[0].start, 64);
    EXPECT_EQ(table[0].size, 152);
    EXPECT_EQ(table[1].start, 256);
    EXPECT_EQ(table[1].size, 32);
    EXPECT_EQ(table[2].start, 320);
    EXPECT_EQ(table[2].size, 12);
    EXPECT_EQ(reopened.Read(File::PeripheralConfig), std::string(150, 'A'));
    EXPECT_EQ(reopened.Read(File::BuildRecord), std::string(30, 'b'));
    EXPECT_EQ(reopened.Read(File::ThirdFile), std::string(10, 'c'));
}

TEST(QnxEEPromHandlerWrite, ShrinkingAFileMovesTheLaterFilesDown)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, std::string(10, 'a'));
    BoardImage::PutFile(image, 1, 128, std::string(200, 'b'));
    BoardImage::PutFile(image, 2, 384, std::string(10, 'c'));
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    ASSERT_TRUE(handler.Write(File::BuildRecord, Bytes(20, 'B')));
    QnxEEPromHandler reopened(bus, Location::StandardBoard);
    EXPECT_EQ(reopened.GetFileTable()[2].start, 192);
    EXPECT_EQ(reopened.Read(File::PeripheralConfig), std::string(10, 'a'));
    EXPECT_EQ(reopened.Read(File::BuildRecord), std::string(20, 'B'));
    EXPECT_EQ(reopened.Read(File::ThirdFile), std::string(10, 'c'));
}

TEST(QnxEEPromHandlerWrite, UnreadableLaterFileLosesItsStaleEntryAndIsNotWrittenOver)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, std::string(10, 'a'));
    BoardImage::PutEntry(image, 1, 128, 30); // garbage: fails its check word
    BoardImage::PutFile(image, 2, 192, std::string(10, 'c'));
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    ASSERT_TRUE(handler.Write(File::PeripheralConfig, Bytes(100, 'A')));
    QnxEEPromHandler reopened(bus, Location::StandardBoard);
    EXPECT_EQ(reopened.GetFileTable()[1].start, 0xFFFF);
    EXPECT_EQ(reopened.GetFileTable()[2].start, 192);
    EXPECT_EQ(reopened.Read(File::PeripheralConfig), std::string(100, 'A'));
    EXPECT_EQ(reopened.Read(File::ThirdFile), std::string(10, 'c'));
}

TEST(QnxEEPromHandlerWrite, LaterFileThatFailsToReadMakesTheResizeRefuseBeforeAnyWrite)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, std::string(20, 'a'));
    BoardImage::PutFile(image, 1, 128, std::string(40, 'b'));
    BoardImage::PutFile(image, 2, 192, std::string(30, 'c'));
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->ClearLog();
    // The resize reads file 1 first, in 16-byte chunks: the second chunk fails
    // once, after a full one, so the read ends short.
    bus->FailTransfer(1);
    EXPECT_FALSE(handler.Write(File::PeripheralConfig, Bytes(100, 'A')));
    ASSERT_FALSE(bus->Log().at(1).succeeded);
    for (const auto& t : bus->Log()) {
        EXPECT_NE(t.kind, Kind::Write);
    }
    EXPECT_EQ(bus->Memory(), image);
    EXPECT_EQ(handler.GetFileTable()[1].start, 128);
    EXPECT_EQ(handler.Read(File::BuildRecord), std::string(40, 'b'));
}

TEST(QnxEEPromHandlerWrite, SameSizeRewriteGoesInPlaceOverAStaleEntryButNotOverAnIntactFile)
{
    // File 2's entry is left over from an earlier move: file 1 now covers its
    // old place, so its record no longer passes its check word.
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "cfg");
    BoardImage::PutFile(image, 1, 128, std::string(198, 'b'));
    BoardImage::PutEntry(image, 2, 192, 12);
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->ClearLog();
    ASSERT_TRUE(handler.Write(File::BuildRecord, Bytes(198, 'B')));
    EXPECT_FALSE(WroteTable(*bus));
    EXPECT_EQ(handler.Read(File::BuildRecord), std::string(198, 'B'));
    EXPECT_EQ(handler.Read(File::PeripheralConfig), "cfg");

    // An intact record inside file 1's place is a live file: it is not written over.
    const Bytes third = BoardImage::Record("third");
    std::string payload(198, 'b');
    std::copy(third.begin(), third.end(), payload.begin() + (192 - 128 - 2));
    BoardImage::PutFile(image, 1, 128, payload);
    BoardImage::PutEntry(image, 2, 192, static_cast<unsigned short>(third.size()));
    auto live = BusWith(image);
    QnxEEPromHandler second(live, Location::StandardBoard);
    ASSERT_EQ(second.Read(File::ThirdFile), "third");
    EXPECT_FALSE(second.Write(File::BuildRecord, Bytes(198, 'B')));
    EXPECT_EQ(live->Memory(), image);
}

TEST(QnxEEPromHandlerWrite, RecordThatWouldPassTheEndOfTheChipIsRefusedBeforeAnyWrite)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "a");
    BoardImage::PutFile(image, 1, 32704, "b");
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->ClearLog();
    EXPECT_FALSE(handler.Write(File::ThirdFile, Bytes(10, 'c')));    // would start at 32768
    EXPECT_FALSE(handler.Write(File::BuildRecord, Bytes(100, 'b'))); // grows past the end
    EXPECT_FALSE(handler.Write(File::PeripheralConfig, Bytes(32768, 'a')));
    for (const auto& t : bus->Log()) {
        EXPECT_NE(t.kind, Kind::Write);
    }
    EXPECT_EQ(handler.Read(File::BuildRecord), "b");
}

TEST(QnxEEPromHandlerWrite, GrowthThatWouldPushALaterFilePastTheEndWritesNothing)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "a");
    BoardImage::PutFile(image, 1, 32000, std::string(700, 'b'));
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->ClearLog();
    // File 0 would end at 32116, so file 1 would need 32128 to 32830.
    EXPECT_FALSE(handler.Write(File::PeripheralConfig, Bytes(32050, 'A')));
    for (const auto& t : bus->Log()) {
        EXPECT_NE(t.kind, Kind::Write);
    }
    EXPECT_EQ(handler.Read(File::BuildRecord), std::string(700, 'b'));
}

TEST(QnxEEPromHandlerWrite, CorruptTableCannotSteerARecordOntoOtherFilesOrTheHeader)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "keep");
    // 0xFFC0 + 0x80 wraps to 0x40 in 16 bits: the next start must not become 64.
    BoardImage::PutEntry(image, 1, 0xFFC0, 0x80);
    BoardImage::PutEntry(image, 2, 8, 4); // inside the table
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_EQ(handler.GetFileStartAddress(File::ThirdFile), 8);
    EXPECT_FALSE(handler.Write(File::ThirdFile, Bytes{1, 2}));
    BoardImage::PutEntry(bus->Memory(), 2, 0xFFFF, 0xFFFF);
    QnxEEPromHandler second(bus, Location::StandardBoard);
    EXPECT_EQ(second.GetFileStartAddress(File::ThirdFile), 0xFFFF);
    EXPECT_FALSE(second.Write(File::ThirdFile, Bytes{1, 2}));
    EXPECT_EQ(second.Read(File::PeripheralConfig), "keep");
    EXPECT_EQ(Bytes(bus->Memory().begin() + 16, bus->Memory().begin() + 64), Bytes(48, 0xFF));
}

TEST(QnxEEPromHandlerWrite, FailedNewFileWriteLeavesTheTableAlone)
{
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "a");
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    bus->FailFrom(0);
    EXPECT_FALSE(handler.Write(File::BuildRecord, Bytes{1}));
    EXPECT_EQ(handler.GetFileTable()[1].start, 0xFFFF);
    EXPECT_FALSE(handler.Write(static_cast<File>(3), Bytes{1}));
}

// Every transfer of a relocating write, failed once or failing from there on:
// file 0 is never touched, and every file reads as old bytes, new bytes or
// nothing - never as bytes that fail their check word.
class RelocationFailure : public ::testing::TestWithParam<bool>
{};

TEST_P(RelocationFailure, AtEveryTransferLeavesEveryFileIntactOrCleanlyAbsent)
{
    const bool busDies = GetParam();
    Bytes image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, std::string(20, 'a'));
    BoardImage::PutFile(image, 1, 128, std::string(40, 'b'));
    BoardImage::PutFile(image, 2, 192, std::string(30, 'c'));
    const std::string grown(90, 'B');

    std::size_t transfers = 0;
    {
        auto bus = BusWith(image);
        QnxEEPromHandler handler(bus, Location::StandardBoard);
        bus->ClearLog();
        ASSERT_TRUE(handler.Write(File::BuildRecord, Bytes(grown.begin(), grown.end())));
        transfers = bus->Log().size();
    }
    ASSERT_GT(transfers, 5u);
    for (std::size_t k = 0; k < transfers; ++k) {
        SCOPED_TRACE("failing transfer " + std::to_string(k));
        auto bus = BusWith(image);
        QnxEEPromHandler handler(bus, Location::StandardBoard);
        bus->ClearLog();
        if (busDies) {
            bus->FailFrom(k);
        } else {
            bus->FailTransfer(k);
        }
        handler.Write(File::BuildRecord, Bytes(grown.begin(), grown.end()));
        bus->failWhen = nullptr;

        QnxEEPromHandler after(bus, Location::StandardBoard);
        EXPECT_EQ(after.Read(File::PeripheralConfig), std::string(20, 'a'));
        const std::string file1 = after.Read(File::BuildRecord);
        EXPECT_TRUE(file1.empty() || file1 == grown || file1 == std::string(40, 'b')) << file1;
        const std::string file2 = after.Read(File::ThirdFile);
        EXPECT_TRUE(file2.empty() || file2 == std::string(30, 'c')) << file2;
        // The handler that saw the failure agrees with what a fresh one reads.
        EXPECT_EQ(handler.Read(File::PeripheralConfig), std::string(20, 'a'));
    }
}

INSTANTIATE_TEST_SUITE_P(SingleFailureOrDeadBus, RelocationFailure, ::testing::Bool());

// --- header bytes

TEST(QnxEEPromHandlerHeader, BytesAndWordsOnlyInsideTheHeader)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_TRUE(handler.ByteSet(0, 0x12));
    EXPECT_EQ(handler.ByteGet(0), 0x12);
    EXPECT_FALSE(handler.ByteSet(4, 1));
    EXPECT_EQ(handler.ByteGet(4), 0);
    EXPECT_TRUE(handler.WordSet(1, 0xBEEF));
    EXPECT_EQ(bus->Memory()[1], 0xEF);
    EXPECT_EQ(bus->Memory()[2], 0xBE);
    EXPECT_EQ(handler.WordGet(1), 0xBEEF);
    EXPECT_EQ(handler.WordGet(3), 0);
    EXPECT_FALSE(handler.WordSet(3, 1));
    EXPECT_EQ(bus->Memory()[4], 0xFF);
}

TEST(QnxEEPromHandlerHeader, TextValuesAreReadInTheirBaseAndNonNumbersAreRefused)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_TRUE(handler.ByteSet(0, "1f", 16));
    EXPECT_EQ(handler.ByteGet(0), 0x1F);
    EXPECT_TRUE(handler.ByteSet(0, "0x20", 16));
    EXPECT_EQ(handler.ByteGet(0), 0x20);
    EXPECT_TRUE(handler.ByteSet(0, "300", 10)); // the low 8 bits
    EXPECT_EQ(handler.ByteGet(0), 300 & 0xFF);
    bus->ClearLog();
    EXPECT_FALSE(handler.ByteSet(0, "zz", 10));
    EXPECT_FALSE(handler.ByteSet(0, "", 10));
    EXPECT_FALSE(handler.WordSet(0, "99999999999", 10));
    EXPECT_FALSE(handler.WordSet(0, "12", 1));
    EXPECT_TRUE(bus->Log().empty());
    EXPECT_TRUE(handler.WordSet(0, "513", 10));
    EXPECT_EQ(handler.WordGet(0), 513);
}

TEST(QnxEEPromHandlerHeader, DeveloperFlagIsA5OnlyForTheEnableText)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_TRUE(handler.DeveloperBoardSet(3, "1"));
    EXPECT_EQ(bus->Memory()[3], 0xA5);
    EXPECT_TRUE(handler.IsDeveloperBoardSet(3));
    EXPECT_TRUE(handler.DeveloperBoardSet(3, "10"));
    EXPECT_EQ(bus->Memory()[3], 0x00);
    EXPECT_TRUE(handler.DeveloperBoardSet(3, ""));
    EXPECT_FALSE(handler.IsDeveloperBoardSet(3));
}

TEST(QnxEEPromHandlerHeader, BaseboardIdIsADecimalWord)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    EXPECT_TRUE(handler.BaseboardIdSet(1, "4660"));
    EXPECT_EQ(handler.BaseboardIdGet(1), 4660);
    EXPECT_EQ(bus->Memory()[1], 0x34);
    EXPECT_FALSE(handler.BaseboardIdSet(1, "id"));
}

// --- dump

TEST(QnxEEPromHandlerDump, HexLinesOfSixteenWithWiderGapsAfterEveryFourth)
{
    Bytes image = BoardImage::Erased();
    for (unsigned int i = 0; i < 64; ++i) {
        image[i] = static_cast<std::uint8_t>(i);
    }
    QnxEEPromHandler handler(BusWith(image), Location::StandardBoard);
    HostFile out;
    ASSERT_TRUE(handler.ReadBoardInformation(out.Path()));
    const std::string text = out.Get();
    EXPECT_EQ(text.substr(0, 52), "00 01 02 03  04 05 06 07  08 09 0a 0b  0c 0d 0e 0f\r\n");
    EXPECT_EQ(text.size(), 4u * 52u);
    EXPECT_EQ(text.substr(156), "30 31 32 33  34 35 36 37  38 39 3a 3b  3c 3d 3e 3f\r\n");
}

TEST(QnxEEPromHandlerDump, IntoAFolderThatDoesNotExistFails)
{
    QnxEEPromHandler handler(BusWith(BoardImage::Erased()), Location::StandardBoard);
    EXPECT_FALSE(handler.ReadBoardInformation("/nonexistent-folder/dump.txt"));
}

// --- host files

TEST(QnxEEPromHandlerHostFiles, WriteReadAndVerifyAFile)
{
    auto bus = BusWith(BoardImage::Erased());
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    HostFile in;
    in.Put("{\"BuildNumber\":\"4.5.6\"}");
    ASSERT_TRUE(handler.Write(File::BuildRecord, in.Path()));
    HostFile out;
    ASSERT_TRUE(handler.Read(File::BuildRecord, out.Path()));
    EXPECT_EQ(out.Get(), in.Get());
    EXPECT_TRUE(handler.Verify(File::BuildRecord, in.Path()));
    in.Put("{\"BuildNumber\":\"4.5.6\"} ");
    EXPECT_FALSE(handler.Verify(File::BuildRecord, in.Path()));
    EXPECT_FALSE(handler.Verify(File::ThirdFile, in.Path()));
    EXPECT_FALSE(handler.Read(File::ThirdFile, out.Path()));
    EXPECT_FALSE(handler.Write(File::ThirdFile, "/nonexistent-folder/x"));
    EXPECT_FALSE(handler.Verify(File::BuildRecord, "/nonexistent-folder/x"));
}

TEST(QnxEEPromHandlerHostFiles, WholeChipImageRoundTripsAndShortImagesAreErasedBehind)
{
    Bytes image = BoardImage::Erased();
    image[0] = 0;
    auto bus = BusWith(image);
    QnxEEPromHandler handler(bus, Location::StandardBoard);
    HostFile in;
    in.Put("board");
    ASSERT_TRUE(handler.WriteAll(in.Path()));
    Bytes expected = BoardImage::Erased();
    std::copy_n("board", 5, expected.begin());
    EXPECT_EQ(bus->Memory(), expected);
    EXPECT_FALSE(handler.VerifyAll(in.Path())); // not chip-sized
    HostFile whole;
    ASSERT_TRUE(handler.ReadAll(whole.Path()));
    EXPECT_EQ(whole.Get().size(), 32768u);
    EXPECT_TRUE(handler.VerifyAll(whole.Path()));
    bus->Memory()[32767] = 0;
    EXPECT_FALSE(handler.VerifyAll(whole.Path()));
    in.Put(std::string(32769, 'x'));
    EXPECT_FALSE(handler.WriteAll(in.Path()));
}

} // namespace
