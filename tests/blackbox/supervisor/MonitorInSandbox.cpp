#include "MonitorInSandbox.h"

#include "PreferenceRecord.h"
#include "SandboxRunner.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr std::chrono::milliseconds PollStep{20};
// The whole run, however it goes: the driver's sandbox never outlives it.
constexpr const char* RunLimitSeconds = "150";

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the whole line into a pipe that may have no reader yet.
bool WriteToPipe(const std::string& path, const std::string& line)
{
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ssize_t written;
    do {
        written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    close(fd);
    return written == static_cast<ssize_t>(line.size());
}

} // namespace

MonitorInSandbox::MonitorInSandbox(const std::string& name) : dir_(std::string(UPGRADE_SCRATCH_DIR) + "/" + name)
{
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    fs::create_directories(dir_ + "/store");
    fs::create_directories(dir_ + "/film");
    mkfifo((dir_ + "/commands").c_str(), 0600);
}

MonitorInSandbox::~MonitorInSandbox()
{
    if (sandbox_ > 0 && !Reap(std::chrono::seconds(0))) {
        kill(sandbox_, SIGTERM);
        Reap(std::chrono::seconds(30));
    }
}

void MonitorInSandbox::WritePreferences(const std::string& language) const
{
    std::ofstream(dir_ + "/store/AppPreferences.json", std::ios::binary) << PreferenceRecord(language);
}

bool MonitorInSandbox::Start(const std::vector<std::string>& args,
                             const std::vector<std::pair<std::string, std::string>>& environment)
{
    std::vector<std::string> command = {"/usr/bin/timeout",
                                        RunLimitSeconds,
                                        SandboxRunner::Path(),
                                        "--store",
                                        dir_ + "/store",
                                        "--program",
                                        UPGRADE_MONITOR_PROGRAM,
                                        "--bind",
                                        dir_,
                                        dir_,
                                        "--setenv",
                                        "UPGRADE_SCREEN_FILM",
                                        dir_ + "/film",
                                        "--setenv",
                                        "UPGRADE_SCREEN_TOUCH",
                                        dir_ + "/touch"};
    for (const auto& entry : environment) {
        command.insert(command.end(), {"--setenv", entry.first, entry.second});
    }
    command.insert(command.end(), {"--", "/bin/bash", UPGRADE_MONITOR_DRIVER, dir_});
    command.insert(command.end(), driverOptions_.begin(), driverOptions_.end());
    command.push_back(UPGRADE_MONITOR_PROGRAM);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : command) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const std::string outPath = dir_ + "/sandbox.out";
    sandbox_ = fork();
    if (sandbox_ == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
            _exit(126);
        }
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    return sandbox_ > 0;
}

MonitorInSandbox::Clock::time_point MonitorInSandbox::Send(const std::string& command) const
{
    WriteToPipe(dir_ + "/commands", command + "\n");
    return Clock::now();
}

bool MonitorInSandbox::Touch(int x, int y, std::chrono::seconds limit) const
{
    const auto deadline = Clock::now() + limit;
    const std::string line = std::to_string(x) + " " + std::to_string(y) + "\n";
    while (!WriteToPipe(dir_ + "/touch", line)) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(PollStep);
    }
    return true;
}

std::string MonitorInSandbox::FramePath(int number) const
{
    char name[32];
    std::snprintf(name, sizeof name, "/film/frame-%05d.png", number);
    return dir_ + name;
}

ScreenPicture MonitorInSandbox::WaitForFrame(int number, std::chrono::seconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        // A frame being written does not decode yet.
        ScreenPicture frame = ScreenPicture::FromFile(FramePath(number));
        if (frame.width > 0) {
            if (framesSeen_.size() < static_cast<std::size_t>(number)) {
                framesSeen_.resize(static_cast<std::size_t>(number), Clock::time_point{});
            }
            if (framesSeen_[static_cast<std::size_t>(number - 1)] == Clock::time_point{}) {
                framesSeen_[static_cast<std::size_t>(number - 1)] = Clock::now();
            }
            return frame;
        }
        if (Clock::now() > deadline) {
            return {};
        }
        std::this_thread::sleep_for(PollStep);
    }
}

bool MonitorInSandbox::HasFrame(int number) const
{
    return fs::exists(FramePath(number));
}

MonitorInSandbox::Clock::time_point MonitorInSandbox::FrameSeen(int number) const
{
    return static_cast<std::size_t>(number) <= framesSeen_.size() ? framesSeen_[static_cast<std::size_t>(number - 1)]
                                                                  : Clock::time_point{};
}

std::optional<int> MonitorInSandbox::WaitForExit(std::chrono::seconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        std::istringstream log(DriverLog());
        std::string line;
        while (std::getline(log, line)) {
            const auto at = line.find(" exit ");
            if (at != std::string::npos) {
                exitSeen_ = Clock::now();
                Reap(std::chrono::seconds(30));
                return std::stoi(line.substr(at + 6));
            }
        }
        if (Clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(PollStep);
    }
}

bool MonitorInSandbox::WaitForLog(const std::string& text, std::chrono::seconds limit) const
{
    const auto deadline = Clock::now() + limit;
    while (DriverLog().find(text) == std::string::npos) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(PollStep);
    }
    return true;
}

bool MonitorInSandbox::Reap(std::chrono::seconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(sandbox_, &status, WNOHANG);
        if (done == sandbox_ || (done < 0 && errno != EINTR)) {
            sandbox_ = -1;
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(PollStep);
    }
}

std::string MonitorInSandbox::ProgramErrors() const
{
    return ReadWhole(dir_ + "/err");
}

std::string MonitorInSandbox::DriverLog() const
{
    return ReadWhole(dir_ + "/log");
}

std::string MonitorInSandbox::SlayLog() const
{
    return ReadWhole(dir_ + "/film/slay.log");
}
