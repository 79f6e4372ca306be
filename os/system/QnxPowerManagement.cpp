#include "QnxPowerManagement.h"

QnxPowerManagement::~QnxPowerManagement() = default;
