#pragma once

#include <string>

// What a test run under user-mode emulation (a cross build's tests under
// qemu-user) cannot do, found out at run time. Each answer is empty where
// the thing works, and otherwise the reason, for a skipped test. Natively
// every answer is empty. Thread-safe; each question is asked once per
// process except WhyCannotStart.
class EmulationLimits
{
public:
    // The host cannot start `program` by itself: it is built for another
    // machine than the host's own programs, and nothing routes it through
    // the emulator.
    static std::string WhyCannotStart(const std::string& program);

    // posix_spawn reports an exec that failed as a started child (the
    // emulator runs the C library's vfork as a fork).
    static const std::string& WhySpawnHidesExecFailures();

    // timer_create with thread notification is refused.
    static const std::string& WhyNoThreadTimers();

    // /proc/<pid>/task/<id>/syscall shows the host's system call numbers,
    // not this program's.
    static const std::string& WhySystemCallsUnreadable();
};
