// Stands in for QNX's <unistd.h>: adds delay() and QNX's time-zone requests of confstr().
#pragma once

#include_next <unistd.h>

#ifdef __cplusplus
extern "C" {
#endif

// Sleeps for msec milliseconds; 0, or the milliseconds left unslept when a
// signal handler interrupted the sleep.
unsigned int delay(unsigned int msec);

// confstr with QNX's time-zone names (see host_process.h), kept in this
// process so that a host never changes its own zone; every other name goes
// to the C library's confstr. A macro rather than a definition of confstr
// itself, so that the C library and the sanitizer runtimes never meet it.
size_t host_confstr(int name, char* buffer, size_t length);
#define confstr host_confstr

#ifdef __cplusplus
}
#endif
