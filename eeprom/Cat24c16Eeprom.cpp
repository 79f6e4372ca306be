#include "Cat24c16Eeprom.h"

#include "EepromPaging.h"
#include "I2CDeviceLock.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

Cat24c16Eeprom::Cat24c16Eeprom(std::shared_ptr<I2CDevice> device) : Eeprom(std::move(device))
{}

unsigned int Cat24c16Eeprom::GetSizeInBytes() const
{
    return SizeInBytes;
}

unsigned short Cat24c16Eeprom::SlaveFor(unsigned int address) const
{
    return EepromPaging::BlockSlaveAddress(Device().GetBusAddress(), address);
}

int Cat24c16Eeprom::Read(unsigned short address, unsigned char* buf, int len)
{
    return ReadInChunks(address, buf, len, ReadChunkSize,
                        [this](bool sendAddress, unsigned int at, unsigned char* dst, unsigned int n) {
                            I2CBus& bus = *Device().GetBus();
                            const I2C::AddressMode mode = Device().GetAddressMode();
                            if (!sendAddress) {
                                return bus.Read(dst, n, SlaveFor(at), mode);
                            }
                            const unsigned char memoryAddress = EepromPaging::AddressLow(at);
                            return bus.WriteThenRead(&memoryAddress, 1, dst, n, SlaveFor(at), mode);
                        });
}

int Cat24c16Eeprom::Write(unsigned short address, const unsigned char* buf, int len)
{
    if (len < 1 || !HasBus()) {
        return 0;
    }
    const auto total = static_cast<unsigned int>(len);
    if (!EepromPaging::RangeFits(address, total, SizeInBytes)) {
        return 0;
    }
    const std::vector<unsigned char> data(buf, buf + total);

    I2CBus& bus = *Device().GetBus();
    const I2C::AddressMode mode = Device().GetAddressMode();
    const I2CDeviceLock busHeld(Device());
    unsigned int written = 0;
    unsigned int at = address;
    unsigned char page[1 + PageSize];
    while (written < total) {
        const unsigned int chunk = EepromPaging::PageChunk(at, total - written, PageSize);
        page[0] = EepromPaging::AddressLow(at);
        std::memcpy(page + 1, data.data() + written, chunk);
        const unsigned int sent = bus.Write(page, chunk + 1, SlaveFor(at), mode);
        if (sent > 1) {
            const unsigned int accepted = std::min(sent - 1, chunk);
            written += accepted;
            at += accepted;
            PauseForWriteCycle();
        }
        // Going on after a short page would spin on it or leave a hole.
        if (sent < chunk + 1) {
            break;
        }
    }
    return static_cast<int>(written);
}

bool Cat24c16Eeprom::Erase(unsigned short address, unsigned short len)
{
    return FillErased(address, len);
}

bool Cat24c16Eeprom::EraseAll()
{
    return FillErased(0, SizeInBytes);
}
