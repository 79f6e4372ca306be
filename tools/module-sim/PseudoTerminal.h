#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// The module's end of a pseudo-terminal pair. It also plays the printer's
// serial driver: the other end (the "slave", which the flasher opens as its
// serial port) is set to raw mode once, so that line stays binary-clean for
// every later opener, because the flasher never changes line settings.
//
// Owns the master descriptor; not copyable. Closing the master (Close, the
// destructor) hangs the other end up and removes its device node.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair with a non-blocking master and a raw other end, which is
    // left closed. False when any step fails (nothing stays open then).
    bool Open();
    void Close();
    bool IsOpen() const { return master_ >= 0; }

    // Path of the other end, e.g. "/dev/pts/7"; empty while closed.
    const std::string& PeerPath() const { return peerPath_; }
    int MasterFd() const { return master_; }

    // Whether anybody holds the other end open (the master reports no hang-up).
    bool PeerHolds() const;

    // Drops what was written to the other end and not read there yet, so that
    // nothing stale reaches the next opener.
    void DiscardPeerInput() const;

    // Non-blocking read and write on the master, interruptions retried. Read
    // returns the byte count, 0 when nothing is waiting, -1 when the other end
    // is closed or the master failed. Write returns the count written (0 when
    // the terminal's buffer is full), -1 on failure.
    ssize_t Read(std::uint8_t* buffer, std::size_t size) const;
    ssize_t Write(const std::uint8_t* data, std::size_t size) const;

private:
    int master_ = -1;
    std::string peerPath_;
};
