#include "TelitComDevice.h"

#include "RetryOnInterrupt.h"
#include "WriteFully.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sched.h>
#include <sys/select.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

using FlasherProtocol::Bytes;

namespace {

constexpr int ReadThreadPriority = 25;
constexpr std::size_t ReadThreadStackSize = 8192;
constexpr std::size_t ReadBlockSize = 1024;
constexpr std::size_t NotFound = std::numeric_limits<std::size_t>::max();

// The read thread needs little stack: 8192 bytes, unless the system demands more of every thread
// (glibc does: 16 KiB on x86-64).
std::size_t StackSize()
{
    const long minimum = static_cast<long>(PTHREAD_STACK_MIN);
    return minimum > 0 ? std::max(ReadThreadStackSize, static_cast<std::size_t>(minimum)) : ReadThreadStackSize;
}

// An absolute time on the monotonic clock, timeout from now; saturates
// instead of overflowing for absurdly long time-outs, and a time-out that is
// not positive is already due.
timespec MonotonicDeadline(std::chrono::seconds timeout)
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const std::int64_t seconds = timeout.count();
    if (seconds <= 0) {
        return deadline;
    }
    const std::int64_t latest = static_cast<std::int64_t>(std::numeric_limits<time_t>::max());
    const std::int64_t now = static_cast<std::int64_t>(deadline.tv_sec);
    if (seconds > latest - now) {
        deadline.tv_sec = std::numeric_limits<time_t>::max();
        deadline.tv_nsec = 999999999L;
    } else {
        deadline.tv_sec = static_cast<time_t>(now + seconds);
    }
    return deadline;
}

// Where pattern first occurs in buffer at or after from, or NotFound. An empty
// pattern occurs at the start of any buffer that holds a byte.
std::size_t Find(const Bytes& buffer, const Bytes& pattern, std::size_t from)
{
    if (pattern.empty()) {
        return buffer.empty() ? NotFound : 0;
    }
    if (from >= buffer.size()) {
        return NotFound;
    }
    const auto hit =
        std::search(buffer.begin() + static_cast<std::ptrdiff_t>(from), buffer.end(), pattern.begin(), pattern.end());
    return hit == buffer.end() ? NotFound : static_cast<std::size_t>(hit - buffer.begin());
}

class MutexLock
{
public:
    explicit MutexLock(pthread_mutex_t& mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~MutexLock() { pthread_mutex_unlock(&mutex_); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    pthread_mutex_t& mutex_;
};

class ThreadAttributes
{
public:
    ThreadAttributes() { ready_ = pthread_attr_init(&attr_) == 0; }
    ~ThreadAttributes()
    {
        if (ready_) {
            pthread_attr_destroy(&attr_);
        }
    }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;

    bool Joinable(std::size_t stackSize)
    {
        return ready_ && pthread_attr_setdetachstate(&attr_, PTHREAD_CREATE_JOINABLE) == 0 &&
               pthread_attr_setstacksize(&attr_, stackSize) == 0;
    }
    bool RoundRobin(int priority)
    {
        sched_param param{};
        param.sched_priority = priority;
        return pthread_attr_setinheritsched(&attr_, PTHREAD_EXPLICIT_SCHED) == 0 &&
               pthread_attr_setschedpolicy(&attr_, SCHED_RR) == 0 && pthread_attr_setschedparam(&attr_, &param) == 0;
    }
    const pthread_attr_t* Get() const { return &attr_; }

private:
    pthread_attr_t attr_{};
    bool ready_ = false;
};

// Waits, without a time-out, until fd has input or wake is written to.
// Returns 1 when fd is readable, 0 when woken (or nothing is ready yet), -1
// when the wait itself failed.
int WaitReadable(int fd, int wake)
{
    fd_set readable;
    const int ready = RetryOnInterrupt([fd, wake, &readable] {
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        FD_SET(wake, &readable);
        return select(std::max(fd, wake) + 1, &readable, nullptr, nullptr, nullptr);
    });
    if (ready < 0) {
        return -1;
    }
    return FD_ISSET(fd, &readable) ? 1 : 0;
}

} // namespace

TelitComDevice::TelitComDevice(std::string devicePath, TelitLinkOptions linkOptions)
    : path(std::move(devicePath)), options(linkOptions)
{
    // The wait's deadline runs on the monotonic clock, so setting the
    // printer's clock during a flash neither cuts a wait short nor stretches it.
    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) == 0) {
        condReady = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 && pthread_cond_init(&rxCond, &attr) == 0;
        pthread_condattr_destroy(&attr);
    }
}

