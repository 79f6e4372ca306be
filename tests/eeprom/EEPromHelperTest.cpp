#include "EEPromHelper.h"
#include "Cat24c256Eeprom.h"
#include "ModelI2CBus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(EEPromHelperCheckWord, IsTheInvertedCrc16Arc)
{
    const char* check = "123456789";
    const auto* bytes = reinterpret_cast<const unsigned char*>(check);
    EXPECT_EQ(EEPromHelper::Crc16Arc(bytes, 9), 0xBB3D);
    EXPECT_EQ(EEPromHelper::CheckWord(bytes, 9), 0x44C2);
    EXPECT_EQ(EEPromHelper::CheckWord(bytes, 0), 0xFFFF);
}

TEST(EEPromHelperCheckWord, RecordIsIntactOnlyWithItsWordLowByteFirst)
{
    Bytes record = {0xC2, 0x44, '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_TRUE(EEPromHelper::IsRecordIntact(record));
    std::swap(record[0], record[1]);
    EXPECT_FALSE(EEPromHelper::IsRecordIntact(record));
    EXPECT_FALSE(EEPromHelper::IsRecordIntact(Bytes{0xFF}));
}

TEST(EEPromHelperTableEntry, EncodesLittleEndianAndParsesBack)
{
    const Bytes entry = EEPromHelper::ConstructFileMetaDataBuffer(0x1240, 0x0066);
    EXPECT_EQ(entry, (Bytes{0x40, 0x12, 0x66, 0x00}));
    unsigned short start = 0;
    unsigned short size = 0;
    EEPromHelper::ParseFileMetaData(entry.data(), start, size);
    EXPECT_EQ(start, 0x1240);
    EXPECT_EQ(size, 0x66);
}

TEST(EEPromHelperValidity, RangesOfStartSizeAndHeaderAddress)
{
    EXPECT_FALSE(EEPromHelper::IsAddressValid(3));
    EXPECT_TRUE(EEPromHelper::IsAddressValid(4));
    EXPECT_TRUE(EEPromHelper::IsAddressValid(65534));
    EXPECT_FALSE(EEPromHelper::IsAddressValid(0xFFFF));
    EXPECT_FALSE(EEPromHelper::IsSizeValid(0));
    EXPECT_TRUE(EEPromHelper::IsSizeValid(1));
    EXPECT_FALSE(EEPromHelper::IsSizeValid(0xFFFF));
    EXPECT_TRUE(EEPromHelper::ValidByteSetAddress(3));
    EXPECT_FALSE(EEPromHelper::ValidByteSetAddress(4));
    EXPECT_EQ(EEPromHelper::FileAllocationTableSize, 12);
}

struct Board
{
    std::shared_ptr<ModelI2CBus> bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256());
    Cat24c256Eeprom eeprom{std::make_shared<I2CDevice>(bus, 0x56)};
    void Put(std::size_t at, const Bytes& bytes)
    {
        std::copy(bytes.begin(), bytes.end(), bus->Memory().begin() + static_cast<std::ptrdiff_t>(at));
    }
};

TEST(EEPromHelperBoardConfig, StreamHoldsTheRecordNamedByTheFirstEntryUnchecked)
{
    Board board;
    board.Put(4, {0x80, 0x00, 0x05, 0x00});
    board.Put(0x80, {0xDE, 0xAD, 'a', 'b', 'c', 'd'});
    auto stream = EEPromHelper::GetBoardConfigStream(board.eeprom);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetBytes(), (Bytes{0xDE, 0xAD, 'a', 'b', 'c'}));
}

TEST(EEPromHelperBoardConfig, WithoutATableStreamHoldsTheBytesBeforeTheFirstErasedOne)
{
    Board board;
    board.Put(64, {'{', '}', 0x00, 0x01});
    EXPECT_EQ(EEPromHelper::GetBoardConfigStream(board.eeprom)->GetBytes(), (Bytes{'{', '}', 0x00, 0x01}));
    board.Put(64, {0xFF});
    EXPECT_TRUE(EEPromHelper::GetBoardConfigStream(board.eeprom)->GetBytes().empty());
}

TEST(EEPromHelperBoardId, CombinesByteOneWithByteTwoShiftedByFour)
{
    Board board;
    board.Put(0, {0x00, 0x03, 0x02, 0x00});
    EXPECT_EQ(EEPromHelper::GetBoardId(board.eeprom), 0x23);
    board.bus->FailFrom(0);
    EXPECT_EQ(EEPromHelper::GetBoardId(board.eeprom), 0);
}

} // namespace
