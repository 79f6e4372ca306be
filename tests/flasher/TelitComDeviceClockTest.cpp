// ReadUntil's time-out against steps of the real-time clock. The clock the
// program reads is replaced here (the executable's clock_gettime wins over the
// C library's), so the test can step it without touching the machine's clock:
// a deadline taken from the real-time clock would come out an hour early and
// end the wait at once.
#include "PseudoTerminalPair.h"
#include "TelitComDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::atomic<long> realTimeOffsetSeconds{0};

std::chrono::nanoseconds MonotonicNow()
{
    timespec now{};
    syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* now)
{
    const long result = syscall(SYS_clock_gettime, clock, now);
    if (result == 0 && clock == CLOCK_REALTIME) {
        now->tv_sec += realTimeOffsetSeconds.load();
    }
    return static_cast<int>(result);
}

TEST(ReadUntilClock, RealTimeClockSetBackDoesNotCutTheWaitShort)
{
    PseudoTerminalPair line;
    auto link = ConnectTelitDevice(line.SerialPath(), TelitLinkOptions{3, 10ms, 10ms});
    ASSERT_NE(link, nullptr);

    realTimeOffsetSeconds = -3600;
    const auto start = MonotonicNow();
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 1s);
    const auto waited = MonotonicNow() - start;
    realTimeOffsetSeconds = 0;

    EXPECT_EQ(reply.status, ReadStatus::TimedOut);
    EXPECT_GE(waited, 1s);
}

TEST(ReadUntilClock, RealTimeClockSetForwardDoesNotStretchTheWait)
{
    PseudoTerminalPair line;
    auto link = ConnectTelitDevice(line.SerialPath(), TelitLinkOptions{3, 10ms, 10ms});
    ASSERT_NE(link, nullptr);

    realTimeOffsetSeconds = 3600;
    const auto start = MonotonicNow();
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 1s);
    const auto waited = MonotonicNow() - start;
    realTimeOffsetSeconds = 0;

    EXPECT_EQ(reply.status, ReadStatus::TimedOut);
    EXPECT_LT(waited, 30s);
}
