// The shutdown sequence with real processes, each scenario in its own sandbox.
#include "SandboxTest.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ReportLine
{
    uint64_t ms = 0;
    std::string who;
    std::string what;
    std::string detail;
};

struct Outcome
{
    int status = -1;
    std::vector<ReportLine> lines;
    std::string errors; // the scenario's standard error

    long Find(const std::string& who, const std::string& what, const std::string& detail = {}) const
    {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].who == who && lines[i].what == what && (detail.empty() || lines[i].detail == detail)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    bool Has(const std::string& who, const std::string& what, const std::string& detail = {}) const
    {
        return Find(who, what, detail) >= 0;
    }
    // Signals (SIGTERM, SIGCONT, SIGPWR) and ends ("killed", "exited") of a child.
    std::vector<std::string> EventsOf(const std::string& who) const
    {
        std::vector<std::string> events;
        for (const ReportLine& line : lines) {
            if (line.who == who) {
                events.push_back(line.what + (line.detail.empty() ? "" : " " + line.detail));
            }
        }
        return events;
    }
    // The children in the order their SIGTERM arrived.
    std::vector<std::string> TerminationOrder() const
    {
        std::vector<std::string> order;
        for (const ReportLine& line : lines) {
            if (line.what == "SIGTERM") {
                order.push_back(line.who);
            }
        }
        return order;
    }
    uint64_t TimeOf(const std::string& who, const std::string& what) const
    {
        const long at = Find(who, what);
        return at < 0 ? 0 : lines[static_cast<size_t>(at)].ms;
    }
    std::string Dump() const
    {
        std::string text = "status " + std::to_string(status) + "\n";
        for (const ReportLine& line : lines) {
            text += std::to_string(line.ms) + " " + line.who + " " + line.what + " " + line.detail + "\n";
        }
        return text + "stderr:\n" + errors;
    }
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct Scenario
{
    std::string program = SCENARIO;
    std::vector<std::pair<std::string, std::string>> environment;
    std::vector<std::string> arguments;

    Scenario& Env(const std::string& name, const std::string& value)
    {
        environment.emplace_back(name, value);
        return *this;
    }
    Scenario& Args(std::vector<std::string> more)
    {
        arguments.insert(arguments.end(), more.begin(), more.end());
        return *this;
    }

    Outcome Run() const
    {
        char folder[] = "/tmp/shutdown-scenario-XXXXXX";
        Outcome outcome;
        if (mkdtemp(folder) == nullptr) {
            return outcome;
        }
        const std::string dir = folder;
        // The reboot stand-in lingers a little, as a real restart would, so
        // that the harness still hears of the children its last signals ended.
        std::string command = "timeout -s KILL 120 " + Quote(SandboxRunner::Path()) + " --bind " + Quote(dir) +
                              " /report" +
                              " --setenv SHUTDOWN_REPORT /report/log --setenv UPGRADE_HOST_REBOOT_DELAY_MS 300";
        for (const auto& setting : environment) {
            command += " --setenv " + Quote(setting.first) + " " + Quote(setting.second);
        }
        command += " -- " + Quote(program);
        for (const std::string& argument : arguments) {
            command += " " + Quote(argument);
        }
        command += " </dev/null >/dev/null 2>" + Quote(dir + "/stderr");
        const int status = std::system(command.c_str());
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.errors = ReadFile(dir + "/stderr");
        std::istringstream log(ReadFile(dir + "/log"));
        std::string text;
        while (std::getline(log, text)) {
            std::istringstream fields(text);
            ReportLine line;
            fields >> line.ms >> line.who >> line.what;
            std::getline(fields >> std::ws, line.detail);
            outcome.lines.push_back(line);
        }
        std::remove((dir + "/log").c_str());
        std::remove((dir + "/stderr").c_str());
        rmdir(dir.c_str());
        return outcome;
    }
};

// Each scenario runs in a sandbox of its own: skipped where none can run.
using ShutdownClassification = SandboxTest;
using ShutdownConnections = SandboxTest;
using ShutdownEnd = SandboxTest;
using ShutdownLibraries = SandboxTest;
using ShutdownSignals = SandboxTest;
using ShutdownTypes = SandboxTest;

const std::string RebootMessage = "sysmgr_reboot: reboot requested";
const std::vector<std::string> TermContPwr = {"SIGTERM", "SIGCONT", "SIGPWR"};

// --- which processes the sequence finds, and how it classifies them

TEST_F(ShutdownClassification, NameRulesPickFileSystemsDisplaysAndDaemonsAndADirectoryPartMatchesNone)
{
    Scenario scenario;
    scenario.program = SCENARIO_DEFAULTS;
    const Outcome outcome =
        scenario.Env("SIGKILL_TIMEOUT", "200")
            .Args({"devb-eide", "/sbin/devb-eide,term=ignore", "pipe", "random", "io-display,term=ignore",
                   "plain-process,term=ignore", "watcher,daemon", "session-one,session1"})
            .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(),
              (std::vector<std::string>{"session-one", "watcher", "random", "pipe", "devb-eide", "io-display"}))
        << outcome.Dump();
    // Unclassified (the default hook) and never touched.
    EXPECT_TRUE(outcome.EventsOf("/sbin/devb-eide").empty()) << outcome.Dump();
    EXPECT_TRUE(outcome.EventsOf("plain-process").empty()) << outcome.Dump();
    // The display class only gets the final signals, and no SIGPWR.
    EXPECT_EQ(outcome.EventsOf("io-display"), (std::vector<std::string>{"SIGTERM", "SIGCONT"})) << outcome.Dump();
}

