#include "Cat24c256Eeprom.h"

#include "EepromPaging.h"

#include <algorithm>
#include <utility>

Cat24c256Eeprom::Cat24c256Eeprom(std::shared_ptr<I2CDevice> device) : Eeprom(std::move(device))
{}

unsigned int Cat24c256Eeprom::GetSizeInBytes() const
{
    return SizeInBytes;
}

int Cat24c256Eeprom::Read(unsigned short address, unsigned char* buf, int len)
{
    return ReadInChunks(
        address, buf, len, ReadChunkSize,
        [this](bool sendAddress, unsigned int at, unsigned char* dst, unsigned int n) {
            if (!sendAddress) {
                return static_cast<unsigned int>(std::max(0, Device().Read(dst, static_cast<int>(n))));
            }
            const unsigned char memoryAddress[2] = {EepromPaging::AddressHigh(at), EepromPaging::AddressLow(at)};
            return Device().WriteThenRead(memoryAddress, 2, dst, n);
        });
}

int Cat24c256Eeprom::Write(unsigned short address, const unsigned char* buf, int len)
{
    return WriteInPages(address, buf, len, PageSize, 2,
                        [this](unsigned int, const unsigned char* frame, unsigned int n) {
                            const int length = static_cast<int>(n);
                            int sent = Device().Write(frame, length);
                            if (sent < length) {
                                sent = Device().Write(frame, length);
                            }
                            return static_cast<unsigned int>(std::max(0, sent));
                        });
}
