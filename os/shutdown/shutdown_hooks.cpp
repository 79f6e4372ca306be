// Default hooks of the shutdown sequence. They are weak so that an
// application replaces any of them by defining its own.
#include "shutdown_system.h"

extern "C" {

__attribute__((weak)) ProcessClass_t shutdown_classify(const ProcessInfo_t*)
{
    return CLASS_UNKNOWN;
}

__attribute__((weak)) int shutdown_prompt(const char*, pid_t)
{
    return 2;
}

__attribute__((weak)) void shutdown_display(int, const DisplayData_t*)
{}

__attribute__((weak)) void shutdown_done(int)
{}

__attribute__((weak)) void shutdown_error(const char*)
{}

__attribute__((weak)) void shutdown_process(void)
{}

__attribute__((weak)) void shutdown_progress(int, int)
{}

} // extern "C"
