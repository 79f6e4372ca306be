#include "QnxCryptoOperations.h"

QnxCryptoOperations::~QnxCryptoOperations() = default;
