// Stands in for the kernel's per-process records that Linux lacks, read from the file named by UPGRADE_HOST_PROCESSES.
#include "ProcessDescription.h"

#include <host_process.h>
#include <sys/procfs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host_process {
namespace {

// One parsed statement of the description.
struct Statement
{
    pid_t pid = 0;
    enum
    {
        None,
        Critical,
        Flags,
        Connect,
        Remote
    } kind = None;
    uint32_t value = 0;
    pid_t server = 0;
};

bool ParseNumber(const char* text, unsigned long long limit, unsigned long long* value)
{
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 0);
    if (*end != '\0' || parsed > limit) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseLine(char* line, Statement* statement)
{
    char* save = nullptr;
    const char* fields[4] = {};
    int count = 0;
    for (char* field = strtok_r(line, " \t\r\n", &save); field != nullptr && count < 4;
         field = strtok_r(nullptr, " \t\r\n", &save)) {
        fields[count++] = field;
    }
    if (count < 2 || fields[0][0] == '#') {
        return false;
    }
    unsigned long long number = 0;
    if (!ParseNumber(fields[0], 0x7FFFFFFFull, &number)) {
        return false;
    }
    statement->pid = static_cast<pid_t>(number);
    unsigned long long a = 0;
    unsigned long long b = 0;
    if (std::strcmp(fields[1], "critical") == 0) {
        statement->kind = Statement::Critical;
    } else if (std::strcmp(fields[1], "flags") == 0 && ParseNumber(fields[2], 0xFFFFFFFFull, &a)) {
        statement->kind = Statement::Flags;
        statement->value = static_cast<uint32_t>(a);
    } else if (std::strcmp(fields[1], "connect") == 0 && ParseNumber(fields[2], 0x7FFFFFFFull, &a)) {
        statement->kind = Statement::Connect;
        statement->server = static_cast<pid_t>(a);
    } else if (std::strcmp(fields[1], "remote") == 0 && ParseNumber(fields[2], 0xFFFFFFFFull, &a) &&
               ParseNumber(fields[3], 0x7FFFFFFFull, &b)) {
        statement->kind = Statement::Remote;
        statement->value = static_cast<uint32_t>(a);
        statement->server = static_cast<pid_t>(b);
    } else {
        return false;
    }
    return true;
}

// Calls visit(statement) for each statement of the description until it
// returns true.
template <typename Visitor>
void ForEachStatement(Visitor visit)
{
    const char* path = std::getenv(HOST_PROCESS_DESCRIPTION_ENV);
    if (path == nullptr || *path == '\0') {
        return;
    }
    FILE* file = std::fopen(path, "re");
    if (file == nullptr) {
        return;
    }
    char line[256];
    bool continuation = false;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        // The rest of an over-long line is not a statement of its own.
        const bool truncated = std::strchr(line, '\n') == nullptr && !std::feof(file);
        const bool skip = continuation || truncated;
        continuation = truncated;
        Statement statement;
        if (skip || !ParseLine(line, &statement)) {
            continue;
        }
        if (visit(statement)) {
            break;
        }
    }
    std::fclose(file);
}

} // namespace

uint32_t DescribedFlags(pid_t pid)
{
    uint32_t flags = 0;
    ForEachStatement([&](const Statement& statement) {
        if (statement.pid == pid) {
            if (statement.kind == Statement::Critical) {
                flags |= _NTO_PF_CRITICAL;
            } else if (statement.kind == Statement::Flags) {
                flags |= statement.value;
            }
        }
        return false;
    });
    return flags;
}

bool DescribedConnection(pid_t pid, int coid, Connection* connection)
{
    int number = 0;
    bool found = false;
    ForEachStatement([&](const Statement& statement) {
        if (statement.pid != pid || (statement.kind != Statement::Connect && statement.kind != Statement::Remote)) {
            return false;
        }
        ++number;
        if (number < coid) {
            return false;
        }
        connection->coid = number;
        connection->node = statement.kind == Statement::Remote ? statement.value : 0u;
        connection->server = statement.server;
        found = true;
        return true;
    });
    return found;
}

} // namespace host_process
