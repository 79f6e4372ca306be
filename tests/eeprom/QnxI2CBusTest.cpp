// Runs inside the sandbox: /dev/i2c0 is a fresh erased board image (or, for
// the NoDevice cases, absent) and /dev/shm is private.
#include "QnxI2CBus.h"
#include "BoardRecord.h"
#include "QnxEEPromHandler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
constexpr auto Seven = I2C::AddressMode::SevenBit;

TEST(QnxI2CBus, SpeedIsStandardUntilTheDriverTakesAnother)
{
    QnxI2CBus bus;
    EXPECT_EQ(bus.GetBusSpeed(), 100000u);
    EXPECT_EQ(bus.SetBusSpeed(123456), 0);
    EXPECT_EQ(bus.GetBusSpeed(), 400000u);
    EXPECT_EQ(bus.SetBusSpeed(100000), 0);
    EXPECT_EQ(bus.GetBusSpeed(), 100000u);
}

TEST(QnxI2CBus, TransfersReturnTheWholeLengthOrNothing)
{
    QnxI2CBus bus;
    const unsigned char frame[4] = {0x00, 0x10, 0x55, 0x66};
    EXPECT_EQ(bus.Write(frame, 4, 0x56, Seven), 4u);
    std::this_thread::sleep_for(10ms);
    const unsigned char address[2] = {0x00, 0x10};
    unsigned char buf[4] = {};
    EXPECT_EQ(bus.WriteThenRead(address, 2, buf, 1, 0x56, Seven), 1u);
    EXPECT_EQ(bus.Read(buf + 1, 3, 0x56, Seven), 3u);
    EXPECT_EQ(buf[0], 0x55);
    EXPECT_EQ(buf[1], 0x66);
    EXPECT_EQ(buf[2], 0xFF);
    EXPECT_EQ(bus.Read(buf, 4, 0x50, Seven), 0u);
    EXPECT_EQ(bus.Write(frame, 4, 0x50, Seven), 0u);
    EXPECT_EQ(bus.WriteThenRead(address, 2, buf, 1, 0x52, Seven), 0u);
    EXPECT_EQ(bus.Read(buf, 1, 0x56, I2C::AddressMode::TenBit), 0u);
}

TEST(QnxI2CBus, WriteDelayReadPausesBetweenItsTwoTransfers)
{
    QnxI2CBus bus;
    const unsigned char address[2] = {0x00, 0x00};
    unsigned char buf[2] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bus.WriteDelayRead(address, 2, buf, 2, 0x56, Seven, 30), 2u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_EQ(bus.WriteDelayRead(address, 2, buf, 2, 0x50, Seven, 0), 0u);
}

TEST(QnxI2CBus, TransactDoesNothingAndTheBusLockIsTheNamedSemaphore)
{
    QnxI2CBus bus;
    EXPECT_EQ(bus.Transact(nullptr), 0);
    ASSERT_TRUE(bus.Lock());
    EXPECT_TRUE(bus.Unlock());
    EXPECT_EQ(::access("/dev/shm/sem.i2c0", F_OK), 0);
}

TEST(QnxEEPromHandlerOnTheBoard, BuildRecordWrittenByOneHandlerIsReadByTheNext)
{
    {
        QnxEEPromHandler handler;
        ASSERT_TRUE(handler.IsEEPromAccessible());
        EXPECT_EQ(handler.Read(EEPromHandler::BuildRecord), "");
        const std::string text = "{\"BuildNumber\":\"7.1.2\"}";
        ASSERT_TRUE(handler.Write(EEPromHandler::BuildRecord, std::vector<unsigned char>(text.begin(), text.end())));
        ASSERT_TRUE(handler.DeveloperBoardSet(3, "1"));
    }
    QnxEEPromHandler handler(QnxEEPromHandler::EEPromLocation::StandardBoard);
    rapidjson::Document document;
    ASSERT_TRUE(QnxUpgradeCommon::JsonDeserializeEEprom(document, handler, EEPromHandler::BuildRecord));
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, "BuildNumber"), "7.1.2");
    EXPECT_TRUE(handler.IsDeveloperBoardSet(3));
    EXPECT_FALSE(QnxEEPromHandler(QnxEEPromHandler::EEPromLocation::VorlikBoard).IsEEPromAccessible());
}

TEST(NoDevice, TransfersFailAndTheSpeedStays)
{
    QnxI2CBus bus;
    unsigned char buf[1] = {};
    EXPECT_EQ(bus.Read(buf, 1, 0x56, Seven), 0u);
    EXPECT_NE(bus.SetBusSpeed(400000), 0);
    EXPECT_EQ(bus.GetBusSpeed(), 100000u);
}

TEST(NoDevice, HandlerFindsNoChipAndReadsNothing)
{
    QnxEEPromHandler handler;
    EXPECT_FALSE(handler.IsEEPromAccessible());
    EXPECT_EQ(handler.Read(EEPromHandler::BuildRecord), "");
    EXPECT_EQ(handler.ByteGet(1), 0);
}

} // namespace
