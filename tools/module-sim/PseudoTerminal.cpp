#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

int OpenPeer(const std::string& path)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    Close();
}

bool PseudoTerminal::Open()
{
    Close();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        return false;
    }
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return false;
    }
    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        ::close(master);
        return false;
    }

    // Opening the other end once also puts the master into its "nobody holds
    // the other end" state once it is closed again, which PeerHolds relies on.
    const int peer = OpenPeer(name);
    if (peer < 0) {
        ::close(master);
        return false;
    }
    termios settings{};
    bool raw = ::tcgetattr(peer, &settings) == 0;
    if (raw) {
        ::cfmakeraw(&settings);
        raw = ::tcsetattr(peer, TCSANOW, &settings) == 0;
    }
    ::close(peer);
    if (!raw) {
        ::close(master);
        return false;
    }
    master_ = master;
    peerPath_ = name;
    return true;
}

void PseudoTerminal::Close()
{
    if (master_ >= 0) {
        ::close(master_);
    }
    master_ = -1;
    peerPath_.clear();
}

bool PseudoTerminal::PeerHolds() const
{
    if (master_ < 0) {
        return false;
    }
    pollfd p{master_, 0, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n == 0 || (n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0);
}

void PseudoTerminal::DiscardPeerInput() const
{
    if (peerPath_.empty()) {
        return;
    }
    const int peer = OpenPeer(peerPath_);
    if (peer < 0) {
        return;
    }
    ::tcflush(peer, TCIFLUSH);
    ::close(peer);
}

ssize_t PseudoTerminal::Read(std::uint8_t* buffer, std::size_t size) const
{
    if (master_ < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(master_, buffer, size);
        if (n > 0) {
            return n;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        return -1;
    }
}

ssize_t PseudoTerminal::Write(const std::uint8_t* data, std::size_t size) const
{
    if (master_ < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::write(master_, data, size);
        if (n >= 0) {
            return n;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        return -1;
    }
}
