// Stands in for the printer's process table as slay uses it: the folder, names and process ancestry of the slay
// stand-in's channel.
#include "SlayChannel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SlayChannel {

namespace {
// Deep enough for the program, a shell and a few wrappers between them.
constexpr int MaxGenerations = 32;
} // namespace

std::string Folder()
{
    return "/tmp/upgrade-screen-" + std::to_string(geteuid());
}

bool FolderIsPrivate()
{
    struct stat info;
    return lstat(Folder().c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

bool PrepareFolder()
{
    if (mkdir(Folder().c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    return FolderIsPrivate();
}

std::string EndpointPath(pid_t pid)
{
    return Folder() + "/" + std::to_string(pid);
}

pid_t ParentOf(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) {
        return 0;
    }
    char text[512] = {};
    const std::size_t got = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[got] = '\0';
    // "pid (name) state ppid ...": the name may hold blanks and parentheses,
    // so the fields start after the last ')'.
    const char* close = std::strrchr(text, ')');
    char state = 0;
    int parent = 0;
    if (close == nullptr || std::sscanf(close + 1, " %c %d", &state, &parent) != 2 || parent < 0) {
        return 0;
    }
    return static_cast<pid_t>(parent);
}

bool DescendsFrom(pid_t descendant, pid_t ancestor)
{
    pid_t pid = descendant;
    for (int generation = 0; generation < MaxGenerations && pid > 0; ++generation) {
        if (pid == ancestor) {
            return true;
        }
        pid = ParentOf(pid);
    }
    return false;
}

std::string ReceiveLine(int socket, std::chrono::milliseconds timeout, std::size_t maxLength)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (line.size() <= maxLength) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return {};
        }
        pollfd wait{socket, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return {};
        }
        char c = 0;
        const ssize_t n = recv(socket, &c, 1, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {};
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
    return {};
}

} // namespace SlayChannel
