// The ModuleFlasher program on the simulated printer (tools/sandbox): its
// options, exit status and standard output.
#include "ModuleSimulator.h"
#include "OpenWatch.h"
#include "PseudoTerminalPair.h"
#include "SandboxTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace std::chrono_literals;

namespace {

struct ProgramRun
{
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program in the sandbox with the given terminal at /dev/wifi1.
ProgramRun RunFlasher(const std::string& tty, const std::vector<std::string>& options, const std::string& store = "")
{
    std::vector<std::string> words = {SandboxRunner::Path(), "--tty", tty};
    if (!store.empty()) {
        words.insert(words.end(), {"--store", store});
    }
    words.insert(words.end(), {"--", MODULE_FLASHER});
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    ProgramRun run;
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned == 0) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        int open = 2;
        while (open > 0 && poll(fds, 2, 60000) > 0) {
            for (pollfd& fd : fds) {
                if (fd.fd < 0 || fd.revents == 0) {
                    continue;
                }
                char block[4096];
                const ssize_t n = read(fd.fd, block, sizeof block);
                if (n <= 0) {
                    fd.fd = -1;
                    --open;
                } else {
                    (fd.fd == out[0] ? run.out : run.err).append(block, static_cast<std::size_t>(n));
                }
            }
        }
        int status = 0;
        waitpid(child, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(out[0]);
    close(err[0]);
    return run;
}

class ProgramWithoutModule : public SandboxTest
{
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(port.IsWatching());
    }

    PseudoTerminalPair line;
    OpenWatch port{line.SerialPath()};
};

using ProgramWithModule = SandboxTest;

} // namespace

TEST_F(ProgramWithoutModule, UnknownOptionOrMissingArgumentIsStatusOneWithoutTouchingThePort)
{
    for (const std::vector<std::string>& options : {std::vector<std::string>{"-x"},
                                                    {"--flash", "a.bin"},
                                                    {"-f"},
                                                    {"-t"},
                                                    {"--target-version"},
                                                    {"-v", "--firmware-file"}}) {
        const ProgramRun run = RunFlasher(line.SerialPath(), options);
        EXPECT_EQ(run.status, 1) << options.front();
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "") << "the parser says what is wrong";
    }
    EXPECT_FALSE(port.Opened());
}

TEST_F(ProgramWithoutModule, FirmwareFileWithoutTargetVersionIsStatusOneWithoutTouchingThePort)
{
    const ProgramRun run = RunFlasher(line.SerialPath(), {"-f", "/etc/hostname", "-v"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(port.Opened());
}

TEST_F(ProgramWithoutModule, NoOptionOrOnlyATargetIsStatusZeroWithoutOutputOrPortAccess)
{
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"-t", "1.2.3"}, {"--target-version=2"}}) {
        const ProgramRun run = RunFlasher(line.SerialPath(), options);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
    }
    EXPECT_FALSE(port.Opened());
}

TEST_F(ProgramWithoutModule, MissingImageIsStatusOneBeforeAnySerialTraffic)
{
    for (const char* image : {"/nonexistent.bin", "/etc", "/dev/null", "relative-missing.bin"}) {
        const ProgramRun run = RunFlasher(line.SerialPath(), {"--firmware-file", image, "--target-version", "2.0.0"});
        EXPECT_EQ(run.status, 1) << image;
        EXPECT_EQ(run.out, "");
    }
    // Given twice, the last file counts: the first one exists.
    EXPECT_EQ(RunFlasher(line.SerialPath(), {"-f", MODULE_FLASHER, "-f", "/nonexistent.bin", "-t", "2"}).status, 1);
    EXPECT_FALSE(port.Opened());
}

TEST_F(ProgramWithoutModule, VersionQueryThatGetsNoAnswerPrintsAnEmptyLineAndKeepsStatusZero)
{
    const ProgramRun run = RunFlasher(line.SerialPath(), {"-v", "-t", "9.9"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err, "");
    // The port was opened and written to: the watch sees through the sandbox.
    EXPECT_TRUE(port.Opened());
    const FlasherProtocol::Bytes sent = line.Receive(100ms, 1s);
    EXPECT_EQ(std::string(sent.begin(), sent.end()), "AT+VER=?\r\n");
}

TEST_F(ProgramWithModule, VersionQueryPrintsOneLineAndKeepsTheRecord)
{
    ModuleConfig config;
    config.bootTime = 200ms;
    config.versionBefore = "1.4.2";
    ModuleSimulator simulator(config);
    ASSERT_TRUE(simulator.Start());
    char name[] = "/tmp/flasher-store-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string store = name;

    const ProgramRun run = RunFlasher(simulator.PortPath(), {"--version"}, store);
    std::ifstream record(store + "/WifiFirmwareVersion.txt", std::ios::binary);
    std::ostringstream content;
    content << record.rdbuf();
    std::system(("rm -rf '" + store + "'").c_str());

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1.4.2\n");
    EXPECT_EQ(content.str(), "1.4.2");
    EXPECT_GE(simulator.Status().portOpenings, 1u);
}

TEST_F(ProgramWithModule, ReaderThatWentAwayDoesNotChangeTheStatus)
{
    ModuleConfig config;
    config.bootTime = 200ms;
    ModuleSimulator simulator(config);
    ASSERT_TRUE(simulator.Start());
    // `true` has closed the pipe long before the version line is written.
    const std::string command = "set -o pipefail; '" + SandboxRunner::Path() + "' --tty '" + simulator.PortPath() +
                                "' -- '" + MODULE_FLASHER + "' -v | true";
    const int status = std::system(("bash -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GE(simulator.Status().portOpenings, 1u);
}
