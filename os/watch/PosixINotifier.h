#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/inotify.h>

// The inotify descriptor of one watcher and its read buffer: one primary
// watch, any number of secondary ones, and events handed out one at a time in
// arrival order. One thread receives; watches may be changed from others.
class PosixINotifier
{
public:
    static constexpr std::size_t BufferSize = 1040;
    static constexpr std::size_t HeaderSize = sizeof(inotify_event);

    // One event of a read buffer. The header fields are copies: the kernel
    // pads names so that every header stays aligned, but a buffer laid out
    // otherwise must not lead to a misaligned read (32-bit ARM can fault).
    struct Event
    {
        int wd;
        std::uint32_t mask;
        // The entry name without its zero padding, empty for an event about
        // the watched directory itself; it points into the read buffer.
        std::string_view name;
    };

    PosixINotifier();
    virtual ~PosixINotifier();

    PosixINotifier(const PosixINotifier&) = delete;
    PosixINotifier& operator=(const PosixINotifier&) = delete;

    // Opens the descriptor (blocking mode); false when the system refuses.
    bool Init();
    // Replaces the primary watch; false when the watch cannot be added, and
    // then there is none.
    virtual bool SetPrimaryWatch(const std::string& path, std::uint32_t mask);
    // A watch descriptor, or -1.
    int AddSecondaryWatch(const std::string& path, std::uint32_t mask);
    void RemovePrimaryWatch();
    void RemoveSecondaryWatch(int wd);
    bool IsPrimaryWatchValid() const { return primaryWatch != -1; }
    int GetPrimaryWatch() const { return primaryWatch; }

    // The next complete event, blocking until one comes; none when the read
    // fails or yields less than one event, and once Interrupt was called.
    // Its name is valid until the next call.
    std::optional<Event> ReceiveEvent();
    // Makes a blocked and every later ReceiveEvent return none. Any thread.
    void Interrupt();

    // The next complete event in buffer[offset, length) and the offset after
    // it, or none and the offset unchanged: the buffer rule, apart from the
    // descriptor. The buffer needs no alignment; the name points into it.
    static std::optional<Event> NextInBuffer(const unsigned char* buffer, std::size_t length, std::size_t& offset);

private:
    alignas(inotify_event) unsigned char buffer[BufferSize];
    std::size_t length;
    std::size_t offset;
    int descriptor;
    int primaryWatch;
    // Wakes the receiving thread: [0] polled with the descriptor, [1] written by Interrupt.
    int wakePipe[2];
    // Set by Interrupt: events still in the buffer are not handed out either.
    std::atomic<bool> interrupted;
};
