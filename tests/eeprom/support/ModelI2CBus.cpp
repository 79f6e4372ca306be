#include "ModelI2CBus.h"

#include <thread>
#include <utility>

ModelI2CBus::ModelI2CBus(Eeprom24Model::Geometry geometry, std::chrono::microseconds writeCycle)
    : ModelI2CBus(geometry, std::vector<std::uint8_t>(geometry.sizeBytes, 0xFF), writeCycle)
{}

ModelI2CBus::ModelI2CBus(Eeprom24Model::Geometry geometry, std::vector<std::uint8_t> image,
                         std::chrono::microseconds writeCycle)
    : memory_(std::move(image)), storage_(memory_), chip_(geometry, storage_, writeCycle)
{}

int ModelI2CBus::SetBusSpeed(unsigned int hz)
{
    speed_ = hz;
    return 0;
}

unsigned int ModelI2CBus::GetBusSpeed() const
{
    return speed_;
}

void ModelI2CBus::FailTransfer(std::size_t index)
{
    failWhen = [index](std::size_t i) { return i == index; };
}

void ModelI2CBus::FailFrom(std::size_t index)
{
    failWhen = [index](std::size_t i) { return i >= index; };
}

void ModelI2CBus::ClearLog()
{
    log_.clear();
    locks_ = 0;
    unlocks_ = 0;
}

bool ModelI2CBus::ShouldFail()
{
    return failWhen && failWhen(log_.size());
}

unsigned int ModelI2CBus::Read(unsigned char* buf, unsigned int len, unsigned short address, I2C::AddressMode mode)
{
    const bool ok = !ShouldFail() && mode == I2C::AddressMode::SevenBit && chip_.Receive(address, buf, len);
    log_.push_back(Transfer{Transfer::Kind::Read, address, mode, {}, len, ok});
    return ok ? len : 0;
}

unsigned int ModelI2CBus::Write(const unsigned char* buf, unsigned int len, unsigned short address,
                                I2C::AddressMode mode)
{
    const bool ok = !ShouldFail() && mode == I2C::AddressMode::SevenBit && chip_.Send(address, buf, len);
    log_.push_back(Transfer{Transfer::Kind::Write, address, mode, {buf, buf + len}, 0, ok});
    return ok ? len : 0;
}

unsigned int ModelI2CBus::WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                        unsigned int rlen, unsigned short address, I2C::AddressMode mode)
{
    const bool ok =
        !ShouldFail() && mode == I2C::AddressMode::SevenBit && chip_.SendReceive(address, wbuf, wlen, rbuf, rlen);
    log_.push_back(Transfer{Transfer::Kind::WriteThenRead, address, mode, {wbuf, wbuf + wlen}, rlen, ok});
    return ok ? rlen : 0;
}

unsigned int ModelI2CBus::WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                         unsigned int rlen, unsigned short address, I2C::AddressMode mode,
                                         unsigned int delayMs)
{
    if (Write(wbuf, wlen, address, mode) != wlen) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return Read(rbuf, rlen, address, mode);
}

int ModelI2CBus::Transact(I2C::Transaction*)
{
    return 0;
}

bool ModelI2CBus::Lock()
{
    ++locks_;
    return true;
}

bool ModelI2CBus::Unlock()
{
    ++unlocks_;
    return true;
}
