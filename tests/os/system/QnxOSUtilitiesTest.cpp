// The OS utilities against real child processes that the tests start
// themselves; nothing else is ever signalled. The restart is covered by the
// shutdown black-box suite, inside the sandbox.
#include "QnxOSUtilities.h"

#include "BlockedThread.h"
#include "EmulationLimits.h"
#include "GetOSAbstractionsFactory.h"
#include "QnxCryptoOperations.h"
#include "QnxPowerManagement.h"
#include "SystemTimeZone.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeFolder()
{
    char name[] = "/tmp/os-utilities-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "";
}

void WriteScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
}

bool Exists(const std::string& path)
{
    struct stat info = {};
    return stat(path.c_str(), &info) == 0;
}

// Puts a folder of fake commands first on PATH for one test.
class FakeCommands
{
public:
    FakeCommands() : folder(MakeFolder()), oldPath(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "")
    {
        setenv("PATH", (folder + ":" + oldPath).c_str(), 1);
    }
    ~FakeCommands()
    {
        setenv("PATH", oldPath.c_str(), 1);
        const int ignored = std::system(("rm -rf '" + folder + "'").c_str());
        (void)ignored;
    }
    FakeCommands(const FakeCommands&) = delete;
    FakeCommands& operator=(const FakeCommands&) = delete;

    const std::string folder;

private:
    const std::string oldPath;
};

// A forked child the test owns; a thread reaps it so that it never lingers
// as a zombie that still answers the existence probe.
class OwnChild
{
public:
    enum Behaviour
    {
        IgnoresTerm,
        ExitsSevenOnTerm
    };

    explicit OwnChild(Behaviour behaviour)
    {
        int ready[2];
        if (pipe(ready) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            close(ready[0]);
            struct sigaction action = {};
            action.sa_handler = behaviour == IgnoresTerm ? SIG_IGN : [](int) { _exit(7); };
            sigaction(SIGTERM, &action, nullptr);
            const char byte = 'R';
            const ssize_t ignored = write(ready[1], &byte, 1);
            (void)ignored;
            for (int i = 0; i < 300; ++i) {
                const timespec pause{0, 100000000L};
                nanosleep(&pause, nullptr);
            }
            _exit(0);
        }
        close(ready[1]);
        char byte = 0;
        const ssize_t ignored = read(ready[0], &byte, 1);
        (void)ignored;
        close(ready[0]);
        ended = std::async(std::launch::async, [this] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return status;
        });
    }
    ~OwnChild()
    {
        if (pid > 0 && ended.valid() && ended.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            kill(pid, SIGKILL);
        }
    }
    OwnChild(const OwnChild&) = delete;
    OwnChild& operator=(const OwnChild&) = delete;

    int Status() { return ended.get(); }

    pid_t pid = -1;

private:
    std::future<int> ended;
};

// --- the factory

TEST(OSAbstractionsFactory, MakesTheQnxObjects)
{
    const std::unique_ptr<OSAbstractionsFactory> factory = GetOSAbstractionsFactory();
    ASSERT_NE(factory, nullptr);
    const std::shared_ptr<CryptoOperations> crypto = factory->CreateCryptoOperations();
    EXPECT_NE(dynamic_cast<QnxCryptoOperations*>(crypto.get()), nullptr);
    const std::unique_ptr<PowerManagement> power = factory->CreatePowerManagement();
    EXPECT_NE(dynamic_cast<QnxPowerManagement*>(power.get()), nullptr);
    const std::unique_ptr<OSUtilities> utilities = factory->CreateOSUtilities();
    EXPECT_NE(dynamic_cast<QnxOSUtilities*>(utilities.get()), nullptr);
}

// --- finding a process by name

TEST(GetProcessIdByName, RefusesATooLongNameOrOneThatLeavesItsQuotesWithoutRunningAnything)
{
    FakeCommands fake;
    const std::string marker = fake.folder + "/ps-ran";
    WriteScript(fake.folder + "/ps", "touch '" + marker + "'");
    const QnxOSUtilities utilities;

    EXPECT_EQ(utilities.GetProcessIdByName(std::string(251, 'a')), -1);
    EXPECT_EQ(utilities.GetProcessIdByName("x'; touch /tmp/escaped; echo '"), -1);
    EXPECT_EQ(utilities.GetProcessIdByName("two\nlines"), -1);
    EXPECT_FALSE(Exists(marker));

    // The longest name that fits still runs the command.
    EXPECT_EQ(utilities.GetProcessIdByName(std::string(250, 'a')), 0);
    EXPECT_TRUE(Exists(marker));
}

TEST(GetProcessIdByName, NameBeginningWithADashIsSearchedForAndNotTakenForAnOption)
{
    FakeCommands fake;
    WriteScript(fake.folder + "/ps", "printf '  17 ?        00:00:00 other\\n 4242 ?        00:00:00 -dashed\\n'");
    const QnxOSUtilities utilities;
    EXPECT_EQ(utilities.GetProcessIdByName("-dashed"), 4242);
}

