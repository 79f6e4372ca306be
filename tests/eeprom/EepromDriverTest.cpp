#include "Cat24c16Eeprom.h"
#include "Cat24c256Eeprom.h"
#include "EepromFinder.h"
#include "EepromPaging.h"
#include "ModelI2CBus.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using Kind = ModelI2CBus::Transfer::Kind;
using Bytes = std::vector<std::uint8_t>;
using Buses = std::vector<std::shared_ptr<I2CBus>>;

struct Board256
{
    Board256() : bus(std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256()))
    {
        std::iota(bus->Memory().begin(), bus->Memory().end(), 0);
        bus->ClearLog();
    }
    std::shared_ptr<ModelI2CBus> bus;
    Cat24c256Eeprom eeprom{std::make_shared<I2CDevice>(bus, 0x56)};
};

struct Board16
{
    std::shared_ptr<ModelI2CBus> bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c16(0x50));
    Cat24c16Eeprom eeprom{std::make_shared<I2CDevice>(bus, 0x50)};
};

Bytes Pattern(std::size_t n, std::uint8_t first)
{
    Bytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

TEST(EepromPaging, PageChunksRunToTheNextBoundary)
{
    EXPECT_EQ(EepromPaging::PageChunk(10, 64, 64), 54u);
    EXPECT_EQ(EepromPaging::PageChunk(64, 200, 64), 64u);
    EXPECT_EQ(EepromPaging::PageChunk(4, 12, 64), 12u);
    EXPECT_EQ(EepromPaging::PageChunk(2047, 1, 16), 1u);
    EXPECT_TRUE(EepromPaging::RangeFits(32767, 1, 32768));
    EXPECT_FALSE(EepromPaging::RangeFits(32767, 2, 32768));
    EXPECT_EQ(EepromPaging::BlockSlaveAddress(0x50, 0x7FF), 0x57);
}

// --- reads

TEST(Cat24c256Read, FortyBytesAt0x0100AreOneAddressedReadThenTwoPlainReads)
{
    Board256 board;
    unsigned char buf[40] = {};
    ASSERT_EQ(board.eeprom.Read(0x0100, buf, 40), 40);
    const auto& log = board.bus->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].kind, Kind::WriteThenRead);
    EXPECT_EQ(log[0].sent, (Bytes{0x01, 0x00}));
    EXPECT_EQ(log[0].readLength, 16u);
    EXPECT_EQ(log[1].kind, Kind::Read);
    EXPECT_EQ(log[1].readLength, 16u);
    EXPECT_EQ(log[2].kind, Kind::Read);
    EXPECT_EQ(log[2].readLength, 8u);
    EXPECT_EQ(Bytes(buf, buf + 40), Pattern(40, 0));
    EXPECT_EQ(board.bus->Locks(), 1u);
    EXPECT_EQ(board.bus->Unlocks(), 1u);
}

TEST(Cat24c256Read, EmptyOrNegativeLengthTakesNeitherBusNorLock)
{
    Board256 board;
    unsigned char buf[1] = {};
    EXPECT_EQ(board.eeprom.Read(0, buf, 0), 0);
    EXPECT_EQ(board.eeprom.Read(0, buf, -5), 0);
    EXPECT_TRUE(board.bus->Log().empty());
    EXPECT_EQ(board.bus->Locks(), 0u);
}

TEST(Cat24c256Read, FailedFirstTransferIsTriedOnceMore)
{
    Board256 board;
    board.bus->FailTransfer(0);
    unsigned char buf[20] = {};
    ASSERT_EQ(board.eeprom.Read(0x40, buf, 20), 20);
    const auto& log = board.bus->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].kind, Kind::WriteThenRead);
    EXPECT_EQ(Bytes(buf, buf + 20), Pattern(20, 0x40));
}

TEST(Cat24c256Read, TwoFailuresBeforeAnyFullChunkEndTheRead)
{
    Board256 board;
    board.bus->FailFrom(0);
    unsigned char buf[40] = {};
    EXPECT_EQ(board.eeprom.Read(0, buf, 40), 0);
    EXPECT_EQ(board.bus->Log().size(), 2u);
    EXPECT_EQ(board.bus->Unlocks(), 1u);
}

TEST(Cat24c256Read, FailureAfterAFullChunkEndsTheReadWithWhatArrived)
{
    Board256 board;
    board.bus->FailTransfer(1);
    unsigned char buf[40] = {};
    EXPECT_EQ(board.eeprom.Read(0, buf, 40), 16);
    EXPECT_EQ(board.bus->Log().size(), 2u);
}

