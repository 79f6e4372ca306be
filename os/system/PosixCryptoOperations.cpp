#include "PosixCryptoOperations.h"

PosixCryptoOperations::~PosixCryptoOperations() = default;
