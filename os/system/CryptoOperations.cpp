#include "CryptoOperations.h"

CryptoOperations::~CryptoOperations() = default;
