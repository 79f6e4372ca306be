#include "Eeprom.h"

#include "EepromPaging.h"
#include "EventFactory.h"
#include "I2CDeviceLock.h"
#include "SimpleEvent.h"

#include <algorithm>
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
