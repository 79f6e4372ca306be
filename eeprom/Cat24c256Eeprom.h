#pragma once

#include "Eeprom.h"

// A 24C256: 32 KiB, two-byte memory address (high byte first), 64-byte
// write pages, reads in 16-byte chunks. A page write that is not fully
// acknowledged is sent once more; when that fails too the write ends there
// and returns the data bytes written before it.
class Cat24c256Eeprom : public Eeprom
{
public:
    static constexpr unsigned int SizeInBytes = 32768;
    static constexpr unsigned int PageSize = 64;
    static constexpr unsigned int ReadChunkSize = 16;

    explicit Cat24c256Eeprom(std::shared_ptr<I2CDevice> device);

    int Read(unsigned short address, unsigned char* buf, int len) override;
    int Write(unsigned short address, const unsigned char* buf, int len) override;
    unsigned int GetSizeInBytes() const override;
};
