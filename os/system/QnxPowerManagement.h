#pragma once

#include "PowerManagement.h"

// The printer's power management: the defaults, as QNX offers none of it here.
class QnxPowerManagement : public PowerManagement
{
public:
    QnxPowerManagement() = default;
    ~QnxPowerManagement() override;
};
