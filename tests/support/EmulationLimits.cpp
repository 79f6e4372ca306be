#include "EmulationLimits.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fstream>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* UnderEmulation = " (the tests run under user-mode emulation)";

// The machine field of an ELF file's header, or -1 when it is none.
int ElfMachine(const std::string& path)
{
    unsigned char header[20] = {};
    std::ifstream file(path, std::ios::binary);
    const unsigned char magic[4] = {0x7F, 'E', 'L', 'F'};
    if (!file.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header, magic, sizeof magic) != 0) {
        return -1;
    }
    // e_machine is at offset 18, in the byte order header[5] names (1: little-endian).
    return header[5] == 1 ? header[18] | (header[19] << 8) : (header[18] << 8) | header[19];
}

std::string SpawnProbe()
{
    char name[] = "/nonexistent/emulation-probe";
    char* argv[] = {name, nullptr};
    pid_t child = -1;
    const int result = posix_spawn(&child, name, nullptr, nullptr, argv, environ);
    if (result != 0) {
        return {};
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return std::string("posix_spawn reports a program that cannot be executed as a started child") + UnderEmulation;
}

void IgnoreExpiry(sigval)
{}

std::string TimerProbe()
{
    sigevent event = {};
    event.sigev_notify = SIGEV_THREAD;
    event.sigev_notify_function = &IgnoreExpiry;
    timer_t id{};
    if (timer_create(CLOCK_MONOTONIC, &event, &id) == 0) {
        timer_delete(id);
        return {};
    }
    return std::string("timer_create with thread notification fails: ") + std::strerror(errno) + UnderEmulation;
}

std::string SystemCallProbe()
{
    // A thread reading its own file is in read() while the kernel reports.
    std::ifstream file("/proc/self/task/" + std::to_string(syscall(SYS_gettid)) + "/syscall");
    long number = -1;
    if (file >> number && number == SYS_read) {
        return {};
    }
    return std::string("the kernel reports system calls by another machine's numbers") + UnderEmulation;
}

} // namespace

std::string EmulationLimits::WhyCannotStart(const std::string& program)
{
    const int machine = ElfMachine(program);
    const int host = ElfMachine("/bin/sh");
    if (machine < 0 || host < 0 || machine == host) {
        return {};
    }
    return "the host cannot start " + program + ", a program for another machine" + UnderEmulation;
}

const std::string& EmulationLimits::WhySpawnHidesExecFailures()
{
    static const std::string reason = SpawnProbe();
    return reason;
}

const std::string& EmulationLimits::WhyNoThreadTimers()
{
    static const std::string reason = TimerProbe();
    return reason;
}

const std::string& EmulationLimits::WhySystemCallsUnreadable()
{
    static const std::string reason = SystemCallProbe();
    return reason;
}
