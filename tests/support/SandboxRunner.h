#pragma once

#include <string>

// The simulated printer's runner (tools/sandbox) as tests start it.
// Thread-safe; the answer of WhyUnavailable is asked once per process.
class SandboxRunner
{
public:
    // The runner's full path.
    static const std::string& Path();

    // Empty when the sandbox can run on this machine; otherwise the runner's
    // reason (not root, no bubblewrap, no namespaces), for a skipped test.
    static const std::string& WhyUnavailable();
};
