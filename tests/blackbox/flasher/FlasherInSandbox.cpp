#include "FlasherInSandbox.h"

#include "SandboxRunner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

FlasherInSandbox::FlasherInSandbox(const std::string& name)
    : dir_(std::string(UPGRADE_SCRATCH_DIR) + "/" + name), store_(dir_ + "/store"), firmware_(dir_ + "/firmware")
{
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    fs::create_directories(store_);
    fs::create_directories(firmware_);
}

void FlasherInSandbox::WriteFirmware(const std::string& name, const std::vector<unsigned char>& bytes) const
{
    std::ofstream out(firmware_ + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void FlasherInSandbox::WriteStoreFile(const std::string& name, const std::string& content) const
{
    std::ofstream out(store_ + "/" + name, std::ios::binary | std::ios::trunc);
    out << content;
}

std::optional<std::string> FlasherInSandbox::ReadStoreFile(const std::string& name) const
{
    const std::string path = store_ + "/" + name;
    if (!fs::exists(path)) {
        return std::nullopt;
    }
    return ReadWhole(path);
}

FlasherOutcome FlasherInSandbox::Run(const std::vector<std::string>& args, const std::string& tty,
                                     std::chrono::seconds limit) const
{
    std::vector<std::string> command = {SandboxRunner::Path(), "--store", store_};
    if (!tty.empty()) {
        command.push_back("--tty");
        command.push_back(tty);
    }
    for (const std::string& bind : std::initializer_list<std::string>{"--ro-bind", firmware_, "/firmware"}) {
        command.push_back(bind);
    }
    command.push_back("--");
    command.push_back(UPGRADE_FLASHER_PROGRAM);
    command.insert(command.end(), args.begin(), args.end());

    std::vector<char*> argv;
    for (std::string& a : command) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("PWD=", 0) != 0) {
            environment.emplace_back(*e);
        }
    }
    environment.emplace_back("PWD=/");
    std::vector<char*> envp;
    for (std::string& e : environment) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    const std::string outPath = dir_ + "/stdout";
    const std::string errPath = dir_ + "/stderr";
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::chdir("/") != 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }

    FlasherOutcome outcome;
    if (child < 0) {
        return outcome;
    }
    int wstatus = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &wstatus, WNOHANG);
        if (done == child) {
            outcome.finished = true;
            break;
        }
        if (done < 0 && errno != EINTR) {
            break;
        }
        if (std::chrono::steady_clock::now() - start > limit) {
            // Our own child; the sandbox takes the flasher down with it.
            ::kill(child, SIGKILL);
            ::waitpid(child, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (outcome.finished && WIFEXITED(wstatus)) {
        outcome.status = WEXITSTATUS(wstatus);
    }
    outcome.out = ReadWhole(outPath);
    outcome.err = ReadWhole(errPath);
    return outcome;
}
