#include "ScenarioRestart.h"

#include "GetOSAbstractionsFactory.h"

namespace scenario {

void RestartThroughOSUtilities()
{
    GetOSAbstractionsFactory()->CreateOSUtilities()->RestartSystem();
}

bool KillThroughOSUtilities(int pid)
{
    return GetOSAbstractionsFactory()->CreateOSUtilities()->KillProcessById(pid);
}

} // namespace scenario