TEST(Cat24c256Read, StopsAtTheEndOfTheChipInsteadOfWrapping)
{
    Board256 board;
    unsigned char buf[32] = {};
    EXPECT_EQ(board.eeprom.Read(32760, buf, 32), 8);
    EXPECT_EQ(board.eeprom.Read(40000, buf, 1), 0);
}

// --- writes

TEST(Cat24c256Write, TwelveBytesAtFourAreOnePageWriteOfFourteen)
{
    Board256 board;
    const Bytes data = Pattern(12, 0xA0);
    ASSERT_EQ(board.eeprom.Write(4, data.data(), 12), 12);
    const auto& log = board.bus->Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, Kind::Write);
    Bytes frame = {0x00, 0x04};
    frame.insert(frame.end(), data.begin(), data.end());
    EXPECT_EQ(log[0].sent, frame);
    EXPECT_EQ(Bytes(board.bus->Memory().begin() + 4, board.bus->Memory().begin() + 16), data);
}

TEST(Cat24c256Write, SixtyFourBytesAtTenSplitAtThePageBoundary)
{
    Board256 board;
    const Bytes data = Pattern(64, 0x80);
    ASSERT_EQ(board.eeprom.Write(10, data.data(), 64), 64);
    const auto& log = board.bus->Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].sent.size(), 56u);
    EXPECT_EQ(log[1].sent.size(), 12u);
    EXPECT_EQ(log[1].sent[0], 0x00);
    EXPECT_EQ(log[1].sent[1], 0x40);
    EXPECT_EQ(Bytes(board.bus->Memory().begin() + 10, board.bus->Memory().begin() + 74), data);
}

TEST(Cat24c256Write, PageThatFailsOnceIsSentAgain)
{
    Board256 board;
    board.bus->FailTransfer(0);
    const Bytes data = Pattern(8, 1);
    EXPECT_EQ(board.eeprom.Write(100, data.data(), 8), 8);
    ASSERT_EQ(board.bus->Log().size(), 2u);
    EXPECT_EQ(board.bus->Log()[0].sent, board.bus->Log()[1].sent);
}

TEST(Cat24c256Write, PageThatFailsTwiceEndsTheWriteAndNothingLaterLands)
{
    Board256 board;
    const Bytes before = board.bus->Memory();
    board.bus->failWhen = [](std::size_t i) { return i == 1 || i == 2; };
    const Bytes data(200, 0x11);
    EXPECT_EQ(board.eeprom.Write(0, data.data(), 200), 64);
    EXPECT_EQ(board.bus->Log().size(), 3u);
    const Bytes& after = board.bus->Memory();
    EXPECT_EQ(Bytes(after.begin() + 64, after.end()), Bytes(before.begin() + 64, before.end()));
    EXPECT_EQ(board.bus->Unlocks(), 1u);
}

TEST(Cat24c256Write, RangePastTheEndOfTheChipIsRefusedWithoutTraffic)
{
    Board256 board;
    const Bytes data(2, 0);
    EXPECT_EQ(board.eeprom.Write(32767, data.data(), 2), 0);
    EXPECT_EQ(board.eeprom.Write(32767, data.data(), 1), 1);
    EXPECT_EQ(board.bus->Log().size(), 1u);
    EXPECT_EQ(board.eeprom.Write(0, data.data(), 0), 0);
}

TEST(Cat24c256Write, EraseFillsTheRangeWithFF)
{
    Board256 board;
    EXPECT_TRUE(board.eeprom.Erase(60, 10));
    const Bytes& memory = board.bus->Memory();
    EXPECT_EQ(Bytes(memory.begin() + 60, memory.begin() + 70), Bytes(10, 0xFF));
    EXPECT_EQ(memory[59], 59);
    EXPECT_EQ(memory[70], 70);
    EXPECT_FALSE(board.eeprom.Erase(100, 0));
}

TEST(Cat24c16Write, LastByteIsAcceptedTwoBytesFromItAreRefusedSilently)
{
    Board16 board;
    const unsigned char data[2] = {0x12, 0x34};
    EXPECT_EQ(board.eeprom.Write(2047, data, 2), 0);
    EXPECT_TRUE(board.bus->Log().empty());
    EXPECT_EQ(board.eeprom.Write(2047, data, 1), 1);
    ASSERT_EQ(board.bus->Log().size(), 1u);
    EXPECT_EQ(board.bus->Log()[0].address, 0x57);
    EXPECT_EQ(board.bus->Log()[0].sent, (Bytes{0xFF, 0x12}));
    EXPECT_EQ(board.bus->Memory()[2047], 0x12);
}

