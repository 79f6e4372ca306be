#pragma once

#include "OSAbstractionsFactory.h"

// The factory of the printer's QNX system.
class QnxAbstractionsFactory : public OSAbstractionsFactory
{
public:
    QnxAbstractionsFactory() = default;
    ~QnxAbstractionsFactory() override;

    // A QnxCryptoOperations.
    std::shared_ptr<CryptoOperations> CreateCryptoOperations() const override;
    // A QnxPowerManagement.
    std::unique_ptr<PowerManagement> CreatePowerManagement() const override;
    // A QnxOSUtilities.
    std::unique_ptr<OSUtilities> CreateOSUtilities() const override;
};
