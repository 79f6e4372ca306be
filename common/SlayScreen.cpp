#include "SlayScreen.h"

#include <cstdlib>

namespace QnxUpgradeCommon {

void SlayScreen()
{
    // The touch driver first, so that no touch reaches a window that is about to go.
    std::system((SlayProgram() + " -f mtouch").c_str());
    std::system((SlayProgram() + " -f screen").c_str());
}

} // namespace QnxUpgradeCommon
