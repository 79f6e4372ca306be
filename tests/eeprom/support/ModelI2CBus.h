#pragma once

#include "Eeprom24Model.h"
#include "I2CBus.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// An in-process I2C bus with one simulated chip on it: every transfer is
// recorded, and any transfer can be made to fail (the chip then sees nothing
// of it, as when the master loses the bus before the stop).
class ModelI2CBus : public I2CBus
{
public:
    struct Transfer
    {
        enum class Kind
        {
            Read,
            Write,
            WriteThenRead
        };
        Kind kind;
        unsigned short address;
        I2C::AddressMode mode;
        std::vector<std::uint8_t> sent; // Write: the whole frame; WriteThenRead: the write part
        unsigned int readLength;
        bool succeeded;
    };

    explicit ModelI2CBus(Eeprom24Model::Geometry geometry,
                         std::chrono::microseconds writeCycle = Eeprom24Model::DefaultWriteCycle);
    // The chip's memory starts as the given bytes.
    ModelI2CBus(Eeprom24Model::Geometry geometry, std::vector<std::uint8_t> image,
                std::chrono::microseconds writeCycle = Eeprom24Model::DefaultWriteCycle);
    ModelI2CBus(const ModelI2CBus&) = delete;
    ModelI2CBus& operator=(const ModelI2CBus&) = delete;

    int SetBusSpeed(unsigned int hz) override;
    unsigned int GetBusSpeed() const override;
    unsigned int Read(unsigned char* buf, unsigned int len, unsigned short address, I2C::AddressMode mode) override;
    unsigned int Write(const unsigned char* buf, unsigned int len, unsigned short address,
                       I2C::AddressMode mode) override;
    unsigned int WriteThenRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf, unsigned int rlen,
                               unsigned short address, I2C::AddressMode mode) override;
    unsigned int WriteDelayRead(const unsigned char* wbuf, unsigned int wlen, unsigned char* rbuf, unsigned int rlen,
                                unsigned short address, I2C::AddressMode mode, unsigned int delayMs) override;
    int Transact(I2C::Transaction* transaction) override;
    bool Lock() override;
    bool Unlock() override;

    // Decides, for the transfer with this index (0 = the first since the last
    // ClearLog), whether it fails. Empty: none fails.
    std::function<bool(std::size_t index)> failWhen;
    void FailTransfer(std::size_t index);
    void FailFrom(std::size_t index);

    const std::vector<Transfer>& Log() const { return log_; }
    void ClearLog();
    std::size_t Locks() const { return locks_; }
    std::size_t Unlocks() const { return unlocks_; }

    std::vector<std::uint8_t>& Memory() { return memory_; }
    Eeprom24Model& Chip() { return chip_; }

private:
    bool ShouldFail();

    std::vector<std::uint8_t> memory_;
    Eeprom24Model::VectorMemory storage_;
    Eeprom24Model chip_;
    std::vector<Transfer> log_;
    std::size_t locks_ = 0;
    std::size_t unlocks_ = 0;
    unsigned int speed_ = 100000;
};
