#include "shutdown_system.h"

#include "shutdown_procfs.h"
#include "shutdown_rules.h"

#include <devctl.h>
#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/neutrino.h>
#include <sys/netmgr.h>
#include <sys/procfs.h>
#include <sys/procmgr.h>
#include <sys/sysmgr.h>
#include <sys/utsname.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

using BoardEntry = void (*)(int type);
using SaveResetInfoEntry = void (*)(int type, char* reason);
using SaveLogsEntry = void (*)(void);

// Module state: the sequence runs once per process, from one thread.
bool hammer_time = false;
char* save_reason = nullptr;
bool nvram_opened = false;
void* nvram_library = nullptr;
SaveResetInfoEntry save_reset_info_to_nv = nullptr;
SaveLogsEntry save_logs = nullptr;

struct BoardLibrary {
    BoardEntry pre_shutdown = nullptr;
    BoardEntry shutdown = nullptr;
};

template <typename Function>
Function LookUp(void* library, const char* symbol)
{
    void* address = dlsym(library, symbol);
    Function function = nullptr;
    static_assert(sizeof(function) == sizeof(address), "function and object pointers differ");
    std::memcpy(&function, &address, sizeof(function));
    return function;
}

BoardLibrary OpenBoardLibrary()
{
    BoardLibrary board;
    void* library = nullptr;
    if (const char* named = std::getenv("BOARD_SHUTDOWN_DLL")) {
        library = dlopen(named, RTLD_NOW);
        if (library == nullptr)
            std::perror(named);
    } else {
        utsname machine {};
        if (uname(&machine) == 0) {
            char path[256];
            const int length = std::snprintf(path, sizeof path, "shutdown-%s.so", machine.machine);
            if (length < 0 || static_cast<size_t>(length) >= sizeof path)
                std::fprintf(stderr, "Name too long: shutdown-%s.so", machine.machine);
            else
                library = dlopen(path, RTLD_NOW);
        }
    }
    if (library == nullptr)
        return board;
    board.pre_shutdown = LookUp<BoardEntry>(library, "board_pre_shutdown");
    if (board.pre_shutdown == nullptr)
        std::perror("dlsym(\"board_pre_shutdown\")");
    board.shutdown = LookUp<BoardEntry>(library, "board_shutdown");
    if (board.shutdown == nullptr)
        std::perror("dlsym(\"board_shutdown\")");
    return board;
}

void OpenNvramLibrary()
{
    if (nvram_opened)
        return;
    nvram_opened = true;
    nvram_library = dlopen("shutdown_nvram.so", RTLD_NOW);
    if (nvram_library == nullptr)
        return;
    save_reset_info_to_nv = LookUp<SaveResetInfoEntry>(nvram_library, "save_reset_info_to_nv");
    if (save_reset_info_to_nv == nullptr)
        std::fprintf(stderr, "Unable to find function save_reset_info_to_nv \n");
    save_logs = LookUp<SaveLogsEntry>(nvram_library, "save_logs");
    if (save_logs == nullptr)
        std::fprintf(stderr, "Unable to find function save_logs \n");
}

// Ends the calling process at once. Its other threads may still run (the
// restart is called from a timer's thread), so the static destructors that
// exit() would run must not run under them; buffered output still goes out.
[[noreturn]] void EndProcess(int status)
{
    std::fflush(nullptr);
    _exit(status);
}

[[noreturn]] void Fail(const char* message)
{
    shutdown_error(message);
    EndProcess(1);
}

void BoostPriority()
{
    sched_param param {};
    param.sched_priority = 255;
    if (sched_setscheduler(0, SCHED_FIFO, &param) == 0)
        return;
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (param.sched_priority < 0 || sched_setscheduler(0, SCHED_FIFO, &param) != 0)
        Fail("Unable to boost process priority.");
}

uint64_t NowMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

bool ReadProcessInfo(int fd, procfs_info* info)
{
    if (fd < 0)
        return false;
    std::memset(info, 0, sizeof *info);
    return devctl(fd, DCMD_PROC_INFO, info, sizeof *info, nullptr) == EOK;
}

bool QueryProcess(pid_t pid, procfs_info* info)
{
    const int fd = shutdown_procfs_open_process(pid);
    const bool read = ReadProcessInfo(fd, info);
    if (fd >= 0)
        close(fd);
    return read;
}

// The first string of the command line, or nullptr when it cannot be read.
char* ReadCommandName(pid_t pid)
{
    const int fd = shutdown_procfs_open_command_line(pid);
    if (fd < 0)
        return nullptr;
    char buffer[1026];
    ssize_t got;
    do {
        got = read(fd, buffer, 1025);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got <= 0)
        return nullptr;
    buffer[got] = '\0';
    if (buffer[0] == '\0')
        return nullptr;
    return strdup(buffer);
}

