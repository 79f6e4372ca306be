#pragma once

#include "I2CBus.h"

#include <filesystem>
#include <memory>
#include <semaphore.h>

class SimpleEvent;

// The board's I2C bus 0.
extern const std::filesystem::path I2C0ResourceManagerPath;

// Bus 0 through the I2C resource manager at "/dev/i2c0". Owns its descriptor
// and the named semaphore "i2c0" that every process driving bus 0 shares
// (closed, never unlinked, by the destructor). When the device cannot be
// opened every transfer returns 0; without the semaphore Lock and Unlock
// return false. Created shared; devices on it hold a share.
class QnxI2CBus : public I2CBus
{
public:
    QnxI2CBus();
    ~QnxI2CBus() override;
    QnxI2CBus(const QnxI2CBus&) = delete;
    QnxI2CBus& operator=(const QnxI2CBus&) = delete;

    // Only 100000 and 400000 Hz; any other value selects 400000. The stored
    // speed changes only when the driver accepts it.
    int SetBusSpeed(unsigned int hz) override;
    // 100000 until a speed was accepted.
    unsigned int GetBusSpeed() const override;

    unsigned int Read(unsigned char* buf, unsigned int len, unsigned short address, I2C::AddressMode mode) override;
    unsigned int Write(const unsigned char* buf, unsigned int len, unsigned short address,
                       I2C::AddressMode mode) override;
    unsigned int WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf, unsigned int rlen,
                               unsigned short address, I2C::AddressMode mode) override;
    unsigned int WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf, unsigned int rlen,
                                unsigned short address, I2C::AddressMode mode, unsigned int delayMs) override;
    // Always 0: the resource manager has no multi-step transfers.
    int Transact(I2C::Transaction* transaction) override;

    bool Lock() override;
    bool Unlock() override;

private:
    int descriptor_ = -1;
    unsigned int busSpeed_ = 100000;
    sem_t* busSemaphore_ = nullptr;
    std::unique_ptr<SimpleEvent> delayEvent_;
};
