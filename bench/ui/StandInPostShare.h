#pragma once

#include <benchmark/benchmark.h>
#include <screen/host_display.h>

#include <cstdint>
#include <ctime>

// Splits the CPU time of a case's timed sections into the program's own work
// and the screen stand-in's handling of its posts (taking the posted pixels
// into the virtual display, which the printer's compositor does without the
// processor). Call Resume() where timing starts or resumes and Pause() where
// it stops or pauses; Report() adds the counters "product" and
// "standin_post", in seconds per iteration.
class StandInPostShare
{
public:
    void Resume()
    {
        cpuAt_ = ThreadCpuSeconds();
        postAt_ = host_screen_post_cpu_ns();
    }

    void Pause()
    {
        const double post = static_cast<double>(host_screen_post_cpu_ns() - postAt_) * 1e-9;
        post_ += post;
        product_ += ThreadCpuSeconds() - cpuAt_ - post;
    }

    void Report(benchmark::State& state) const
    {
        state.counters["product"] = benchmark::Counter(product_, benchmark::Counter::kAvgIterations);
        state.counters["standin_post"] = benchmark::Counter(post_, benchmark::Counter::kAvgIterations);
    }

private:
    // Thread CPU time, the clock of Google Benchmark's CPU column.
    static double ThreadCpuSeconds()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }

    double cpuAt_ = 0;
    std::uint64_t postAt_ = 0;
    double product_ = 0;
    double post_ = 0;
};
