#pragma once

#include "Eeprom.h"

// A 24C16: 2 KiB, one-byte memory address, 16-byte write pages, reads in
// 2-byte chunks. The part answers eight slave addresses, one per 256-byte
// block: the device's own address reaches bytes 0-255 and addresses 256-2047
// go to the device address with the block number in its low three bits, so
// the device should sit at the part's base address (low bits zero).
// A page write that is not fully acknowledged ends the write.
class Cat24c16Eeprom : public Eeprom
{
public:
    static constexpr unsigned int SizeInBytes = 2048;
    static constexpr unsigned int PageSize = 16;
    static constexpr unsigned int ReadChunkSize = 2;

    explicit Cat24c16Eeprom(std::shared_ptr<I2CDevice> device);

    int Read(unsigned short address, unsigned char* buf, int len) override;
    int Write(unsigned short address, const unsigned char* buf, int len) override;
    unsigned int GetSizeInBytes() const override;

private:
    unsigned short SlaveFor(unsigned int address) const;
};
