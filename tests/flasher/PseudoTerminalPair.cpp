#include "PseudoTerminalPair.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

void WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (fd >= 0 && done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

PseudoTerminalPair::PseudoTerminalPair()
{
    char name[256] = {};
    if (openpty(&master_, &serial_, name, nullptr, nullptr) != 0) {
        master_ = serial_ = -1;
        return;
    }
    termios settings{};
    tcgetattr(serial_, &settings);
    cfmakeraw(&settings);
    tcsetattr(serial_, TCSANOW, &settings);

    char folder[] = "/tmp/pty-pair-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        HangUp();
        return;
    }
    folder_ = folder;
    serialPath_ = folder_ + "/serial";
    if (symlink(name, serialPath_.c_str()) != 0) {
        HangUp();
    }
}

PseudoTerminalPair::~PseudoTerminalPair()
{
    HangUp();
    if (!folder_.empty()) {
        rmdir(folder_.c_str());
    }
}

void PseudoTerminalPair::HangUp()
{
    if (!serialPath_.empty()) {
        unlink(serialPath_.c_str());
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    if (serial_ >= 0) {
        close(serial_);
        serial_ = -1;
    }
}

void PseudoTerminalPair::Send(const FlasherProtocol::Bytes& bytes)
{
    WriteAll(master_, bytes.data(), bytes.size());
}

void PseudoTerminalPair::SendFromSerialSide(const std::string& text)
{
    WriteAll(serial_, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

FlasherProtocol::Bytes PseudoTerminalPair::Receive(std::chrono::milliseconds quiet, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    FlasherProtocol::Bytes got;
    const auto end = Clock::now() + limit;
    while (master_ >= 0 && Clock::now() < end) {
        pollfd fd{master_, POLLIN, 0};
        const int ready = poll(&fd, 1, static_cast<int>(quiet.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (fd.revents & POLLIN) == 0) {
            break;
        }
        std::uint8_t block[4096];
        const ssize_t n = read(master_, block, sizeof block);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), block, block + n);
    }
    return got;
}