TEST(Cat24c16Write, SplitsAtSixteenBytePagesAndReachesUpperBlocks)
{
    Board16 board;
    const Bytes data = Pattern(20, 0x30);
    ASSERT_EQ(board.eeprom.Write(300, data.data(), 20), 20);
    const auto& log = board.bus->Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].address, 0x51);
    EXPECT_EQ(log[0].sent.size(), 5u); // 300..303 up to the boundary at 304
    EXPECT_EQ(log[0].sent[0], 300 & 0xFF);
    EXPECT_EQ(log[1].sent.size(), 17u);
    EXPECT_EQ(Bytes(board.bus->Memory().begin() + 300, board.bus->Memory().begin() + 320), data);
    EXPECT_EQ(board.bus->Memory()[44], 0xFF);
}

TEST(Cat24c16Write, FailedPageEndsTheLoop)
{
    Board16 board;
    board.bus->FailFrom(1);
    const Bytes data(64, 0x22);
    EXPECT_EQ(board.eeprom.Write(0, data.data(), 64), 16);
    EXPECT_EQ(board.bus->Log().size(), 2u);
    EXPECT_EQ(board.bus->Memory()[16], 0xFF);
}

TEST(Cat24c16Read, ReadsInTwoByteChunksAcrossBlocks)
{
    Board16 board;
    std::iota(board.bus->Memory().begin(), board.bus->Memory().end(), 0);
    unsigned char buf[5] = {};
    ASSERT_EQ(board.eeprom.Read(254, buf, 5), 5);
    const auto& log = board.bus->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].kind, Kind::WriteThenRead);
    EXPECT_EQ(log[0].sent, Bytes{0xFE});
    EXPECT_EQ(log[0].readLength, 2u);
    EXPECT_EQ(log[2].readLength, 1u);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{254, 255, 0, 1, 2}));
}

TEST(Cat24c16Erase, EraseAllFillsTheWholeChip)
{
    Board16 board;
    std::fill(board.bus->Memory().begin(), board.bus->Memory().end(), 0);
    EXPECT_TRUE(board.eeprom.EraseAll());
    EXPECT_EQ(board.bus->Memory(), Bytes(2048, 0xFF));
    EXPECT_EQ(board.bus->Log().size(), 128u);
}

TEST(EepromWithoutBus, TransfersNothingAndReportsZero)
{
    Cat24c256Eeprom eeprom(std::make_shared<I2CDevice>(nullptr, 0x56));
    unsigned char buf[4] = {};
    EXPECT_EQ(eeprom.Read(0, buf, 4), 0);
    EXPECT_EQ(eeprom.Write(0, buf, 4), 0);
    EXPECT_FALSE(eeprom.EraseAll());
}

// --- discovery

TEST(EepromFinder, ChipThatDoesNotAnswerGivesNoDriver)
{
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(0x50));
    EXPECT_EQ(EepromFinder::FindEeprom(bus), nullptr);
    EXPECT_EQ(EepromFinder::FindEeprom(Buses{}), nullptr);
}

TEST(EepromFinder, ProbeIsOneByteReadAtAddressZero)
{
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256());
    auto driver = EepromFinder::FindEeprom(bus);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->GetSizeInBytes(), 32768u);
    ASSERT_EQ(bus->Log().size(), 1u);
    EXPECT_EQ(bus->Log()[0].sent, (Bytes{0, 0}));
    EXPECT_EQ(bus->Log()[0].readLength, 1u);
    EXPECT_EQ(bus->Log()[0].address, 0x56);
}

TEST(EepromFinder, VectorFormReturnsTheDriverOnTheFirstBusThatAnswers)
{
    auto silent = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(0x50));
    auto answering = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256());
    auto driver = EepromFinder::FindEeprom(Buses{silent, answering});
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(silent->Log().empty());
    unsigned char byte = 0;
    answering->ClearLog();
    driver->Read(5, &byte, 1);
    EXPECT_EQ(answering->Log().size(), 1u);
}

TEST(EepromFinder, VorlikBoardChipIsLookedForAt0x52)
{
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(0x52));
    EXPECT_NE(EepromFinder::FindVorlikEeprom(Buses{bus}), nullptr);
    EXPECT_EQ(EepromFinder::FindEeprom(Buses{bus}), nullptr);
}

TEST(EepromFinder, UnknownTypeOrSmallPartAreBuiltAsAsked)
{
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c16(0x50));
    EXPECT_EQ(EepromFinder::FindEeprom(bus, 0x50, static_cast<Eeprom::EepromType>(5)), nullptr);
    auto driver = EepromFinder::FindEeprom(bus, 0x50, Eeprom::EepromType::Cat24c16);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->GetSizeInBytes(), 2048u);
}

} // namespace
