#pragma once

// The orderly system shutdown: terminates every process of the machine class
// by class, clients before the servers they use, and then reboots.
//
// shutdown_system runs on the calling thread, detaches the calling process
// from its session and parent, locks its memory and raises it to the highest
// real-time priority. For type SHUTDOWN_REBOOT it does not return: the
// machine restarts. Failures that leave it unable to go on (memory lock,
// priority, the process file system, the reboot request) end the calling
// process with status 1. An unknown type returns at once, before anything
// has been done.
//
// The hooks below have default bodies (weak definitions) that an application
// replaces by defining a function of the same name.

#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Shutdown types. The printer uses SHUTDOWN_REBOOT; the others are kept for
// callers of the same sequence elsewhere:
//   0, 1     graphical applications only; the caller then ends with status 0
//   2, 5     every process, then the reboot
//   3, 4, 6  every process and the board hook; the caller then ends with status 0
// Any other type is refused: shutdown_system returns having done nothing.
enum
{
    SHUTDOWN_REBOOT = 2,
};

// Flag bits.
enum
{
    SHUTDOWN_FLAG_FAST = 0x0001,          // the short grace periods
    SHUTDOWN_FLAG_NO_REBOOT = 0x0002,     // stop after the board hook; no final signals, no reboot
    SHUTDOWN_FLAG_VERBOSE = 0x0004,       // one line per signalled process on standard error
    SHUTDOWN_FLAG_VERY_VERBOSE = 0x0008,  // also the ordered process list
    SHUTDOWN_FLAG_KEEP_ATTACHED = 0x0100, // do not detach from the caller's parent
    SHUTDOWN_FLAG_BY_CREATION = 0x0200,   // order by creation time alone, ignoring classes
};

typedef enum
{
    CLASS_UNKNOWN = -1,
    CLASS_GRAPHICAL_APP = 0,
    CLASS_PHOTON_APP = CLASS_GRAPHICAL_APP,
    CLASS_APP = 1,
    CLASS_DAEMON = 2,
    CLASS_FSYS = 3,
    CLASS_DISPLAY = 4,
    CLASS_NR = 5,
} ProcessClass_t;

// Record flags.
enum
{
    PROCESS_FLAG_DONE = 0x01,
    PROCESS_FLAG_NETWORK = 0x02,  // holds connections to another node
    PROCESS_FLAG_CRITICAL = 0x04, // never terminated, only woken
};

// One listed process. The list owns `name` and `connections_from`.
typedef struct
{
    uint64_t start_time; // all ones for "init" and "tinit"; 0 when unknown
    int32_t pid;
    int8_t class_type;            // a ProcessClass_t
    uint8_t flags;                // PROCESS_FLAG_*
    char* name;                   // first string of the command line, or the pid as text
    uint32_t connection_count;    // used entries of connections_from
    int32_t* connections_from;    // list indices of processes still connected to this one
    uint32_t connection_capacity; // allocated entries of connections_from
} ProcessInfo_t;

// What an application's shutdown display would show. The sequence itself
// never calls shutdown_display; the type exists for applications that do.
typedef struct
{
    int type;
    int done;
    int total;
} DisplayData_t;

void shutdown_system(int type, int flags);
// Keeps `reason` (not copied; it must outlive the call) for the reset record.
void shutdown_system_with_reason(int type, int flags, char* reason);

// Hooks.
// The class of a process before the name rules; CLASS_NR skips the rules and
// keeps the process from ever being signalled. Default: CLASS_UNKNOWN.
ProcessClass_t shutdown_classify(const ProcessInfo_t* pip);
// A graphical application outlived its grace period: 1 wait again, 2 leave
// it, 3 abort the shutdown (the caller exits with status 1), other: SIGKILL.
// Default: 2.
int shutdown_prompt(const char* name, pid_t pid);
void shutdown_display(int type, const DisplayData_t* display);
void shutdown_done(int type);
void shutdown_error(const char* msg);
// Called before each 10 ms pause while a process is being waited for.
void shutdown_process(void);
void shutdown_progress(int done, int total);

#ifdef __cplusplus
}
#endif
