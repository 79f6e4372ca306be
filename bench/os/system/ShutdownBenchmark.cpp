// Runs the shutdown measurement several times, each in a fresh sandbox, and
// prints the medians and their ratio.
//   shutdown_bench [RUNS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string command = std::string("'") + SANDBOX + "' -- '" + RUNNER + "' 2>/dev/null";
    std::vector<double> baselines;
    std::vector<double> sequences;
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        FILE* output = popen(command.c_str(), "r");
        if (output == nullptr)
            return 1;
        long long baseline = 0;
        long long sequence = 0;
        const int read = std::fscanf(output, "%lld %lld", &baseline, &sequence);
        pclose(output);
        if (read != 2 || baseline <= 0) {
            std::fprintf(stderr, "run %d gave no measurement\n", run);
            return 1;
        }
        baselines.push_back(static_cast<double>(baseline) / 1000.0);
        sequences.push_back(static_cast<double>(sequence) / 1000.0);
        ratios.push_back(static_cast<double>(sequence) / static_cast<double>(baseline));
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf("runs %d, 50 processes each\n", runs);
    std::printf("baseline (SIGTERM and wait, one after another): median %.1f ms\n", median(baselines));
    std::printf("shutdown sequence (start to end of main pass): median %.1f ms\n", median(sequences));
    std::printf("ratio: median %.1f (min %.1f, max %.1f)\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    std::printf("per process: %.2f ms above its own exit\n",
                (median(sequences) - median(baselines)) / 50.0);
    return 0;
}
