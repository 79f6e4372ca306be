#include "PosixINotifier.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PosixINotifier::PosixINotifier()
    : buffer(), length(0), offset(0), descriptor(-1), primaryWatch(-1), wakePipe{-1, -1}, interrupted(false)
{}

PosixINotifier::~PosixINotifier()
{
    for (int fd : {descriptor, wakePipe[0], wakePipe[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool PosixINotifier::Init()
{
    if (descriptor >= 0) {
        return true;
    }
    if (pipe(wakePipe) != 0) {
        wakePipe[0] = wakePipe[1] = -1;
        return false;
    }
    fcntl(wakePipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(wakePipe[1], F_SETFD, FD_CLOEXEC);
    descriptor = inotify_init();
    if (descriptor >= 0) {
        fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    }
    return descriptor >= 0;
}

bool PosixINotifier::SetPrimaryWatch(const std::string& path, std::uint32_t mask)
{
    RemovePrimaryWatch();
    if (descriptor < 0) {
        return false;
    }
    primaryWatch = inotify_add_watch(descriptor, path.c_str(), mask);
    return primaryWatch != -1;
}

int PosixINotifier::AddSecondaryWatch(const std::string& path, std::uint32_t mask)
{
    return descriptor < 0 ? -1 : inotify_add_watch(descriptor, path.c_str(), mask);
}

void PosixINotifier::RemovePrimaryWatch()
{
    if (primaryWatch != -1) {
        inotify_rm_watch(descriptor, primaryWatch);
        primaryWatch = -1;
    }
}

void PosixINotifier::RemoveSecondaryWatch(int wd)
{
    if (descriptor >= 0 && wd != -1) {
        inotify_rm_watch(descriptor, wd);
    }
}

std::optional<PosixINotifier::Event> PosixINotifier::NextInBuffer(const unsigned char* bytes, std::size_t valid,
                                                                  std::size_t& at)
{
    if (at > valid || valid - at < HeaderSize) {
        return std::nullopt;
    }
    // Copied out, never read in place: the header may lie at any offset.
    inotify_event header;
    std::memcpy(&header, bytes + at, HeaderSize);
    if (header.len > valid - at - HeaderSize) {
        return std::nullopt;
    }
    const char* name = reinterpret_cast<const char*>(bytes + at + HeaderSize);
    at += HeaderSize + header.len;
    return Event{header.wd, header.mask, std::string_view(name, strnlen(name, header.len))};
}

std::optional<PosixINotifier::Event> PosixINotifier::ReceiveEvent()
{
    if (interrupted.load()) {
        return std::nullopt;
    }
    if (std::optional<Event> next = NextInBuffer(buffer, length, offset)) {
        return next;
    }
    length = 0;
    offset = 0;
    if (descriptor < 0 || wakePipe[0] < 0) {
        return std::nullopt;
    }
    // Poll first: a read cannot be woken, but the wake pipe can end the wait.
    for (;;) {
        pollfd fds[2] = {{descriptor, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return std::nullopt;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return std::nullopt;
        }
    }
    ssize_t got;
    do {
        got = read(descriptor, buffer, BufferSize);
    } while (got < 0 && errno == EINTR);
    if (got < static_cast<ssize_t>(HeaderSize)) {
        return std::nullopt;
    }
    std::size_t first = 0;
    std::optional<Event> event = NextInBuffer(buffer, static_cast<std::size_t>(got), first);
    if (event) {
        length = static_cast<std::size_t>(got);
        offset = first;
    }
    return event;
}

void PosixINotifier::Interrupt()
{
    interrupted.store(true);
    if (wakePipe[1] >= 0) {
        const char wake = 'w';
        const ssize_t ignored = write(wakePipe[1], &wake, 1);
        static_cast<void>(ignored);
    }
}
