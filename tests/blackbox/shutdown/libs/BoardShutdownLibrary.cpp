// A board shutdown library for the scenarios: reports each entry point's
// call, and at the end the caller's working folder (the daemon detach moves
// it to the root).
#include "../ScenarioReport.h"

extern "C" void board_pre_shutdown(int type)
{
    scenario::OpenReport();
    scenario::ReportNumber("board", "pre_shutdown", type);
}

#ifndef BOARD_WITHOUT_SHUTDOWN
extern "C" void board_shutdown(int type)
{
    scenario::OpenReport();
    scenario::ReportNumber("board", "shutdown", type);
    char folder[4096] = {};
    if (getcwd(folder, sizeof folder) != nullptr) {
        scenario::Report("board", "cwd", folder);
    }
}
#endif
