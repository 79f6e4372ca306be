#include "EventFactory.h"

#include "NamedSimpleEvent.h"
#include "PosixEvent.h"

std::shared_ptr<Event> EventFactory::GetSharedEvent(bool autoReset)
{
    return std::make_shared<PosixEvent>(autoReset);
}

std::unique_ptr<Event> EventFactory::GetUniqueEvent(bool autoReset)
{
    return std::make_unique<PosixEvent>(autoReset);
}

std::unique_ptr<SimpleEvent> EventFactory::GetUniqueSimpleEvent(bool autoReset)
{
    return std::make_unique<SimpleEvent>(GetUniqueEvent(autoReset));
}

std::shared_ptr<SimpleEvent> EventFactory::GetSharedSimpleEvent(bool autoReset)
{
    return std::make_shared<SimpleEvent>(GetUniqueEvent(autoReset));
}

std::shared_ptr<OSSimpleEvent> EventFactory::GetSharedOSSimpleEvent(OSEventName name)
{
    switch (name) {
    case OSEventName::FileTransferStatus:
        return std::make_shared<NamedSimpleEvent>("FileTransferStatus", 0);
    case OSEventName::FileTransferStatusAck:
        return std::make_shared<NamedSimpleEvent>("FileTransferStatusACK", 0);
    case OSEventName::CryptoKeyCreation:
        return std::make_shared<NamedSimpleEvent>("CryptoKeyCreation", 1);
    default:
        return nullptr;
    }
}
