#include "OSTimerFactory.h"

#include "PosixOSTimerFactory.h"

std::unique_ptr<OSTimerFactory> OSTimerFactory::Create()
{
    return std::make_unique<PosixOSTimerFactory>();
}
