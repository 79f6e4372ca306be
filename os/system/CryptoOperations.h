#pragma once

// The symmetric-crypto layer of the shared code base. This program carries
// it for the abstractions factory and calls none of it, so it has no
// operations here: only the hierarchy a caller can hold and release.
class CryptoOperations
{
public:
    CryptoOperations() = default;
    virtual ~CryptoOperations();

    CryptoOperations(const CryptoOperations&) = delete;
    CryptoOperations& operator=(const CryptoOperations&) = delete;
};
