#pragma once

#include <string>

// What a benchmark's figures depend on besides the code: how busy the
// machine was and whether the program's threads got the real-time scheduling
// they ask for. Every harness prints this beside its figures, so that a
// figure read later can be matched with the conditions it was taken under.
class BenchEnvironment
{
public:
    // "2 processors, load average 0.52 0.31 0.20": processors online and the
    // 1, 5 and 15 minute load averages.
    static std::string Load();

    // Whether this process may start a thread with round-robin real-time
    // scheduling, as the programs' own threads ask for. Without it (an
    // unprivileged process) those threads run with the default policy.
    static bool RealTimeGranted();

    // One line with both, e.g. "machine: 2 processors, load average 0.52
    // 0.31 0.20; real-time scheduling granted".
    static std::string Describe();
};
