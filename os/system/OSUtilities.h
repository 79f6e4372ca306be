#pragma once

#include "StringProperty.h"

#include <cstdio>
#include <string>
#include <vector>

// Platform services that are not threads, events or timers. Every operation
// keeps no state and may be called from any thread. The bodies here are the
// defaults for a platform without the service: nothing happens and the
// result says so (empty, 0 or false); the platform class overrides what it has.
class OSUtilities
{
public:
    static constexpr unsigned int InfiniteTimeout = 0xFFFFFFFFu;

    OSUtilities() = default;
    virtual ~OSUtilities();

    OSUtilities(const OSUtilities&) = delete;
    OSUtilities& operator=(const OSUtilities&) = delete;

    virtual std::vector<std::string> GetSystemFonts() const;
    // Starts program with arguments and waits up to timeoutMs (InfiniteTimeout:
    // until it ends; 0: not at all). Stores the child's pid (-1 when it did not
    // start). Returns its exit code, or -1 when it did not start, did not end
    // in time or was ended by a signal; with time-out 0, 0 once it started.
    // The three reserved parameters go on to the child's start unread.
    virtual int RunProcess(const std::string& program, const std::vector<std::string>& arguments, int& pid,
                           unsigned int timeoutMs, unsigned int reservedNumber, const std::string& reservedFirst,
                           const std::string& reservedSecond) const;
    virtual PropertyList GetOSProperties() const;
    virtual PropertyList GetSDKProperties() const;
    // Locks or unlocks the whole file for this process (wait: block until the
    // lock is free, else fail at once). The file position is kept. True on success.
    virtual bool LockFile(FILE* file, bool wait) const;
    virtual bool UnlockFile(FILE* file) const;
    virtual std::string GetCurrentThreadName() const;
    virtual void SetTimeZone(const std::string& zone) const;
    virtual std::string GetProgramDataFolder() const;
    // Stops the flash file-system driver and runs the system shutdown, which
    // restarts the machine and does not return on the printer.
    virtual void RestartSystem() const;
    // The process id of the first process whose listing matches name, 0 when
    // none does, -1 when the name cannot be looked up (too long, or holding a
    // quote or a control character) or the listing cannot be run.
    virtual int GetProcessIdByName(const std::string& name) const;
    // Ends the process: SIGTERM, and SIGKILL when it is still there about a
    // second later. True when it is gone; false for pid < 1 or a process
    // that does not exist or cannot be signalled.
    virtual bool KillProcessById(int pid) const;
};
