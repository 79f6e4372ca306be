#pragma once

#include "PosixCryptoOperations.h"

// The crypto layer as the printer's QNX system provides it.
class QnxCryptoOperations : public PosixCryptoOperations
{
public:
    QnxCryptoOperations() = default;
    ~QnxCryptoOperations() override;
};