TEST_F(ShutdownClassification, OrdersByClassAndNewestFirstWithInitFirstAmongApplications)
{
    const Outcome outcome = Scenario()
                                .Env("SIGKILL_TIMEOUT", "200")
                                .Args({"init", "app-old", "devb-old", "dmn-old,daemon", "app-new", "devb-new",
                                       "dmn-new,daemon", "gui-window"})
                                .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"gui-window", "init", "app-new", "app-old",
                                                                    "dmn-new", "dmn-old", "devb-new", "devb-old"}))
        << outcome.Dump();
    EXPECT_TRUE(outcome.Has("hook", "progress", "8/8")) << outcome.Dump();
    EXPECT_EQ(outcome.EventsOf("app-old"), (std::vector<std::string>{"SIGTERM", "exited 0"})) << outcome.Dump();
}

TEST_F(ShutdownClassification, ListsTheSandboxesProcessesButNeverItsInitOrTheCaller)
{
    // The walk outside the sandbox is covered in-process by the stand-in's
    // own tests. Here: the sandbox's init (process 1) and the caller are
    // never signalled, so the run ends normally with the reboot request.
    const Outcome outcome = Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"app-only"}).Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"app-only"}));
    EXPECT_NE(outcome.errors.find(RebootMessage), std::string::npos) << outcome.Dump();
}

// --- connections

TEST_F(ShutdownConnections, ClientIsSignalledBeforeItsNewerServer)
{
    const Outcome outcome =
        Scenario().Env("SIGKILL_TIMEOUT", "200").Args({"dmn-client,daemon,connect=1", "dmn-server,daemon"}).Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"dmn-client", "dmn-server"})) << outcome.Dump();
}

TEST_F(ShutdownConnections, ProcessesConnectedToEachOtherAreTakenInSortedOrderOnceNoneQualifies)
{
    const Outcome outcome = Scenario()
                                .Env("SIGKILL_TIMEOUT", "200")
                                .Args({"dmn-free,daemon", "dmn-a,daemon,connect=2", "dmn-b,daemon,connect=1"})
                                .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"dmn-free", "dmn-b", "dmn-a"})) << outcome.Dump();
}

