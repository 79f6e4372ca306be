#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

// Lets callbacks that run on other threads (file system watcher, signal
// listener, timer notification) use their target only while its owner allows
// it, and lets the owner wait until none of them uses it any more.
//
// A callback takes a Pass first and goes on only when the pass was admitted;
// it releases the pass as its last act, after it has dropped every reference
// it took to the target. Close, called by the owner, admits no new pass and
// returns once every admitted pass has been released: afterwards no callback
// runs inside the gate, so the owner may release the target, and with it the
// threads the callbacks run on, from its own thread.
//
// All operations are thread-safe. Close must not be called while the calling
// thread holds a pass of the same gate (it would wait for itself). A pass held
// for ever (a callback that never returns) makes Close wait for ever.
class CallbackGate
{
public:
    class Pass
    {
    public:
        // Enters the gate unless it is closed. The pass keeps the gate alive.
        explicit Pass(std::shared_ptr<CallbackGate> gate);
        ~Pass();

        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        // True when the callback may go on.
        explicit operator bool() const { return admitted_; }

    private:
        std::shared_ptr<CallbackGate> gate_;
        bool admitted_;
    };

    CallbackGate() = default;

    CallbackGate(const CallbackGate&) = delete;
    CallbackGate& operator=(const CallbackGate&) = delete;

    // Admits no new pass; returns once no admitted pass is held. Closing a
    // closed gate waits the same way and changes nothing else.
    void Close();
    bool IsClosed() const;

private:
    bool Enter();
    void Leave();

    mutable std::mutex mutex_;
    std::condition_variable empty_;
    unsigned int inside_ = 0;
    bool closed_ = false;
};
