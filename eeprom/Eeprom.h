#pragma once

#include "I2CDevice.h"

#include <functional>
#include <memory>

// A serial EEPROM chip on one I2C device. Addresses are byte addresses in
// the chip and lengths byte counts. Read returns the bytes placed in buf and
// Write the data bytes the chip acknowledged: a count short of len is the
// only failure signal. Each Read and Write holds the bus lock from its first
// transfer to its last. Owned through std::unique_ptr; keeps its device (and
// so the bus) alive. Not shared between threads.
class Eeprom
{
public:
    enum class EepromType : unsigned int
    {
        Cat24c16 = 0,
        Cat24c256 = 1
    };

    explicit Eeprom(std::shared_ptr<I2CDevice> device);
    virtual ~Eeprom();
    Eeprom(const Eeprom&) = delete;
    Eeprom& operator=(const Eeprom&) = delete;

    // Stops at the end of the chip: the address counter would roll over to 0.
    virtual int Read(unsigned short address, unsigned char* buf, int len) = 0;
    // Refuses (0, no bus traffic) a range that would end past the chip.
    virtual int Write(unsigned short address, const unsigned char* buf, int len) = 0;
    // Fill with 0xFF through the driver's Write; true when any byte was written.
    virtual bool Erase(unsigned short address, unsigned short len);
    virtual bool EraseAll();
    virtual unsigned int GetSizeInBytes() const = 0;

protected:
    // One read transfer: with `sendAddress` the memory address is sent first
    // (a combined write-then-read), otherwise the chip's address counter is
    // read on. Returns the bytes received.
    using ReadTransfer =
        std::function<unsigned int(bool sendAddress, unsigned int address, unsigned char* dst, unsigned int len)>;

    // One page write: `frame` holds the memory address and the page's data.
    // Returns the frame bytes the chip acknowledged.
    using PageTransfer =
        std::function<unsigned int(unsigned int address, const unsigned char* frame, unsigned int length)>;

    // The chunked read both chips use.
    int ReadInChunks(unsigned int address, unsigned char* buf, int len, unsigned int chunkSize,
                     const ReadTransfer& transfer);
    // The page write both chips use: refuses a range that ends past the chip,
    // starts each frame with the memory address in addressBytes bytes (high
    // byte first; one byte is the address's low 8 bits), pauses for the write
    // cycle after each page the chip took and ends at the first page that is
    // not fully acknowledged. Returns the data bytes written.
    int WriteInPages(unsigned int address, const unsigned char* buf, int len, unsigned int pageSize,
                     unsigned int addressBytes, const PageTransfer& transfer);

    // Drivers without a device or bus transfer nothing and report 0.
    bool HasBus() const;
    I2CDevice& Device() const { return *device_; }

private:
    bool FillErased(unsigned int address, unsigned int len);
    // Covers the chip's internal write cycle after a page write.
    static void PauseForWriteCycle();

    std::shared_ptr<I2CDevice> device_;
};
