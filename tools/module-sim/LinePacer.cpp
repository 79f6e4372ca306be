#include "LinePacer.h"

#include <algorithm>

LinePacer::LinePacer(std::uint32_t baudRate)
    : byteTime_(baudRate == 0 ? Clock::duration::zero()
                              : std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::nanoseconds(10'000'000'000LL / baudRate)))
{}

LinePacer::TimePoint LinePacer::Schedule(TimePoint ready, std::size_t count)
{
    free_ = std::max(free_, ready) + byteTime_ * static_cast<Clock::rep>(count);
    return free_;
}
