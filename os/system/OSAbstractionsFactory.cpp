#include "OSAbstractionsFactory.h"

OSAbstractionsFactory::~OSAbstractionsFactory() = default;