TEST_F(ShutdownConnections, NetworkClientsGoBeforeTheNetworkServer)
{
    const Outcome outcome =
        Scenario().Env("SIGKILL_TIMEOUT", "200").Args({"dmn-remote,daemon,remote=1", "io-pkt-v6,daemon"}).Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"dmn-remote", "io-pkt-v6"})) << outcome.Dump();
    EXPECT_FALSE(outcome.Has("hook", "error")) << outcome.Dump();
}

TEST_F(ShutdownConnections, NetworkServerWithRemoteConnectionsOfItsOwnDoesNotWaitForItself)
{
    const Outcome outcome = Scenario()
                                .Env("SIGKILL_TIMEOUT", "200")
                                .Args({"dmn-client,daemon,connect=1", "dmn-server,daemon", "io-pkt-v6,daemon,remote=0"})
                                .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"io-pkt-v6", "dmn-client", "dmn-server"}))
        << outcome.Dump();
}

TEST_F(ShutdownConnections, ReportsASecondNetworkServerAndNetworkClientsWithoutAServer)
{
    const Outcome two = Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"io-pkt-v4,daemon", "io-pkt-v6,daemon"}).Run();
    EXPECT_TRUE(two.Has("hook", "error", "uncertain identification of qnet server.")) << two.Dump();

    const Outcome none = Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"dmn-remote,daemon,remote=0"}).Run();
    EXPECT_TRUE(none.Has("hook", "error", "Error: QNET connections, but no QNET server.")) << none.Dump();
    EXPECT_EQ(none.TerminationOrder(), (std::vector<std::string>{"dmn-remote"})) << none.Dump();
}

// --- signals and grace periods

TEST_F(ShutdownSignals, CriticalProcessGetsOnlyContinueAndPowerAndIsNeverKilled)
{
    const Outcome outcome =
        Scenario().Env("SIGKILL_TIMEOUT", "150").Args({"app-after", "app-critical,critical,term=ignore"}).Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.EventsOf("app-critical"), (std::vector<std::string>{"SIGCONT", "SIGPWR"})) << outcome.Dump();
    EXPECT_TRUE(outcome.Has("app-after", "SIGTERM")) << outcome.Dump();
}

TEST_F(ShutdownSignals, ApplicationIsKilledAfterItsGracePeriodButDaemonsAndFileSystemsAreNot)
{
    const Outcome outcome =
        Scenario()
            .Env("SIGKILL_TIMEOUT", "200")
            .Args({"devb-stubborn,term=ignore", "dmn-stubborn,daemon,term=ignore", "app-stubborn,term=ignore"})
            .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.EventsOf("app-stubborn"), (std::vector<std::string>{"SIGTERM", "SIGCONT", "SIGPWR", "killed 9"}))
        << outcome.Dump();
    // The application goes first, so its grace period counts from no earlier
    // than the start of the sequence.
    EXPECT_GE(outcome.TimeOf("app-stubborn", "killed"), outcome.TimeOf("harness", "shutdown") + 200) << outcome.Dump();
    EXPECT_EQ(outcome.EventsOf("dmn-stubborn"), TermContPwr) << outcome.Dump();
    EXPECT_EQ(outcome.EventsOf("devb-stubborn"), TermContPwr) << outcome.Dump();
    // The pass waited out the daemon's grace period before going on (the
    // report of the kill may trail the daemon's signals by one poll).
    EXPECT_GE(outcome.TimeOf("devb-stubborn", "SIGTERM"), outcome.TimeOf("app-stubborn", "killed") + 150)
        << outcome.Dump();
}

TEST_F(ShutdownSignals, NumericKillTimeoutReplacesTheClassPeriod)
{
    const Outcome outcome = Scenario().Env("SIGKILL_TIMEOUT", "600").Args({"app-stubborn,term=ignore"}).Run();
    ASSERT_TRUE(outcome.Has("app-stubborn", "killed", "9")) << outcome.Dump();
    EXPECT_GE(outcome.TimeOf("app-stubborn", "killed"), outcome.TimeOf("harness", "shutdown") + 600) << outcome.Dump();
}

