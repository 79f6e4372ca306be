#include "ModuleSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// The flasher's side of the line, reduced to what the tests need.
class Port
{
public:
    explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Port() { Close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

    void Write(const std::string& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            }
        }
    }

    // Reads until `pattern` has arrived or `timeout` passed; returns all read.
    // Sets *ended when the line reported end-of-file or an error.
    std::string ReadUntil(const std::string& pattern, std::chrono::milliseconds timeout, bool* ended = nullptr)
    {
        const auto deadline = Clock::now() + timeout;
        std::string got;
        while (pattern.empty() || got.find(pattern) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms) {
                break;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                if (ended != nullptr) {
                    *ended = true;
                }
                break;
            }
        }
        return got;
    }

private:
    int fd_;
};

std::string ChunkOf(const std::string& data)
{
    char header[8];
    std::snprintf(header, sizeof header, "\x1bM%04zu:", data.size());
    return std::string(header, 7) + data;
}

std::string AllByteValues(std::size_t size)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>(static_cast<unsigned char>(255 - i % 256));
    }
    return s;
}

ModuleConfig Quick()
{
    ModuleConfig config;
    config.bootTime = 50ms;
    config.echo = false;
    return config;
}

// Waits until at least `count` bytes wait unread at the port.
bool WaitUntilQueued(const Port& port, std::uint64_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int queued = 0;
        if (::ioctl(port.Fd(), FIONREAD, &queued) == 0 && static_cast<std::uint64_t>(queued) >= count) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
}

bool PortOpen(const ModuleStatus& s)
{
    return s.portOpen;
}
bool PortClosed(const ModuleStatus& s)
{
    return !s.portOpen;
}

} // namespace

TEST(ModuleSimulatorLine, SerialSideIsRawAndStaysRawAcrossReopening)
{
    ModuleSimulator module(Quick());
    ASSERT_TRUE(module.Start());
    for (int round = 0; round < 2; ++round) {
        Port port(module.PortPath());
        ASSERT_TRUE(port.IsOpen());
        termios t{};
        ASSERT_EQ(::tcgetattr(port.Fd(), &t), 0);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "round " << round;
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u) << "round " << round;
        EXPECT_EQ(t.c_oflag & OPOST, 0u) << "round " << round;
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << "round " << round;
        ASSERT_TRUE(module.WaitFor(PortOpen, 5s));
        port.Close();
        ASSERT_TRUE(module.WaitFor(PortClosed, 5s));
    }
}

TEST(ModuleSimulatorLine, EveryByteValueCrossesTheLineUnchanged)
{
    ModuleSimulator module(Quick());
    ASSERT_TRUE(module.Start());
    Port port(module.PortPath());
    EXPECT_EQ(port.ReadUntil("Va2ZeZa APP\r\n", 5s), "Va2ZeZa APP\r\n");
    const std::string image = AllByteValues(1024 + 300);
    port.Write("AT+SOTHFWUPSTART=1,0," + std::to_string(image.size()) + "\r\n");
    EXPECT_EQ(port.ReadUntil("OK\r\n", 5s), "OK\r\n");
    port.Write(ChunkOf(image.substr(0, 1024)));
    EXPECT_EQ(port.ReadUntil("\x1bO", 5s), "\x1bO");
    port.Write(ChunkOf(image.substr(1024)));
    EXPECT_EQ(port.ReadUntil("OK\r\n", 5s), "OK\r\n");
    const auto received = module.ReceivedImage();
    EXPECT_EQ(std::string(received.begin(), received.end()), image);
}

TEST(ModuleSimulatorLine, OpeningsAndClosingsAreSeen)
{
    ModuleSimulator module(Quick());
    ASSERT_TRUE(module.Start());
    EXPECT_EQ(module.Status().portOpenings, 0u);
    {
        Port port(module.PortPath());
        EXPECT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.portOpenings == 1 && s.portOpen; }, 5s));
    }
    EXPECT_TRUE(module.WaitFor(PortClosed, 5s));
    Port again(module.PortPath());
    EXPECT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.portOpenings == 2 && s.portOpen; }, 5s));
}

TEST(ModuleSimulatorLine, RepliesNotReadBeforeClosingNeverReachTheNextOpener)
{
    ModuleSimulator module(Quick());
    ASSERT_TRUE(module.Start());
    {
        Port port(module.PortPath());
        ASSERT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.bytesSent > 0; }, 5s)); // the banner
        port.Write("AT+VER=?\r\n");
        ASSERT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.commands.size() == 1; }, 5s));
        // The banner and the reply wait unread at the port when it closes.
        ASSERT_TRUE(WaitUntilQueued(port, module.Status().bytesSent, 5s));
    }
    ASSERT_TRUE(module.WaitFor(PortClosed, 5s));
    Port next(module.PortPath());
    EXPECT_EQ(next.ReadUntil("", 300ms), "");
    next.Write("AT\r\n");
    EXPECT_EQ(next.ReadUntil("OK\r\n", 5s), "OK\r\n");
}

