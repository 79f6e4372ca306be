// Stands in for the printer's touch driver and compositor as processes that slay ends: the virtual display's end of
// SlayChannel.
#include "ScreenHost.h"
#include "SlayChannel.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr std::chrono::seconds RequestDeadline{2};
constexpr std::size_t MaxRequestLength = 15;

struct EndpointState
{
    std::mutex mutex; // guards everything below; never held together with the display's
    int contexts = 0;
    std::thread listener;
    int socket = -1;
    int stop[2] = {-1, -1};
    std::string path;
};

EndpointState& State()
{
    static EndpointState* const state = new EndpointState();
    return *state;
}

// The open endpoint's path, for a process that ends with a context still
// open: the socket goes with it instead of staying in the folder.
char openEndpoint[sizeof(sockaddr_un::sun_path)] = {};

void RemoveEndpointAtExit()
{
    if (openEndpoint[0] != '\0') {
        unlink(openEndpoint);
    }
}

// Stops what the request names; false when it had been stopped already.
bool StopService(const std::string& request)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (request == SlayChannel::StopTouch) {
        const bool wasRunning = host.touchRunning;
        host.touchRunning = false;
        return wasRunning;
    }
    return host.StopDisplayLocked();
}

void Serve(int connection)
{
    // Only programs that this process started (a shell running slay) may stop its display.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid() ||
        peer.pid == getpid() || !SlayChannel::DescendsFrom(peer.pid, getpid())) {
        return;
    }
    const std::string request = SlayChannel::ReceiveLine(connection, RequestDeadline, MaxRequestLength);
    if (request != SlayChannel::StopTouch && request != SlayChannel::StopDisplay) {
        return;
    }
    const std::string reply = std::string(StopService(request) ? SlayChannel::Stopped : SlayChannel::NotRunning) + "\n";
    while (send(connection, reply.data(), reply.size(), MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

void Listen(int socket, int stop)
{
    for (;;) {
        pollfd fds[2] = {{socket, POLLIN, 0}, {stop, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return;
        }
        const int connection = accept4(socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        Serve(connection);
        close(connection);
    }
}

void Start(EndpointState& state)
{
    if (!SlayChannel::PrepareFolder()) {
        return;
    }
    const std::string path = SlayChannel::EndpointPath(getpid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int stop[2];
    if (listening < 0 || pipe2(stop, O_CLOEXEC) != 0) {
        if (listening >= 0) {
            close(listening);
        }
        return;
    }
    // A socket left there by an ended process of the same number.
    unlink(path.c_str());
    if (bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listening, 4) != 0) {
        close(listening);
        close(stop[0]);
        close(stop[1]);
        return;
    }
    state.socket = listening;
    state.stop[0] = stop[0];
    state.stop[1] = stop[1];
    state.path = path;
    static const bool removalRegistered = std::atexit(RemoveEndpointAtExit) == 0;
    (void)removalRegistered;
    std::memcpy(openEndpoint, path.c_str(), path.size() + 1);
    // The listener must never take a signal meant for the program's own threads.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    state.listener = std::thread(Listen, listening, stop[0]);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void Stop(EndpointState& state)
{
    if (!state.listener.joinable()) {
        return;
    }
    const char wake = 1;
    while (write(state.stop[1], &wake, 1) < 0 && errno == EINTR) {
    }
    state.listener.join();
    close(state.socket);
    close(state.stop[0]);
    close(state.stop[1]);
    state.socket = state.stop[0] = state.stop[1] = -1;
    openEndpoint[0] = '\0';
    unlink(state.path.c_str());
}
} // namespace

void SlayEndpoint::ContextCreated()
{
    EndpointState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (++state.contexts == 1) {
        Start(state);
    }
}

void SlayEndpoint::ContextDestroyed()
{
    EndpointState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.contexts > 0 && --state.contexts == 0) {
        Stop(state);
    }
}
