#include "ScenarioRestart.h"

#include "GetOSAbstractionsFactory.h"

namespace scenario {

void RestartThroughOSUtilities()
{
    GetOSAbstractionsFactory()->CreateOSUtilities()->RestartSystem();
}

} // namespace scenario
