#include "SlayScreen.h"

#include <cstdlib>

namespace QnxUpgradeCommon {

void SlayScreen()
{
    // The touch driver first, so that no touch reaches a window that is about to go.
    // The printer's slay is found by name through the shell on purpose, and no
    // other thread of the program runs a command meanwhile.
    // NOLINTNEXTLINE(cert-env33-c, concurrency-mt-unsafe)
    std::system((SlayProgram() + " -f mtouch").c_str());
    // NOLINTNEXTLINE(cert-env33-c, concurrency-mt-unsafe)
    std::system((SlayProgram() + " -f screen").c_str());
}

} // namespace QnxUpgradeCommon
