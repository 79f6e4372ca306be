#pragma once

// The rules of the shutdown sequence that need no running system: where
// each shutdown type ends, which entries are listed and how a process is
// classified, how the list is ordered, how long each class is given, which
// process goes next given the connections between them, what becomes of a
// process that outlives its grace period, and which ones get the final
// signals. None of these touches a process; the sequence applies them to the
// list it builds from the process file system.

#include "shutdown_system.h"

#include <stddef.h>
#include <stdint.h>

// Process flag of the process information that marks a system daemon.
constexpr uint32_t ShutdownDaemonProcessFlag = 0x1000u;
// The flags the sequence detaches with (procmgr_daemon): keep every
// descriptor open and leave 0-2 where they are, so that its diagnostics still
// reach standard error. The number rather than the header's
// PROCMGR_DAEMON_NOCLOSE | PROCMGR_DAEMON_NODEVNULL, so that the system is
// asked for exactly these bits whatever the target's header calls them.
constexpr unsigned ShutdownDaemonFlags = 6u;
constexpr uint64_t ShutdownNewestStartTime = UINT64_MAX;
// The SCHED_FIFO priority the sequence asks for first; where the system
// refuses it, the highest one it allows.
constexpr int ShutdownPriority = 255;

// Where a call of shutdown_system ends.
enum ShutdownEnd
{
    ShutdownEndRefused,        // an unknown type: nothing is done at all
    ShutdownEndAfterMainPass,  // the caller ends with status 0 after the main pass
    ShutdownEndAfterBoardHook, // ... after shutdown_done and the board hook
    ShutdownEndReboot,         // the final signals, then the reboot
};
// Types 0 and 1 end after the main pass; 3, 4 and 6, and 2 and 5 with
// SHUTDOWN_FLAG_NO_REBOOT, after the board hook; 2 and 5 reboot.
ShutdownEnd shutdown_end_of(int type, int flags);

// The last class the main pass takes: CLASS_GRAPHICAL_APP for types 0 and 1
// (graphical applications only), CLASS_FSYS otherwise.
int shutdown_last_pass_class(int type);
// Whether the main pass takes a record of `class_type`: classes 0 to `last_class`.
bool shutdown_in_main_pass(int class_type, int last_class);

// Whether a top-level entry of the process file system is listed: a decimal
// process id (stored in *pid) other than process 1 and the caller's own.
bool shutdown_lists_entry(const char* entry, pid_t self, pid_t* pid);

// The class a process gets: `hook_class` unless it is CLASS_NR, a name rule
// matches, or the process information (when `info_read`) shows a daemon.
// "init" and "tinit" are always applications.
ProcessClass_t shutdown_classify_process(const char* name, ProcessClass_t hook_class, bool info_read,
                                         uint32_t process_flags, pid_t session);
bool shutdown_is_init_name(const char* name);

// Ascending class, then newest first (a larger start time first; equal start
// times put the higher process id first). `by_creation` ignores the class.
void shutdown_sort_records(ProcessInfo_t* records, size_t count, bool by_creation);

// How long a process of each class is given to end after SIGTERM, in
// milliseconds, indexed by class; the last entry covers CLASS_NR. The slow
// column applies unless SHUTDOWN_FLAG_FAST is given.
struct ShutdownGracePeriods
{
    uint32_t slow;
    uint32_t fast;
};
extern const ShutdownGracePeriods process_waits[CLASS_NR + 1];

// Grace period of a class in milliseconds from process_waits, slow or fast
// column; classes outside the table take its nearest end.
uint32_t shutdown_grace_period(int class_type, bool fast);

enum ShutdownTimeoutParse
{
    ShutdownTimeoutUnset,      // no value: the class periods apply
    ShutdownTimeoutValid,      // *ms holds the period
    ShutdownTimeoutNotNumeric, // does not begin with a digit
    ShutdownTimeoutOverflow,   // too large for 32 bits, or unconvertible; *error holds errno
};
// Reads a "SIGKILL_TIMEOUT" value: decimal milliseconds, at most 0xFFFFFFFF.
// Trailing characters after the digits are ignored.
ShutdownTimeoutParse shutdown_parse_kill_timeout(const char* value, uint32_t* ms, int* error);

// The network (QNET) server: a process whose name begins with "io-pkt".
bool shutdown_is_network_server(const char* name);
// Whether a local connection of `client` to `server` orders the two: the
// server is a process of its own (id 2 or above) and not the client itself.
bool shutdown_is_local_dependency(pid_t server, pid_t client);

// Records that the process at `client` holds a connection to `server`
// (added once). False when the list could not grow; nothing is lost then
// but this one ordering constraint.
bool shutdown_add_connection(ProcessInfo_t* server, int32_t client);

// Marks records[index] done and removes it from every record's connections.
void shutdown_mark_done(ProcessInfo_t* records, size_t count, size_t index);

// The next record the main pass takes among classes 0 to `last_class`: the
// first not done without connections left, or, once *hammer_time is set, the
// first not done. When none qualifies *hammer_time is set and the search
// repeated. -1 when every such record is done.
long shutdown_pick_next(const ProcessInfo_t* records, size_t count, int last_class, bool* hammer_time);

// The reset record's logs are saved just before the first process of this
// class is terminated: the file systems.
bool shutdown_saves_logs_before(int class_type);

// A critical process is only ever woken (SIGCONT, SIGPWR), never
// terminated or killed.
bool shutdown_is_critical(const ProcessInfo_t* record);

// What becomes of a process that is still there when its grace period ends.
enum ShutdownOverdue
{
    ShutdownOverdueMoveOn, // left running; the pass goes on
    ShutdownOverdueKill,   // SIGKILL
    ShutdownOverdueAsk,    // shutdown_prompt decides
};
// Applications are killed, graphical applications are asked about, every
// other class and every critical process is left.
ShutdownOverdue shutdown_overdue_action(const ProcessInfo_t* record);

// What shutdown_prompt's answer asks for.
enum ShutdownPromptAction
{
    ShutdownPromptWaitAgain, // 1: another grace period, then ask again
    ShutdownPromptLeave,     // 2: leave the process running
    ShutdownPromptAbort,     // 3: abort the shutdown; the caller ends with status 1
    ShutdownPromptKill,      // any other answer: SIGKILL
};
ShutdownPromptAction shutdown_prompt_action(int answer);

// Whether a record gets SIGTERM and SIGCONT (only SIGCONT when critical) after
// the board hook, without a wait: the ones the main pass did not take, up to
// the display class.
bool shutdown_gets_final_signals(const ProcessInfo_t* record);

// Frees the names and connection arrays of the records and the array itself.
void shutdown_free_records(ProcessInfo_t* records, size_t count);