bool ParsePid(const char* entry, pid_t* pid)
{
    if (entry[0] == '\0')
        return false;
    long value = 0;
    for (const char* c = entry; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + (*c - '0');
        if (value > 0x7FFFFFFFL)
            return false;
    }
    *pid = static_cast<pid_t>(value);
    return true;
}

struct ProcessList {
    ProcessInfo_t* records = nullptr;
    size_t capacity = 0;
    size_t count = 0;
    pid_t self = 0;
    bool out_of_memory = false;
};

int CountEntry(const char*, void* context)
{
    ++*static_cast<size_t*>(context);
    return 0;
}

int AddEntry(const char* entry, void* context)
{
    ProcessList& list = *static_cast<ProcessList*>(context);
    pid_t pid = 0;
    if (!ParsePid(entry, &pid) || pid == 1 || pid == list.self)
        return 0;
    // Processes started since the count would overrun the array.
    if (list.count == list.capacity)
        return 1;

    ProcessInfo_t& record = list.records[list.count];
    std::memset(&record, 0, sizeof record);
    record.pid = static_cast<int32_t>(pid);

    procfs_info info {};
    const bool info_read = QueryProcess(pid, &info);
    if (info_read && (info.flags & _NTO_PF_CRITICAL) != 0u)
        record.flags = static_cast<uint8_t>(record.flags | PROCESS_FLAG_CRITICAL);

    record.name = ReadCommandName(pid);
    if (record.name == nullptr)
        record.name = strdup(entry);
    if (record.name == nullptr) {
        list.out_of_memory = true;
        return 1;
    }
    record.start_time = info_read ? static_cast<uint64_t>(info.start_time) : 0u;

    const ProcessClass_t hook_class = shutdown_classify(&record);
    ProcessClass_t process_class = shutdown_classify_process(
        record.name, hook_class, info_read, static_cast<uint32_t>(info.flags), info.sid);
    if (shutdown_is_init_name(record.name))
        record.start_time = ShutdownNewestStartTime;
    if (process_class == CLASS_UNKNOWN) {
        std::free(record.name);
        record.name = nullptr;
        return 0;
    }
    record.class_type = static_cast<int8_t>(process_class);
    ++list.count;
    return 0;
}

void BuildProcessList(ProcessList& list)
{
    size_t entries = 0;
    if (shutdown_procfs_walk(CountEntry, &entries) != 0)
        Fail("Unable to access procfs.");
    list.capacity = entries;
    list.records = static_cast<ProcessInfo_t*>(std::calloc(entries == 0 ? 1 : entries, sizeof(ProcessInfo_t)));
    if (list.records == nullptr)
        Fail("Insufficient memory to build process list.");
    if (shutdown_procfs_walk(AddEntry, &list) != 0) {
        shutdown_free_records(list.records, list.count);
        Fail("Unable to access procfs.");
    }
    if (list.out_of_memory) {
        shutdown_free_records(list.records, list.count);
        Fail("Insufficient memory to build process list.");
    }
}

long FindRecord(const ProcessList& list, pid_t pid)
{
    for (size_t i = 0; i < list.count; ++i) {
        if (list.records[i].pid == pid)
            return static_cast<long>(i);
    }
    return -1;
}

void CollectConnections(ProcessList& list)
{
    long network_server = -1;
    for (size_t i = 0; i < list.count; ++i) {
        if (std::strncmp(list.records[i].name, "io-pkt", 6) == 0) {
            if (network_server >= 0)
                shutdown_error("uncertain identification of qnet server.");
            network_server = static_cast<long>(i);
        }
    }

    for (size_t i = 0; i < list.count; ++i) {
        ProcessInfo_t& client = list.records[i];
        int coid = 0;
        for (;;) {
            _server_info server {};
            const int found = ConnectServerInfo(client.pid, coid, &server);
            if (found < coid)
                break;
            coid = found + 1;
            if (server.nd != ND_LOCAL_NODE) {
                client.flags = static_cast<uint8_t>(client.flags | PROCESS_FLAG_NETWORK);
                continue;
            }
            if (server.pid < 2 || server.pid == client.pid)
                continue;
            const long server_index = FindRecord(list, server.pid);
            if (server_index >= 0)
                shutdown_add_connection(&list.records[server_index], static_cast<int32_t>(i));
        }
    }

    bool reported = false;
    for (size_t i = 0; i < list.count; ++i) {
        if ((list.records[i].flags & PROCESS_FLAG_NETWORK) == 0)
            continue;
        if (network_server < 0) {
            if (!reported)
                shutdown_error("Error: QNET connections, but no QNET server.");
            reported = true;
        } else if (static_cast<size_t>(network_server) != i) {
            // The server's own remote connections must not make it wait for itself.
            shutdown_add_connection(&list.records[network_server], static_cast<int32_t>(i));
        }
    }
}

