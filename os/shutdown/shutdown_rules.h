#pragma once

// The rules of the shutdown sequence that need no running system: how a
// process is classified, how the list is ordered, how long each class is
// given, and which process goes next given the connections between them.
// None of these touches a process; the sequence applies them to the list it
// builds from the process file system.

#include "shutdown_system.h"

#include <stddef.h>
#include <stdint.h>

// Process flag of the process information that marks a system daemon.
constexpr uint32_t ShutdownDaemonProcessFlag = 0x1000u;
constexpr uint64_t ShutdownNewestStartTime = UINT64_MAX;

// The class a process gets: `hook_class` unless it is CLASS_NR, a name rule
// matches, or the process information (when `info_read`) shows a daemon.
// "init" and "tinit" are always applications.
ProcessClass_t shutdown_classify_process(const char* name, ProcessClass_t hook_class, bool info_read,
                                         uint32_t process_flags, pid_t session);
bool shutdown_is_init_name(const char* name);

// Ascending class, then newest first (a larger start time first; equal start
// times put the higher process id first). `by_creation` ignores the class.
void shutdown_sort_records(ProcessInfo_t* records, size_t count, bool by_creation);

// Grace period of a class in milliseconds, slow or fast column.
uint32_t shutdown_grace_period(int class_type, bool fast);

enum ShutdownTimeoutParse {
    ShutdownTimeoutUnset,      // no value: the class periods apply
    ShutdownTimeoutValid,      // *ms holds the period
    ShutdownTimeoutNotNumeric, // does not begin with a digit
    ShutdownTimeoutOverflow,   // too large for 32 bits, or unconvertible; *error holds errno
};
// Reads a "SIGKILL_TIMEOUT" value: decimal milliseconds, at most 0xFFFFFFFF.
// Trailing characters after the digits are ignored.
ShutdownTimeoutParse shutdown_parse_kill_timeout(const char* value, uint32_t* ms, int* error);

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

// Frees the names and connection arrays of the records and the array itself.
void shutdown_free_records(ProcessInfo_t* records, size_t count);
