// Runs the shutdown measurement several times, each in a fresh sandbox, and
// prints what the sequence spends per process above the process's own exit,
// against the 10 ms poll with which it checks whether a signalled process
// has ended; then the medians of both times and their ratio, which depends
// mostly on how fast the machine ends a process.
//   shutdown_bench [RUNS]
// The sequence raises itself to real-time priority and ends at once when it
// may not (an unprivileged run), so the figures need a privileged run.
#include "BenchEnvironment.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
constexpr int ProcessCount = 50;
constexpr double PollMs = 10.0;

struct Spread
{
    double median;
    double min;
    double max;
};

Spread SpreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}
} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string command = std::string("'") + SANDBOX + "' -- '" + RUNNER + "' 2>/dev/null";
    std::printf("%s\n", BenchEnvironment::Describe().c_str());
    std::fflush(stdout);
    std::vector<double> baselines;
    std::vector<double> sequences;
    std::vector<double> overheads;
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        FILE* output = popen(command.c_str(), "r");
        if (output == nullptr) {
            return 1;
        }
        long long baseline = 0;
        long long sequence = 0;
        const int read = std::fscanf(output, "%lld %lld", &baseline, &sequence);
        pclose(output);
        if (read != 2 || baseline <= 0) {
            std::fprintf(stderr, "run %d gave no measurement (the sequence needs real-time priority: run as root)\n",
                         run);
            return 1;
        }
        baselines.push_back(static_cast<double>(baseline) / 1000.0);
        sequences.push_back(static_cast<double>(sequence) / 1000.0);
        overheads.push_back(static_cast<double>(sequence - baseline) / 1000.0 / ProcessCount);
        ratios.push_back(static_cast<double>(sequence) / static_cast<double>(baseline));
    }
    const Spread overhead = SpreadOf(overheads);
    const Spread baseline = SpreadOf(baselines);
    const Spread sequence = SpreadOf(sequences);
    const Spread ratio = SpreadOf(ratios);
    std::printf("runs %d, %d processes each (median [min..max]):\n", runs, ProcessCount);
    std::printf("per process above its own exit: %.2f ms [%.2f..%.2f], %.2f [%.2f..%.2f] of the %.0f ms poll\n",
                overhead.median, overhead.min, overhead.max, overhead.median / PollMs, overhead.min / PollMs,
                overhead.max / PollMs, PollMs);
    std::printf("baseline (SIGTERM and wait, one after another): %.1f ms [%.1f..%.1f], %.2f ms per process\n",
                baseline.median, baseline.min, baseline.max, baseline.median / ProcessCount);
    std::printf("shutdown sequence (start to end of main pass): %.1f ms [%.1f..%.1f]\n", sequence.median, sequence.min,
                sequence.max);
    std::printf("sequence / baseline: %.1f [%.1f..%.1f] (follows the baseline's exit times)\n", ratio.median, ratio.min,
                ratio.max);
    std::printf("after the run: %s\n", BenchEnvironment::Load().c_str());
    return 0;
}
