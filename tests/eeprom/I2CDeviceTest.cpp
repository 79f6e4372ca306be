#include "I2CDevice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::_;
using ::testing::Return;

class MockBus : public I2CBus
{
public:
    MOCK_METHOD(int, SetBusSpeed, (unsigned int), (override));
    MOCK_METHOD(unsigned int, GetBusSpeed, (), (const, override));
    MOCK_METHOD(unsigned int, Read, (unsigned char*, unsigned int, unsigned short, I2C::AddressMode), (override));
    MOCK_METHOD(unsigned int, Write, (const unsigned char*, unsigned int, unsigned short, I2C::AddressMode),
                (override));
    MOCK_METHOD(unsigned int, WriteThenRead,
                (const unsigned char*, unsigned int, unsigned char*, unsigned int, unsigned short, I2C::AddressMode),
                (override));
    MOCK_METHOD(unsigned int, WriteDelayRead,
                (const unsigned char*, unsigned int, unsigned char*, unsigned int, unsigned short, I2C::AddressMode,
                 unsigned int),
                (override));
    MOCK_METHOD(int, Transact, (I2C::Transaction*), (override));
    MOCK_METHOD(bool, Lock, (), (override));
    MOCK_METHOD(bool, Unlock, (), (override));
};

TEST(I2CAddressFormat, SevenBitIsTwoTenBitIsOneAnythingElseZero)
{
    EXPECT_EQ(I2C::AddressFormatFor(I2C::AddressMode::SevenBit), 2u);
    EXPECT_EQ(I2C::AddressFormatFor(I2C::AddressMode::TenBit), 1u);
    EXPECT_EQ(I2C::AddressFormatFor(static_cast<I2C::AddressMode>(7)), 0u);
}

TEST(I2CDevice, ForwardsEveryTransferWithItsAddressAndMode)
{
    auto bus = std::make_shared<MockBus>();
    I2CDevice device(bus, 0x123, I2C::AddressMode::TenBit);
    unsigned char buf[4] = {};
    EXPECT_CALL(*bus, Read(buf, 4u, 0x123, I2C::AddressMode::TenBit)).WillOnce(Return(4u));
    EXPECT_CALL(*bus, Write(buf, 3u, 0x123, I2C::AddressMode::TenBit)).WillOnce(Return(0u));
    EXPECT_CALL(*bus, WriteThenRead(buf, 2u, buf, 1u, 0x123, I2C::AddressMode::TenBit)).WillOnce(Return(1u));
    EXPECT_CALL(*bus, WriteDelayRead(buf, 2u, buf, 1u, 0x123, I2C::AddressMode::TenBit, 7u)).WillOnce(Return(1u));
    EXPECT_CALL(*bus, Lock()).WillOnce(Return(true));
    EXPECT_CALL(*bus, Unlock()).WillOnce(Return(false));

    EXPECT_EQ(device.Read(buf, 4), 4);
    EXPECT_EQ(device.Write(buf, 3), 0);
    EXPECT_EQ(device.WriteThenRead(buf, 2, buf, 1), 1u);
    EXPECT_EQ(device.WriteDelayRead(buf, 2, buf, 1, 7), 1u);
    EXPECT_TRUE(device.Lock());
    EXPECT_FALSE(device.Unlock());
    EXPECT_EQ(device.GetBusAddress(), 0x123);
}

TEST(I2CDevice, StreamReadsAndWritesOfNegativeLengthTouchNoBus)
{
    auto bus = std::make_shared<MockBus>();
    I2CDevice device(bus, 0x56);
    EXPECT_CALL(*bus, Read(_, _, _, _)).Times(0);
    EXPECT_CALL(*bus, Write(_, _, _, _)).Times(0);
    unsigned char buf[1] = {};
    EXPECT_EQ(device.Read(buf, -1), 0);
    EXPECT_EQ(device.Write(buf, 0), 0);
}

} // namespace
