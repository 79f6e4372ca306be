// The shutdown sequence's rules on records built by hand: no process is involved.
#include "shutdown_rules.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class RecordList
{
public:
    explicit RecordList(std::vector<ProcessInfo_t> initial) : records(std::move(initial)) {}
    ~RecordList()
    {
        for (ProcessInfo_t& record : records) {
            std::free(record.connections_from);
        }
    }
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    ProcessInfo_t* data() { return records.data(); }
    size_t size() const { return records.size(); }
    ProcessInfo_t& operator[](size_t i) { return records[i]; }

    // The pids in the order the main pass takes them.
    std::vector<int32_t> PassOrder(int lastClass, bool* hammerTime)
    {
        std::vector<int32_t> order;
        for (long next; (next = shutdown_pick_next(data(), size(), lastClass, hammerTime)) >= 0;) {
            order.push_back(records[static_cast<size_t>(next)].pid);
            shutdown_mark_done(data(), size(), static_cast<size_t>(next));
        }
        return order;
    }

private:
    std::vector<ProcessInfo_t> records;
};

ProcessInfo_t Record(int32_t pid, int8_t processClass, uint64_t start = 0)
{
    ProcessInfo_t record{};
    record.pid = pid;
    record.class_type = processClass;
    record.start_time = start;
    return record;
}

TEST(ShutdownTypes, EachTypeEndsWhereItsGroupEndsAndUnknownTypesAreRefused)
{
    for (int type : {-1, 7, 100}) {
        EXPECT_EQ(shutdown_end_of(type, 0), ShutdownEndRefused) << type;
    }
    for (int type : {0, 1}) {
        EXPECT_EQ(shutdown_end_of(type, 0), ShutdownEndAfterMainPass) << type;
        EXPECT_EQ(shutdown_end_of(type, SHUTDOWN_FLAG_NO_REBOOT), ShutdownEndAfterMainPass) << type;
    }
    for (int type : {3, 4, 6}) {
        EXPECT_EQ(shutdown_end_of(type, 0), ShutdownEndAfterBoardHook) << type;
    }
    for (int type : {2, 5}) {
        EXPECT_EQ(shutdown_end_of(type, 0), ShutdownEndReboot) << type;
        EXPECT_EQ(shutdown_end_of(type, SHUTDOWN_FLAG_NO_REBOOT), ShutdownEndAfterBoardHook) << type;
        EXPECT_EQ(shutdown_end_of(type, SHUTDOWN_FLAG_FAST | SHUTDOWN_FLAG_VERBOSE), ShutdownEndReboot) << type;
    }
}

TEST(ShutdownTypes, ApplicationTypesPassOverGraphicalApplicationsOnlyTheOthersOverClassesZeroToThree)
{
    EXPECT_EQ(shutdown_last_pass_class(0), CLASS_GRAPHICAL_APP);
    EXPECT_EQ(shutdown_last_pass_class(1), CLASS_GRAPHICAL_APP);
    EXPECT_EQ(shutdown_last_pass_class(SHUTDOWN_REBOOT), CLASS_FSYS);
    EXPECT_TRUE(shutdown_in_main_pass(CLASS_GRAPHICAL_APP, CLASS_GRAPHICAL_APP));
    EXPECT_FALSE(shutdown_in_main_pass(CLASS_APP, CLASS_GRAPHICAL_APP));
    for (int processClass : {CLASS_GRAPHICAL_APP, CLASS_APP, CLASS_DAEMON, CLASS_FSYS}) {
        EXPECT_TRUE(shutdown_in_main_pass(processClass, CLASS_FSYS)) << processClass;
    }
    for (int processClass : {CLASS_UNKNOWN, CLASS_DISPLAY, CLASS_NR}) {
        EXPECT_FALSE(shutdown_in_main_pass(processClass, CLASS_FSYS)) << processClass;
    }
}

TEST(ShutdownListing, DecimalEntriesAreListedExceptProcessOneAndTheCaller)
{
    pid_t pid = 0;
    EXPECT_TRUE(shutdown_lists_entry("4711", 99, &pid));
    EXPECT_EQ(pid, 4711);
    EXPECT_TRUE(shutdown_lists_entry("2147483647", 99, &pid));
    EXPECT_EQ(pid, 2147483647);
    pid = 0;
    for (const char* entry : {"1", "99", "", "self", "12a", "-5", " 7", "2147483648", "99999999999999999999"}) {
        EXPECT_FALSE(shutdown_lists_entry(entry, 99, &pid)) << entry;
    }
    EXPECT_EQ(pid, 0);
}

