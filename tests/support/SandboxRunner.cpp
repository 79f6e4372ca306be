#include "SandboxRunner.h"

#include <sys/wait.h>

#include <cstdio>

namespace {

// The runner's own words from `sandbox --check`, or what went wrong asking it.
std::string AskRunner()
{
    const std::string command = "'" + SandboxRunner::Path() + "' --check 2>&1";
    FILE* check = popen(command.c_str(), "r");
    if (check == nullptr) {
        return "sandbox: cannot run here: the check could not be started";
    }
    std::string words;
    char block[512];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, check)) > 0) {
        words.append(block, got);
    }
    const int status = pclose(check);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r')) {
        words.pop_back();
    }
    return words.empty() ? "sandbox: cannot run here: its check failed without a reason" : words;
}

} // namespace

const std::string& SandboxRunner::Path()
{
    static const std::string path = UPGRADE_SANDBOX_RUNNER;
    return path;
}

const std::string& SandboxRunner::WhyUnavailable()
{
    static const std::string reason = AskRunner();
    return reason;
}