void SendTermination(const char* signal_name, int signal, pid_t pid)
{
    if (kill(pid, signal) == 0 || errno == ESRCH)
        return;
    const int error = errno;
    if (error == EPERM)
        std::fprintf(stderr,
                     "An error occurred while attempting to %s pid=%d (errno=%d). Missing PROCMGR_AID_SIGNAL ability.\n",
                     signal_name, static_cast<int>(pid), error);
    else
        std::fprintf(stderr, "An error occurred while attempting to %s pid=%d (errno=%d)\n", signal_name,
                     static_cast<int>(pid), error);
}

void SendFinal(const char* signal_name, int signal, const ProcessInfo_t& record)
{
    if (kill(record.pid, signal) == 0)
        return;
    const int error = errno;
    std::fprintf(stderr, "Could not send %s to pid=%d (%s). ", signal_name, static_cast<int>(record.pid),
                 record.name);
    if (error == EPERM)
        std::fprintf(stderr, "Missing PROCMGR_AID_SIGNAL ability\n");
    else
        std::fprintf(stderr, "An error occurred while attempting to %s pid=%d (errno=%d)\n", signal_name,
                     static_cast<int>(record.pid), error);
}

// True when the process is still there once the grace period has passed.
bool OutlivesGrace(int fd, uint32_t grace_ms)
{
    const uint64_t deadline = NowMs() + grace_ms;
    for (;;) {
        procfs_info info {};
        if (!ReadProcessInfo(fd, &info) || (info.flags & _NTO_PF_ZOMBIE) != 0u)
            return false;
        if (NowMs() >= deadline)
            return true;
        shutdown_process();
        delay(10);
    }
}

struct PassSettings {
    int last_class;
    bool fast;
    bool verbose;
    bool kill_timeout_set;
    uint32_t kill_timeout_ms;
};

void ReadKillTimeout(PassSettings& settings)
{
    const char* value = std::getenv("SIGKILL_TIMEOUT");
    int error = 0;
    switch (shutdown_parse_kill_timeout(value, &settings.kill_timeout_ms, &error)) {
    case ShutdownTimeoutValid:
        settings.kill_timeout_set = true;
        break;
    case ShutdownTimeoutNotNumeric:
        std::fprintf(stderr, "SIGKILL_TIMEOUT=%s is not a numeric value.\n", value);
        break;
    case ShutdownTimeoutOverflow:
        std::fprintf(stderr, "SIGKILL_TIMEOUT=%s cannot be converted to a numeric value : errno=%s.\n", value,
                     std::strerror(error));
        break;
    case ShutdownTimeoutUnset:
        break;
    }
}

void Terminate(ProcessList& list, size_t index, const PassSettings& settings)
{
    ProcessInfo_t& record = list.records[index];
    const pid_t pid = record.pid;
    const bool critical = (record.flags & PROCESS_FLAG_CRITICAL) != 0;
    const uint32_t grace = settings.kill_timeout_set ? settings.kill_timeout_ms
                                                     : shutdown_grace_period(record.class_type, settings.fast);
    // Opened before the first signal, so a recycled process id cannot pass
    // for the process being waited for. A process whose information cannot
    // be read has ended since the listing, and its id may already be another
    // process's: it gets no signal.
    const int fd = shutdown_procfs_open_process(pid);
    procfs_info info {};
    if (!ReadProcessInfo(fd, &info)) {
        if (fd >= 0)
            close(fd);
        return;
    }
    if (settings.verbose)
        std::fprintf(stderr, "Terminating pid=%d (%s), class %d%s\n", static_cast<int>(pid), record.name,
                     static_cast<int>(record.class_type), critical ? ", critical" : "");
    if (!critical)
        SendTermination("SIGTERM", SIGTERM, pid);
    SendTermination("SIGCONT", SIGCONT, pid);
    SendTermination("SIGPWR", SIGPWR, pid);
    bool alive = OutlivesGrace(fd, grace);

    if (!critical && alive && record.class_type == CLASS_APP) {
        SendFinal("SIGKILL", SIGKILL, record);
    } else if (!critical && record.class_type == CLASS_GRAPHICAL_APP) {
        while (alive) {
            const int answer = shutdown_prompt(record.name, pid);
            if (answer == 1) {
                alive = OutlivesGrace(fd, grace);
                continue;
            }
            if (answer == 3) {
                if (fd >= 0)
                    close(fd);
                shutdown_free_records(list.records, list.count);
                EndProcess(1);
            }
            if (answer != 2)
                SendFinal("SIGKILL", SIGKILL, record);
            break;
        }
    }
    if (fd >= 0)
        close(fd);
}

