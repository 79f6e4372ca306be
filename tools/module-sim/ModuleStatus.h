#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What can be observed of the simulated module from outside: for tests, and
// for the simulator program's summary.
struct ModuleStatus
{
    // Preparing: the upload start was taken, its acknowledgement not sent yet.
    // Dark: the power is gone.
    enum class Phase
    {
        Dark,
        Booting,
        Command,
        Preparing,
        Upload,
        HungUp
    };

    // Something the module did or saw, at the time it happened on the line.
    struct Event
    {
        std::chrono::steady_clock::time_point at;
        std::string text;
    };

    Phase phase = Phase::Booting;
    bool portOpen = false;          // someone holds the terminal's other end open
    std::uint32_t portOpenings = 0; // times the other end was opened
    std::uint32_t restarts = 0;     // restarts after power-on (image, accept, reset)

    // Every command line received in command mode, without its line end, in order.
    std::vector<std::string> commands;
    // Banners that reached an open port, in order (without their line ends).
    std::vector<std::string> banners;
    // Banners sent while nobody held the port (bannersLostWhilePortClosed).
    std::uint32_t bannersLost = 0;
    // Port openings and closings, commands, banners, uploads and restarts, in order.
    std::vector<Event> events;

    // The image of the current or last upload as received so far.
    std::vector<std::uint8_t> image;
    std::uint64_t announcedImageSize = 0;
    std::uint32_t chunksReceived = 0; // chunks of the current or last upload
    std::uint32_t imagesCompleted = 0;
    bool imagePending = false; // an image was received and waits for the accept
    bool upgradeAccepted = false;
    std::string reportedVersion;

    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;
    // Bytes the module sent while nobody held the port open: lost, as on a real line.
    std::uint64_t bytesLost = 0;
    // Bytes that arrived while the module was dark, booting or hung up: ignored.
    std::uint64_t bytesIgnored = 0;
    // Bytes that arrived after an upload start and before its acknowledgement.
    std::uint64_t bytesDroppedBeforeStartAck = 0;

    // The faults of slow replies and power losses that struck, each counted
    // once per time it struck (trickling: per byte sent).
    std::uint32_t powerLosses = 0;
    std::uint32_t repliesHeldBack = 0;
    std::uint32_t repliesSplit = 0;
    std::uint64_t bytesTrickled = 0;
    // Times the faults were cleared (ModuleModel::ClearFaults).
    std::uint32_t repairs = 0;
};
