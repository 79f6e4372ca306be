// A reset-record library for the scenarios: reports each entry point's call.
#include "../ScenarioReport.h"

#ifndef NVRAM_WITHOUT_ENTRIES
extern "C" void save_reset_info_to_nv(int type, char* reason)
{
    scenario::OpenReport();
    scenario::ReportNumber("nvram", "reset_info", type);
    scenario::Report("nvram", "reason", reason != nullptr ? reason : "(none)");
}

extern "C" void save_logs(void)
{
    scenario::OpenReport();
    scenario::Report("nvram", "save_logs");
}
#else
extern "C" void nvram_library_without_entries(void)
{}
#endif