void PrintList(const ProcessList& list)
{
    for (size_t i = 0; i < list.count; ++i) {
        const ProcessInfo_t& record = list.records[i];
        std::fprintf(stderr, "pid=%d class=%d start=%" PRIu64 " flags=0x%x connections=%u name=%s\n",
                     static_cast<int>(record.pid), static_cast<int>(record.class_type), record.start_time,
                     static_cast<unsigned>(record.flags), static_cast<unsigned>(record.connection_count),
                     record.name);
    }
}

void FreeList(ProcessList& list)
{
    shutdown_free_records(list.records, list.count);
    list.records = nullptr;
    list.count = 0;
}

} // namespace

extern "C" void shutdown_system_with_reason(int type, int flags, char* reason)
{
    save_reason = reason;
    shutdown_system(type, flags);
}

extern "C" void shutdown_system(int type, int flags)
{
    if (type < 0 || type > 6)
        return;
    const bool apps_only = type <= 1;

    ProcessList list;
    list.self = getpid();
    setsid();

    const BoardLibrary board = OpenBoardLibrary();
    if (board.pre_shutdown != nullptr)
        board.pre_shutdown(type);

    if (mlockall(MCL_CURRENT | MCL_FUTURE) != 0)
        Fail("Unable to lock process address space.");
    if ((flags & SHUTDOWN_FLAG_KEEP_ATTACHED) == 0)
        procmgr_daemon(0, PROCMGR_DAEMON_NOCLOSE | PROCMGR_DAEMON_NODEVNULL);
    BoostPriority();

    OpenNvramLibrary();
    if (save_reset_info_to_nv != nullptr)
        save_reset_info_to_nv(type, save_reason);

    BuildProcessList(list);
    shutdown_sort_records(list.records, list.count, (flags & SHUTDOWN_FLAG_BY_CREATION) != 0);
    CollectConnections(list);

    PassSettings settings {};
    settings.last_class = apps_only ? CLASS_GRAPHICAL_APP : CLASS_FSYS;
    settings.fast = (flags & SHUTDOWN_FLAG_FAST) != 0;
    settings.verbose = (flags & (SHUTDOWN_FLAG_VERBOSE | SHUTDOWN_FLAG_VERY_VERBOSE)) != 0;
    if ((flags & SHUTDOWN_FLAG_VERY_VERBOSE) != 0)
        PrintList(list);

    int total = 0;
    for (size_t i = 0; i < list.count; ++i) {
        if (list.records[i].class_type >= CLASS_GRAPHICAL_APP && list.records[i].class_type <= settings.last_class)
            ++total;
    }

    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    ReadKillTimeout(settings);

    int done = 0;
    bool logs_saved = false;
    for (;;) {
        const long picked = shutdown_pick_next(list.records, list.count, settings.last_class, &hammer_time);
        if (picked < 0)
            break;
        const size_t index = static_cast<size_t>(picked);
        shutdown_mark_done(list.records, list.count, index);
        if (list.records[index].class_type == CLASS_FSYS && !logs_saved) {
            logs_saved = true;
            if (save_logs != nullptr)
                save_logs();
        }
        Terminate(list, index, settings);
        shutdown_progress(++done, total);
    }

    if (apps_only) {
        FreeList(list);
        EndProcess(0);
    }

    shutdown_done(type);
    if (board.shutdown != nullptr)
        board.shutdown(type);
    if (type == 3 || type == 4 || type == 6 || (flags & SHUTDOWN_FLAG_NO_REBOOT) != 0) {
        FreeList(list);
        EndProcess(0);
    }

    for (size_t i = 0; i < list.count; ++i) {
        const ProcessInfo_t& record = list.records[i];
        if ((record.flags & PROCESS_FLAG_DONE) != 0 || record.class_type > CLASS_DISPLAY)
            continue;
        // A critical process is only ever woken, here as in the main pass.
        if ((record.flags & PROCESS_FLAG_CRITICAL) == 0)
            SendFinal("SIGTERM", SIGTERM, record);
        SendFinal("SIGCONT", SIGCONT, record);
    }

    FreeList(list);
    if (sysmgr_reboot() != 0)
        Fail("Process lacks the PROCMGR_AID_REBOOT ability");
}
