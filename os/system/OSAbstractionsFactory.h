#pragma once

#include "CryptoOperations.h"
#include "OSUtilities.h"
#include "PowerManagement.h"

#include <memory>

// Makes the platform's service objects. Every result is new, owned by the
// caller and never null; callers use it for one operation and release it.
class OSAbstractionsFactory
{
public:
    OSAbstractionsFactory() = default;
    virtual ~OSAbstractionsFactory();

    OSAbstractionsFactory(const OSAbstractionsFactory&) = delete;
    OSAbstractionsFactory& operator=(const OSAbstractionsFactory&) = delete;

    virtual std::shared_ptr<CryptoOperations> CreateCryptoOperations() const = 0;
    virtual std::unique_ptr<PowerManagement> CreatePowerManagement() const = 0;
    virtual std::unique_ptr<OSUtilities> CreateOSUtilities() const = 0;
};
