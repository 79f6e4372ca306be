#include "Eeprom.h"

#include "EepromPaging.h"
#include "EventFactory.h"
#include "I2CDeviceLock.h"
#include "SimpleEvent.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {
constexpr unsigned int WriteCycleMs = 5;
}

Eeprom::Eeprom(std::shared_ptr<I2CDevice> device) : device_(std::move(device))
{}

Eeprom::~Eeprom() = default;

int Eeprom::ReadInChunks(unsigned int address, unsigned char* buf, int len, unsigned int chunkSize,
                         const ReadTransfer& transfer)
{
    if (len < 1 || !HasBus()) {
        return 0;
    }
    const unsigned int size = GetSizeInBytes();
    if (address >= size) {
        return 0;
    }
    const unsigned int wanted = std::min(static_cast<unsigned int>(len), size - address);

    const I2CDeviceLock busHeld(*device_);
    unsigned int got = 0;
    bool fullChunkSeen = false;
    bool extraAttemptUsed = false;
    // After a failed or short transfer the chip's counter may have moved by
    // an unknown amount, so the next transfer sends the address again.
    bool addressKnown = false;
    while (got < wanted) {
        const unsigned int chunk = EepromPaging::ReadChunk(wanted - got, chunkSize);
        const unsigned int received = std::min(transfer(!addressKnown, address + got, buf + got, chunk), chunk);
        got += received;
        if (received == chunk) {
            fullChunkSeen = true;
            addressKnown = true;
            continue;
        }
        addressKnown = false;
        if (fullChunkSeen || extraAttemptUsed) {
            break;
        }
        extraAttemptUsed = true;
    }
    return static_cast<int>(got);
}

int Eeprom::WriteInPages(unsigned int address, const unsigned char* buf, int len, unsigned int pageSize,
                         unsigned int addressBytes, const PageTransfer& transfer)
{
    if (len < 1 || !HasBus()) {
        return 0;
    }
    const auto total = static_cast<unsigned int>(len);
    // The chip's address wraps at its end: a range past it would land on address 0.
    if (!EepromPaging::RangeFits(address, total, GetSizeInBytes())) {
        return 0;
    }
    const std::vector<unsigned char> data(buf, buf + total);

    const I2CDeviceLock busHeld(*device_);
    unsigned int written = 0;
    unsigned int at = address;
    std::vector<unsigned char> frame(addressBytes + pageSize);
    while (written < total) {
        const unsigned int chunk = EepromPaging::PageChunk(at, total - written, pageSize);
        for (unsigned int i = 0; i < addressBytes; ++i) {
            frame[i] = static_cast<unsigned char>((at >> (8 * (addressBytes - 1 - i))) & 0xFFu);
        }
        std::memcpy(frame.data() + addressBytes, data.data() + written, chunk);
        const unsigned int sent = transfer(at, frame.data(), addressBytes + chunk);
        if (sent > addressBytes) {
            const unsigned int accepted = std::min(sent - addressBytes, chunk);
            written += accepted;
            at += accepted;
            PauseForWriteCycle();
        }
        // Going on after a short page would put later data in the wrong place
        // or leave a hole the caller cannot see.
        if (sent < addressBytes + chunk) {
            break;
        }
    }
    return static_cast<int>(written);
}

bool Eeprom::Erase(unsigned short address, unsigned short len)
{
    return FillErased(address, len);
}

bool Eeprom::EraseAll()
{
    return FillErased(0, GetSizeInBytes());
}

bool Eeprom::HasBus() const
{
    return device_ && device_->GetBus();
}

bool Eeprom::FillErased(unsigned int address, unsigned int len)
{
    if (len == 0 || address > 0xFFFFu) {
        return false;
    }
    const std::vector<unsigned char> erased(len, 0xFF);
    return Write(static_cast<unsigned short>(address), erased.data(), static_cast<int>(len)) > 0;
}

void Eeprom::PauseForWriteCycle()
{
    // Nothing signals the event: the timed wait is a sleep on the monotonic clock.
    auto pause = EventFactory::GetUniqueSimpleEvent(true);
    if (pause) {
        pause->Wait(WriteCycleMs);
    }
}