TEST(GetProcessIdByName, NameThatIsNotRunningGivesZero)
{
    const QnxOSUtilities utilities;
    EXPECT_EQ(utilities.GetProcessIdByName("no-such-proc-" + std::to_string(getpid())), 0);
}

TEST(GetProcessIdByName, FindsAChildByItsCommandName)
{
    const std::string folder = MakeFolder();
    const std::string name = "pidtest" + std::to_string(getpid() % 100000);
    const std::string program = folder + "/" + name;
    ASSERT_EQ(symlink("/bin/sleep", program.c_str()), 0);
    const pid_t child = fork();
    if (child == 0) {
        execl(program.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    const QnxOSUtilities utilities;
    int found = 0;
    // The child shows under its new name once it has started the program.
    for (int attempt = 0; attempt < 100 && found != child; ++attempt) {
        found = utilities.GetProcessIdByName(name);
        if (found != child) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_EQ(found, child);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    unlink(program.c_str());
    rmdir(folder.c_str());
}

// --- ending a process

TEST(KillProcessById, SignalOtherThanTermAndKillIsRefused)
{
    // A wrong refusal would end this process with SIGINT. Process ids below
    // one are tried inside the sandbox (the shutdown black-box suite), where
    // a wrong refusal can reach nothing but the scenario's own processes.
    EXPECT_FALSE(QnxOSUtilities::SignalPidToTerminate(SIGINT, getpid()));
}

TEST(KillProcessById, ChildIgnoringTermGetsKillAboutASecondLater)
{
    OwnChild child(OwnChild::IgnoresTerm);
    ASSERT_GT(child.pid, 0);
    const QnxOSUtilities utilities;
    const auto start = Clock::now();
    EXPECT_TRUE(utilities.KillProcessById(child.pid));
    const int status = child.Status();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
}

TEST(KillProcessById, ChildEndingOnTermGetsNoKill)
{
    OwnChild child(OwnChild::ExitsSevenOnTerm);
    ASSERT_GT(child.pid, 0);
    const QnxOSUtilities utilities;
    EXPECT_TRUE(utilities.KillProcessById(child.pid));
    const int status = child.Status();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
}

TEST(KillProcessById, ProcessThatNoLongerExistsIsNotGoneByOurHand)
{
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    const QnxOSUtilities utilities;
    EXPECT_FALSE(utilities.KillProcessById(child));
}

// --- file locks

class LockedFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[] = "/tmp/locked-file-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path = name;
        file = std::fopen(path.c_str(), "r+");
        ASSERT_NE(file, nullptr);
        std::fputs("0123456789", file);
        std::fflush(file);
    }
    void TearDown() override
    {
        if (file != nullptr) {
            std::fclose(file);
        }
        std::remove(path.c_str());
    }

    // Another process holds the whole file until ReleaseInOtherProcess, then
    // says 'U' on the report pipe and only then releases it.
    pid_t HoldInOtherProcess()
    {
        if (pipe(report) != 0 || pipe(command) != 0) {
            return -1;
        }
        const pid_t child = fork();
        if (child == 0) {
            const int fd = open(path.c_str(), O_RDWR);
            const bool locked = fd >= 0 && lockf(fd, F_LOCK, 0) == 0;
            const char byte = locked ? 'L' : 'F';
            ssize_t ignored = write(report[1], &byte, 1);
            char order = 0;
            ignored = read(command[0], &order, 1);
            ignored = write(report[1], "U", 1);
            (void)ignored;
            lockf(fd, F_ULOCK, 0);
            _exit(0);
        }
        close(report[1]);
        close(command[0]);
        char byte = 0;
        const ssize_t got = read(report[0], &byte, 1);
        return got == 1 && byte == 'L' ? child : -1;
    }

    // Tells the holder to release the file once `waiter` is blocked waiting
    // for the lock.
    std::thread ReleaseInOtherProcessOnceBlocked(pid_t waiter)
    {
        return std::thread([this, waiter] {
            EXPECT_TRUE(blocked_thread::EventuallyIn(waiter, {SYS_fcntl})) << "the lock waits";
            const ssize_t ignored = write(command[1], "R", 1);
            (void)ignored;
        });
    }

    // True when the holder had said it is releasing the lock.
    bool HolderReleased()
    {
        char byte = 0;
        const bool released = read(report[0], &byte, 1) == 1 && byte == 'U';
        close(report[0]);
        close(command[1]);
        return released;
    }

    int report[2] = {-1, -1};
    int command[2] = {-1, -1};

    std::string path;
    FILE* file = nullptr;
    const QnxOSUtilities utilities{};
};

TEST_F(LockedFile, LockHeldByAnotherProcessFailsAtOnceWithoutWaitAndIsTakenWithWait)
{
    if (const std::string why = EmulationLimits::WhySystemCallsUnreadable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const pid_t holder = HoldInOtherProcess();
    ASSERT_GT(holder, 0);
    EXPECT_FALSE(utilities.LockFile(file, false));
    std::thread releaser = ReleaseInOtherProcessOnceBlocked(blocked_thread::OwnId());
    EXPECT_TRUE(utilities.LockFile(file, true));
    releaser.join();
    EXPECT_TRUE(HolderReleased());
    EXPECT_TRUE(utilities.UnlockFile(file));
    waitpid(holder, nullptr, 0);
}

TEST_F(LockedFile, LockingKeepsTheFilePosition)
{
    const int fd = fileno(file);
    ASSERT_EQ(lseek(fd, 6, SEEK_SET), 6);
    EXPECT_TRUE(utilities.LockFile(file, false));
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 6);
    EXPECT_TRUE(utilities.UnlockFile(file));
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 6);
}

