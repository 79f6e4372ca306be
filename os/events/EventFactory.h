#pragma once

#include "Event.h"
#include "OSSimpleEvent.h"
#include "SimpleEvent.h"

#include <memory>

// The process-shared events the printer's programs know by name.
enum class OSEventName : int
{
    None = 0,
    Reserved1 = 1,
    Reserved2 = 2,
    FileTransferStatus = 3,    // "FileTransferStatus", initial count 0
    FileTransferStatusAck = 4, // "FileTransferStatusACK", initial count 0
    CryptoKeyCreation = 5,     // "CryptoKeyCreation", initial count 1
};

// Creates events. Every result is owned by the caller; none is ever null,
// except GetSharedOSSimpleEvent for a name it does not know.
class EventFactory
{
public:
    static std::shared_ptr<Event> GetSharedEvent(bool autoReset);
    static std::unique_ptr<Event> GetUniqueEvent(bool autoReset);
    static std::unique_ptr<SimpleEvent> GetUniqueSimpleEvent(bool autoReset);
    static std::shared_ptr<SimpleEvent> GetSharedSimpleEvent(bool autoReset);
    // A named semaphore for FileTransferStatus, FileTransferStatusAck and
    // CryptoKeyCreation; an empty pointer for every other value.
    static std::shared_ptr<OSSimpleEvent> GetSharedOSSimpleEvent(OSEventName name);
};
