// Stands in for the printer's touch controller: touches written into a named pipe by a person or a script.
#include "ScreenHost.h"

#include <screen/host_display.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
struct PipeState
{
    std::mutex mutex; // guards everything below; never held together with the display's
    int contexts = 0;
    std::thread reader;
    int fifo = -1;
    int stop[2] = {-1, -1};
    std::string path;
    bool createdFifo = false;
};

PipeState& State()
{
    static PipeState* const state = new PipeState();
    return *state;
}

// "x y" or "x y id", blanks around; anything else is ignored.
void HandleLine(const std::string& line)
{
    const char* p = line.c_str();
    char* end = nullptr;
    long values[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        const long value = std::strtol(p, &end, 10);
        if (end == p) {
            break;
        }
        values[count++] = value;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r') {
        ++p;
    }
    if (count < 2 || *p != '\0') {
        return;
    }
    for (long v : values) {
        if (v < -100000 || v > 100000) {
            return;
        }
    }
    host_screen_press(static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2]));
}

void ReadTouches(int fifo, int stop)
{
    constexpr std::size_t MaxLine = 256;
    std::string line;
    bool discarding = false;
    for (;;) {
        pollfd fds[2] = {{fifo, POLLIN, 0}, {stop, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return;
        }
        char chunk[512];
        const ssize_t got = read(fifo, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                if (!discarding) {
                    HandleLine(line);
                }
                line.clear();
                discarding = false;
            } else if (line.size() < MaxLine) {
                line += chunk[i];
            } else {
                discarding = true;
            }
        }
    }
}

void Start(PipeState& state)
{
    const char* path = std::getenv("UPGRADE_SCREEN_TOUCH");
    if (path == nullptr || *path == '\0') {
        return;
    }
    struct stat info;
    bool created = false;
    if (stat(path, &info) != 0) {
        if (mkfifo(path, 0600) != 0) {
            return;
        }
        created = true;
    } else if (!S_ISFIFO(info.st_mode)) {
        return;
    }
    // Read and write: the pipe then never reports an end while writers come and go.
    const int fifo = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    int stop[2];
    if (fifo < 0 || pipe2(stop, O_CLOEXEC) != 0) {
        if (fifo >= 0) {
            close(fifo);
        }
        if (created) {
            unlink(path);
        }
        return;
    }
    state.fifo = fifo;
    state.stop[0] = stop[0];
    state.stop[1] = stop[1];
    state.path = path;
    state.createdFifo = created;
    // The reader must never take a signal meant for the program's own threads.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    state.reader = std::thread(ReadTouches, fifo, stop[0]);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void Stop(PipeState& state)
{
    if (!state.reader.joinable()) {
        return;
    }
    const char wake = 1;
    while (write(state.stop[1], &wake, 1) < 0 && errno == EINTR) {
    }
    state.reader.join();
    close(state.fifo);
    close(state.stop[0]);
    close(state.stop[1]);
    state.fifo = state.stop[0] = state.stop[1] = -1;
    if (state.createdFifo) {
        unlink(state.path.c_str());
    }
    state.createdFifo = false;
}
} // namespace

void TouchPipe::ContextCreated()
{
    PipeState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (++state.contexts == 1) {
        Start(state);
    }
}

void TouchPipe::ContextDestroyed()
{
    PipeState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.contexts > 0 && --state.contexts == 0) {
        Stop(state);
    }
}
