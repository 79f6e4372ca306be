#include "QnxOSUtilities.h"

#include "EventFactory.h"
#include "LifetimeManager.h"
#include "SystemTimeZone.h"
#include "shutdown_system.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The buffer the lookup's output is read in.
constexpr size_t ProcessLookupBufferSize = 282;
// The longest name looked up: the one whose command, without grep's "-e",
// just fits the buffer.
constexpr size_t MaximumProcessNameLength = 250;
constexpr int TerminateProbes = 10;
// An int constant: the platforms disagree on the type of the size parameter.
constexpr int ThreadNameBufferSize = 255;
constexpr unsigned int TerminateProbeIntervalMs = 100;

std::string RemoveNewLine(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c != '\n') {
            result += c;
        }
    }
    return result;
}

// A name that could end the quotes it is placed in, or a control character
// that could end or split the shell's command line, is not a process name.
bool IsSafeProcessName(const std::string& name)
{
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\'' || byte < 0x20u || byte == 0x7Fu) {
            return false;
        }
    }
    return true;
}

std::string ReadAll(FILE* stream)
{
    std::string text;
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        text.append(buffer, got);
    }
    return text;
}

bool ProcessExists(int pid)
{
    sigval value{};
    value.sival_int = 0;
    return sigqueue(pid, 0, value) == 0;
}

// Seeks to the start, applies the lockf command to the whole file and
// seeks back, as lockf covers the file from the current offset.
bool ApplyWholeFileLock(FILE* file, int command)
{
    if (file == nullptr) {
        return false;
    }
    const int fd = fileno(file);
    if (fd < 0) {
        return false;
    }
    const off_t offset = lseek(fd, 0, SEEK_CUR);
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return false;
    }
    int result;
    do {
        result = lockf(fd, command, 0);
    } while (result != 0 && errno == EINTR);
    if (offset >= 0) {
        lseek(fd, offset, SEEK_SET);
    }
    return result == 0;
}

} // namespace

QnxOSUtilities::~QnxOSUtilities() = default;

int QnxOSUtilities::RunProcess(const std::string& program, const std::vector<std::string>& arguments, int& pid,
                               unsigned int timeoutMs, unsigned int flags, const std::string& first,
                               const std::string& second) const
{
    LifetimeManager::ChildContext child =
        lifetimeManager.CreateChildAndWait(program, arguments, timeoutMs, flags, first, second);
    // A descriptor closed under the start by another thread: worth one retry.
    if (child.startError == EBADF) {
        child = lifetimeManager.CreateChildAndWait(program, arguments, timeoutMs, flags, first, second);
    }
    pid = child.pid;
    if (timeoutMs == 0) {
        return child.pid == -1 ? -1 : 0;
    }
    if ((child.status & 0xFF) != 0) {
        return -1;
    }
    return static_cast<int>(static_cast<int8_t>(static_cast<uint8_t>((child.status >> 8) & 0xFF)));
}

PropertyList QnxOSUtilities::GetOSProperties() const
{
    std::string kernel;
    // NOLINTNEXTLINE(cert-env33-c): a fixed command line without any outside input
    if (FILE* pipe = popen(QnxOSUtilitiesStrings::GetKernelVersion, "r")) {
        kernel = ReadAll(pipe);
        pclose(pipe);
    }
    std::string build;
    if (FILE* file = std::fopen(QnxOSUtilitiesStrings::OsBuildFileName, "re")) {
        build = ReadAll(file);
        (void)std::fclose(file);
    }
    return {{OSPropertyNames::KernelVersion, RemoveNewLine(kernel)},
            {OSPropertyNames::OsBuildNumber, RemoveNewLine(build)}};
}

PropertyList QnxOSUtilities::GetSDKProperties() const
{
    utsname system{};
    if (uname(&system) != 0) {
        return {};
    }
    return {{OSPropertyNames::SdkVersion, system.release}, {OSPropertyNames::SdkBuildNumber, system.version}};
}

bool QnxOSUtilities::LockFile(FILE* file, bool wait) const
{
    return ApplyWholeFileLock(file, wait ? F_LOCK : F_TLOCK);
}

bool QnxOSUtilities::UnlockFile(FILE* file) const
{
    return ApplyWholeFileLock(file, F_ULOCK);
}

std::string QnxOSUtilities::GetCurrentThreadName() const
{
    char name[ThreadNameBufferSize] = {};
    if (pthread_getname_np(pthread_self(), name, ThreadNameBufferSize) != 0) {
        return {};
    }
    return name;
}

void QnxOSUtilities::SetTimeZone(const std::string& zone) const
{
    SetSystemTimeZone(zone);
}

void QnxOSUtilities::RestartSystem() const
{
    const int driver = GetProcessIdByName(QnxOSUtilitiesStrings::EtfsProcessName);
    KillProcessById(driver);
    shutdown_system(SHUTDOWN_REBOOT, 0);
}

int QnxOSUtilities::GetProcessIdByName(const std::string& name) const
{
    if (!IsSafeProcessName(name) || name.size() > MaximumProcessNameLength) {
        return -1;
    }
    const std::string command =
        QnxOSUtilitiesStrings::FindProcessNameCmdPrefix + name + QnxOSUtilitiesStrings::CutOutput;
    // NOLINTNEXTLINE(cert-env33-c): the name stands in single quotes and holds none (checked above)
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string output;
    char buffer[ProcessLookupBufferSize];
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        if (std::fgets(buffer, static_cast<int>(sizeof buffer) - 1, pipe) == nullptr) {
            break;
        }
        output += buffer;
    }
    pclose(pipe);
    // atoi's leading number, without its undefined overflow.
    const long pid = std::strtol(output.c_str(), nullptr, 10);
    return pid > 0 && pid <= INT_MAX ? static_cast<int>(pid) : 0;
}

bool QnxOSUtilities::KillProcessById(int pid) const
{
    if (SignalPidToTerminate(SIGTERM, pid)) {
        return true;
    }
    return SignalPidToTerminate(SIGKILL, pid);
}

bool QnxOSUtilities::SignalPidToTerminate(unsigned char signal, int pid)
{
    if (pid < 1 || (signal != SIGTERM && signal != SIGKILL)) {
        return false;
    }
    if (!ProcessExists(pid)) {
        return false;
    }
    if (kill(pid, signal) != 0) {
        return false;
    }
    if (!ProcessExists(pid)) {
        return true;
    }
    std::unique_ptr<SimpleEvent> pause = EventFactory::GetUniqueSimpleEvent(true);
    for (int probe = 0; probe < TerminateProbes; ++probe) {
        pause->Wait(TerminateProbeIntervalMs);
        if (!ProcessExists(pid)) {
            return true;
        }
    }
    return false;
}