TEST_F(ShutdownSignals, KillTimeoutThatIsNotANumberIsReportedAndTheClassPeriodApplies)
{
    const Outcome word = Scenario().Env("SIGKILL_TIMEOUT", "soon").Args({"app-stubborn,term=ignore"}).Run();
    EXPECT_NE(word.errors.find("SIGKILL_TIMEOUT=soon is not a numeric value.\n"), std::string::npos) << word.Dump();
    ASSERT_TRUE(word.Has("app-stubborn", "killed", "9")) << word.Dump();
    // The application class's 100 ms.
    EXPECT_GE(word.TimeOf("app-stubborn", "killed"), word.TimeOf("harness", "shutdown") + 100) << word.Dump();

    const Outcome huge = Scenario().Env("SIGKILL_TIMEOUT", "99999999999999999999").Args({"app-quick"}).Run();
    EXPECT_NE(huge.errors.find("SIGKILL_TIMEOUT=99999999999999999999 cannot be converted to a numeric value : "
                               "errno=Numerical result out of range.\n"),
              std::string::npos)
        << huge.Dump();
    EXPECT_EQ(huge.status, 0) << huge.Dump();
}

TEST_F(ShutdownSignals, ProcessThatEndedSinceTheListingGetsNoSignal)
{
    const Outcome outcome = Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"gone-early", "app-after"}).Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    const long gone = outcome.Find("gone-early", "gone");
    ASSERT_GE(gone, 0) << outcome.Dump();
    const std::string pid = outcome.lines[static_cast<size_t>(gone)].detail;
    for (size_t i = static_cast<size_t>(gone) + 1; i < outcome.lines.size(); ++i) {
        EXPECT_FALSE(outcome.lines[i].who == "kill" && outcome.lines[i].what == pid) << outcome.Dump();
    }
    EXPECT_TRUE(outcome.Has("app-after", "SIGTERM")) << outcome.Dump();
}

TEST_F(ShutdownSignals, GraphicalApplicationOutlivingItsGraceIsHandledAsThePromptSays)
{
    const Outcome left =
        Scenario().Env("SIGKILL_TIMEOUT", "50").Env("SCENARIO_PROMPT", "2").Args({"gui-stuck,term=ignore"}).Run();
    EXPECT_TRUE(left.Has("prompt", "gui-stuck")) << left.Dump();
    EXPECT_FALSE(left.Has("gui-stuck", "killed")) << left.Dump();
    EXPECT_EQ(left.status, 0) << left.Dump();

    const Outcome killed =
        Scenario().Env("SIGKILL_TIMEOUT", "50").Env("SCENARIO_PROMPT", "1,0").Args({"gui-stuck,term=ignore"}).Run();
    size_t prompts = 0;
    for (const ReportLine& line : killed.lines) {
        prompts += line.who == "prompt" ? 1u : 0u;
    }
    EXPECT_EQ(prompts, 2u) << killed.Dump();
    EXPECT_TRUE(killed.Has("gui-stuck", "killed", "9")) << killed.Dump();

    const Outcome aborted = Scenario()
                                .Env("SIGKILL_TIMEOUT", "50")
                                .Env("SCENARIO_PROMPT", "3")
                                .Args({"gui-stuck,term=ignore", "app-x"})
                                .Run();
    EXPECT_EQ(aborted.status, 1) << aborted.Dump();
    EXPECT_FALSE(aborted.Has("harness", "static-destructors")) << aborted.Dump();
    EXPECT_FALSE(aborted.Has("app-x", "SIGTERM")) << aborted.Dump();
    EXPECT_EQ(aborted.errors.find(RebootMessage), std::string::npos) << aborted.Dump();
}

