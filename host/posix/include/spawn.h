// Stands in for QNX's <spawn.h>: adds spawnp and its inheritance record to posix_spawn.
#pragma once

#include_next <spawn.h>

#include <signal.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Marks a child descriptor that is not inherited in a spawnp fd map.
#define SPAWN_FDCLOSED (-1)

#define SPAWN_SETGROUP 0x0001
#define SPAWN_SETSIGMASK 0x0002
#define SPAWN_SETSIGDEF 0x0004

// How the child differs from its parent; a null pointer means "not at all".
struct inheritance
{
    unsigned long flags;
    pid_t pgroup;
    sigset_t sigmask;
    sigset_t sigdefault;
};

// Starts `file` (searched on PATH) with argv and envp (null: the parent's).
// With fd_count 0 the child inherits every descriptor not marked close-on-exec;
// otherwise child descriptor i is the parent's fd_map[i] (SPAWN_FDCLOSED: none)
// and it has no others. Returns the child's pid, or -1 with errno.
pid_t spawnp(const char* file, int fd_count, const int fd_map[], const struct inheritance* inherit, char* const argv[],
             char* const envp[]);

#ifdef __cplusplus
}
#endif
