#include "QnxAbstractionsFactory.h"

#include "QnxCryptoOperations.h"
#include "QnxOSUtilities.h"
#include "QnxPowerManagement.h"

QnxAbstractionsFactory::~QnxAbstractionsFactory() = default;

std::shared_ptr<CryptoOperations> QnxAbstractionsFactory::CreateCryptoOperations() const
{
    return std::make_shared<QnxCryptoOperations>();
}

std::unique_ptr<PowerManagement> QnxAbstractionsFactory::CreatePowerManagement() const
{
    return std::make_unique<QnxPowerManagement>();
}

std::unique_ptr<OSUtilities> QnxAbstractionsFactory::CreateOSUtilities() const
{
    return std::make_unique<QnxOSUtilities>();
}
