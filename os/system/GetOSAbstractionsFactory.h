#pragma once

#include "OSAbstractionsFactory.h"

#include <memory>

// The platform's abstractions factory: a new one, owned by the caller, on every call.
std::unique_ptr<OSAbstractionsFactory> GetOSAbstractionsFactory();