TEST_F(ShutdownSignals, DisplayDriversGetTheFinalSignalsAfterThePassWithoutWaiting)
{
    const Outcome outcome =
        Scenario()
            .Env("SIGKILL_TIMEOUT", "200")
            .Args({"devc-ser8250,term=ignore", "io-display,term=ignore", "app-a", "devi-touch,critical,term=ignore"})
            .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    const long done = outcome.Find("hook", "done", "2");
    ASSERT_GE(done, 0) << outcome.Dump();
    EXPECT_GT(outcome.Find("io-display", "SIGTERM"), done) << outcome.Dump();
    EXPECT_GT(outcome.Find("devc-ser8250", "SIGTERM"), done) << outcome.Dump();
    EXPECT_EQ(outcome.EventsOf("devc-ser8250"), (std::vector<std::string>{"SIGTERM", "SIGCONT"})) << outcome.Dump();
    EXPECT_LT(outcome.Find("app-a", "SIGTERM"), done) << outcome.Dump();
    // A critical driver is only woken.
    EXPECT_EQ(outcome.EventsOf("devi-touch"), (std::vector<std::string>{"SIGCONT"})) << outcome.Dump();
}

// --- the platform libraries

TEST_F(ShutdownLibraries, BoardAndResetRecordLibrariesAreCalledAtTheirPoints)
{
    const Outcome outcome = Scenario()
                                .Env("SIGKILL_TIMEOUT", "200")
                                .Env("BOARD_SHUTDOWN_DLL", BOARD_LIBRARY)
                                .Env("LD_LIBRARY_PATH", std::string(LIBRARY_FOLDER) + "/nvram")
                                .Args({"--reason", "flash done", "devb-a", "app-a"})
                                .Run();
    ASSERT_EQ(outcome.status, 0) << outcome.Dump();
    const long pre = outcome.Find("board", "pre_shutdown", "2");
    const long resetInfo = outcome.Find("nvram", "reset_info", "2");
    const long app = outcome.Find("app-a", "SIGTERM");
    const long logs = outcome.Find("nvram", "save_logs");
    const long fileSystem = outcome.Find("devb-a", "SIGTERM");
    const long done = outcome.Find("hook", "done", "2");
    const long board = outcome.Find("board", "shutdown", "2");
    EXPECT_TRUE(pre >= 0 && pre < resetInfo && resetInfo < app && app < logs && logs < fileSystem &&
                fileSystem < done && done < board)
        << outcome.Dump();
    EXPECT_TRUE(outcome.Has("nvram", "reason", "flash done")) << outcome.Dump();
    EXPECT_EQ(outcome.errors.find("dlsym"), std::string::npos) << outcome.Dump();
}

TEST_F(ShutdownLibraries, BoardLibraryIsFoundByTheMachineNameWithoutTheVariable)
{
    const Outcome outcome = Scenario()
                                .Env("SIGKILL_TIMEOUT", "100")
                                .Env("LD_LIBRARY_PATH", std::string(LIBRARY_FOLDER) + "/board-default")
                                .Args({"app-a"})
                                .Run();
    EXPECT_TRUE(outcome.Has("board", "pre_shutdown", "2")) << outcome.Dump();
    EXPECT_TRUE(outcome.Has("board", "shutdown", "2")) << outcome.Dump();
    // No reset-record library here, and its absence is silent.
    EXPECT_EQ(outcome.errors.find("Unable to find"), std::string::npos) << outcome.Dump();
}

TEST_F(ShutdownLibraries, MissingLibrariesAndEntryPointsAreReportedAndLoseOnlyTheirPart)
{
    const Outcome partial = Scenario()
                                .Env("SIGKILL_TIMEOUT", "100")
                                .Env("BOARD_SHUTDOWN_DLL", BOARD_PARTIAL_LIBRARY)
                                .Env("LD_LIBRARY_PATH", std::string(LIBRARY_FOLDER) + "/nvram-empty")
                                .Args({"app-a"})
                                .Run();
    EXPECT_TRUE(partial.Has("board", "pre_shutdown", "2")) << partial.Dump();
    EXPECT_NE(partial.errors.find("dlsym(\"board_shutdown\"): "), std::string::npos) << partial.Dump();
    EXPECT_NE(partial.errors.find("Unable to find function save_reset_info_to_nv \n"), std::string::npos)
        << partial.Dump();
    EXPECT_NE(partial.errors.find("Unable to find function save_logs \n"), std::string::npos) << partial.Dump();
    EXPECT_TRUE(partial.Has("app-a", "SIGTERM")) << partial.Dump();
    EXPECT_EQ(partial.status, 0) << partial.Dump();

    const Outcome missing =
        Scenario().Env("SIGKILL_TIMEOUT", "100").Env("BOARD_SHUTDOWN_DLL", "/no/such/board.so").Args({"app-a"}).Run();
    EXPECT_EQ(missing.errors.rfind("/no/such/board.so: ", 0), 0u) << missing.Dump();
    EXPECT_TRUE(missing.Has("app-a", "SIGTERM")) << missing.Dump();
}