TelitComDevice::~TelitComDevice()
{
    StopReadThread();
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
    CloseWakePipe();
    if (condReady) {
        pthread_cond_destroy(&rxCond);
    }
    pthread_mutex_destroy(&rxMutex);
}

bool TelitComDevice::Init()
{
    if (fd >= 0) {
        return threadRunning;
    }
    if (!condReady) {
        return false;
    }
    bool opened = false;
    for (int attempt = 0; attempt < options.attempts && !opened; ++attempt) {
        std::this_thread::sleep_for(options.attemptPause);
        opened = OpenPort();
    }
    if (!opened) {
        return false;
    }
    stopRequested = false;
    if (!OpenWakePipe() || !StartReadThread()) {
        close(fd);
        fd = -1;
        CloseWakePipe();
        return false;
    }
    threadRunning = true;
    std::this_thread::sleep_for(options.startedPause);
    return true;
}

bool TelitComDevice::OpenPort()
{
    const int descriptor = RetryOnInterrupt([this] { return open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY); });
    if (descriptor < 0) {
        return false;
    }
    // The line settings are the serial driver's; they are only read, to know
    // that this is a terminal. select() cannot wait on descriptors beyond
    // FD_SETSIZE, so such a descriptor is no use either.
    termios settings{};
    if (tcgetattr(descriptor, &settings) != 0 || descriptor >= FD_SETSIZE) {
        close(descriptor);
        return false;
    }
    fd = descriptor;
    return true;
}

bool TelitComDevice::OpenWakePipe()
{
    int ends[2] = {-1, -1};
    if (pipe(ends) != 0) {
        return false;
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];
    return wakeRead < FD_SETSIZE && fcntl(wakeWrite, F_SETFL, O_NONBLOCK) == 0;
}

void TelitComDevice::CloseWakePipe()
{
    for (int* end : {&wakeRead, &wakeWrite}) {
        if (*end >= 0) {
            close(*end);
            *end = -1;
        }
    }
}

bool TelitComDevice::StartReadThread()
{
    {
        ThreadAttributes attributes;
        if (attributes.Joinable(StackSize()) && attributes.RoundRobin(ReadThreadPriority)) {
            const int result = pthread_create(&readThread, attributes.Get(), &TelitComDevice::ReadThreadEntry, this);
            if (result == 0) {
                return true;
            }
            if (result != EPERM && result != ENOTSUP) {
                return false;
            }
        }
    }
    // Real-time scheduling refused (an unprivileged process): the link works
    // the same with the default policy, only with less protection against
    // being starved by busier threads.
    ThreadAttributes attributes;
    return attributes.Joinable(StackSize()) &&
           pthread_create(&readThread, attributes.Get(), &TelitComDevice::ReadThreadEntry, this) == 0;
}

void* TelitComDevice::ReadThreadEntry(void* self)
{
    static_cast<TelitComDevice*>(self)->ReadThreadFunc();
    return nullptr;
}

void TelitComDevice::ReadThreadFunc()
{
    std::uint8_t block[ReadBlockSize];
    for (;;) {
        if (stopRequested) {
            return;
        }
        const int ready = WaitReadable(fd, wakeRead);
        if (stopRequested || ready < 0) {
            return;
        }
        if (ready == 0) {
            continue;
        }
        ssize_t count = 0;
        int readError = 0;
        {
            // The descriptor is non-blocking, so the lock is held only briefly.
            MutexLock lock(rxMutex);
            count = RetryOnInterrupt([this, &block] { return read(fd, block, sizeof block); });
            readError = count < 0 ? errno : 0;
            if (count > 0) {
                rxBuffer.insert(rxBuffer.end(), block, block + count);
            }
        }
        if (count > 0) {
            SignalArrival();
            continue;
        }
        if (readError == EAGAIN || readError == EWOULDBLOCK) {
            // Readiness without data (another holder of the line took it):
            // nothing is wrong with the link.
            continue;
        }
        // End of input, or the line is gone (a pseudo-terminal whose other
        // side closed reports EIO): wake the reader and end, never spin.
        if (count == 0 || !stopRequested) {
            SignalArrival();
        }
        return;
    }
}

