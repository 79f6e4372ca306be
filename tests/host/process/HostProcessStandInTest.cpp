// The host's process stand-ins, used in-process outside the sandbox: the
// safety guard first, then what the stand-ins report. Nothing here signals
// a process it did not start.
#include "MemoryOperation.h"
#include "shutdown_procfs.h"
#include "shutdown_rules.h"

#include "EmulationLimits.h"

#include <devctl.h>
#include <host_process.h>
#include <sys/neutrino.h>
#include <sys/procfs.h>
#include <sys/procmgr.h>
#include <sys/sysmgr.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The stand-ins read the numbers the shutdown sequence and the memory query
// send as the printer's system does: 6 detaches keeping the descriptors, and
// the system manager listens on its connection.
static_assert(ShutdownDaemonFlags == (PROCMGR_DAEMON_NOCLOSE | PROCMGR_DAEMON_NODEVNULL));
static_assert(MemoryOperation::SystemManagerConnection == SYSMGR_COID);

namespace {

int CountEntries(const char*, void* context)
{
    ++*static_cast<int*>(context);
    return 0;
}

constexpr const char* GuardCase = "HostProcessGuard.OutsideThePrivateNamespaceTheProcessViewIsEmpty";

TEST(HostProcessGuard, OutsideThePrivateNamespaceTheProcessViewIsEmpty)
{
    ASSERT_EQ(host_process_namespace_is_private(), 0);
    int entries = 0;
    EXPECT_EQ(shutdown_procfs_walk(CountEntries, &entries), 0);
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(shutdown_procfs_open_process(getpid()), -1);
    EXPECT_EQ(shutdown_procfs_open_process(1), -1);
    EXPECT_EQ(shutdown_procfs_open_command_line(getpid()), -1);
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs the case above in a PID namespace that bubblewrap makes without the
// simulated printer's runner (as another sandbox or a container gives one:
// its init is "bwrap" and /proc is its own), after `layout` and with `input`
// on standard input. Its output, which ends in one passed test when the
// view stayed empty there.
std::string GuardCaseInBubblewrap(const std::string& layout, const std::string& input)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        return "cannot find this test program";
    }
    const std::string command = "printf '%s' " + Quote(input) + " | bwrap " + layout +
                                " --proc /proc --dev /dev --unshare-pid --die-with-parent -- " + Quote(self) +
                                " --gtest_filter=" + GuardCase + " 2>&1";
    std::string output;
    if (FILE* run = popen(command.c_str(), "r")) {
        char block[4096];
        size_t got;
        while ((got = std::fread(block, 1, sizeof block, run)) > 0) {
            output.append(block, got);
        }
        pclose(run);
    }
    return output;
}

