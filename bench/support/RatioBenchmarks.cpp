#include "RatioBenchmarks.h"

#include "BenchEnvironment.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace {
constexpr const char IterationsOption[] = "--iterations=";
constexpr const char InterleavingOption[] = "--benchmark_enable_random_interleaving";

// One measured quantity over the repetitions, in seconds.
struct Spread
{
    double median = 0;
    double min = 0;
    double max = 0;
};

double Minimum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Maximum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// Collects what the console shows, as seconds per iteration, by operand name.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal, as Google Benchmark's own console does.
    RatioReporter() : benchmark::ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                failed_ = true;
                continue;
            }
            // The case as registered, without what a fixed iteration count adds to its name.
            const std::string name = run.run_name.function_name;
            const double perSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
            Record(name, run, run.GetAdjustedCPUTime() / perSecond);
            for (const auto& counter : run.counters) {
                Record(name + ":" + counter.first, run, counter.second.value);
            }
        }
    }

    bool Failed() const { return failed_; }

    // An operand, or a sum of operands joined by '+'.
    std::optional<Spread> Find(const std::string& operand) const
    {
        const std::size_t plus = operand.find('+');
        if (plus == std::string::npos) {
            return FindOne(operand);
        }
        const std::optional<Spread> first = FindOne(operand.substr(0, plus));
        const std::optional<Spread> rest = Find(operand.substr(plus + 1));
        if (!first || !rest) {
            return std::nullopt;
        }
        return Spread{first->median + rest->median, first->min + rest->min, first->max + rest->max};
    }

private:
    std::optional<Spread> FindOne(const std::string& operand) const
    {
        const auto found = values_.find(operand);
        if (found == values_.end()) {
            return std::nullopt;
        }
        const Values& v = found->second;
        if (v.median) {
            return Spread{*v.median, v.min.value_or(*v.median), v.max.value_or(*v.median)};
        }
        // Without repetitions there are no aggregates: the single run it is.
        if (v.single.empty()) {
            return std::nullopt;
        }
        std::vector<double> sorted = v.single;
        std::sort(sorted.begin(), sorted.end());
        return Spread{sorted[sorted.size() / 2], Minimum(sorted), Maximum(sorted)};
    }

    struct Values
    {
        std::optional<double> median;
        std::optional<double> min;
        std::optional<double> max;
        std::vector<double> single;
    };

    void Record(const std::string& operand, const Run& run, double value)
    {
        Values& v = values_[operand];
        if (run.run_type == Run::RT_Iteration) {
            v.single.push_back(value);
        } else if (run.aggregate_name == "median") {
            v.median = value;
        } else if (run.aggregate_name == "min") {
            v.min = value;
        } else if (run.aggregate_name == "max") {
            v.max = value;
        }
    }

    std::map<std::string, Values> values_;
    bool failed_ = false;
};

// Seconds as the console would show them: in the largest unit below 1000.
std::string Readable(double seconds)
{
    const char* unit = "s";
    double value = seconds;
    for (const char* smaller : {"ms", "us", "ns"}) {
        if (value >= 1.0) {
            break;
        }
        value *= 1000.0;
        unit = smaller;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3g %s", value, unit);
    return text;
}

std::string Described(const Spread& s)
{
    return Readable(s.median) + " [" + Readable(s.min) + ".." + Readable(s.max) + "]";
}

// The count of --iterations=N, removed from the arguments: 0 when absent,
// nothing when it is no count.
std::optional<long> TakeIterations(std::vector<char*>& arguments)
{
    long iterations = 0;
    for (auto it = arguments.begin(); it != arguments.end();) {
        if (std::strncmp(*it, IterationsOption, sizeof IterationsOption - 1) != 0) {
            ++it;
            continue;
        }
        char* end = nullptr;
        iterations = std::strtol(*it + sizeof IterationsOption - 1, &end, 10);
        if (end == nullptr || *end != '\0' || iterations < 1) {
            return std::nullopt;
        }
        it = arguments.erase(it);
    }
    return iterations;
}
} // namespace

int RatioBenchmarks::Main(int argc, char** argv, const std::vector<Case>& cases, const std::vector<Ratio>& ratios)
{
    std::vector<char*> arguments(argv, argv + argc);
    const std::optional<long> iterations = TakeIterations(arguments);
    if (!iterations) {
        std::fprintf(stderr, "%s: --iterations needs a count of at least 1\n", argv[0]);
        return 1;
    }
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    const bool chosen = std::any_of(arguments.begin() + 1, arguments.end(), [](const char* a) {
        return std::strncmp(a, InterleavingOption, sizeof InterleavingOption - 1) == 0;
    });
    if (!chosen && *iterations == 0) {
        arguments.insert(arguments.begin() + 1, interleaving);
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }

    for (const Case& c : cases) {
        benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(c.name.c_str(), c.function);
        b->Unit(c.unit)->ComputeStatistics("min", Minimum)->ComputeStatistics("max", Maximum);
        if (*iterations > 0) {
            b->Iterations(*iterations)->Repetitions(1);
        } else if (c.iterations > 0) {
            b->Iterations(c.iterations);
        }
    }

    std::printf("%s\n", BenchEnvironment::Describe().c_str());
    std::fflush(stdout);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::ostream& out = reporter.GetOutputStream();
    out << "after the run: " << BenchEnvironment::Load() << "\n";
    bool complete = !reporter.Failed();
    bool header = false;
    for (const Ratio& r : ratios) {
        const std::optional<Spread> n = reporter.Find(r.numerator);
        const std::optional<Spread> d = reporter.Find(r.denominator);
        if (!n || !d || d->median <= 0) {
            continue; // a filter left one side out
        }
        if (!header) {
            out << "\nratios of the medians (median [min..max] over the repetitions):\n";
            header = true;
        }
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.3f", n->median / d->median);
        out << "  " << r.what << ": " << ratio << "  = " << Described(*n) << " / " << Described(*d) << "\n";
    }
    out.flush();
    return complete ? 0 : 1;
}