void TelitComDevice::SignalArrival()
{
    pthread_cond_broadcast(&rxCond);
}

bool TelitComDevice::IsOpen() const
{
    return fd >= 0;
}

bool TelitComDevice::Write(const Bytes& bytes)
{
    if (fd < 0) {
        return false;
    }
    return WriteFully(fd, bytes.data(), bytes.size());
}

bool TelitComDevice::DiscardInputAndWrite(const Bytes& bytes)
{
    if (fd < 0) {
        return false;
    }
    // Under the lock the read thread neither reads nor buffers: what it read
    // before is in the buffer, what it reads after arrived after the flush.
    // Writing under the lock too keeps the bytes that arrive in between (a
    // write on the non-blocking port is short) out of the reply.
    MutexLock lock(rxMutex);
    tcflush(fd, TCIFLUSH);
    rxBuffer.clear();
    return WriteFully(fd, bytes.data(), bytes.size());
}

ReadResult TelitComDevice::ReadUntil(const Bytes& pattern, std::chrono::seconds timeout)
{
    ReadResult result;
    if (fd < 0 || !threadRunning) {
        result.status = ReadStatus::Failed;
        return result;
    }
    const timespec deadline = MonotonicDeadline(timeout);

    MutexLock lock(rxMutex);
    // Bytes are only ever appended while we wait, so a position once searched
    // without a match never needs searching again: the result is that of a
    // search from the start, without rescanning a growing buffer every time.
    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t at = Find(rxBuffer, pattern, searchFrom);
        if (at != NotFound) {
            const auto end = rxBuffer.begin() + static_cast<std::ptrdiff_t>(at + pattern.size());
            result.data.assign(rxBuffer.begin(), end);
            rxBuffer.erase(rxBuffer.begin(), end);
            result.status = ReadStatus::Matched;
            return result;
        }
        if (rxBuffer.size() >= pattern.size()) {
            searchFrom = rxBuffer.size() - pattern.size() + 1;
        }
        if (stopRequested) {
            result.status = ReadStatus::Failed;
            break;
        }
        const int waited = pthread_cond_timedwait(&rxCond, &rxMutex, &deadline);
        if (waited == ETIMEDOUT) {
            result.status = ReadStatus::TimedOut;
            break;
        }
        if (waited != 0) {
            result.status = ReadStatus::Failed;
            break;
        }
    }
    result.data.swap(rxBuffer);
    return result;
}

Bytes TelitComDevice::ReadAvailable()
{
    Bytes taken;
    MutexLock lock(rxMutex);
    taken.swap(rxBuffer);
    return taken;
}

bool TelitComDevice::ResetInputBuffer()
{
    if (fd < 0) {
        return false;
    }
    MutexLock lock(rxMutex);
    rxBuffer.clear();
    return true;
}

bool TelitComDevice::ResetOutputBuffer()
{
    return fd >= 0;
}

void TelitComDevice::StopReadThread()
{
    if (!threadRunning) {
        return;
    }
    stopRequested = true;
    SignalArrival();
    // The thread may sit in its untimed readiness wait: the byte on the wake
    // pipe ends that. Cancelling it instead would unwind its frames by force.
    // It may also have ended already (input ended), which the join absorbs.
    const std::uint8_t wake = 1;
    RetryOnInterrupt([this, &wake] { return write(wakeWrite, &wake, 1); });
    pthread_join(readThread, nullptr);
    threadRunning = false;
}

std::unique_ptr<TelitComDevice> ConnectTelitDevice(std::string path, TelitLinkOptions options)
{
    auto device = std::make_unique<TelitComDevice>(std::move(path), options);
    if (!device->Init()) {
        return nullptr;
    }
    return device;
}