TEST(ShutdownNameRules, DisplayAndFileSystemNamesWinOverTheHook)
{
    for (const char* name :
         {"phfont", "devg-omap", "devi-touch", "io-graphics", "io-display", "devc-ser8250", "fontsleuth", "pwm"}) {
        EXPECT_EQ(shutdown_classify_process(name, CLASS_APP, false, 0, 0), CLASS_DISPLAY) << name;
    }
    for (const char* name : {"devb-eide", "devf-ram", "pipe", "pps", "random"}) {
        EXPECT_EQ(shutdown_classify_process(name, CLASS_UNKNOWN, false, 0, 0), CLASS_FSYS) << name;
    }
}

TEST(ShutdownNameRules, ExactNamesMustMatchWholeAndADirectoryPartMatchesNoRule)
{
    EXPECT_EQ(shutdown_classify_process("/sbin/devb-eide", CLASS_UNKNOWN, false, 0, 0), CLASS_UNKNOWN);
    EXPECT_EQ(shutdown_classify_process("pipes", CLASS_UNKNOWN, false, 0, 0), CLASS_UNKNOWN);
    EXPECT_EQ(shutdown_classify_process("pwm2", CLASS_APP, false, 0, 0), CLASS_APP);
    EXPECT_EQ(shutdown_classify_process("/bin/init", CLASS_UNKNOWN, false, 0, 0), CLASS_UNKNOWN);
}

TEST(ShutdownNameRules, DaemonsAreKnownByFlagOrSessionOneOnlyWhenTheInformationWasRead)
{
    EXPECT_EQ(shutdown_classify_process("logger", CLASS_UNKNOWN, true, ShutdownDaemonProcessFlag, 7), CLASS_DAEMON);
    EXPECT_EQ(shutdown_classify_process("logger", CLASS_UNKNOWN, true, 0, 1), CLASS_DAEMON);
    EXPECT_EQ(shutdown_classify_process("logger", CLASS_UNKNOWN, true, 0, 7), CLASS_UNKNOWN);
    EXPECT_EQ(shutdown_classify_process("logger", CLASS_APP, false, ShutdownDaemonProcessFlag, 1), CLASS_APP);
}

TEST(ShutdownNameRules, HookClassNrSkipsTheRulesButInitIsAlwaysAnApplication)
{
    EXPECT_EQ(shutdown_classify_process("devb-eide", CLASS_NR, true, 0, 1), CLASS_NR);
    EXPECT_EQ(shutdown_classify_process("init", CLASS_UNKNOWN, true, 0, 1), CLASS_APP);
    EXPECT_EQ(shutdown_classify_process("tinit", CLASS_NR, false, 0, 0), CLASS_APP);
}

TEST(ShutdownOrder, SortsByClassThenNewestFirstWithTheHigherPidBreakingTies)
{
    RecordList list({Record(10, CLASS_FSYS, 5), Record(11, CLASS_APP, 1), Record(12, CLASS_APP, 9),
                     Record(13, CLASS_GRAPHICAL_APP, 0), Record(14, CLASS_APP, 9), Record(15, CLASS_DAEMON, 3)});
    shutdown_sort_records(list.data(), list.size(), false);
    std::vector<int32_t> pids;
    for (size_t i = 0; i < list.size(); ++i) {
        pids.push_back(list[i].pid);
    }
    EXPECT_EQ(pids, (std::vector<int32_t>{13, 14, 12, 11, 15, 10}));
}

TEST(ShutdownOrder, CreationOrderIgnoresTheClass)
{
    RecordList list({Record(10, CLASS_APP, 1), Record(11, CLASS_FSYS, 8), Record(12, CLASS_DAEMON, 4)});
    shutdown_sort_records(list.data(), list.size(), true);
    EXPECT_EQ(list[0].pid, 11);
    EXPECT_EQ(list[1].pid, 12);
    EXPECT_EQ(list[2].pid, 10);
}

TEST(ShutdownGracePeriods, SlowAndFastColumnsPerClass)
{
    EXPECT_EQ(shutdown_grace_period(CLASS_GRAPHICAL_APP, false), 20000u);
    EXPECT_EQ(shutdown_grace_period(CLASS_GRAPHICAL_APP, true), 50u);
    EXPECT_EQ(shutdown_grace_period(CLASS_APP, false), 100u);
    EXPECT_EQ(shutdown_grace_period(CLASS_DAEMON, true), 50u);
    EXPECT_EQ(shutdown_grace_period(CLASS_FSYS, true), 8000u);
    EXPECT_EQ(shutdown_grace_period(CLASS_DISPLAY, false), 50u);
    EXPECT_EQ(shutdown_grace_period(CLASS_NR, false), 1u);
}

