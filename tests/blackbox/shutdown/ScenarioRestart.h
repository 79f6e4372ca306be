#pragma once

namespace scenario {
// Restarts the system the way the supervisor does: OS utilities from the
// abstractions factory, RestartSystem.
void RestartThroughOSUtilities();
} // namespace scenario
