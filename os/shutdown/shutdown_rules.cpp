#include "shutdown_rules.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr uint32_t ConnectionGrowth = 16u;
constexpr int HighestKnownType = 6;
constexpr const char* NetworkServerPrefix = "io-pkt";

bool StartsWith(const char* name, const char* prefix)
{
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

bool IsDisplayName(const char* name)
{
    for (const char* prefix : {"phfont", "devg-", "devi-", "io-gr", "io-display", "devc-"}) {
        if (StartsWith(name, prefix)) {
            return true;
        }
    }
    return std::strcmp(name, "fontsleuth") == 0 || std::strcmp(name, "pwm") == 0;
}

bool IsFileSystemName(const char* name)
{
    if (StartsWith(name, "devb-") || StartsWith(name, "devf-")) {
        return true;
    }
    return std::strcmp(name, "pipe") == 0 || std::strcmp(name, "pps") == 0 || std::strcmp(name, "random") == 0;
}

bool OrderedBefore(const ProcessInfo_t& a, const ProcessInfo_t& b, bool byCreation)
{
    if (!byCreation && a.class_type != b.class_type) {
        return a.class_type < b.class_type;
    }
    if (a.start_time != b.start_time) {
        return a.start_time > b.start_time;
    }
    return a.pid > b.pid;
}

} // namespace

const ShutdownGracePeriods process_waits[CLASS_NR + 1] = {
    {20000u, 50u},  // graphical applications
    {100u, 50u},    // applications
    {100u, 50u},    // daemons
    {8000u, 8000u}, // file systems
    {50u, 50u},     // display and input drivers
    {1u, 1u},
};

ShutdownEnd shutdown_end_of(int type, int flags)
{
    if (type < 0 || type > HighestKnownType) {
        return ShutdownEndRefused;
    }
    if (type <= 1) {
        return ShutdownEndAfterMainPass;
    }
    if (type == 3 || type == 4 || type == 6 || (flags & SHUTDOWN_FLAG_NO_REBOOT) != 0) {
        return ShutdownEndAfterBoardHook;
    }
    return ShutdownEndReboot;
}

int shutdown_last_pass_class(int type)
{
    return type <= 1 ? CLASS_GRAPHICAL_APP : CLASS_FSYS;
}

bool shutdown_in_main_pass(int class_type, int last_class)
{
    return class_type >= CLASS_GRAPHICAL_APP && class_type <= last_class;
}

bool shutdown_lists_entry(const char* entry, pid_t self, pid_t* pid)
{
    if (entry[0] == '\0') {
        return false;
    }
    // 64 bits: one more digit on a value up to the largest process id must
    // not overflow, and long is only 32 bits on the printer.
    std::int64_t value = 0;
    for (const char* c = entry; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        value = value * 10 + (*c - '0');
        if (value > 0x7FFFFFFF) {
            return false;
        }
    }
    if (value == 1 || value == static_cast<std::int64_t>(self)) {
        return false;
    }
    *pid = static_cast<pid_t>(value);
    return true;
}

bool shutdown_is_init_name(const char* name)
{
    return std::strcmp(name, "init") == 0 || std::strcmp(name, "tinit") == 0;
}

ProcessClass_t shutdown_classify_process(const char* name, ProcessClass_t hook_class, bool info_read,
                                         uint32_t process_flags, pid_t session)
{
    ProcessClass_t result = hook_class;
    if (hook_class != CLASS_NR) {
        if (IsDisplayName(name)) {
            result = CLASS_DISPLAY;
        } else if (IsFileSystemName(name)) {
            result = CLASS_FSYS;
        } else if (info_read && ((process_flags & ShutdownDaemonProcessFlag) != 0u || session == 1)) {
            result = CLASS_DAEMON;
        }
    }
    if (shutdown_is_init_name(name)) {
        result = CLASS_APP;
    }
    return result;
}

void shutdown_sort_records(ProcessInfo_t* records, size_t count, bool by_creation)
{
    // Insertion sort: stable, no allocation, and the list is a few hundred
    // records at most.
    for (size_t i = 1; i < count; ++i) {
        const ProcessInfo_t moving = records[i];
        size_t j = i;
        while (j > 0 && OrderedBefore(moving, records[j - 1], by_creation)) {
            records[j] = records[j - 1];
            --j;
        }
        records[j] = moving;
    }
}

