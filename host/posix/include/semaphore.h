// Stands in for QNX's <semaphore.h>: adds sem_timedwait_monotonic to the POSIX semaphores.
#pragma once

#include_next <semaphore.h>

#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

// As sem_timedwait, with the absolute deadline on CLOCK_MONOTONIC:
// 0, or -1 with errno (ETIMEDOUT, EINTR, EINVAL, ...).
int sem_timedwait_monotonic(sem_t* sem, const struct timespec* abs_timeout);

#ifdef __cplusplus
}
#endif