TEST(ModuleSimulatorLine, RestartBannerReachesThePortOpenedAfterTheRestart)
{
    ModuleSimulator module(Quick());
    ASSERT_TRUE(module.Start());
    {
        Port port(module.PortPath());
        port.ReadUntil("Va2ZeZa APP\r\n", 5s);
        port.Write("AT+RESET=1\r\n");
        EXPECT_EQ(port.ReadUntil("OK\r\n", 5s), "OK\r\n");
        ASSERT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.phase == ModuleStatus::Phase::Command; }, 5s));
        EXPECT_EQ(port.ReadUntil("", 100ms), "") << "boot is over, but the banner is for the next opener";
    }
    ASSERT_TRUE(module.WaitFor(PortClosed, 5s));
    Port next(module.PortPath());
    EXPECT_EQ(next.ReadUntil("Va2ZeZa APP\r\n", 5s), "Va2ZeZa APP\r\n");
    EXPECT_EQ(module.Restarts(), 1u);
}

TEST(ModuleSimulatorLine, ThrottledLineTakesAtLeastTenBitsPerByteBothWays)
{
    ModuleConfig config = Quick();
    config.baudRate = 9600;
    ModuleSimulator module(config);
    ASSERT_TRUE(module.Start());
    Port port(module.PortPath());
    port.ReadUntil("Va2ZeZa APP\r\n", 5s);
    const std::string command = "AT+VER=?\r\n";
    const auto start = Clock::now();
    port.Write(command);
    const std::string reply = port.ReadUntil("OK\r\n", 10s);
    const auto elapsed = Clock::now() - start;
    ASSERT_THAT(reply, HasSubstr("OK\r\n"));
    // The module answers as soon as the CR is in; the LF after it may still be on the line.
    const auto bytes = static_cast<long long>(command.size() - 1 + reply.size());
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count(), bytes * 10'000'000LL / 9600);
}

TEST(ModuleSimulatorLine, HangUpEndsTheLineUntilARepairPutsItBackWithoutTheFault)
{
    ModuleConfig config = Quick();
    config.faults.hangUpAtChunk = 1;
    ModuleSimulator module(config);
    ASSERT_TRUE(module.Start());
    const std::string path = module.PortPath();
    Port port(path);
    port.ReadUntil("Va2ZeZa APP\r\n", 5s);
    port.Write("AT+SOTHFWUPSTART=1,0,100\r\n");
    port.ReadUntil("OK\r\n", 5s);
    port.Write(ChunkOf(std::string(100, 'x')));
    bool ended = false;
    port.ReadUntil("never", 10s, &ended);
    EXPECT_TRUE(ended);
    EXPECT_EQ(module.Status().phase, ModuleStatus::Phase::HungUp);
    // (Whether its path is gone cannot be told: a test running beside this one
    // may have made a terminal under the freed number.)
    port.Close();

    ASSERT_TRUE(module.Repair());
    Port again(module.PortPath());
    ASSERT_TRUE(again.IsOpen()) << "the line is back, on a new terminal";
    again.Write("AT+SOTHFWUPSTART=1,0,100\r\n");
    EXPECT_THAT(again.ReadUntil("OK\r\n", 5s), HasSubstr("OK\r\n"));
    again.Write(ChunkOf(std::string(100, 'x')));
    EXPECT_THAT(again.ReadUntil("OK\r\n", 5s), HasSubstr("OK\r\n")) << "the fault is gone";
    EXPECT_EQ(module.Status().repairs, 1u);
}

TEST(ModuleSimulatorLine, CompletedImageIsSavedToTheGivenFile)
{
    char dir[] = "/tmp/module-sim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ModuleConfig config = Quick();
    config.saveImageTo = std::string(dir) + "/image.bin";
    {
        ModuleSimulator module(config);
        ASSERT_TRUE(module.Start());
        Port port(module.PortPath());
        port.ReadUntil("Va2ZeZa APP\r\n", 5s);
        const std::string image = AllByteValues(700);
        port.Write("AT+SOTHFWUPSTART=1,0,700\r\n");
        port.ReadUntil("OK\r\n", 5s);
        port.Write(ChunkOf(image));
        EXPECT_EQ(port.ReadUntil("OK\r\n", 5s), "OK\r\n");
        ASSERT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.imagesCompleted == 1; }, 5s));
        module.Stop();
        EXPECT_TRUE(module.ImageSaved());
        std::ifstream in(config.saveImageTo, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), image);
    }
    ::unlink(config.saveImageTo.c_str());
    ::rmdir(dir);
}

TEST(ModuleSimulatorLine, ImageThatCannotBeSavedIsReported)
{
    ModuleConfig config = Quick();
    config.saveImageTo = "/nonexistent-folder/image.bin";
    ModuleSimulator module(config);
    ASSERT_TRUE(module.Start());
    Port port(module.PortPath());
    port.ReadUntil("Va2ZeZa APP\r\n", 5s);
    port.Write("AT+SOTHFWUPSTART=1,0,3\r\n");
    port.ReadUntil("OK\r\n", 5s);
    port.Write(ChunkOf("abc"));
    port.ReadUntil("OK\r\n", 5s);
    ASSERT_TRUE(module.WaitFor([](const ModuleStatus& s) { return s.imagesCompleted == 1; }, 5s));
    module.Stop();
    EXPECT_FALSE(module.ImageSaved());
}

TEST(ModuleSimulatorLine, StopsWhileThePortIsHeldAndCanBeStoppedTwice)
{
    ModuleSimulator module(Quick());
    ASSERT_TRUE(module.Start());
    Port port(module.PortPath());
    ASSERT_TRUE(module.WaitFor(PortOpen, 5s));
    module.Stop();
    module.Stop();
    bool ended = false;
    port.ReadUntil("never", 5s, &ended);
    EXPECT_TRUE(ended);
}