TEST(ShutdownGracePeriods, ClassesOutsideTheTableTakeItsNearestEnd)
{
    EXPECT_EQ(shutdown_grace_period(CLASS_UNKNOWN, false), process_waits[CLASS_GRAPHICAL_APP].slow);
    EXPECT_EQ(shutdown_grace_period(CLASS_NR + 3, true), process_waits[CLASS_NR].fast);
}

TEST(ShutdownKillTimeout, AcceptsDecimalMillisecondsAndRefusesWordsAndOverflow)
{
    uint32_t ms = 7;
    int error = 0;
    EXPECT_EQ(shutdown_parse_kill_timeout(nullptr, &ms, &error), ShutdownTimeoutUnset);
    EXPECT_EQ(shutdown_parse_kill_timeout("250", &ms, &error), ShutdownTimeoutValid);
    EXPECT_EQ(ms, 250u);
    EXPECT_EQ(shutdown_parse_kill_timeout("0", &ms, &error), ShutdownTimeoutValid);
    EXPECT_EQ(ms, 0u);
    EXPECT_EQ(shutdown_parse_kill_timeout("4294967295", &ms, &error), ShutdownTimeoutValid);
    EXPECT_EQ(ms, 4294967295u);
    EXPECT_EQ(shutdown_parse_kill_timeout("40ms", &ms, &error), ShutdownTimeoutValid);
    EXPECT_EQ(ms, 40u);
    for (const char* word : {"soon", "", " 5", "-5", "+5"}) {
        EXPECT_EQ(shutdown_parse_kill_timeout(word, &ms, &error), ShutdownTimeoutNotNumeric) << word;
    }
    EXPECT_EQ(shutdown_parse_kill_timeout("4294967296", &ms, &error), ShutdownTimeoutOverflow);
    EXPECT_EQ(error, ERANGE);
    error = 0;
    EXPECT_EQ(shutdown_parse_kill_timeout("99999999999999999999999", &ms, &error), ShutdownTimeoutOverflow);
    EXPECT_EQ(error, ERANGE);
    EXPECT_EQ(ms, 40u);
}

TEST(ShutdownConnectionGraph, TheNetworkServerIsKnownByItsNameAndOnlyOtherLocalProcessesAreServers)
{
    EXPECT_TRUE(shutdown_is_network_server("io-pkt-v6-hc"));
    EXPECT_TRUE(shutdown_is_network_server("io-pkt"));
    EXPECT_FALSE(shutdown_is_network_server("io-pk"));
    EXPECT_FALSE(shutdown_is_network_server("/sbin/io-pkt-v4"));
    EXPECT_TRUE(shutdown_is_local_dependency(2, 40));
    EXPECT_FALSE(shutdown_is_local_dependency(1, 40));
    EXPECT_FALSE(shutdown_is_local_dependency(0, 40));
    EXPECT_FALSE(shutdown_is_local_dependency(40, 40));
}

TEST(ShutdownConnectionGraph, ClientGoesBeforeItsServerThatSortsFirst)
{
    RecordList list({Record(20, CLASS_DAEMON, 9), Record(21, CLASS_DAEMON, 1)});
    ASSERT_TRUE(shutdown_add_connection(&list[0], 1));
    bool hammer = false;
    EXPECT_EQ(list.PassOrder(CLASS_FSYS, &hammer), (std::vector<int32_t>{21, 20}));
}

TEST(ShutdownConnectionGraph, CycleSetsHammerTimeAndThenFollowsSortedOrder)
{
    RecordList list({Record(30, CLASS_DAEMON), Record(31, CLASS_DAEMON), Record(32, CLASS_DAEMON)});
    ASSERT_TRUE(shutdown_add_connection(&list[0], 1));
    ASSERT_TRUE(shutdown_add_connection(&list[1], 0));
    bool hammer = false;
    EXPECT_EQ(list.PassOrder(CLASS_FSYS, &hammer), (std::vector<int32_t>{32, 30, 31}));
    EXPECT_TRUE(hammer);
}

TEST(ShutdownConnectionGraph, AClientOutsideThePassLeavesItsServerToHammerTime)
{
    // A display driver is never taken by the main pass, so the daemon it
    // uses only goes once the dependencies are ignored.
    RecordList list({Record(40, CLASS_DAEMON), Record(41, CLASS_FSYS), Record(42, CLASS_DISPLAY)});
    ASSERT_TRUE(shutdown_add_connection(&list[0], 2));
    bool hammer = false;
    EXPECT_EQ(list.PassOrder(CLASS_FSYS, &hammer), (std::vector<int32_t>{41, 40}));
    EXPECT_TRUE(hammer);
    EXPECT_EQ(list[2].flags & PROCESS_FLAG_DONE, 0);
}

