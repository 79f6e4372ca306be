#pragma once

#include "I2C.h"

// An I2C bus master. Transfers return the number of bytes moved: the length
// asked for on success and 0 on any failure, never a partial count. Lock and
// Unlock take and release the bus against other processes; transfers take no
// lock themselves. A bus is used by one thread at a time.
class I2CBus
{
public:
    virtual ~I2CBus() = default;

    // 0 on success, else the driver's error number.
    virtual int SetBusSpeed(unsigned int hz) = 0;
    virtual unsigned int GetBusSpeed() const = 0;

    virtual unsigned int Read(unsigned char* buf, unsigned int len, unsigned short address, I2C::AddressMode mode) = 0;
    virtual unsigned int Write(const unsigned char* buf, unsigned int len, unsigned short address,
                               I2C::AddressMode mode) = 0;
    // A write, a repeated start and a read, as one transfer; returns the bytes read.
    virtual unsigned int WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                       unsigned int rlen, unsigned short address, I2C::AddressMode mode) = 0;
    // A write, a pause of delayMs, and a separate read; 0 without reading when the write fell short.
    virtual unsigned int WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf,
                                        unsigned int rlen, unsigned short address, I2C::AddressMode mode,
                                        unsigned int delayMs) = 0;
    virtual int Transact(I2C::Transaction* transaction) = 0;

    virtual bool Lock() = 0;
    virtual bool Unlock() = 0;

protected:
    I2CBus() = default;
    I2CBus(const I2CBus&) = default;
    I2CBus& operator=(const I2CBus&) = default;
};
