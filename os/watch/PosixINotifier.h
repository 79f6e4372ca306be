#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/inotify.h>

// The inotify descriptor of one watcher and its read buffer: one primary
// watch, any number of secondary ones, and events handed out one at a time in
// arrival order. One thread receives; watches may be changed from others.
class PosixINotifier
{
public:
    static constexpr std::size_t BufferSize = 1040;
    static constexpr std::size_t HeaderSize = sizeof(inotify_event);

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

    // The next complete event, blocking until one comes; null when the read
    // fails or yields less than one event, and once Interrupt was called.
    // The pointer is valid until the next call.
    const inotify_event* ReceiveEvent();
    // Makes a blocked and every later ReceiveEvent return null. Any thread.
    void Interrupt();

    // The next complete event in buffer[offset, length) and the offset after
    // it, or null: the buffer rule, apart from the descriptor.
    static const inotify_event* NextInBuffer(const unsigned char* buffer, std::size_t length, std::size_t& offset);

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
