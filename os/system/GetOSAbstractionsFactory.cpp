#include "GetOSAbstractionsFactory.h"

#include "QnxAbstractionsFactory.h"

std::unique_ptr<OSAbstractionsFactory> GetOSAbstractionsFactory()
{
    return std::make_unique<QnxAbstractionsFactory>();
}
