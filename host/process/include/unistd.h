// Stands in for QNX's <unistd.h>: adds delay(), which the C library of Linux lacks.
#pragma once

#include_next <unistd.h>

#ifdef __cplusplus
extern "C" {
#endif

// Sleeps for msec milliseconds; 0, or the milliseconds left unslept when a
// signal handler interrupted the sleep.
unsigned int delay(unsigned int msec);

#ifdef __cplusplus
}
#endif
