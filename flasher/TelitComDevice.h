#pragma once

#include "FlasherProtocol.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <pthread.h>
#include <string>

enum class ReadStatus : int
{
    Matched = 0,
    TimedOut = 1,
    Failed = -1
};

struct ReadResult
{
    FlasherProtocol::Bytes data;
    ReadStatus status = ReadStatus::Failed;
};

// How a connection is attempted. The defaults are the product's; tests
// shorten them so a missing device does not cost 15 s.
struct TelitLinkOptions
{
    int attempts = 15;
    // Before every attempt, also the first one.
    std::chrono::milliseconds attemptPause{1000};
    // After the read thread has started, before Init returns.
    std::chrono::milliseconds startedPause{100};
};

// The byte pipe to the Wi-Fi module's serial port. A read thread moves every
// received byte into a buffer; callers wait on that buffer for a byte pattern
// with a time-out, write bytes, or take what has arrived. It knows nothing of
// AT commands and never changes the line settings the serial driver made.
//
// A link is opened once (Init) and closed by destroying it; there is no
// reopen. One caller thread at a time uses it; the read thread is internal.
class TelitComDevice
{
public:
    explicit TelitComDevice(std::string path, TelitLinkOptions options = {});
    // Stops and joins the read thread, then closes the port.
    ~TelitComDevice();

    TelitComDevice(const TelitComDevice&) = delete;
    TelitComDevice& operator=(const TelitComDevice&) = delete;

    // Opens the port (read/write, non-blocking, not as controlling terminal;
    // it must be a terminal) and starts the read thread. Retries as the
    // options say; false when every attempt failed or the thread could not be
    // started. The read thread asks for SCHED_RR at priority 25 and runs with
    // the default policy where the system refuses real-time scheduling.
    bool Init();
    bool IsOpen() const;

    // Writes all bytes; false when the port is closed or a write fails
    // (including a full output queue). An empty vector is written at once.
    bool Write(const FlasherProtocol::Bytes& bytes);

    // Discards everything received so far, then writes bytes as Write does, so
    // that a reply awaited afterwards is made only of bytes that arrived after
    // the discard (bytes still on the wire at the call count as later ones).
    //  true:  the buffer and the serial driver's unread input were emptied,
    //         and every byte was written (nothing to write: true at once
    //         after the discard).
    //  false: the port is closed (nothing discarded or written), or the write
    //         failed (the input is discarded all the same; part of the bytes
    //         may have gone out).
    // The read thread pauses its buffering for the duration.
    bool DiscardInputAndWrite(const FlasherProtocol::Bytes& bytes);

    // Waits until pattern has arrived or timeout (whole seconds, measured on
    // the monotonic clock from the call) has passed.
    //  Matched:  data runs from the oldest buffered byte up to and including
    //            the first occurrence of pattern; later bytes stay buffered.
    //            An empty pattern matches, with empty data, once any byte is
    //            buffered.
    //  TimedOut: data is everything buffered, and the buffer is left empty.
    //  Failed:   the link is not open or its read thread was stopped
    //            (empty data).
    // When the module's input ends or the line fails (a hang-up), the read
    // thread ends; later waits return what was buffered at their time-out.
    ReadResult ReadUntil(const FlasherProtocol::Bytes& pattern, std::chrono::seconds timeout);

    // Everything buffered; the buffer is left empty.
    FlasherProtocol::Bytes ReadAvailable();
    // Discards everything buffered; false when the port is closed.
    bool ResetInputBuffer();
    // Reports whether the port is open; there is nothing of ours to discard.
    bool ResetOutputBuffer();

    // Wakes the read thread from its wait, and joins it; the port stays open.
    void StopReadThread();

private:
    static void* ReadThreadEntry(void* self);
    void ReadThreadFunc();
    bool OpenPort();
    bool StartReadThread();
    bool OpenWakePipe();
    void CloseWakePipe();
    void SignalArrival();

    int fd = -1;
    std::string path;
    pthread_t readThread{};
    FlasherProtocol::Bytes rxBuffer;
    // Also held by the read thread from its read until the bytes are
    // buffered, so a discard cannot miss bytes it has taken from the port.
    pthread_mutex_t rxMutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t rxCond{};
    std::atomic<bool> stopRequested{false};
    bool threadRunning = false;
    TelitLinkOptions options;
    // rxCond could be set up on the monotonic clock; without it no link opens.
    bool condReady = false;
    // Written to by StopReadThread to end the read thread's readiness wait.
    int wakeRead = -1;
    int wakeWrite = -1;
};

// A link that is open, or nothing when Init failed.
std::unique_ptr<TelitComDevice> ConnectTelitDevice(std::string path, TelitLinkOptions options = {});
