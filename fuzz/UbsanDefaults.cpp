// Defaults of the undefined behaviour checks in every fuzz program, so a run
// by hand halts on the first report as the test and campaign runs do; the
// UBSAN_OPTIONS variable still overrides each of them.
#ifndef UPGRADE_UBSAN_SUPPRESSIONS
#error "UPGRADE_UBSAN_SUPPRESSIONS names the suppressions file"
#endif

extern "C" const char* __ubsan_default_options();

extern "C" const char* __ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1:suppressions=" UPGRADE_UBSAN_SUPPRESSIONS;
}
