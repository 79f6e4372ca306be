#include "shutdown_system.h"

#include "shutdown_procfs.h"
#include "shutdown_rules.h"

#include <devctl.h>
#include <dlfcn.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/netmgr.h>
#include <sys/neutrino.h>
#include <sys/procfs.h>
#include <sys/procmgr.h>
#include <sys/sysmgr.h>
#include <sys/utsname.h>
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

// How often a process that was asked to end is looked at.
constexpr unsigned int PollIntervalMs = 10;
// The longest start of a command line read for a process's name.
constexpr ssize_t CommandLineBytes = 1025;

// Module state: the sequence runs once per process, from one thread.
bool hammer_time = false;
char* save_reason = nullptr;
bool nvram_opened = false;
void* nvram_library = nullptr;
SaveResetInfoEntry save_reset_info_to_nv = nullptr;
SaveLogsEntry save_logs = nullptr;

struct BoardLibrary
{
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
    // NOLINTNEXTLINE(concurrency-mt-unsafe): neither program changes its environment, so reading it is safe
    if (const char* named = std::getenv("BOARD_SHUTDOWN_DLL")) {
        library = dlopen(named, RTLD_NOW);
        if (library == nullptr) {
            std::perror(named);
        }
    } else {
        utsname machine{};
        if (uname(&machine) == 0) {
            char path[256];
            const int length = std::snprintf(path, sizeof path, "shutdown-%s.so", machine.machine);
            if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
                (void)std::fprintf(stderr, "Name too long: shutdown-%s.so", machine.machine);
            } else {
                library = dlopen(path, RTLD_NOW);
            }
        }
    }
    if (library == nullptr) {
        return board;
    }
    board.pre_shutdown = LookUp<BoardEntry>(library, "board_pre_shutdown");
    if (board.pre_shutdown == nullptr) {
        std::perror("dlsym(\"board_pre_shutdown\")");
    }
    board.shutdown = LookUp<BoardEntry>(library, "board_shutdown");
    if (board.shutdown == nullptr) {
        std::perror("dlsym(\"board_shutdown\")");
    }
    return board;
}

void OpenNvramLibrary()
{
    if (nvram_opened) {
        return;
    }
    nvram_opened = true;
    nvram_library = dlopen("shutdown_nvram.so", RTLD_NOW);
    if (nvram_library == nullptr) {
        return;
    }
    save_reset_info_to_nv = LookUp<SaveResetInfoEntry>(nvram_library, "save_reset_info_to_nv");
    if (save_reset_info_to_nv == nullptr) {
        (void)std::fprintf(stderr, "Unable to find function save_reset_info_to_nv \n");
    }
    save_logs = LookUp<SaveLogsEntry>(nvram_library, "save_logs");
    if (save_logs == nullptr) {
        (void)std::fprintf(stderr, "Unable to find function save_logs \n");
    }
}

// Ends the calling process at once. Its other threads may still run (the
// restart is called from a timer's thread), so the static destructors that
// exit() would run must not run under them; buffered output still goes out.
[[noreturn]] void EndProcess(int status)
{
    (void)std::fflush(nullptr);
    _exit(status);
}

[[noreturn]] void Fail(const char* message)
{
    shutdown_error(message);
    EndProcess(1);
}

void BoostPriority()
{
    sched_param param{};
    param.sched_priority = ShutdownPriority;
    if (sched_setscheduler(0, SCHED_FIFO, &param) == 0) {
        return;
    }
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (param.sched_priority < 0 || sched_setscheduler(0, SCHED_FIFO, &param) != 0) {
        Fail("Unable to boost process priority.");
    }
}

uint64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// The fields read from the process information, at the widths the
// printer's 32-bit headers give them: 32-bit process ids and flags, and a
// 64-bit start time in nanoseconds that must not be cut to a 32-bit long.
static_assert(sizeof(procfs_info::pid) == 4 && sizeof(procfs_info::sid) == 4, "process ids are 32-bit");
static_assert(sizeof(procfs_info::flags) == 4, "process flags are a 32-bit word");
static_assert(sizeof(procfs_info::start_time) == 8, "the start time is a 64-bit count of nanoseconds");
static_assert(sizeof(ProcessInfo_t::start_time) == 8, "records keep the whole 64-bit start time");

