#pragma once

#include "OSUtilities.h"

// The OS utilities of the printer's QNX system. The process operations run
// "ps", "grep" and "cut" through a shell and signal processes by id.
class QnxOSUtilities : public OSUtilities
{
public:
    QnxOSUtilities() = default;
    ~QnxOSUtilities() override;

    int RunProcess(const std::string& program, const std::vector<std::string>& arguments, int& pid,
                   unsigned int timeoutMs, unsigned int reservedNumber, const std::string& reservedFirst,
                   const std::string& reservedSecond) const override;
    // The kernel version ("uname -k") and the OS build number ("/etc/build_number",
    // empty when absent), newlines removed.
    PropertyList GetOSProperties() const override;
    // The SDK version and build number: uname's release and version fields.
    PropertyList GetSDKProperties() const override;
    bool LockFile(FILE* file, bool wait) const override;
    bool UnlockFile(FILE* file) const override;
    std::string GetCurrentThreadName() const override;
    // Sets the system's time-zone string.
    void SetTimeZone(const std::string& zone) const override;
    void RestartSystem() const override;
    int GetProcessIdByName(const std::string& name) const override;
    bool KillProcessById(int pid) const override;

    // The terminate step: refuses pid < 1 and signals other than SIGTERM and
    // SIGKILL; sends the signal and watches the process for about a second.
    // True when the process is gone.
    static bool SignalPidToTerminate(unsigned char signal, int pid);
};

// Process-wide constants of the OS utilities.
namespace QnxOSUtilitiesStrings {
inline constexpr const char* GetKernelVersion = "uname -k";
inline constexpr const char* OsBuildFileName = "/etc/build_number";
// "-e": the name is always grep's pattern, also when it begins with '-'.
inline constexpr const char* FindProcessNameCmdPrefix = "ps -A | grep -e '";
inline constexpr const char* CutOutput = "'| cut -d '?' -f 1";
inline constexpr const char* EtfsProcessName = "fs-etfs-jacinto5_micron";
} // namespace QnxOSUtilitiesStrings
