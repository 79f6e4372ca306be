#include "QnxI2CBus.h"

#include "EventFactory.h"
#include "QnxI2CMessages.h"
#include "SimpleEvent.h"

#include <devctl.h>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

const std::filesystem::path I2C0ResourceManagerPath{"/dev/i2c0"};

namespace {

constexpr unsigned int StandardSpeed = 100000;
constexpr unsigned int FastSpeed = 400000;

// The command codes carry direction bits above INT_MAX; devctl takes them as int.
int Command(std::uint32_t code)
{
    return static_cast<int>(code);
}

template <typename Header>
Header HeaderFor(unsigned short address, I2C::AddressMode mode)
{
    Header header{};
    header.address = address;
    header.format = I2C::AddressFormatFor(mode);
    header.stop = 1;
    return header;
}

// The resource manager reads these headers byte for byte, and a device
// command carries the size of its data in bits 16..29. The layouts are all
// 32-bit fields, the same on the printer's 32-bit ARM as anywhere: 16 bytes
// for a send or a receive, 20 for a send-and-receive.
constexpr std::size_t DataSizeOf(std::uint32_t command)
{
    return (command >> 16) & 0x3FFFu;
}
static_assert(sizeof(QnxI2CMessages::TransferHeader) == 16 &&
                  DataSizeOf(QnxI2CMessages::SendCommand) == sizeof(QnxI2CMessages::TransferHeader) &&
                  DataSizeOf(QnxI2CMessages::ReceiveCommand) == sizeof(QnxI2CMessages::TransferHeader),
              "a send or receive header: address, format, length and stop as 32-bit fields");
static_assert(sizeof(QnxI2CMessages::SendReceiveHeader) == 20 &&
                  DataSizeOf(QnxI2CMessages::SendReceiveCommand) == sizeof(QnxI2CMessages::SendReceiveHeader),
              "a send-and-receive header: address, format, both lengths and stop as 32-bit fields");
static_assert(DataSizeOf(QnxI2CMessages::SetBusSpeedCommand) == sizeof(std::uint32_t),
              "the bus speed is a 32-bit value");

template <typename T>
void SetPart(iov_t& part, T* base, std::size_t len)
{
    SETIOV(&part, base, len);
}

// One send or receive of len data bytes: the header goes in the first part,
// the data in the second; the driver reads the header from the first part
// and replies into both. len when the driver took it, else 0.
template <typename Byte>
unsigned int Transfer(int descriptor, std::uint32_t command, Byte* data, unsigned int len, unsigned short address,
                      I2C::AddressMode mode)
{
    auto header = HeaderFor<QnxI2CMessages::TransferHeader>(address, mode);
    header.length = len;
    iov_t parts[2];
    SetPart(parts[0], &header, sizeof header);
    SetPart(parts[1], data, len);
    const int result = ::devctlv(descriptor, Command(command), 2, 2, parts, parts, nullptr);
    return result == EOK ? len : 0;
}

} // namespace

QnxI2CBus::QnxI2CBus() : delayEvent_(EventFactory::GetUniqueSimpleEvent(true))
{
    descriptor_ = ::open(I2C0ResourceManagerPath.c_str(), O_RDWR);
    // The semaphore is named after the device, so every process on bus 0 meets the same one.
    const std::string name = I2C0ResourceManagerPath.filename().string();
    sem_t* semaphore = ::sem_open(name.c_str(), O_CREAT, 0777, 1);
    busSemaphore_ = semaphore == SEM_FAILED ? nullptr : semaphore;
}

QnxI2CBus::~QnxI2CBus()
{
    if (busSemaphore_ != nullptr) {
        ::sem_close(busSemaphore_);
    }
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

int QnxI2CBus::SetBusSpeed(unsigned int hz)
{
    std::uint32_t speed = (hz == StandardSpeed || hz == FastSpeed) ? hz : FastSpeed;
    const int result =
        ::devctl(descriptor_, Command(QnxI2CMessages::SetBusSpeedCommand), &speed, sizeof speed, nullptr);
    if (result == EOK) {
        busSpeed_ = speed;
    }
    return result;
}

unsigned int QnxI2CBus::GetBusSpeed() const
{
    return busSpeed_;
}

unsigned int QnxI2CBus::Read(unsigned char* buf, unsigned int len, unsigned short address, I2C::AddressMode mode)
{
    return Transfer(descriptor_, QnxI2CMessages::ReceiveCommand, buf, len, address, mode);
}

unsigned int QnxI2CBus::Write(const unsigned char* buf, unsigned int len, unsigned short address, I2C::AddressMode mode)
{
    return Transfer(descriptor_, QnxI2CMessages::SendCommand, buf, len, address, mode);
}

unsigned int QnxI2CBus::WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                      unsigned int rlen, unsigned short address, I2C::AddressMode mode)
{
    auto header = HeaderFor<QnxI2CMessages::SendReceiveHeader>(address, mode);
    header.sendLength = wlen;
    header.receiveLength = rlen;
    iov_t send[2];
    iov_t receive[2];
    SetPart(send[0], &header, sizeof header);
    SetPart(send[1], wbuf, wlen);
    SetPart(receive[0], &header, sizeof header);
    SetPart(receive[1], rbuf, rlen);
    const int result =
        ::devctlv(descriptor_, Command(QnxI2CMessages::SendReceiveCommand), 2, 2, send, receive, nullptr);
    return result == EOK ? rlen : 0;
}

unsigned int QnxI2CBus::WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                       unsigned int rlen, unsigned short address, I2C::AddressMode mode,
                                       unsigned int delayMs)
{
    if (Write(wbuf, wlen, address, mode) != wlen) {
        return 0;
    }
    // Nothing signals the delay event: the wait is a sleep on the monotonic clock.
    if (delayMs != 0 && delayEvent_) {
        delayEvent_->Wait(delayMs);
    }
    return Read(rbuf, rlen, address, mode);
}

int QnxI2CBus::Transact(I2C::Transaction*)
{
    return 0;
}

bool QnxI2CBus::Lock()
{
    if (busSemaphore_ == nullptr) {
        return false;
    }
    int result = 0;
    do {
        result = ::sem_wait(busSemaphore_);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool QnxI2CBus::Unlock()
{
    if (busSemaphore_ == nullptr) {
        return false;
    }
    return ::sem_post(busSemaphore_) == 0;
}
