#pragma once

#include "FlasherProtocol.h"

#include <chrono>
#include <string>

// A pseudo-terminal pair playing the module's end of the serial line. The
// serial side is set raw, as the printer's serial driver leaves its port; the
// code under test opens SerialPath() itself. The pair keeps a descriptor of
// the serial side open, so the line survives the links opened and closed on it.
// SerialPath() is a link of the pair's own to the serial side: once the pair
// has hung up it is gone, so a terminal that a test running beside this one
// makes under the freed number never passes for this line.
class PseudoTerminalPair
{
public:
    PseudoTerminalPair();
    ~PseudoTerminalPair();
    PseudoTerminalPair(const PseudoTerminalPair&) = delete;
    PseudoTerminalPair& operator=(const PseudoTerminalPair&) = delete;

    bool IsOpen() const { return master_ >= 0; }
    const std::string& SerialPath() const { return serialPath_; }
    int ModuleSide() const { return master_; }
    int SerialSide() const { return serial_; }

    void Send(const FlasherProtocol::Bytes& bytes);
    void Send(const std::string& text) { Send(FlasherProtocol::StrToBytes(text)); }
    // Writes text towards the module through the pair's own descriptor of the
    // serial side: it arrives behind everything written there before.
    void SendFromSerialSide(const std::string& text);
    // Everything that arrives from the serial side until `quiet` passes without
    // a byte (or `limit` passes in all).
    FlasherProtocol::Bytes Receive(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

    // Closes both ends: the serial side reads fail and its path disappears.
    void HangUp();

private:
    int master_ = -1;
    int serial_ = -1;
    std::string folder_;
    std::string serialPath_;
};
