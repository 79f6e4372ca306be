// The read thread's scheduling: SCHED_RR at priority 25 where the system
// grants it, the default policy where it refuses real-time scheduling.
#include "PseudoTerminalPair.h"
#include "TelitComDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const TelitLinkOptions QuickLink{3, 10ms, 10ms};

struct TaskScheduling
{
    long priority = 0;
    long policy = 0;
};

// Fields 40 (rt_priority) and 41 (policy) of every thread's stat line.
std::vector<TaskScheduling> ThreadScheduling()
{
    std::vector<TaskScheduling> found;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return found;
    }
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::ifstream stat(std::string("/proc/self/task/") + entry->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t afterName = line.rfind(')');
        if (afterName == std::string::npos) {
            continue;
        }
        std::istringstream fields(line.substr(afterName + 2));
        std::vector<std::string> values;
        for (std::string value; fields >> value;) {
            values.push_back(value);
        }
        // The list starts at field 3 (state).
        if (values.size() >= 39) {
            found.push_back({std::stol(values[37]), std::stol(values[38])});
        }
    }
    closedir(tasks);
    return found;
}

bool RoundRobinThreadAt25()
{
    for (const TaskScheduling& task : ThreadScheduling()) {
        if (task.policy == SCHED_RR && task.priority == 25) {
            return true;
        }
    }
    return false;
}

void* Nothing(void*)
{
    return nullptr;
}

int CreateRoundRobinThread()
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    sched_param param{};
    param.sched_priority = 25;
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attr, SCHED_RR);
    pthread_attr_setschedparam(&attr, &param);
    pthread_t thread{};
    const int result = pthread_create(&thread, &attr, &Nothing, nullptr);
    pthread_attr_destroy(&attr);
    if (result == 0) {
        pthread_join(thread, nullptr);
    }
    return result;
}

// Takes real-time scheduling away from this process as an unprivileged user
// has it: no CAP_SYS_NICE and no real-time priority allowance.
void GiveUpRealTimeScheduling()
{
    rlimit none{0, 0};
    setrlimit(RLIMIT_RTPRIO, &none);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) == 0) {
        data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
        data[CAP_SYS_NICE / 32].permitted &= ~(1u << (CAP_SYS_NICE % 32));
        syscall(SYS_capset, &header, data);
    }
}

} // namespace

TEST(ReadThreadScheduling, RunsRoundRobinAtPriority25WhereAllowed)
{
    if (CreateRoundRobinThread() != 0) {
        GTEST_SKIP() << "this host refuses real-time scheduling to the tests";
    }
    PseudoTerminalPair line;
    auto link = ConnectTelitDevice(line.SerialPath(), QuickLink);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(RoundRobinThreadAt25());
}

TEST(ReadThreadScheduling, RefusedRealTimeSchedulingStillGivesAWorkingLink)
{
    GiveUpRealTimeScheduling();
    ASSERT_EQ(CreateRoundRobinThread(), EPERM) << "real-time scheduling could not be taken away";

    PseudoTerminalPair line;
    auto link = ConnectTelitDevice(line.SerialPath(), QuickLink);
    ASSERT_NE(link, nullptr);
    EXPECT_FALSE(RoundRobinThreadAt25());
    line.Send("OK\r\n");
    EXPECT_EQ(link->ReadUntil(FlasherProtocol::RespOk, 5s).status, ReadStatus::Matched);
}
