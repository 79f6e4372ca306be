#pragma once

#include "ScreenPicture.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Runs the real RadioFlashMonitor in the simulated printer under the driver
// script (monitor-driver.sh), which plays the upgrade script's part on the
// test's commands, with the display filmed and a touch pipe. Each instance
// owns a fresh scratch folder in the build tree:
//   store/    bound as "/Store"
//   film/     the filmed frames and slay.log
//   touch     the display's touch pipe
//   commands  the driver's command pipe; log, err: see the driver
// Times are taken on the test's steady clock when the test sees an event.
class MonitorInSandbox
{
public:
    using Clock = std::chrono::steady_clock;

    // name: a file-name-safe label of the test; the folder is emptied first.
    explicit MonitorInSandbox(const std::string& name);
    // Ends a sandbox still running (the one this object started).
    ~MonitorInSandbox();

    MonitorInSandbox(const MonitorInSandbox&) = delete;
    MonitorInSandbox& operator=(const MonitorInSandbox&) = delete;

    // A preference file whose display language is language.
    void WritePreferences(const std::string& language) const;
    // A file the driver creates in /ramdisk/ as an earlier run left it, in a
    // second before the one it starts the program in.
    void CreateInAnEarlierRun(const std::string& name)
    {
        driverOptions_.insert(driverOptions_.end(), {"--create-old", name});
    }
    // A file the driver creates in /ramdisk/ right after it started the
    // program, before the program watches the directory.
    void CreateRightAfterStart(const std::string& name)
    {
        driverOptions_.insert(driverOptions_.end(), {"--create-after-start", name});
    }
    // Starts the program with args; environment entries go into the sandbox.
    bool Start(const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& environment = {});
    // One command line to the driver ("create NAME...", "flood N", "signal NAME...").
    // Returns when it was written; the time it was sent.
    Clock::time_point Send(const std::string& command) const;
    // A finger down and up at (x, y), once the display's touch pipe takes it.
    bool Touch(int x, int y, std::chrono::seconds limit) const;

    // Frame number (from 1) once it is filmed and decodes; empty after limit.
    ScreenPicture WaitForFrame(int number, std::chrono::seconds limit);
    bool HasFrame(int number) const;
    // When WaitForFrame saw that frame.
    Clock::time_point FrameSeen(int number) const;

    // The program's exit status once the driver saw it end, after which the
    // sandbox is reaped; empty after limit.
    std::optional<int> WaitForExit(std::chrono::seconds limit);
    Clock::time_point ExitSeen() const { return exitSeen_; }

    // True once the driver's log has a line containing text.
    bool WaitForLog(const std::string& text, std::chrono::seconds limit) const;

    std::string ProgramErrors() const;
    std::string DriverLog() const;
    std::string SlayLog() const;

private:
    std::string FramePath(int number) const;
    bool Reap(std::chrono::seconds limit);

    std::string dir_;
    std::vector<std::string> driverOptions_;
    pid_t sandbox_ = -1;
    std::vector<Clock::time_point> framesSeen_;
    Clock::time_point exitSeen_{};
};