bool ReadProcessInfo(int fd, procfs_info* info)
{
    if (fd < 0) {
        return false;
    }
    std::memset(info, 0, sizeof *info);
    return devctl(fd, DCMD_PROC_INFO, info, sizeof *info, nullptr) == EOK;
}

bool QueryProcess(pid_t pid, procfs_info* info)
{
    const int fd = shutdown_procfs_open_process(pid);
    const bool read = ReadProcessInfo(fd, info);
    if (fd >= 0) {
        close(fd);
    }
    return read;
}

// The first string of the command line, or nullptr when it cannot be read.
char* ReadCommandName(pid_t pid)
{
    const int fd = shutdown_procfs_open_command_line(pid);
    if (fd < 0) {
        return nullptr;
    }
    char buffer[CommandLineBytes + 1];
    ssize_t got;
    do {
        got = read(fd, buffer, CommandLineBytes);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got <= 0) {
        return nullptr;
    }
    buffer[got] = '\0';
    if (buffer[0] == '\0') {
        return nullptr;
    }
    return strdup(buffer);
}

struct ProcessList
{
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

// Fills `record` for the listed process `pid`: its information, name, start
// time and class. False when its name could not be stored.
bool DescribeProcess(pid_t pid, const char* entry, ProcessInfo_t& record)
{
    std::memset(&record, 0, sizeof record);
    record.pid = static_cast<int32_t>(pid);

    procfs_info info{};
    const bool info_read = QueryProcess(pid, &info);
    if (info_read && (info.flags & _NTO_PF_CRITICAL) != 0u) {
        record.flags = static_cast<uint8_t>(record.flags | PROCESS_FLAG_CRITICAL);
    }

    record.name = ReadCommandName(pid);
    if (record.name == nullptr) {
        record.name = strdup(entry);
    }
    if (record.name == nullptr) {
        return false;
    }
    record.start_time = info_read ? static_cast<uint64_t>(info.start_time) : 0u;

    // The hook sees the record before the name rules and the init override.
    const ProcessClass_t hook_class = shutdown_classify(&record);
    const ProcessClass_t process_class =
        shutdown_classify_process(record.name, hook_class, info_read, static_cast<uint32_t>(info.flags), info.sid);
    if (shutdown_is_init_name(record.name)) {
        record.start_time = ShutdownNewestStartTime;
    }
    record.class_type = static_cast<int8_t>(process_class);
    return true;
}

int AddEntry(const char* entry, void* context)
{
    ProcessList& list = *static_cast<ProcessList*>(context);
    pid_t pid = 0;
    if (!shutdown_lists_entry(entry, list.self, &pid)) {
        return 0;
    }
    // Processes started since the count would overrun the array.
    if (list.count == list.capacity) {
        return 1;
    }
    ProcessInfo_t& record = list.records[list.count];
    if (!DescribeProcess(pid, entry, record)) {
        list.out_of_memory = true;
        return 1;
    }
    if (record.class_type == CLASS_UNKNOWN) {
        // Never signalled: dropped from the list.
        std::free(record.name);
        record.name = nullptr;
        return 0;
    }
    ++list.count;
    return 0;
}

void BuildProcessList(ProcessList& list)
{
    size_t entries = 0;
    if (shutdown_procfs_walk(CountEntry, &entries) != 0) {
        Fail("Unable to access procfs.");
    }
    list.capacity = entries;
    list.records = static_cast<ProcessInfo_t*>(std::calloc(entries == 0 ? 1 : entries, sizeof(ProcessInfo_t)));
    if (list.records == nullptr) {
        Fail("Insufficient memory to build process list.");
    }
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
        if (list.records[i].pid == pid) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// The network server, the last in sorted order when several qualify; -1 for none.
long FindNetworkServer(const ProcessList& list)
{
    long network_server = -1;
    for (size_t i = 0; i < list.count; ++i) {
        if (shutdown_is_network_server(list.records[i].name)) {
            if (network_server >= 0) {
                shutdown_error("uncertain identification of qnet server.");
            }
            network_server = static_cast<long>(i);
        }
    }
    return network_server;
}

// Walks the connections of the record at `index`: a listed local server gets
// it as a client; a connection to another node marks it.
void RecordConnectionsOf(ProcessList& list, size_t index)
{
    ProcessInfo_t& client = list.records[index];
    int coid = 0;
    for (;;) {
        _server_info server{};
        const int found = ConnectServerInfo(client.pid, coid, &server);
        if (found < coid) {
            break;
        }
        coid = found + 1;
        if (server.nd != ND_LOCAL_NODE) {
            client.flags = static_cast<uint8_t>(client.flags | PROCESS_FLAG_NETWORK);
            continue;
        }
        if (!shutdown_is_local_dependency(server.pid, client.pid)) {
            continue;
        }
        const long server_index = FindRecord(list, server.pid);
        if (server_index >= 0) {
            shutdown_add_connection(&list.records[server_index], static_cast<int32_t>(index));
        }
    }
}

// Every process with connections to other nodes is a client of the network server.
void AttachNetworkClients(ProcessList& list, long network_server)
{
    bool reported = false;
    for (size_t i = 0; i < list.count; ++i) {
        if ((list.records[i].flags & PROCESS_FLAG_NETWORK) == 0) {
            continue;
        }
        if (network_server < 0) {
            if (!reported) {
                shutdown_error("Error: QNET connections, but no QNET server.");
            }
            reported = true;
        } else if (static_cast<size_t>(network_server) != i) {
            // The server's own remote connections must not make it wait for itself.
            shutdown_add_connection(&list.records[network_server], static_cast<int32_t>(i));
        }
    }
}

void CollectConnections(ProcessList& list)
{
    const long network_server = FindNetworkServer(list);
    for (size_t i = 0; i < list.count; ++i) {
        RecordConnectionsOf(list, i);
    }
    AttachNetworkClients(list, network_server);
}

void SendTermination(const char* signal_name, int signal, pid_t pid)
{
    if (kill(pid, signal) == 0 || errno == ESRCH) {
        return;
    }
    const int error = errno;
    if (error == EPERM) {
        (void)std::fprintf(
            stderr, "An error occurred while attempting to %s pid=%d (errno=%d). Missing PROCMGR_AID_SIGNAL ability.\n",
            signal_name, static_cast<int>(pid), error);
    } else {
        (void)std::fprintf(stderr, "An error occurred while attempting to %s pid=%d (errno=%d)\n", signal_name,
                           static_cast<int>(pid), error);
    }
}

void SendFinal(const char* signal_name, int signal, const ProcessInfo_t& record)
{
    if (kill(record.pid, signal) == 0) {
        return;
    }
    const int error = errno;
    (void)std::fprintf(stderr, "Could not send %s to pid=%d (%s). ", signal_name, static_cast<int>(record.pid),
                       record.name);
    if (error == EPERM) {
        (void)std::fprintf(stderr, "Missing PROCMGR_AID_SIGNAL ability\n");
    } else {
        (void)std::fprintf(stderr, "An error occurred while attempting to %s pid=%d (errno=%d)\n", signal_name,
                           static_cast<int>(record.pid), error);
    }
}

// True when the process is still there once the grace period has passed.
bool OutlivesGrace(int fd, uint32_t grace_ms)
{
    const uint64_t deadline = NowMs() + grace_ms;
    for (;;) {
        procfs_info info{};
        if (!ReadProcessInfo(fd, &info) || (info.flags & _NTO_PF_ZOMBIE) != 0u) {
            return false;
        }
        if (NowMs() >= deadline) {
            return true;
        }
        shutdown_process();
        delay(PollIntervalMs);
    }
}

struct PassSettings
{
    int last_class;
    bool fast;
    bool verbose;
    bool kill_timeout_set;
    uint32_t kill_timeout_ms;
};

void ReadKillTimeout(PassSettings& settings)
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): neither program changes its environment, so reading it is safe
    const char* value = std::getenv("SIGKILL_TIMEOUT");
    int error = 0;
    switch (shutdown_parse_kill_timeout(value, &settings.kill_timeout_ms, &error)) {
    case ShutdownTimeoutValid:
        settings.kill_timeout_set = true;
        break;
    case ShutdownTimeoutNotNumeric:
        (void)std::fprintf(stderr, "SIGKILL_TIMEOUT=%s is not a numeric value.\n", value);
        break;
    case ShutdownTimeoutOverflow: {
        // The shutdown sequence is the only caller of strerror in either program.
        const char* reason = std::strerror(error); // NOLINT(concurrency-mt-unsafe)
        (void)std::fprintf(stderr, "SIGKILL_TIMEOUT=%s cannot be converted to a numeric value : errno=%s.\n", value,
                           reason);
        break;
    }
    case ShutdownTimeoutUnset:
        break;
    }
}