TEST(ShutdownConnectionGraph, ConnectionsAreRecordedOnceAndGrowPastSixteen)
{
    std::vector<ProcessInfo_t> records(40);
    for (size_t i = 0; i < records.size(); ++i) {
        records[i] = Record(static_cast<int32_t>(100 + i), CLASS_APP);
    }
    RecordList list(std::move(records));
    for (int32_t client = 1; client < 40; ++client) {
        ASSERT_TRUE(shutdown_add_connection(&list[0], client));
        ASSERT_TRUE(shutdown_add_connection(&list[0], client));
    }
    EXPECT_EQ(list[0].connection_count, 39u);
    EXPECT_EQ(list[0].connection_capacity, 48u);
    shutdown_mark_done(list.data(), list.size(), 5);
    EXPECT_EQ(list[0].connection_count, 38u);
    for (uint32_t i = 0; i < list[0].connection_count; ++i) {
        EXPECT_NE(list[0].connections_from[i], 5);
    }
}

TEST(ShutdownConnectionGraph, ApplicationsOnlyPassTakesGraphicalApplicationsAlone)
{
    RecordList list({Record(50, CLASS_GRAPHICAL_APP), Record(51, CLASS_APP), Record(52, CLASS_GRAPHICAL_APP)});
    bool hammer = false;
    EXPECT_EQ(list.PassOrder(CLASS_GRAPHICAL_APP, &hammer), (std::vector<int32_t>{50, 52}));
}

TEST(ShutdownMainPass, LogsAreSavedBeforeTheFirstFileSystemOnly)
{
    EXPECT_TRUE(shutdown_saves_logs_before(CLASS_FSYS));
    for (int processClass : {CLASS_GRAPHICAL_APP, CLASS_APP, CLASS_DAEMON, CLASS_DISPLAY}) {
        EXPECT_FALSE(shutdown_saves_logs_before(processClass)) << processClass;
    }
}

TEST(ShutdownOverdue, ApplicationsAreKilledGraphicalOnesAskedAboutAndTheRestLeft)
{
    const ProcessInfo_t application = Record(1, CLASS_APP);
    const ProcessInfo_t graphical = Record(1, CLASS_GRAPHICAL_APP);
    EXPECT_EQ(shutdown_overdue_action(&application), ShutdownOverdueKill);
    EXPECT_EQ(shutdown_overdue_action(&graphical), ShutdownOverdueAsk);
    for (int8_t processClass : {CLASS_DAEMON, CLASS_FSYS, CLASS_DISPLAY, CLASS_NR}) {
        const ProcessInfo_t record = Record(1, processClass);
        EXPECT_EQ(shutdown_overdue_action(&record), ShutdownOverdueMoveOn) << int(processClass);
    }
    for (int8_t processClass : {CLASS_GRAPHICAL_APP, CLASS_APP}) {
        ProcessInfo_t critical = Record(1, processClass);
        critical.flags = PROCESS_FLAG_CRITICAL;
        EXPECT_TRUE(shutdown_is_critical(&critical));
        EXPECT_EQ(shutdown_overdue_action(&critical), ShutdownOverdueMoveOn) << int(processClass);
    }
}

TEST(ShutdownOverdue, PromptAnswersWaitLeaveOrAbortAndAnyOtherAnswerKills)
{
    EXPECT_EQ(shutdown_prompt_action(1), ShutdownPromptWaitAgain);
    EXPECT_EQ(shutdown_prompt_action(2), ShutdownPromptLeave);
    EXPECT_EQ(shutdown_prompt_action(3), ShutdownPromptAbort);
    for (int answer : {0, 4, -1, 255}) {
        EXPECT_EQ(shutdown_prompt_action(answer), ShutdownPromptKill) << answer;
    }
}

TEST(ShutdownFinalSignals, GoToWhatThePassLeftUpToTheDisplayClass)
{
    for (int8_t processClass : {CLASS_GRAPHICAL_APP, CLASS_APP, CLASS_DAEMON, CLASS_FSYS, CLASS_DISPLAY}) {
        ProcessInfo_t record = Record(1, processClass);
        EXPECT_TRUE(shutdown_gets_final_signals(&record)) << int(processClass);
        record.flags = PROCESS_FLAG_DONE;
        EXPECT_FALSE(shutdown_gets_final_signals(&record)) << int(processClass);
    }
    const ProcessInfo_t beyond = Record(1, CLASS_NR);
    EXPECT_FALSE(shutdown_gets_final_signals(&beyond));
}

} // namespace