TEST_F(LockedFile, NoFileOrAnUnseekableOneIsRefused)
{
    EXPECT_FALSE(utilities.LockFile(nullptr, false));
    EXPECT_FALSE(utilities.UnlockFile(nullptr));
    FILE* pipeStream = popen("true", "r");
    ASSERT_NE(pipeStream, nullptr);
    EXPECT_FALSE(utilities.LockFile(pipeStream, false));
    pclose(pipeStream);
}

// --- child processes

TEST(RunProcess, WithTimeoutZeroReturnsZeroOnceTheChildHasStarted)
{
    const QnxOSUtilities utilities;
    int pid = -1;
    EXPECT_EQ(utilities.RunProcess("sleep", {"sleep", "0.2"}, pid, 0, 0, "", ""), 0);
    EXPECT_GT(pid, 0);
}

TEST(RunProcess, ReportsTheExitCodeAsASignedByte)
{
    const QnxOSUtilities utilities;
    int pid = -1;
    EXPECT_EQ(utilities.RunProcess("sh", {"sh", "-c", "exit 3"}, pid, OSUtilities::InfiniteTimeout, 0, "", ""), 3);
    EXPECT_GT(pid, 0);
    EXPECT_EQ(utilities.RunProcess("sh", {"sh", "-c", "exit 255"}, pid, 5000, 0, "", ""), -1);
}

TEST(RunProcess, ChildEndedByASignalOrNeverStartedGivesMinusOne)
{
    if (const std::string why = EmulationLimits::WhySpawnHidesExecFailures(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const QnxOSUtilities utilities;
    int pid = 0;
    EXPECT_EQ(utilities.RunProcess("sh", {"sh", "-c", "kill -9 $$"}, pid, OSUtilities::InfiniteTimeout, 0, "", ""), -1);
    EXPECT_EQ(utilities.RunProcess("/no/such/program", {}, pid, 0, 0, "", ""), -1);
    EXPECT_EQ(pid, -1);
}

TEST(RunProcess, ChildOutlivingTheTimeoutGivesMinusOne)
{
    const QnxOSUtilities utilities;
    int pid = 0;
    EXPECT_EQ(utilities.RunProcess("sleep", {"sleep", "30"}, pid, 50, 0, "", ""), -1);
    ASSERT_GT(pid, 0);
    kill(pid, SIGKILL); // this test's own child, still tracked and collected
}

// --- platform information

TEST(OSProperties, KernelVersionAndBuildNumberWithoutNewlines)
{
    FakeCommands fake;
    WriteScript(fake.folder + "/uname", "[ \"$1\" = -k ] && printf '7.1.0\\n' || exit 1");
    const QnxOSUtilities utilities;
    const PropertyList properties = utilities.GetOSProperties();
    ASSERT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties[0].name, OSPropertyNames::KernelVersion);
    EXPECT_EQ(properties[0].value, "7.1.0");
    EXPECT_EQ(properties[1].name, OSPropertyNames::OsBuildNumber);
    EXPECT_EQ(properties[1].value.find('\n'), std::string::npos);
}

TEST(OSProperties, SdkPropertiesAreTheReleaseAndVersionOfUname)
{
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    const PropertyList properties = QnxOSUtilities().GetSDKProperties();
    ASSERT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties[0].name, OSPropertyNames::SdkVersion);
    EXPECT_EQ(properties[0].value, system.release);
    EXPECT_EQ(properties[1].name, OSPropertyNames::SdkBuildNumber);
    EXPECT_EQ(properties[1].value, system.version);
}

TEST(ThreadName, IsTheCallingThreadsName)
{
    std::string seen;
    std::thread named([&seen] {
        pthread_setname_np(pthread_self(), "utility-test");
        seen = QnxOSUtilities().GetCurrentThreadName();
    });
    named.join();
    EXPECT_EQ(seen, "utility-test");
}

TEST(TimeZone, IsHandedToThePlatformRequest)
{
    QnxOSUtilities().SetTimeZone("CET-1CEST");
    EXPECT_EQ(GetSystemTimeZone(), "CET-1CEST");
}

} // namespace