// SIGTERM (not to a critical process), then SIGCONT and SIGPWR.
void SendTerminationSignals(const ProcessInfo_t& record)
{
    if (!shutdown_is_critical(&record)) {
        SendTermination("SIGTERM", SIGTERM, record.pid);
    }
    SendTermination("SIGCONT", SIGCONT, record.pid);
    SendTermination("SIGPWR", SIGPWR, record.pid);
}

// A graphical application outlived its grace period: the prompt hook decides,
// as often as it asks for another period.
void AskAboutOverdue(ProcessList& list, size_t index, int fd, uint32_t grace_ms)
{
    const ProcessInfo_t& record = list.records[index];
    for (;;) {
        switch (shutdown_prompt_action(shutdown_prompt(record.name, record.pid))) {
        case ShutdownPromptWaitAgain:
            if (!OutlivesGrace(fd, grace_ms)) {
                return;
            }
            continue;
        case ShutdownPromptLeave:
            return;
        case ShutdownPromptAbort:
            close(fd);
            shutdown_free_records(list.records, list.count);
            EndProcess(1);
        case ShutdownPromptKill:
            SendFinal("SIGKILL", SIGKILL, record);
            return;
        }
    }
}

void Terminate(ProcessList& list, size_t index, const PassSettings& settings)
{
    const ProcessInfo_t& record = list.records[index];
    const uint32_t grace =
        settings.kill_timeout_set ? settings.kill_timeout_ms : shutdown_grace_period(record.class_type, settings.fast);
    // Opened before the first signal, so a recycled process id cannot pass
    // for the process being waited for. A process whose information cannot
    // be read has ended since the listing, and its id may already be another
    // process's: it gets no signal.
    const int fd = shutdown_procfs_open_process(record.pid);
    procfs_info info{};
    if (!ReadProcessInfo(fd, &info)) {
        if (fd >= 0) {
            close(fd);
        }
        return;
    }
    if (settings.verbose) {
        (void)std::fprintf(stderr, "Terminating pid=%d (%s), class %d%s\n", static_cast<int>(record.pid), record.name,
                           static_cast<int>(record.class_type), shutdown_is_critical(&record) ? ", critical" : "");
    }
    SendTerminationSignals(record);
    if (OutlivesGrace(fd, grace)) {
        switch (shutdown_overdue_action(&record)) {
        case ShutdownOverdueKill:
            SendFinal("SIGKILL", SIGKILL, record);
            break;
        case ShutdownOverdueAsk:
            AskAboutOverdue(list, index, fd, grace);
            break;
        case ShutdownOverdueMoveOn:
            break;
        }
    }
    close(fd);
}

