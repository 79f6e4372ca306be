#include "Cat24c256Eeprom.h"

#include "EepromPaging.h"
#include "I2CDeviceLock.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

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
    if (len < 1 || !HasBus()) {
        return 0;
    }
    const auto total = static_cast<unsigned int>(len);
    // The chip's address wraps at its end: a range past it would land on address 0.
    if (!EepromPaging::RangeFits(address, total, SizeInBytes)) {
        return 0;
    }
    const std::vector<unsigned char> data(buf, buf + total);

    const I2CDeviceLock busHeld(Device());
    unsigned int written = 0;
    unsigned int at = address;
    std::vector<unsigned char> page(2 + PageSize);
    while (written < total) {
        const unsigned int chunk = EepromPaging::PageChunk(at, total - written, PageSize);
        page[0] = EepromPaging::AddressHigh(at);
        page[1] = EepromPaging::AddressLow(at);
        std::memcpy(page.data() + 2, data.data() + written, chunk);
        const int frame = static_cast<int>(chunk + 2);
        int sent = Device().Write(page.data(), frame);
        if (sent < frame) {
            sent = Device().Write(page.data(), frame);
        }
        if (sent > 2) {
            const auto accepted = std::min(static_cast<unsigned int>(sent - 2), chunk);
            at += accepted;
            written += accepted;
            PauseForWriteCycle();
        }
        // A page that failed twice ends the write: going on would put later
        // data in the wrong place or leave a hole the caller cannot see.
        if (sent < frame) {
            break;
        }
    }
    return static_cast<int>(written);
}

bool Cat24c256Eeprom::Erase(unsigned short address, unsigned short len)
{
    return FillErased(address, len);
}

bool Cat24c256Eeprom::EraseAll()
{
    return FillErased(0, SizeInBytes);
}
