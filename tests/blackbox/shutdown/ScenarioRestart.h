#pragma once

namespace scenario {
// Restarts the system the way the supervisor does: OS utilities from the
// abstractions factory, RestartSystem.
void RestartThroughOSUtilities();
// KillProcessById of the OS utilities, as the restart calls it.
bool KillThroughOSUtilities(int pid);
} // namespace scenario
