// Stands in for QNX's sem_timedwait_monotonic, on glibc's sem_clockwait.
#include <semaphore.h>

extern "C" int sem_timedwait_monotonic(sem_t* sem, const struct timespec* abs_timeout)
{
    return sem_clockwait(sem, CLOCK_MONOTONIC, abs_timeout);
}
