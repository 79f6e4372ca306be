// Stands in for a 24-series serial EEPROM chip on an I2C bus (24C256, 24C16), for the bus stand-in and in-process
// tests.
#include "Eeprom24Model.h"

#include <algorithm>
#include <cstring>

Eeprom24Model::Geometry Eeprom24Model::Cat24c256(std::uint16_t slaveAddress)
{
    return Geometry{32768, 64, 2, slaveAddress};
}

Eeprom24Model::Geometry Eeprom24Model::Cat24c16(std::uint16_t slaveAddress)
{
    return Geometry{2048, 16, 1, slaveAddress};
}

bool Eeprom24Model::VectorMemory::Load(std::uint32_t offset, std::uint8_t* buf, std::size_t len)
{
    for (std::size_t i = 0; i < len; ++i) {
        const std::size_t at = offset + i;
        buf[i] = at < bytes_.size() ? bytes_[at] : 0xFF;
    }
    return true;
}

bool Eeprom24Model::VectorMemory::Store(std::uint32_t offset, const std::uint8_t* buf, std::size_t len)
{
    if (bytes_.size() < offset + len) {
        bytes_.resize(offset + len, 0xFF);
    }
    std::memcpy(bytes_.data() + offset, buf, len);
    return true;
}

Eeprom24Model::Eeprom24Model(Geometry geometry, Memory& memory, std::chrono::microseconds writeCycle)
    : geometry_(geometry), memory_(memory), writeCycle_(writeCycle)
{}

bool Eeprom24Model::IsMine(std::uint16_t slave) const
{
    if (geometry_.addressBytes >= 2) {
        return slave == geometry_.slaveAddress;
    }
    // One-byte parts answer one slave address per 256-byte block.
    const std::uint32_t blocks = std::max<std::uint32_t>(1, geometry_.sizeBytes / 256);
    return slave >= geometry_.slaveAddress && slave < geometry_.slaveAddress + blocks;
}

std::uint32_t Eeprom24Model::BlockBase(std::uint16_t slave) const
{
    if (geometry_.addressBytes >= 2) {
        return 0;
    }
    return static_cast<std::uint32_t>(slave - geometry_.slaveAddress) * 256u;
}

bool Eeprom24Model::IsBusy() const
{
    return std::chrono::steady_clock::now() < busyUntil_;
}

bool Eeprom24Model::Answers(std::uint16_t slave) const
{
    return IsMine(slave) && !IsBusy();
}

bool Eeprom24Model::LatchAddress(std::uint16_t slave, const std::uint8_t* data, std::size_t len)
{
    if (len < geometry_.addressBytes) {
        return false;
    }
    std::uint32_t address = 0;
    for (std::uint32_t i = 0; i < geometry_.addressBytes; ++i) {
        address = (address << 8) | data[i];
    }
    counter_ = (BlockBase(slave) + address) % geometry_.sizeBytes;
    return true;
}

bool Eeprom24Model::Send(std::uint16_t slave, const std::uint8_t* data, std::size_t len)
{
    if (!Answers(slave)) {
        return false;
    }
    if (len == 0) {
        return true; // an address probe
    }
    if (!LatchAddress(slave, data, len)) {
        return true; // the master stopped inside the address: nothing happens
    }
    const std::size_t dataLen = len - geometry_.addressBytes;
    if (dataLen == 0) {
        return true;
    }
    // The page buffer: bytes past the page's end wrap to its start, and the
    // last bytes sent win when more than a page arrives.
    const std::uint32_t page = geometry_.pageBytes;
    const std::uint32_t pageStart = counter_ - counter_ % page;
    std::vector<std::uint8_t> buffer(page);
    if (!memory_.Load(pageStart, buffer.data(), page)) {
        return false;
    }
    std::uint32_t offset = counter_ % page;
    const std::uint8_t* payload = data + geometry_.addressBytes;
    for (std::size_t i = 0; i < dataLen; ++i) {
        buffer[offset] = payload[i];
        offset = (offset + 1) % page;
    }
    if (!memory_.Store(pageStart, buffer.data(), page)) {
        return false;
    }
    counter_ = pageStart + offset;
    busyUntil_ = std::chrono::steady_clock::now() + writeCycle_;
    return true;
}

bool Eeprom24Model::Receive(std::uint16_t slave, std::uint8_t* data, std::size_t len)
{
    if (!Answers(slave)) {
        return false;
    }
    std::size_t done = 0;
    while (done < len) {
        const std::size_t run = std::min<std::size_t>(len - done, geometry_.sizeBytes - counter_);
        if (!memory_.Load(counter_, data + done, run)) {
            return false;
        }
        done += run;
        counter_ = static_cast<std::uint32_t>((counter_ + run) % geometry_.sizeBytes);
    }
    return true;
}

bool Eeprom24Model::SendReceive(std::uint16_t slave, const std::uint8_t* wdata, std::size_t wlen, std::uint8_t* rdata,
                                std::size_t rlen)
{
    if (!Answers(slave)) {
        return false;
    }
    LatchAddress(slave, wdata, wlen);
    return Receive(slave, rdata, rlen);
}
