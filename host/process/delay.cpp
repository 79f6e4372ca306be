// Stands in for QNX's delay(): a millisecond sleep that a signal handler may cut short.
#include <unistd.h>

#include <cerrno>
#include <ctime>

extern "C" unsigned int delay(unsigned int msec)
{
    timespec wanted{};
    wanted.tv_sec = static_cast<time_t>(msec / 1000u);
    wanted.tv_nsec = static_cast<long>(msec % 1000u) * 1000000L;
    timespec left{};
    if (nanosleep(&wanted, &left) == 0 || errno != EINTR) {
        return 0;
    }
    const long long ms = static_cast<long long>(left.tv_sec) * 1000 + (left.tv_nsec + 999999L) / 1000000L;
    return static_cast<unsigned int>(ms);
}
