#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// One direction of a serial line of a given speed: every byte occupies the
// line for 10 bit times (start bit, 8 data bits, stop bit), one after the
// other. Schedule tells when a byte has been fully transferred, which is when
// the far end may see it. Pure arithmetic; not thread-safe.
class LinePacer
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // baudRate 0: an unpaced line, every byte is through at once.
    explicit LinePacer(std::uint32_t baudRate);

    // `count` bytes that are ready to go at `ready` start when both they are
    // ready and the line is free, and follow each other; returns when the
    // last of them has been transferred.
    TimePoint Schedule(TimePoint ready, std::size_t count = 1);

    // Time one byte occupies the line (zero when unpaced).
    Clock::duration ByteTime() const { return byteTime_; }

    // Forgets bytes still on the line (the line was dropped).
    void Reset() { free_ = TimePoint{}; }

private:
    Clock::duration byteTime_;
    TimePoint free_{};
};
