#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// The main program of a benchmark whose figures are ratios of cases measured
// in the same run. It runs the cases through Google Benchmark (its options
// apply; repetitions run in random interleaving unless told otherwise, so
// that a change of load meets all cases alike), and adds:
//  - the machine's load and real-time scheduling before and after the run
//    (BenchEnvironment);
//  - after the usual table, one line per ratio whose two operands ran:
//    the ratio of the medians, then numerator and denominator as median
//    [min..max] over the repetitions;
//  - the option --iterations=N: every case runs exactly N iterations, once,
//    so that an instruction count (bench/count-instructions) can be divided
//    by N.
class RatioBenchmarks
{
public:
    struct Case
    {
        std::string name;
        void (*function)(benchmark::State&);
        benchmark::TimeUnit unit;
        // A fixed iteration count per repetition, for a case whose set-up
        // between rounds (outside the timing) costs far more than its
        // iterations; 0 leaves the count to Google Benchmark. --iterations
        // overrides it.
        long iterations = 0;
    };

    // An operand names a case ("BareDecode": its CPU time per iteration) or
    // one of its counters ("ShowPage:product": the counter's value, which the
    // case keeps in seconds per iteration); operands joined by '+' stand for
    // their sum.
    struct Ratio
    {
        std::string what;
        std::string numerator;
        std::string denominator;
    };

    // Returns the process's exit status: 0, or 1 when an option was not
    // understood or a case reported an error.
    static int Main(int argc, char** argv, const std::vector<Case>& cases, const std::vector<Ratio>& ratios);
};
