#include "I2C.h"
#include "QnxI2CMessages.h"

#include <devctl.h>
#include <hw/i2c.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

// The stand-in takes the commands and header layouts the bus sends, so that a
// host build reads what the printer's resource manager reads.
static_assert(DCMD_I2C_SET_BUS_SPEED == QnxI2CMessages::SetBusSpeedCommand);
static_assert(DCMD_I2C_SEND == QnxI2CMessages::SendCommand);
static_assert(DCMD_I2C_RECV == QnxI2CMessages::ReceiveCommand);
static_assert(DCMD_I2C_SENDRECV == QnxI2CMessages::SendReceiveCommand);
static_assert(I2C_ADDRFMT_7BIT == I2C::AddressFormatFor(I2C::AddressMode::SevenBit));
static_assert(I2C_ADDRFMT_10BIT == I2C::AddressFormatFor(I2C::AddressMode::TenBit));
static_assert(sizeof(QnxI2CMessages::TransferHeader) == 16 && sizeof(i2c_send_t) == 16 && sizeof(i2c_recv_t) == 16);
static_assert(sizeof(QnxI2CMessages::SendReceiveHeader) == 20 && sizeof(i2c_sendrecv_t) == 20);
static_assert(offsetof(i2c_send_t, slave.addr) == offsetof(QnxI2CMessages::TransferHeader, address) &&
              offsetof(i2c_send_t, slave.fmt) == offsetof(QnxI2CMessages::TransferHeader, format) &&
              offsetof(i2c_send_t, len) == offsetof(QnxI2CMessages::TransferHeader, length) &&
              offsetof(i2c_send_t, stop) == offsetof(QnxI2CMessages::TransferHeader, stop));
static_assert(offsetof(i2c_recv_t, slave.addr) == offsetof(QnxI2CMessages::TransferHeader, address) &&
              offsetof(i2c_recv_t, slave.fmt) == offsetof(QnxI2CMessages::TransferHeader, format) &&
              offsetof(i2c_recv_t, len) == offsetof(QnxI2CMessages::TransferHeader, length) &&
              offsetof(i2c_recv_t, stop) == offsetof(QnxI2CMessages::TransferHeader, stop));
static_assert(offsetof(i2c_sendrecv_t, slave.addr) == offsetof(QnxI2CMessages::SendReceiveHeader, address) &&
              offsetof(i2c_sendrecv_t, slave.fmt) == offsetof(QnxI2CMessages::SendReceiveHeader, format) &&
              offsetof(i2c_sendrecv_t, send_len) == offsetof(QnxI2CMessages::SendReceiveHeader, sendLength) &&
              offsetof(i2c_sendrecv_t, recv_len) == offsetof(QnxI2CMessages::SendReceiveHeader, receiveLength) &&
              offsetof(i2c_sendrecv_t, stop) == offsetof(QnxI2CMessages::SendReceiveHeader, stop));

namespace {

// A board image in a scratch file, opened as the bus would be.
class ImageBus
{
public:
    explicit ImageBus(std::size_t size = 32768)
    {
        char name[] = "/tmp/i2c-standin-XXXXXX";
        fd_ = ::mkstemp(name);
        path_ = name;
        const std::vector<unsigned char> erased(size, 0xFF);
        if (fd_ >= 0 && ::write(fd_, erased.data(), erased.size()) != static_cast<ssize_t>(erased.size())) {
            ADD_FAILURE() << "cannot fill the image";
        }
    }
    ~ImageBus()
    {
        ::close(fd_);
        std::remove(path_.c_str());
    }
    int fd() const { return fd_; }

