#include "TelitComDevice.h"
#include "PseudoTerminalPair.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <termios.h>
#include <thread>

using FlasherProtocol::Bytes;
using FlasherProtocol::StrToBytes;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const TelitLinkOptions QuickLink{3, 10ms, 10ms};

std::string Text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::size_t ThreadCount()
{
    std::size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.' ? 1u : 0u;
        }
        closedir(tasks);
    }
    return count;
}

class LinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.IsOpen());
        link = ConnectTelitDevice(line.SerialPath(), QuickLink);
        ASSERT_NE(link, nullptr);
    }

    PseudoTerminalPair line;
    std::unique_ptr<TelitComDevice> link;
};

} // namespace

TEST_F(LinkTest, TwoRepliesInOneBurstAreReturnedOneAtATime)
{
    line.Send("OK\r\n+YLC:1,1\r\nVa2");
    const ReadResult first = link->ReadUntil(FlasherProtocol::RespOk, 5s);
    EXPECT_EQ(first.status, ReadStatus::Matched);
    EXPECT_EQ(Text(first.data), "OK\r\n");
    const ReadResult second = link->ReadUntil(FlasherProtocol::RespToYlc, 5s);
    EXPECT_EQ(second.status, ReadStatus::Matched);
    EXPECT_EQ(Text(second.data), "+YLC:1,1\r\n");
}

TEST_F(LinkTest, PatternSplitAcrossArrivalsIsFound)
{
    line.Send("APP VERSION=1\r\nO");
    // Buffered before the rest is even sent: the pattern spans two reads.
    ASSERT_EQ(link->ReadUntil({}, 5s).status, ReadStatus::Matched);
    std::thread module([this] { line.Send("K\r\ntail"); });
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 5s);
    module.join();
    EXPECT_EQ(reply.status, ReadStatus::Matched);
    EXPECT_EQ(Text(reply.data), "APP VERSION=1\r\nOK\r\n");
}

TEST_F(LinkTest, TimeOutReturnsEverythingReceivedAndEmptiesTheBuffer)
{
    line.Send("noise\x1b\r\n");
    const auto start = Clock::now();
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 1s);
    EXPECT_GE(Clock::now() - start, 1s);
    EXPECT_EQ(reply.status, ReadStatus::TimedOut);
    EXPECT_EQ(Text(reply.data), "noise\x1b\r\n");
    EXPECT_TRUE(link->ReadAvailable().empty());
}

TEST_F(LinkTest, TimeOutIsNotExtendedByArrivals)
{
    std::atomic<bool> done{false};
    std::thread module([this, &done] {
        while (!done) {
            line.Send("x");
            std::this_thread::sleep_for(100ms);
        }
    });
    const auto start = Clock::now();
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 1s);
    const auto waited = Clock::now() - start;
    done = true;
    module.join();
    EXPECT_EQ(reply.status, ReadStatus::TimedOut);
    EXPECT_GE(waited, 1s);
    EXPECT_LT(waited, 10s);
}

TEST_F(LinkTest, NonPositiveTimeOutLooksOnceAndReturns)
{
    line.Send("OK\r\nab");
    ASSERT_EQ(link->ReadUntil(FlasherProtocol::RespOk, 5s).status, ReadStatus::Matched);
    ASSERT_EQ(link->ReadUntil({}, 5s).status, ReadStatus::Matched);
    const ReadResult zero = link->ReadUntil(FlasherProtocol::RespOk, 0s);
    EXPECT_EQ(zero.status, ReadStatus::TimedOut);
    EXPECT_EQ(Text(zero.data), "ab");
    line.Send("OK\r\n");
    ASSERT_EQ(link->ReadUntil({}, 5s).status, ReadStatus::Matched);
    EXPECT_EQ(link->ReadUntil(FlasherProtocol::RespOk, -5s).status, ReadStatus::Matched);
}

TEST_F(LinkTest, HugeTimeOutStillWaitsForThePattern)
{
    std::thread module([this] {
        std::this_thread::sleep_for(200ms);
        line.Send("OK\r\n");
    });
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, std::chrono::seconds::max());
    module.join();
    EXPECT_EQ(reply.status, ReadStatus::Matched);
}

TEST_F(LinkTest, EmptyPatternMatchesOnceAByteArrivedAndConsumesNothing)
{
    line.Send("V");
    const ReadResult reply = link->ReadUntil({}, 5s);
    EXPECT_EQ(reply.status, ReadStatus::Matched);
    EXPECT_TRUE(reply.data.empty());
    EXPECT_EQ(Text(link->ReadAvailable()), "V");
}

TEST_F(LinkTest, LargeBurstArrivesCompleteAndInOrder)
{
    Bytes burst(64 * 1024);
    for (std::size_t i = 0; i < burst.size(); ++i) {
        burst[i] = static_cast<std::uint8_t>('a' + i % 26);
    }
    burst.push_back('!');
    std::thread module([this, &burst] { line.Send(burst); });
    const ReadResult reply = link->ReadUntil(Bytes{'!'}, 10s);
    module.join();
    EXPECT_EQ(reply.status, ReadStatus::Matched);
    EXPECT_EQ(reply.data, burst);
}

