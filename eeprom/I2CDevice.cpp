#include "I2CDevice.h"

#include <utility>

I2CDevice::I2CDevice(std::shared_ptr<I2CBus> bus, unsigned short address, I2C::AddressMode mode)
    : bus_(std::move(bus)), address_(address), mode_(mode)
{}

int I2CDevice::Read(unsigned char* buf, int len)
{
    if (len <= 0 || !bus_) {
        return 0;
    }
    return static_cast<int>(bus_->Read(buf, static_cast<unsigned int>(len), address_, mode_));
}

int I2CDevice::Write(const unsigned char* buf, int len)
{
    if (len <= 0 || !bus_) {
        return 0;
    }
    return static_cast<int>(bus_->Write(buf, static_cast<unsigned int>(len), address_, mode_));
}

void I2CDevice::Close()
{}

unsigned int I2CDevice::WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                      unsigned int rlen)
{
    return bus_ ? bus_->WriteThenRead(wbuf, wlen, rbuf, rlen, address_, mode_) : 0;
}

unsigned int I2CDevice::WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                       unsigned int rlen, unsigned int delayMs)
{
    return bus_ ? bus_->WriteDelayRead(wbuf, wlen, rbuf, rlen, address_, mode_, delayMs) : 0;
}

bool I2CDevice::Lock()
{
    return bus_ && bus_->Lock();
}

bool I2CDevice::Unlock()
{
    return bus_ && bus_->Unlock();
}
