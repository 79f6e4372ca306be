#include "SlayScreen.h"

namespace QnxUpgradeCommon {

// On the printer slay is a system utility on the system's own search path.
const std::string& SlayProgram()
{
    static const std::string program = "slay";
    return program;
}

} // namespace QnxUpgradeCommon