// --- the end of the sequence

TEST_F(ShutdownEnd, RebootStandInEndsTheSandboxAndARefusedRebootEndsWithStatusOne)
{
    const Outcome reboot = Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"app-a"}).Run();
    EXPECT_EQ(reboot.status, 0) << reboot.Dump();
    EXPECT_NE(reboot.errors.find(RebootMessage), std::string::npos) << reboot.Dump();
    EXPECT_FALSE(reboot.Has("harness", "returned")) << reboot.Dump();

    const Outcome refused =
        Scenario().Env("SIGKILL_TIMEOUT", "100").Env("UPGRADE_HOST_REBOOT_REFUSE", "1").Args({"app-a"}).Run();
    EXPECT_EQ(refused.status, 1) << refused.Dump();
    EXPECT_TRUE(refused.Has("hook", "error", "Process lacks the PROCMGR_AID_REBOOT ability")) << refused.Dump();
    EXPECT_FALSE(refused.Has("harness", "static-destructors")) << refused.Dump();
}

TEST_F(ShutdownEnd, RestartSystemRunsTheShutdownWhenTheDriverIsAbsent)
{
    Scenario scenario;
    scenario.program = SCENARIO_DEFAULTS;
    const Outcome outcome = scenario.Env("SIGKILL_TIMEOUT", "200").Args({"--restart", "devb-ram"}).Run();
    EXPECT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_TRUE(outcome.Has("devb-ram", "SIGTERM")) << outcome.Dump();
    EXPECT_NE(outcome.errors.find(RebootMessage), std::string::npos) << outcome.Dump();
}

TEST_F(ShutdownEnd, KillOfProcessIdZeroOrMinusOneSignalsNothing)
{
    // 0 would reach the caller's process group, -1 every process it may signal.
    for (const std::string pid : {"0", "-1"}) {
        const Outcome outcome = Scenario().Args({"--kill", pid, "app-group,session1", "app-other"}).Run();
        EXPECT_EQ(outcome.status, 0) << outcome.Dump();
        EXPECT_TRUE(outcome.Has("harness", "kill-result", "0")) << outcome.Dump();
        EXPECT_TRUE(outcome.EventsOf("kill").empty()) << outcome.Dump();
        EXPECT_TRUE(outcome.EventsOf("app-group").empty()) << outcome.Dump();
        EXPECT_TRUE(outcome.EventsOf("app-other").empty()) << outcome.Dump();
    }
}

// --- the other types and flags

TEST_F(ShutdownTypes, ApplicationsOnlyTypeEndsTheCallerAfterTheGraphicalApplications)
{
    const Outcome outcome =
        Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"--type", "0", "gui-window", "app-a", "devb-a"}).Run();
    EXPECT_EQ(outcome.status, 0) << outcome.Dump();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"gui-window"})) << outcome.Dump();
    EXPECT_TRUE(outcome.Has("hook", "progress", "1/1")) << outcome.Dump();
    EXPECT_FALSE(outcome.Has("harness", "static-destructors")) << outcome.Dump();
    EXPECT_EQ(outcome.errors.find(RebootMessage), std::string::npos) << outcome.Dump();
}

