#pragma once

#include "ModuleConfig.h"
#include "ModuleStatus.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class ModuleModel;
class PseudoTerminal;

// A simulated Wi-Fi module on a pseudo-terminal, for tests and for people
// without a module at hand. Start creates the terminal pair, sets the serial
// side raw (as the printer's serial driver would), powers the module on and
// runs it on a thread of its own; the program under test opens PortPath() as
// its serial port. See ModuleModel for the exchange the module follows.
//
// Line behaviour, as on a real serial line:
//  - bytes the module sends while nobody holds the port open are lost, and
//    nothing stale reaches the next opener;
//  - with a baud rate set, both directions are paced at 10 bits per byte;
//  - the hang-up fault closes the terminal: the port reads end-of-file or
//    fails from then on and its path disappears, until Repair puts the line
//    back on a new terminal;
//  - what the module had not yet put on the line when it lost power is lost.
//
// Threads: the accessors may be called from any thread; they return copies.
// The destructor stops the module's thread and closes the terminal. Not
// copyable.
class ModuleSimulator
{
public:
    explicit ModuleSimulator(ModuleConfig config = {});
    ~ModuleSimulator();

    ModuleSimulator(const ModuleSimulator&) = delete;
    ModuleSimulator& operator=(const ModuleSimulator&) = delete;

    // False when the terminal or the thread cannot be created; then nothing runs.
    bool Start();
    // Stops the module's thread and closes the terminal; idempotent.
    void Stop();

    // The serial port's path (e.g. "/dev/pts/7"); empty before Start. It
    // changes when Repair puts a dropped line back.
    std::string PortPath() const;

    // Takes the module's faults away (ModuleModel::ClearFaults); a line that
    // was dropped comes back on a new terminal. Waits for the module's thread
    // to have done it; false when it is not running (or has not done it
    // within 5 s) or could not make the new terminal.
    bool Repair();

    ModuleStatus Status() const;
    std::vector<std::uint8_t> ReceivedImage() const;
    std::vector<std::string> CommandsSeen() const;
    std::uint32_t Restarts() const;
    // The events from number `from` on (see ModuleStatus::events).
    std::vector<ModuleStatus::Event> Events(std::size_t from) const;

    // Whether the last completely received image could be saved to
    // config.saveImageTo (true when nothing was asked or nothing received yet).
    bool ImageSaved() const;

    // Waits until `condition` holds for the status or `timeout` has passed;
    // returns whether it held. For tests that wait for the module to get
    // somewhere.
    bool WaitFor(const std::function<bool(const ModuleStatus&)>& condition, std::chrono::milliseconds timeout) const;

private:
    // The pieces of the module's thread (ModuleSimulator.cpp).
    class Line;
    struct Port;
    struct PortNews;
    struct Turn;

    // The module's thread: waits for work, looks at the port, lets the model
    // take its turn and sends its replies, until Stop.
    void Run();
    // Sleeps until the next reply has crossed the line, the model wants
    // time, the port has news, or Stop; returns the port's poll events (0
    // when it was not watched), nothing when the wait failed.
    std::optional<short> WaitForWork(const Port& port, const Line& line);
    // Gives the model the bytes that arrived, the port's news and the time
    // that passed; saves an image it completed.
    Turn TakeTurn(Line& line, const PortNews& news, std::chrono::steady_clock::time_point now);
    // Does the repairs asked for: the model's faults go, a dropped line comes
    // back on a new terminal.
    void DoRepairs(Port& port, Line& line, std::chrono::steady_clock::time_point now);
    void SaveImage(const std::vector<std::uint8_t>& image);

    const ModuleConfig config_;
    std::unique_ptr<PseudoTerminal> terminal_;
    std::unique_ptr<ModuleModel> model_; // guarded by mutex_
    mutable std::mutex mutex_;
    std::string portPath_;
    bool imageSaved_ = true; // guarded by mutex_
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    // Repairs asked for and done, so Repair can wait for its own; guarded by mutex_.
    std::uint32_t repairsAsked_ = 0;
    std::uint32_t repairsDone_ = 0;
    bool repairFailed_ = false;
    std::thread thread_;
    std::uint32_t imagesSeen_ = 0;      // images completed so far; the module's thread only
    std::uint32_t powerLossesSeen_ = 0; // likewise, power losses
};
