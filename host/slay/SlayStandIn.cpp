// Stands in for the printer's slay utility: "slay -f mtouch" and "slay -f screen" stop the touch input or the virtual
// display of the program that ran it.
//
// On the printer slay ends the touch driver or the compositor. On a Linux
// host both live inside the program as its virtual display (host/screen), so
// this stand-in asks the display of its nearest ancestor that has one, over
// SlayChannel, to stop its touch input or itself. It never signals or
// otherwise touches a process, and it writes nothing to standard output or
// error. Each call is recorded as a line "slay ARGUMENTS: OUTCOME" in
// slay.log of the film folder, when UPGRADE_SCREEN_FILM names one.
//
// Exit status: 0 when it stopped something, 1 when there was nothing to
// stop (no display, or stopped already), 2 for arguments it does not take.

#include "SlayChannel.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int ExitStopped = 0;
constexpr int ExitNothing = 1;
constexpr int ExitUsage = 2;
constexpr int MaxGenerations = 32;
constexpr std::chrono::seconds ReplyDeadline{5};
constexpr std::size_t MaxReplyLength = 63;

class Socket
{
public:
    Socket() : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

bool ConnectTo(const Socket& socket, const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.Fd() < 0 || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int result;
    do {
        result = connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// The process behind the socket is pid itself and runs as this user.
bool PeerIs(const Socket& socket, pid_t pid)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(socket.Fd(), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.pid == pid &&
           peer.uid == geteuid();
}

bool SendLine(const Socket& socket, const std::string& line)
{
    const std::string text = line + "\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(socket.Fd(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Asks the display of the nearest ancestor that has one; the outcome as the log names it.
std::string AskNearestDisplay(const std::string& request, bool& stopped)
{
    stopped = false;
    if (!SlayChannel::FolderIsPrivate()) {
        return "no display";
    }
    pid_t pid = getppid();
    for (int generation = 0; generation < MaxGenerations && pid > 1; ++generation, pid = SlayChannel::ParentOf(pid)) {
        Socket socket;
        if (!ConnectTo(socket, SlayChannel::EndpointPath(pid)) || !PeerIs(socket, pid)) {
            continue;
        }
        if (!SendLine(socket, request)) {
            return "no reply";
        }
        const std::string reply = SlayChannel::ReceiveLine(socket.Fd(), ReplyDeadline, MaxReplyLength);
        stopped = reply == SlayChannel::Stopped;
        return reply.empty() ? "no reply" : reply;
    }
    return "no display";
}

void Record(const std::string& line)
{
    const char* film = std::getenv("UPGRADE_SCREEN_FILM");
    if (film == nullptr || *film == '\0') {
        return;
    }
    const std::string path = std::string(film) + "/slay.log";
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return;
    }
    const std::string text = line + "\n";
    // One write of a short line: appended whole.
    while (write(fd, text.data(), text.size()) < 0 && errno == EINTR) {
    }
    close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    std::string arguments;
    std::string name;
    int names = 0;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        arguments += " " + argument;
        if (argument == "-f") {
            continue;
        }
        if (!argument.empty() && argument[0] == '-') {
            usage = true;
        }
        name = argument;
        ++names;
    }
    const std::string call = "slay" + arguments;
    if (usage || names != 1) {
        Record(call + ": usage");
        return ExitUsage;
    }
    if (name != SlayChannel::StopTouch && name != SlayChannel::StopDisplay) {
        Record(call + ": no such process");
        return ExitNothing;
    }
    bool stopped = false;
    const std::string outcome = AskNearestDisplay(name, stopped);
    Record(call + ": " + outcome);
    return stopped ? ExitStopped : ExitNothing;
}
