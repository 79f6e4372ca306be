#pragma once

#include "FlasherProtocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A minimal module on the module side of a pseudo-terminal: a thread that
// collects what the flasher sends and hands the unconsumed part to a script,
// which consumes what it understands (erasing it from the inbox) and answers
// with Send. Everything ever received is kept for the test to inspect.
class ScriptedModule
{
public:
    using Script = std::function<void(ScriptedModule& module, FlasherProtocol::Bytes& inbox)>;

    ScriptedModule(int moduleSide, Script script);
    // Stops the thread; the terminal stays as it is.
    ~ScriptedModule();
    ScriptedModule(const ScriptedModule&) = delete;
    ScriptedModule& operator=(const ScriptedModule&) = delete;

    // Called from the script (the module's thread) or the test.
    void Send(const FlasherProtocol::Bytes& bytes);
    void Send(const std::string& text) { Send(FlasherProtocol::StrToBytes(text)); }
    FlasherProtocol::Bytes Received() const;

    // Waits until condition holds for the bytes the script has finished with
    // (so whatever it records about them is recorded too), or timeout passes;
    // returns whether it held. Checked again after every script run.
    bool WaitUntilHandled(const std::function<bool(const FlasherProtocol::Bytes& handled)>& condition,
                          std::chrono::milliseconds timeout);

    // Answers "AT+VER=?" lines with the given reply and every other line with "OK".
    static Script VersionModule(std::string reply);

private:
    void Run();

    int fd_;
    Script script_;
    mutable std::mutex mutex_;
    std::condition_variable handledChanged_;
    FlasherProtocol::Bytes received_;
    FlasherProtocol::Bytes handled_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Splits off the first complete line (up to and including "\r\n") of inbox.
bool TakeLine(FlasherProtocol::Bytes& inbox, std::string& line);