uint32_t shutdown_grace_period(int class_type, bool fast)
{
    const int index = class_type < 0 ? 0 : (class_type > CLASS_NR ? CLASS_NR : class_type);
    const ShutdownGracePeriods& periods = process_waits[index];
    return fast ? periods.fast : periods.slow;
}

ShutdownTimeoutParse shutdown_parse_kill_timeout(const char* value, uint32_t* ms, int* error)
{
    if (value == nullptr) {
        return ShutdownTimeoutUnset;
    }
    if (value[0] < '0' || value[0] > '9') {
        return ShutdownTimeoutNotNumeric;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(value, &end, 10);
    int failure = errno;
    if (failure == 0 && parsed > 0xFFFFFFFFull) {
        failure = ERANGE;
    }
    if (failure != 0) {
        *error = failure;
        return ShutdownTimeoutOverflow;
    }
    *ms = static_cast<uint32_t>(parsed);
    return ShutdownTimeoutValid;
}

bool shutdown_is_network_server(const char* name)
{
    return StartsWith(name, NetworkServerPrefix);
}

bool shutdown_is_local_dependency(pid_t server, pid_t client)
{
    return server >= 2 && server != client;
}

bool shutdown_add_connection(ProcessInfo_t* server, int32_t client)
{
    for (uint32_t i = 0; i < server->connection_count; ++i) {
        if (server->connections_from[i] == client) {
            return true;
        }
    }
    if (server->connection_count == server->connection_capacity) {
        const uint32_t capacity = server->connection_capacity + ConnectionGrowth;
        void* grown = std::realloc(server->connections_from, capacity * sizeof(int32_t));
        if (grown == nullptr) {
            return false;
        }
        server->connections_from = static_cast<int32_t*>(grown);
        server->connection_capacity = capacity;
    }
    server->connections_from[server->connection_count++] = client;
    return true;
}

void shutdown_mark_done(ProcessInfo_t* records, size_t count, size_t index)
{
    records[index].flags = static_cast<uint8_t>(records[index].flags | PROCESS_FLAG_DONE);
    const int32_t done = static_cast<int32_t>(index);
    for (size_t r = 0; r < count; ++r) {
        ProcessInfo_t& record = records[r];
        uint32_t kept = 0;
        for (uint32_t i = 0; i < record.connection_count; ++i) {
            if (record.connections_from[i] != done) {
                record.connections_from[kept++] = record.connections_from[i];
            }
        }
        record.connection_count = kept;
    }
}

long shutdown_pick_next(const ProcessInfo_t* records, size_t count, int last_class, bool* hammer_time)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (size_t i = 0; i < count; ++i) {
            const ProcessInfo_t& record = records[i];
            if (!shutdown_in_main_pass(record.class_type, last_class)) {
                continue;
            }
            if ((record.flags & PROCESS_FLAG_DONE) != 0) {
                continue;
            }
            if (*hammer_time || record.connection_count == 0) {
                return static_cast<long>(i);
            }
        }
        if (*hammer_time) {
            return -1;
        }
        *hammer_time = true;
    }
    return -1;
}

bool shutdown_saves_logs_before(int class_type)
{
    return class_type == CLASS_FSYS;
}

bool shutdown_is_critical(const ProcessInfo_t* record)
{
    return (record->flags & PROCESS_FLAG_CRITICAL) != 0;
}

ShutdownOverdue shutdown_overdue_action(const ProcessInfo_t* record)
{
    if (shutdown_is_critical(record)) {
        return ShutdownOverdueMoveOn;
    }
    switch (record->class_type) {
    case CLASS_APP:
        return ShutdownOverdueKill;
    case CLASS_GRAPHICAL_APP:
        return ShutdownOverdueAsk;
    default:
        return ShutdownOverdueMoveOn;
    }
}

ShutdownPromptAction shutdown_prompt_action(int answer)
{
    switch (answer) {
    case 1:
        return ShutdownPromptWaitAgain;
    case 2:
        return ShutdownPromptLeave;
    case 3:
        return ShutdownPromptAbort;
    default:
        return ShutdownPromptKill;
    }
}

bool shutdown_gets_final_signals(const ProcessInfo_t* record)
{
    return (record->flags & PROCESS_FLAG_DONE) == 0 && record->class_type <= CLASS_DISPLAY;
}

void shutdown_free_records(ProcessInfo_t* records, size_t count)
{
    if (records == nullptr) {
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        std::free(records[i].name);
        std::free(records[i].connections_from);
    }
    std::free(records);
}
