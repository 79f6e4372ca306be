// Stands in for QNX's spawnp, on posix_spawnp with file actions for the descriptor map.
#include <spawn.h>

#include <cerrno>
#include <unistd.h>

extern "C" char** environ;

namespace {

// Owns a file-action list for one call.
class FileActions
{
public:
    FileActions() : ok(posix_spawn_file_actions_init(&actions) == 0) {}
    ~FileActions()
    {
        if (ok) {
            posix_spawn_file_actions_destroy(&actions);
        }
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    posix_spawn_file_actions_t actions;
    bool ok;
};

class SpawnAttributes
{
public:
    SpawnAttributes() : ok(posix_spawnattr_init(&attributes) == 0) {}
    ~SpawnAttributes()
    {
        if (ok) {
            posix_spawnattr_destroy(&attributes);
        }
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    posix_spawnattr_t attributes;
    bool ok;
};

int MapDescriptors(posix_spawn_file_actions_t* actions, int fdCount, const int fdMap[])
{
    // Every source is first copied above all sources and targets, so that no
    // dup2 onto a target can overwrite a source that is still needed; the copy
    // also drops close-on-exec, which QNX's map overrides as well.
    int base = fdCount;
    for (int i = 0; i < fdCount; ++i) {
        if (fdMap[i] >= base) {
            base = fdMap[i] + 1;
        }
    }
    for (int i = 0; i < fdCount; ++i) {
        if (fdMap[i] != SPAWN_FDCLOSED) {
            const int rc = posix_spawn_file_actions_adddup2(actions, fdMap[i], base + i);
            if (rc != 0) {
                return rc;
            }
        }
    }
    for (int i = 0; i < fdCount; ++i) {
        const int rc = fdMap[i] == SPAWN_FDCLOSED ? posix_spawn_file_actions_addclose(actions, i)
                                                  : posix_spawn_file_actions_adddup2(actions, base + i, i);
        if (rc != 0) {
            return rc;
        }
    }
    return posix_spawn_file_actions_addclosefrom_np(actions, fdCount);
}

} // namespace

extern "C" pid_t spawnp(const char* file, int fd_count, const int fd_map[], const struct inheritance* inherit,
                        char* const argv[], char* const envp[])
{
    FileActions files;
    SpawnAttributes attrs;
    if (!files.ok || !attrs.ok || fd_count < 0 || (fd_count > 0 && fd_map == nullptr)) {
        errno = EINVAL;
        return -1;
    }
    int rc = fd_count > 0 ? MapDescriptors(&files.actions, fd_count, fd_map) : 0;
    if (rc == 0 && inherit != nullptr) {
        short flags = 0;
        if ((inherit->flags & SPAWN_SETGROUP) != 0) {
            flags = static_cast<short>(flags | POSIX_SPAWN_SETPGROUP);
            rc = posix_spawnattr_setpgroup(&attrs.attributes, inherit->pgroup);
        }
        if (rc == 0 && (inherit->flags & SPAWN_SETSIGMASK) != 0) {
            flags = static_cast<short>(flags | POSIX_SPAWN_SETSIGMASK);
            rc = posix_spawnattr_setsigmask(&attrs.attributes, &inherit->sigmask);
        }
        if (rc == 0 && (inherit->flags & SPAWN_SETSIGDEF) != 0) {
            flags = static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF);
            rc = posix_spawnattr_setsigdefault(&attrs.attributes, &inherit->sigdefault);
        }
        if (rc == 0) {
            rc = posix_spawnattr_setflags(&attrs.attributes, flags);
        }
    }
    pid_t pid = -1;
    if (rc == 0) {
        rc = posix_spawnp(&pid, file, &files.actions, &attrs.attributes, argv, envp != nullptr ? envp : environ);
    }
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}
