#pragma once

#include "I2C.h"
#include "I2CBus.h"
#include "Stream.h"

#include <memory>

// One slave on a bus: the bus transfers without the address arguments, and a
// Stream over the slave's plain reads and writes. Holds a share of its bus.
// Results are those of the bus (the length asked for, or 0); Stream reads and
// writes with a negative length move nothing and return 0.
class I2CDevice : public Stream
{
public:
    using Stream::Read;
    using Stream::Write;

    I2CDevice(std::shared_ptr<I2CBus> bus, unsigned short address, I2C::AddressMode mode = I2C::AddressMode::SevenBit);
    ~I2CDevice() override = default;

    int Read(unsigned char* buf, int len) override;
    int Write(const unsigned char* buf, int len) override;
    // A device has nothing to close: the bus belongs to its owners.
    void Close() override;

    virtual unsigned int WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                       unsigned int rlen);
    virtual unsigned int WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                        unsigned int rlen, unsigned int delayMs);

    bool Lock();
    bool Unlock();
    unsigned short GetBusAddress() const { return address_; }
    I2C::AddressMode GetAddressMode() const { return mode_; }
    // For chips that answer several slave addresses (one per memory block).
    const std::shared_ptr<I2CBus>& GetBus() const { return bus_; }

private:
    std::shared_ptr<I2CBus> bus_;
    unsigned short address_;
    I2C::AddressMode mode_;
};
