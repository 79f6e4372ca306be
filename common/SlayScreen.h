#pragma once

#include <string>

namespace QnxUpgradeCommon {

// Stops the touch-input driver and then the compositor, by running
// "slay -f mtouch" and "slay -f screen" through the C library's system();
// the results are ignored. Afterwards touches are no longer delivered, the
// window is gone and no page can be shown until the printer restarts.
// Blocks while the two commands run.
void SlayScreen();

// The slay utility as the shell is to run it: "slay" on the printer; in
// host builds the project's own stand-in, named by its absolute path so
// that the command never reaches a program found through PATH.
const std::string& SlayProgram();

} // namespace QnxUpgradeCommon
