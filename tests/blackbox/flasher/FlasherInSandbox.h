#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct FlasherOutcome
{
    bool finished = false; // false: killed after the time limit
    int status = -1;       // exit status when it exited normally
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

// Runs the real ModuleFlasher in the simulated printer (tools/sandbox), for
// black-box tests. Each instance owns a fresh scratch folder in the build
// tree with
//   store/     bound as "/Store"
//   firmware/  bound read-only as "/firmware", for the images to upload
// The program runs with "/" as its working directory, so a relative name
// such as "firmware/fw.bin" means "/firmware/fw.bin".
class FlasherInSandbox
{
public:
    // name: a file-name-safe label of the test; the folder is emptied first.
    explicit FlasherInSandbox(const std::string& name);

    FlasherInSandbox(const FlasherInSandbox&) = delete;
    FlasherInSandbox& operator=(const FlasherInSandbox&) = delete;

    void WriteFirmware(const std::string& name, const std::vector<unsigned char>& bytes) const;
    void WriteStoreFile(const std::string& name, const std::string& content) const;
    // Nothing when the file does not exist.
    std::optional<std::string> ReadStoreFile(const std::string& name) const;

    // Runs ModuleFlasher with args; tty (may be empty: no "/dev/wifi1") is
    // bound as the module's serial port. A run longer than limit is killed.
    FlasherOutcome Run(const std::vector<std::string>& args, const std::string& tty, std::chrono::seconds limit) const;

private:
    std::string dir_;
    std::string store_;
    std::string firmware_;
};