    int Send(unsigned int slave, std::vector<unsigned char> data, unsigned int fmt = I2C_ADDRFMT_7BIT)
    {
        i2c_send_t header{{slave, fmt}, static_cast<std::uint32_t>(data.size()), 1};
        iov_t parts[2];
        SETIOV(&parts[0], &header, sizeof header);
        SETIOV(&parts[1], data.data(), data.size());
        return devctlv(fd_, static_cast<int>(DCMD_I2C_SEND), 2, 2, parts, parts, nullptr);
    }
    int Receive(unsigned int slave, unsigned char* buf, unsigned int len)
    {
        i2c_recv_t header{{slave, I2C_ADDRFMT_7BIT}, len, 1};
        iov_t parts[2];
        SETIOV(&parts[0], &header, sizeof header);
        SETIOV(&parts[1], buf, len);
        return devctlv(fd_, static_cast<int>(DCMD_I2C_RECV), 2, 2, parts, parts, nullptr);
    }
    int SendReceive(unsigned int slave, std::vector<unsigned char> data, unsigned char* buf, unsigned int len)
    {
        i2c_sendrecv_t header{{slave, I2C_ADDRFMT_7BIT}, static_cast<std::uint32_t>(data.size()), len, 1};
        iov_t send[2];
        iov_t receive[2];
        SETIOV(&send[0], &header, sizeof header);
        SETIOV(&send[1], data.data(), data.size());
        SETIOV(&receive[0], &header, sizeof header);
        SETIOV(&receive[1], buf, len);
        return devctlv(fd_, static_cast<int>(DCMD_I2C_SENDRECV), 2, 2, send, receive, nullptr);
    }
    unsigned char ByteInFile(off_t at) const
    {
        unsigned char byte = 0;
        return ::pread(fd_, &byte, 1, at) == 1 ? byte : 0;
    }

private:
    int fd_ = -1;
    std::string path_;
};

TEST(I2CStandIn, ImageFileIsA24c256At0x56WhoseMemoryIsTheFile)
{
    ImageBus bus;
    ASSERT_EQ(bus.Send(0x56, {0x01, 0x00, 0xAB, 0xCD}), EOK);
    EXPECT_EQ(bus.ByteInFile(0x100), 0xAB);
    EXPECT_EQ(bus.ByteInFile(0x101), 0xCD);
    usleep(20000); // past the write cycle
    unsigned char buf[3] = {};
    ASSERT_EQ(bus.SendReceive(0x56, {0x01, 0x00}, buf, 2), EOK);
    ASSERT_EQ(bus.Receive(0x56, buf + 2, 1), EOK);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(buf[1], 0xCD);
    EXPECT_EQ(buf[2], 0xFF);
}

TEST(I2CStandIn, NoOtherSlaveAnswersAndTenBitAddressesFindNobody)
{
    ImageBus bus;
    unsigned char byte = 0;
    EXPECT_EQ(bus.Receive(0x50, &byte, 1), EIO);
    EXPECT_EQ(bus.Send(0x56, {0, 0}, I2C_ADDRFMT_10BIT), EIO);
    EXPECT_EQ(bus.Send(0x56, {0, 0}, 0), EINVAL);
}

TEST(I2CStandIn, ChipIsSilentWhileItsWriteCycleRuns)
{
    ::setenv("HOST_I2C_WRITE_CYCLE_US", "5000000", 1);
    ImageBus bus;
    const int written = bus.Send(0x56, {0, 0x10, 1});
    ::unsetenv("HOST_I2C_WRITE_CYCLE_US");
    ASSERT_EQ(written, EOK);
    unsigned char byte = 0;
    EXPECT_EQ(bus.Receive(0x56, &byte, 1), EIO);
}

TEST(I2CStandIn, ShortImageReadsErasedBeyondItsEnd)
{
    ImageBus bus(16);
    unsigned char buf[4] = {};
    ASSERT_EQ(bus.SendReceive(0x56, {0x00, 0x0E}, buf, 4), EOK);
    EXPECT_EQ(buf[3], 0xFF);
}

TEST(I2CStandIn, MalformedRequestsAreRefused)
{
    ImageBus bus;
    std::uint32_t tiny = 0;
    iov_t part;
    SETIOV(&part, &tiny, sizeof tiny);
    EXPECT_EQ(devctlv(bus.fd(), static_cast<int>(DCMD_I2C_SEND), 1, 1, &part, &part, nullptr), EINVAL);
    // A header that claims more data than the request carries.
    i2c_send_t header{{0x56, I2C_ADDRFMT_7BIT}, 100, 1};
    SETIOV(&part, &header, sizeof header);
    EXPECT_EQ(devctlv(bus.fd(), static_cast<int>(DCMD_I2C_SEND), 1, 1, &part, &part, nullptr), EINVAL);
    // A length that would wrap a 32-bit size when added to the header's.
    i2c_recv_t huge{{0x56, I2C_ADDRFMT_7BIT}, 0xFFFFFFF8u, 1};
    unsigned char small[4];
    iov_t parts[2];
    SETIOV(&parts[0], &huge, sizeof huge);
    SETIOV(&parts[1], small, sizeof small);
    EXPECT_EQ(devctlv(bus.fd(), static_cast<int>(DCMD_I2C_RECV), 2, 2, parts, parts, nullptr), EINVAL);
    EXPECT_EQ(devctlv(bus.fd(), 0x1234, 1, 1, &part, &part, nullptr), ENOTTY);
    EXPECT_EQ(devctlv(bus.fd(), static_cast<int>(DCMD_I2C_SEND), -1, 0, nullptr, nullptr, nullptr), EINVAL);
}

TEST(I2CStandIn, BusSpeedIsAcceptedOnAnImage)
{
    ImageBus bus;
    std::uint32_t speed = 400000;
    EXPECT_EQ(devctl(bus.fd(), static_cast<int>(DCMD_I2C_SET_BUS_SPEED), &speed, sizeof speed, nullptr), EOK);
    speed = 0;
    EXPECT_EQ(devctl(bus.fd(), static_cast<int>(DCMD_I2C_SET_BUS_SPEED), &speed, sizeof speed, nullptr), EINVAL);
}

TEST(I2CStandIn, DescriptorsThatAreNeitherBusNorImageAreNotServed)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::uint32_t speed = 100000;
    EXPECT_EQ(devctl(fds[0], static_cast<int>(DCMD_I2C_SET_BUS_SPEED), &speed, sizeof speed, nullptr), ENOTTY);
    ::close(fds[0]);
    ::close(fds[1]);
}

} // namespace
