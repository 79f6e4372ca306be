// Stands in for the printer's slay utility on the command line: names the project's stand-in (host/slay) by its
// absolute path.
#include "SlayScreen.h"

namespace {

// The path in single quotes, each quote in it closed, escaped and reopened.
std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

} // namespace

namespace QnxUpgradeCommon {

const std::string& SlayProgram()
{
    // UPGRADE_SLAY_PROGRAM is the stand-in's absolute path in the build tree.
    static const std::string program = ShellQuoted(UPGRADE_SLAY_PROGRAM);
    return program;
}

} // namespace QnxUpgradeCommon
