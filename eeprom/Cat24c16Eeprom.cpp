#include "Cat24c16Eeprom.h"

#include "EepromPaging.h"

#include <utility>

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
    return WriteInPages(address, buf, len, PageSize, 1,
                        [this](unsigned int at, const unsigned char* frame, unsigned int n) {
                            return Device().GetBus()->Write(frame, n, SlaveFor(at), Device().GetAddressMode());
                        });
}