TEST(HostProcessGuard, ANamespaceTheSandboxRunnerDidNotMakeIsNotTrusted)
{
    if (std::system("command -v bwrap >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "bubblewrap (bwrap) is not installed";
    }
    // The case runs this test program again, inside bubblewrap.
    if (const std::string why = EmulationLimits::WhyCannotStart("/proc/self/exe"); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const std::string passed = "[  PASSED  ] 1 test.";
    // The host's own file system.
    const std::string bare = GuardCaseInBubblewrap("--ro-bind / /", "");
    EXPECT_NE(bare.find(passed), std::string::npos) << bare;

    // The mark's text in a plain file on a fresh root that shows the host's
    // top level, as a stray file would lie: not a read-only mount of its own.
    std::string layout = "--tmpfs /";
    for (const auto& entry : std::filesystem::directory_iterator("/")) {
        const std::string path = entry.path().string();
        if (path == "/proc" || path == "/dev") {
            continue;
        }
        if (entry.is_symlink()) {
            layout += " --symlink " + Quote(std::filesystem::read_symlink(entry.path()).string()) + " " + Quote(path);
        } else if (entry.is_directory()) {
            layout += " --ro-bind " + Quote(path) + " " + Quote(path);
        }
    }
    const std::string stray =
        GuardCaseInBubblewrap(layout + " --file 0 /.upgrade-sandbox", "simulated printer made by tools/sandbox\n");
    EXPECT_NE(stray.find(passed), std::string::npos) << stray;
}

// A child that waits on a pipe until the test lets it go.
class WaitingChild
{
public:
    WaitingChild()
    {
        if (pipe(release) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            close(release[1]);
            char byte;
            while (read(release[0], &byte, 1) < 0) {
            }
            _exit(0);
        }
        close(release[0]);
    }
    ~WaitingChild()
    {
        Release();
        Reap();
    }
    WaitingChild(const WaitingChild&) = delete;
    WaitingChild& operator=(const WaitingChild&) = delete;

    void Release()
    {
        if (release[1] >= 0) {
            close(release[1]);
            release[1] = -1;
        }
    }
    // Waits until it is a zombie, without reaping it.
    void WaitForExit() const
    {
        siginfo_t info{};
        waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    }
    void Reap()
    {
        if (pid > 0) {
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    pid_t pid = -1;

private:
    int release[2] = {-1, -1};
};

int OpenProcessFolder(pid_t pid)
{
    return open(("/proc/" + std::to_string(pid)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

TEST(HostProcessInformation, ReportsSessionParentAndStartTimeThenZombieThenGone)
{
    WaitingChild child;
    ASSERT_GT(child.pid, 0);
    const int fd = OpenProcessFolder(child.pid);
    ASSERT_GE(fd, 0);

    procfs_info info{};
    ASSERT_EQ(devctl(fd, DCMD_PROC_INFO, &info, sizeof info, nullptr), EOK);
    EXPECT_EQ(info.pid, child.pid);
    EXPECT_EQ(info.parent, getpid());
    EXPECT_EQ(info.sid, getsid(0));
    EXPECT_EQ(info.flags & _NTO_PF_ZOMBIE, 0u);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const uint64_t nowNs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    // Boot time is whole seconds and start times are in clock ticks.
    EXPECT_LE(info.start_time, nowNs + 2000000000ull);
    EXPECT_GE(info.start_time + 120000000000ull, nowNs);

    child.Release();
    child.WaitForExit();
    ASSERT_EQ(devctl(fd, DCMD_PROC_INFO, &info, sizeof info, nullptr), EOK);
    EXPECT_NE(info.flags & _NTO_PF_ZOMBIE, 0u);

    child.Reap();
    EXPECT_EQ(devctl(fd, DCMD_PROC_INFO, &info, sizeof info, nullptr), ESRCH);
    close(fd);
}

TEST(HostProcessInformation, OtherDescriptorsAndCommandsAreNotServed)
{
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(null, 0);
    procfs_info info{};
    EXPECT_EQ(devctl(null, DCMD_PROC_INFO, &info, sizeof info, nullptr), ENOTTY);
    close(null);
    const int self = OpenProcessFolder(getpid());
    ASSERT_GE(self, 0);
    EXPECT_EQ(devctl(self, DCMD_PROC_INFO + 1, &info, sizeof info, nullptr), ENOTTY);
    close(self);
}

// Points the stand-ins at a description for the duration of a test.
class Description
{
public:
    explicit Description(const std::string& text)
    {
        char name[] = "/tmp/process-description-XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        if (fd >= 0) {
            const ssize_t ignored = write(fd, text.data(), text.size());
            (void)ignored;
            close(fd);
        }
        setenv(HOST_PROCESS_DESCRIPTION_ENV, path.c_str(), 1);
    }
    ~Description()
    {
        unsetenv(HOST_PROCESS_DESCRIPTION_ENV);
        std::remove(path.c_str());
    }
    Description(const Description&) = delete;
    Description& operator=(const Description&) = delete;

private:
    std::string path;
};

TEST(HostConnections, ListsTheDescribedConnectionsInOrderAndTheNextOneAbove)
{
    Description description("# a client of two servers\n"
                            "500 connect 600\n"
                            "501 connect 700\n"
                            "500 remote 3 42\n"
                            "500 bogus 1\n"
                            "500 connect\n"
                            "500 connect 601\n");
    _server_info info{};
    ASSERT_EQ(ConnectServerInfo(500, 0, &info), 1);
    EXPECT_EQ(info.pid, 600);
    EXPECT_EQ(info.nd, 0u);
    ASSERT_EQ(ConnectServerInfo(500, 2, &info), 2);
    EXPECT_EQ(info.pid, 42);
    EXPECT_EQ(info.nd, 3u);
    ASSERT_EQ(ConnectServerInfo(500, 3, &info), 3);
    EXPECT_EQ(info.pid, 601);
    EXPECT_EQ(ConnectServerInfo(500, 4, &info), -1);
    EXPECT_EQ(ConnectServerInfo(502, 0, &info), -1);
}

TEST(HostConnections, NoDescriptionMeansNoConnections)
{
    unsetenv(HOST_PROCESS_DESCRIPTION_ENV);
    _server_info info{};
    EXPECT_EQ(ConnectServerInfo(getpid(), 0, &info), -1);
}

TEST(HostConnections, DescribedCriticalAndDaemonFlagsJoinTheProcessInformation)
{
    WaitingChild child;
    ASSERT_GT(child.pid, 0);
    Description description(std::to_string(child.pid) + " critical\n" + std::to_string(child.pid) + " flags 0x1000\n" +
                            std::string(300, 'x') + "\n");
    const int fd = OpenProcessFolder(child.pid);
    ASSERT_GE(fd, 0);
    procfs_info info{};
    ASSERT_EQ(devctl(fd, DCMD_PROC_INFO, &info, sizeof info, nullptr), EOK);
    EXPECT_NE(info.flags & _NTO_PF_CRITICAL, 0u);
    EXPECT_NE(info.flags & 0x1000u, 0u);
    close(fd);
}

TEST(HostReboot, RebootRequestEndsOnlyTheCallingProcessWithTheMessage)
{
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(errors[1], 2);
        sysmgr_reboot();
        _exit(42);
    }
    close(errors[1]);
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(errors[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    close(errors[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(text.rfind("sysmgr_reboot: reboot requested", 0), 0u) << text;
}

TEST(HostReboot, RefusedRebootReturnsEperm)
{
    setenv(HOST_REBOOT_REFUSE_ENV, "1", 1);
    errno = 0;
    EXPECT_EQ(sysmgr_reboot(), -1);
    EXPECT_EQ(errno, EPERM);
    unsetenv(HOST_REBOOT_REFUSE_ENV);
}

TEST(HostDaemon, DetachesInPlaceKeepingTheProcessIdAndDescriptors)
{
    const pid_t child = fork();
    if (child == 0) {
        const pid_t before = getpid();
        const int kept = open("/dev/null", O_RDONLY);
        umask(022);
        const bool ok = procmgr_daemon(0, PROCMGR_DAEMON_NOCLOSE | PROCMGR_DAEMON_NODEVNULL) == 0;
        char folder[64] = {};
        const bool root = getcwd(folder, sizeof folder) != nullptr && std::string(folder) == "/";
        const bool zeroMask = umask(0) == 0;
        const bool open = fcntl(kept, F_GETFD) >= 0;
        _exit(ok && getpid() == before && getsid(0) == before && root && zeroMask && open ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(HostDelay, SleepsAtLeastTheGivenMilliseconds)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(delay(30), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

} // namespace
