// A board shutdown library for the scenarios: reports each entry point's call.
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
}
#endif