TEST_F(LinkTest, WritesReachTheModuleAndAnEmptyWriteSucceeds)
{
    EXPECT_TRUE(link->Write({}));
    EXPECT_TRUE(link->Write(StrToBytes("AT+VER=?\r\n")));
    EXPECT_EQ(Text(line.Receive(200ms, 5s)), "AT+VER=?\r\n");
}

TEST_F(LinkTest, ResettingTheInputDiscardsWhatWasBuffered)
{
    line.Send("stale");
    ASSERT_EQ(link->ReadUntil({}, 5s).status, ReadStatus::Matched);
    EXPECT_TRUE(link->ResetInputBuffer());
    EXPECT_TRUE(link->ResetOutputBuffer());
    EXPECT_TRUE(link->ReadAvailable().empty());
}

TEST_F(LinkTest, DiscardingWriteLeavesOnlyWhatArrivesAfterIt)
{
    line.Send("OK\r\nstale");
    ASSERT_EQ(link->ReadUntil({}, 5s).status, ReadStatus::Matched);
    EXPECT_TRUE(link->DiscardInputAndWrite(StrToBytes("AT\r\n")));
    EXPECT_EQ(Text(line.Receive(200ms, 5s)), "AT\r\n");
    line.Send("fresh OK\r\n");
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 5s);
    EXPECT_EQ(reply.status, ReadStatus::Matched);
    EXPECT_EQ(Text(reply.data), "fresh OK\r\n");
}

TEST_F(LinkTest, StoppedLinkFailsReadsAtOnce)
{
    link->StopReadThread();
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 5s);
    EXPECT_EQ(reply.status, ReadStatus::Failed);
    EXPECT_TRUE(link->IsOpen());
}

TEST_F(LinkTest, HangUpEndsTheReadThreadAndReadsRunIntoTheirTimeOut)
{
    const std::size_t withReader = ThreadCount();
    line.Send("partial");
    ASSERT_EQ(link->ReadUntil({}, 5s).status, ReadStatus::Matched);
    line.HangUp();
    // The thread ends by itself (it does not spin on the failing line).
    const auto deadline = Clock::now() + 10s;
    while (ThreadCount() >= withReader && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_LT(ThreadCount(), withReader);
    const ReadResult reply = link->ReadUntil(FlasherProtocol::RespOk, 1s);
    EXPECT_EQ(reply.status, ReadStatus::TimedOut);
    EXPECT_EQ(Text(reply.data), "partial");
    EXPECT_FALSE(link->Write(StrToBytes("AT\r\n")));
}

TEST(LinkNeverOpened, EverythingFailsAtOnceWithoutData)
{
    TelitComDevice link("/nonexistent/wifi1", QuickLink);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.Write(StrToBytes("AT\r\n")));
    EXPECT_FALSE(link.Write({}));
    EXPECT_FALSE(link.DiscardInputAndWrite(StrToBytes("AT\r\n")));
    const ReadResult reply = link.ReadUntil(FlasherProtocol::RespOk, 5s);
    EXPECT_EQ(reply.status, ReadStatus::Failed);
    EXPECT_TRUE(reply.data.empty());
    EXPECT_FALSE(link.ResetInputBuffer());
    EXPECT_FALSE(link.ResetOutputBuffer());
    EXPECT_TRUE(link.ReadAvailable().empty());
    link.StopReadThread();
}

TEST(LinkConnection, MissingDeviceFailsAfterEveryAttemptAndItsPause)
{
    const auto start = Clock::now();
    EXPECT_EQ(ConnectTelitDevice("/nonexistent/wifi1", TelitLinkOptions{4, 50ms, 10ms}), nullptr);
    EXPECT_GE(Clock::now() - start, 200ms);
}

TEST(LinkConnection, DeviceThatIsNotATerminalIsRefused)
{
    EXPECT_EQ(ConnectTelitDevice("/dev/null", QuickLink), nullptr);
}

TEST(LinkConnection, NoAttemptsMeansNoLink)
{
    PseudoTerminalPair line;
    EXPECT_EQ(ConnectTelitDevice(line.SerialPath(), TelitLinkOptions{0, 10ms, 10ms}), nullptr);
}

TEST(LinkConnection, ProductDefaultsPauseBeforeTheFirstAttempt)
{
    PseudoTerminalPair line;
    const auto start = Clock::now();
    auto link = ConnectTelitDevice(line.SerialPath());
    EXPECT_NE(link, nullptr);
    EXPECT_GE(Clock::now() - start, 1100ms);
}

TEST(LinkConnection, LineSettingsAreLeftAsTheDriverMadeThem)
{
    PseudoTerminalPair line;
    termios before{};
    ASSERT_EQ(tcgetattr(line.SerialSide(), &before), 0);
    {
        auto link = ConnectTelitDevice(line.SerialPath(), QuickLink);
        ASSERT_NE(link, nullptr);
        link->Write(StrToBytes("AT\r\n"));
    }
    termios after{};
    ASSERT_EQ(tcgetattr(line.SerialSide(), &after), 0);
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    EXPECT_EQ(before.c_oflag, after.c_oflag);
    EXPECT_EQ(before.c_cflag, after.c_cflag);
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after));
}