TEST_F(ShutdownTypes, SystemTypeAndNoRebootFlagEndAfterTheBoardHookWithoutFinalSignals)
{
    for (const std::vector<std::string>& choice :
         {std::vector<std::string>{"--type", "3"}, std::vector<std::string>{"--flags", "2"}}) {
        const Outcome outcome = Scenario()
                                    .Env("SIGKILL_TIMEOUT", "100")
                                    .Env("BOARD_SHUTDOWN_DLL", BOARD_LIBRARY)
                                    .Args(choice)
                                    .Args({"app-a", "io-display"})
                                    .Run();
        EXPECT_EQ(outcome.status, 0) << outcome.Dump();
        EXPECT_TRUE(outcome.Has("app-a", "SIGTERM")) << outcome.Dump();
        EXPECT_TRUE(outcome.Has("board", "shutdown")) << outcome.Dump();
        EXPECT_TRUE(outcome.EventsOf("io-display").empty()) << outcome.Dump();
        EXPECT_EQ(outcome.errors.find(RebootMessage), std::string::npos) << outcome.Dump();
        EXPECT_FALSE(outcome.Has("harness", "static-destructors")) << outcome.Dump();
    }
}

TEST_F(ShutdownTypes, UnknownTypeReturnsHavingDoneNothing)
{
    const Outcome outcome = Scenario().Args({"--type", "9", "app-a", "devb-a"}).Run();
    EXPECT_EQ(outcome.status, 3) << outcome.Dump();
    EXPECT_TRUE(outcome.Has("harness", "returned")) << outcome.Dump();
    // The return from main destroys the static objects, and the report shows it.
    EXPECT_TRUE(outcome.Has("harness", "static-destructors")) << outcome.Dump();
    EXPECT_TRUE(outcome.TerminationOrder().empty()) << outcome.Dump();
}

TEST_F(ShutdownTypes, CreationOrderFlagIgnoresClassesAndDiagnosticFlagsListAndNameEachProcess)
{
    const Outcome outcome =
        Scenario().Env("SIGKILL_TIMEOUT", "100").Args({"--flags", "0x20C", "app-old", "devb-new"}).Run();
    EXPECT_EQ(outcome.TerminationOrder(), (std::vector<std::string>{"devb-new", "app-old"})) << outcome.Dump();
    EXPECT_NE(outcome.errors.find("class=3 "), std::string::npos) << outcome.Dump();
    EXPECT_NE(outcome.errors.find("name=app-old\n"), std::string::npos) << outcome.Dump();
    EXPECT_NE(outcome.errors.find("Terminating pid="), std::string::npos) << outcome.Dump();
    EXPECT_NE(outcome.errors.find("(devb-new), class 3"), std::string::npos) << outcome.Dump();
}

TEST_F(ShutdownTypes, KeepAttachedFlagSkipsTheDaemonDetach)
{
    const Outcome detached = Scenario().Env("BOARD_SHUTDOWN_DLL", BOARD_LIBRARY).Args({"--flags", "2"}).Run();
    EXPECT_TRUE(detached.Has("board", "cwd", "/")) << detached.Dump();

    const Outcome attached = Scenario().Env("BOARD_SHUTDOWN_DLL", BOARD_LIBRARY).Args({"--flags", "0x102"}).Run();
    EXPECT_TRUE(attached.Has("board", "cwd", "/ramdisk")) << attached.Dump();
}

TEST_F(ShutdownTypes, FastFlagTakesTheShortGracePeriods)
{
    // The slow period of a graphical application is 20 s, the fast one 50 ms.
    const Outcome outcome =
        Scenario().Env("SCENARIO_PROMPT", "2").Args({"--flags", "1", "gui-stuck,term=ignore"}).Run();
    ASSERT_TRUE(outcome.Has("prompt", "gui-stuck")) << outcome.Dump();
    EXPECT_LT(outcome.TimeOf("prompt", "gui-stuck"), outcome.TimeOf("gui-stuck", "SIGTERM") + 10000) << outcome.Dump();
}

} // namespace
