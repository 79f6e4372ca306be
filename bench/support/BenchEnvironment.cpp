#include "BenchEnvironment.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
void* DoNothing(void*)
{
    return nullptr;
}
} // namespace

std::string BenchEnvironment::Load()
{
    double load[3] = {0, 0, 0};
    const int known = getloadavg(load, 3);
    char text[96];
    if (known == 3) {
        std::snprintf(text, sizeof text, "%ld processors, load average %.2f %.2f %.2f", sysconf(_SC_NPROCESSORS_ONLN),
                      load[0], load[1], load[2]);
    } else {
        std::snprintf(text, sizeof text, "%ld processors, load average unknown", sysconf(_SC_NPROCESSORS_ONLN));
    }
    return text;
}

bool BenchEnvironment::RealTimeGranted()
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    bool granted = false;
    pthread_t thread{};
    if (pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED) == 0 &&
        pthread_attr_setschedpolicy(&attributes, SCHED_RR) == 0 &&
        pthread_attr_setschedparam(&attributes, &param) == 0 &&
        pthread_create(&thread, &attributes, DoNothing, nullptr) == 0) {
        pthread_join(thread, nullptr);
        granted = true;
    }
    pthread_attr_destroy(&attributes);
    return granted;
}

std::string BenchEnvironment::Describe()
{
    return "machine: " + Load() + "; real-time scheduling " + (RealTimeGranted() ? "granted" : "refused");
}
