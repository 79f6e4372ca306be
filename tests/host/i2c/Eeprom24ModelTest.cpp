#include "Eeprom24Model.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Chip
{
    explicit Chip(Eeprom24Model::Geometry g, std::chrono::microseconds cycle = 0us)
        : bytes(g.sizeBytes, 0xFF), memory(bytes), model(g, memory, cycle)
    {}
    std::vector<std::uint8_t> bytes;
    Eeprom24Model::VectorMemory memory;
    Eeprom24Model model;
};

TEST(Eeprom24Model, SequentialReadsContinueFromTheAddressCounterAndRollOverAtTheEnd)
{
    Chip chip(Eeprom24Model::Cat24c256());
    std::iota(chip.bytes.begin(), chip.bytes.end(), 0);
    const std::uint8_t address[2] = {0x7F, 0xFE};
    std::uint8_t first[1] = {};
    ASSERT_TRUE(chip.model.SendReceive(0x56, address, 2, first, 1));
    std::uint8_t next[3] = {};
    ASSERT_TRUE(chip.model.Receive(0x56, next, 3));
    EXPECT_EQ(first[0], 0xFE);
    EXPECT_EQ(next[0], 0xFF);
    EXPECT_EQ(next[1], 0x00);
    EXPECT_EQ(next[2], 0x01);
}

TEST(Eeprom24Model, PageWriteWrapsToTheStartOfItsPage)
{
    Chip chip(Eeprom24Model::Cat24c256());
    std::vector<std::uint8_t> frame = {0x00, 62, 1, 2, 3, 4};
    ASSERT_TRUE(chip.model.Send(0x56, frame.data(), frame.size()));
    EXPECT_EQ(chip.bytes[62], 1);
    EXPECT_EQ(chip.bytes[63], 2);
    EXPECT_EQ(chip.bytes[0], 3);
    EXPECT_EQ(chip.bytes[1], 4);
    EXPECT_EQ(chip.bytes[64], 0xFF);
}

TEST(Eeprom24Model, AcknowledgesNothingDuringItsWriteCycle)
{
    Chip chip(Eeprom24Model::Cat24c256(), 100ms);
    const std::uint8_t frame[3] = {0, 0, 0x42};
    const auto written = std::chrono::steady_clock::now();
    ASSERT_TRUE(chip.model.Send(0x56, frame, 3));
    std::uint8_t byte = 0;
    while (!chip.model.Receive(0x56, &byte, 1)) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - written, 100ms);
}

TEST(Eeprom24Model, AddressOnlyWriteSetsTheCounterWithoutAWriteCycle)
{
    Chip chip(Eeprom24Model::Cat24c256(), 10s);
    chip.bytes[0x1234] = 0x5A;
    const std::uint8_t address[2] = {0x12, 0x34};
    ASSERT_TRUE(chip.model.Send(0x56, address, 2));
    std::uint8_t byte = 0;
    ASSERT_TRUE(chip.model.Receive(0x56, &byte, 1));
    EXPECT_EQ(byte, 0x5A);
}

TEST(Eeprom24Model, AnswersOnlyItsOwnSlaveAddress)
{
    Chip chip(Eeprom24Model::Cat24c256());
    std::uint8_t byte = 0;
    EXPECT_FALSE(chip.model.Receive(0x52, &byte, 1));
    EXPECT_FALSE(chip.model.Receive(0x57, &byte, 1));
    EXPECT_TRUE(chip.model.Receive(0x56, &byte, 1));
}

TEST(Eeprom24Model, OneByteAddressPartTakesTheBlockFromTheSlaveAddress)
{
    Chip chip(Eeprom24Model::Cat24c16(0x50));
    const std::uint8_t frame[2] = {0x2C, 0x77};
    ASSERT_TRUE(chip.model.Send(0x51, frame, 2));
    EXPECT_EQ(chip.bytes[0x12C], 0x77);
    EXPECT_EQ(chip.bytes[0x2C], 0xFF);
    std::uint8_t byte = 0;
    EXPECT_FALSE(chip.model.Receive(0x58, &byte, 1));
}

} // namespace