void PrintList(const ProcessList& list)
{
    for (size_t i = 0; i < list.count; ++i) {
        const ProcessInfo_t& record = list.records[i];
        (void)std::fprintf(stderr, "pid=%d class=%d start=%" PRIu64 " flags=0x%x connections=%u name=%s\n",
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

// Set-up: what the sequence does to the calling process before it lists any
// other. Returns the board library's entry points.
BoardLibrary PrepareCallingProcess(int type, int flags)
{
    setsid();
    const BoardLibrary board = OpenBoardLibrary();
    if (board.pre_shutdown != nullptr) {
        board.pre_shutdown(type);
    }

    if (mlockall(MCL_CURRENT | MCL_FUTURE) != 0) {
        Fail("Unable to lock process address space.");
    }
    if ((flags & SHUTDOWN_FLAG_KEEP_ATTACHED) == 0) {
        procmgr_daemon(0, ShutdownDaemonFlags);
    }
    BoostPriority();

    OpenNvramLibrary();
    if (save_reset_info_to_nv != nullptr) {
        save_reset_info_to_nv(type, save_reason);
    }
    return board;
}

// Every process: listed, classified, ordered, and its connections known.
void ListProcesses(ProcessList& list, int flags)
{
    BuildProcessList(list);
    shutdown_sort_records(list.records, list.count, (flags & SHUTDOWN_FLAG_BY_CREATION) != 0);
    CollectConnections(list);
    if ((flags & SHUTDOWN_FLAG_VERY_VERBOSE) != 0) {
        PrintList(list);
    }
}

// The main pass: one process at a time, clients before their servers, each
// signalled and given its grace period.
void RunMainPass(ProcessList& list, int type, int flags)
{
    PassSettings settings{};
    settings.last_class = shutdown_last_pass_class(type);
    settings.fast = (flags & SHUTDOWN_FLAG_FAST) != 0;
    settings.verbose = (flags & (SHUTDOWN_FLAG_VERBOSE | SHUTDOWN_FLAG_VERY_VERBOSE)) != 0;

    int total = 0;
    for (size_t i = 0; i < list.count; ++i) {
        if (shutdown_in_main_pass(list.records[i].class_type, settings.last_class)) {
            ++total;
        }
    }

    (void)std::signal(SIGTERM, SIG_IGN);
    (void)std::signal(SIGHUP, SIG_IGN);
    ReadKillTimeout(settings);

    int done = 0;
    bool logs_saved = false;
    for (;;) {
        const long picked = shutdown_pick_next(list.records, list.count, settings.last_class, &hammer_time);
        if (picked < 0) {
            break;
        }
        const size_t index = static_cast<size_t>(picked);
        shutdown_mark_done(list.records, list.count, index);
        if (!logs_saved && shutdown_saves_logs_before(list.records[index].class_type)) {
            logs_saved = true;
            if (save_logs != nullptr) {
                save_logs();
            }
        }
        Terminate(list, index, settings);
        shutdown_progress(++done, total);
    }
}

// After the board hook: what the main pass left, up to the display class,
// is signalled without a wait.
void SendFinalSignals(const ProcessList& list)
{
    for (size_t i = 0; i < list.count; ++i) {
        const ProcessInfo_t& record = list.records[i];
        if (!shutdown_gets_final_signals(&record)) {
            continue;
        }
        // A critical process is only ever woken, here as in the main pass.
        if (!shutdown_is_critical(&record)) {
            SendFinal("SIGTERM", SIGTERM, record);
        }
        SendFinal("SIGCONT", SIGCONT, record);
    }
}

[[noreturn]] void EndWithoutReboot(ProcessList& list)
{
    FreeList(list);
    EndProcess(0);
}

void Reboot(ProcessList& list)
{
    FreeList(list);
    if (sysmgr_reboot() != 0) {
        Fail("Process lacks the PROCMGR_AID_REBOOT ability");
    }
}

} // namespace

extern "C" void shutdown_system_with_reason(int type, int flags, char* reason)
{
    save_reason = reason;
    shutdown_system(type, flags);
}

extern "C" void shutdown_system(int type, int flags)
{
    const ShutdownEnd end = shutdown_end_of(type, flags);
    if (end == ShutdownEndRefused) {
        return;
    }

    ProcessList list;
    list.self = getpid();
    const BoardLibrary board = PrepareCallingProcess(type, flags);
    ListProcesses(list, flags);
    RunMainPass(list, type, flags);
    if (end == ShutdownEndAfterMainPass) {
        EndWithoutReboot(list);
    }

    shutdown_done(type);
    if (board.shutdown != nullptr) {
        board.shutdown(type);
    }
    if (end == ShutdownEndAfterBoardHook) {
        EndWithoutReboot(list);
    }

    SendFinalSignals(list);
    Reboot(list);
}
