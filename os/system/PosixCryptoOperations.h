#pragma once

#include "CryptoOperations.h"

// The POSIX part of the crypto layer.
class PosixCryptoOperations : public CryptoOperations
{
public:
    PosixCryptoOperations() = default;
    ~PosixCryptoOperations() override;
};
