#include "OpenWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

OpenWatch::OpenWatch(const std::string& path)
{
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0) {
        watch_ = inotify_add_watch(inotify_, path.c_str(), IN_OPEN);
    }
}

OpenWatch::~OpenWatch()
{
    if (inotify_ >= 0) {
        close(inotify_);
    }
}

bool OpenWatch::Opened()
{
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t n = read(inotify_, events, sizeof events);
        if (n <= 0) {
            return opened_;
        }
        for (ssize_t at = 0; at < n;) {
            // The kernel pads every name so that the next event starts aligned, and
            // the buffer itself is aligned: the cast through void is sound.
            const auto* event = static_cast<const inotify_event*>(static_cast<const void*>(events + at));
            opened_ = opened_ || (event->mask & IN_OPEN) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}
