// Threads of a host build run on the printer's default stack unless they name
// a size: whichever way the project starts them.
#include "EventFactory.h"
#include "PosixThread.h"

#include "EmulationLimits.h"

#include <host_threads.h>

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The size of the calling thread's stack.
size_t OwnStackBytes()
{
    pthread_attr_t attributes;
    size_t bytes = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &bytes);
        pthread_attr_destroy(&attributes);
    }
    return bytes;
}

// What a started thread reports: the size of its stack. The event outlives
// the reporting thread's last touch (its destructor waits for a Signal in
// progress), so a detached thread may report too.
struct Report
{
    std::atomic<size_t> stack{0};
    std::unique_ptr<SimpleEvent> reported = EventFactory::GetUniqueSimpleEvent(false);

    void FromThisThread()
    {
        stack = OwnStackBytes();
        reported->Signal();
    }
    // 0 when nothing reported within 30 s.
    size_t Wait() { return reported->Wait(30000) ? stack.load() : 0; }
};

void* ReportFromPosixThread(void* report)
{
    static_cast<Report*>(report)->FromThisThread();
    return nullptr;
}

// Each starts one thread that reports, and returns its report.
size_t FromPthread(const pthread_attr_t* attributes)
{
    Report report;
    pthread_t thread;
    if (pthread_create(&thread, attributes, &ReportFromPosixThread, &report) != 0) {
        return 0;
    }
    const size_t bytes = report.Wait();
    pthread_join(thread, nullptr);
    return bytes;
}

size_t FromPthreadWithoutAttributes()
{
    return FromPthread(nullptr);
}

size_t FromPthreadWithInitialisedAttributes()
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    const size_t bytes = FromPthread(&attributes);
    pthread_attr_destroy(&attributes);
    return bytes;
}

size_t FromStdThread()
{
    Report report;
    std::thread thread([&report] { report.FromThisThread(); });
    const size_t bytes = report.Wait();
    thread.join();
    return bytes;
}

size_t FromPosixThreadOfSize(unsigned int stackSize)
{
    Report report;
    PosixThread thread(&ReportFromPosixThread, 10, stackSize);
    if (thread.StartThread(&report, "StackReporter") != 0 && !thread.IsRunning()) {
        return 0;
    }
    return report.Wait();
}

size_t FromPosixThreadWithoutSize()
{
    return FromPosixThreadOfSize(0);
}

// A timer's notification thread, as the OS layer's timers arm them.
size_t FromTimerNotification()
{
    Report report;
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD;
    event.sigev_notify_function = [](sigval value) { static_cast<Report*>(value.sival_ptr)->FromThisThread(); };
    event.sigev_value.sival_ptr = &report;
    timer_t timer{};
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) {
        return 0;
    }
    itimerspec once{};
    once.it_value.tv_nsec = 1000000;
    timer_settime(timer, 0, &once, nullptr);
    const size_t bytes = report.Wait();
    timer_delete(timer);
    return bytes;
}

TEST(ThreadStackStandIn, ThreadsWithoutASizeOfTheirOwnRunOnThePrintersDefaultStack)
{
    const size_t expected = host_thread_default_stack();
    // The printer's room for the thread's work, not Linux's stack limit.
    EXPECT_GE(expected, HOST_PRINTER_THREAD_STACK);
    rlimit limit{};
    ASSERT_EQ(0, getrlimit(RLIMIT_STACK, &limit));
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur > 2 * HOST_PRINTER_THREAD_STACK) {
        EXPECT_LT(expected, limit.rlim_cur);
    }

    struct Way
    {
        const char* what;
        size_t (*start)();
    };
    std::vector<Way> ways = {
        {"pthread_create without attributes", &FromPthreadWithoutAttributes},
        {"pthread_create with attributes as initialised", &FromPthreadWithInitialisedAttributes},
        {"std::thread", &FromStdThread},
        {"PosixThread of size 0", &FromPosixThreadWithoutSize},
    };
    if (EmulationLimits::WhyNoThreadTimers().empty()) {
        ways.push_back({"timer notification", &FromTimerNotification});
    }
    for (const Way& way : ways) {
        EXPECT_EQ(expected, way.start()) << way.what;
    }
}

TEST(ThreadStackStandIn, AThreadThatNamesASizeKeepsIt)
{
    // Far from the default either way, so that no stack the C library keeps
    // for reuse can stand in for it.
    const unsigned int size = static_cast<unsigned int>(8 * host_thread_default_stack());
    EXPECT_EQ(size, FromPosixThreadOfSize(size));
}

} // namespace
