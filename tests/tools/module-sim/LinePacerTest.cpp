#include "LinePacer.h"

#include <gtest/gtest.h>

using namespace std::chrono;

TEST(LinePacer, ByteTakesTenBitTimes)
{
    EXPECT_EQ(LinePacer(115200).ByteTime(), duration_cast<LinePacer::Clock::duration>(nanoseconds(86805)));
    EXPECT_EQ(LinePacer(0).ByteTime(), LinePacer::Clock::duration::zero());
}

TEST(LinePacer, BytesReadyTogetherLeaveOneAfterTheOther)
{
    LinePacer line(10'000); // 1 ms per byte
    const LinePacer::TimePoint t0{seconds(5)};
    EXPECT_EQ(line.Schedule(t0), t0 + milliseconds(1));
    EXPECT_EQ(line.Schedule(t0), t0 + milliseconds(2));
    EXPECT_EQ(line.Schedule(t0), t0 + milliseconds(3));
}

TEST(LinePacer, IdleLineStartsAByteWhenItIsReady)
{
    LinePacer line(10'000);
    const LinePacer::TimePoint t0{seconds(5)};
    line.Schedule(t0);
    EXPECT_EQ(line.Schedule(t0 + milliseconds(10)), t0 + milliseconds(11));
    line.Reset();
    EXPECT_EQ(line.Schedule(t0), t0 + milliseconds(1));
}

TEST(LinePacer, UnpacedLinePassesBytesAtOnce)
{
    LinePacer line(0);
    const LinePacer::TimePoint t0{seconds(5)};
    EXPECT_EQ(line.Schedule(t0), t0);
    EXPECT_EQ(line.Schedule(t0), t0);
}
