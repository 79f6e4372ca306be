#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

// Lets callbacks that run on other threads (file system watcher, signal
// listener, timer notification) use their target only while its owner allows
// it, and lets the owner wait until none of them uses it any more.
//
// A callback takes a Pass first and goes on only when the pass was admitted;
// the pass ends when it is destroyed. Close, called by the owner, admits no
// new pass and returns once every admitted pass of other threads has ended:
// afterwards no callback runs inside the gate, so the owner may release the
// target, and with it the threads the callbacks run on. Passes that the
// closing thread itself holds are not waited for (the owner may close the
// gate from inside one of its callbacks); that callback must touch nothing
// of the target after Close returned.
//
// All operations are thread-safe. A pass held for ever by another thread (a
// callback that never returns) makes Close wait for ever.
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
        friend class CallbackGate;

        std::shared_ptr<CallbackGate> gate_;
        bool admitted_;
        // The pass this thread held before, so that Close can count the
        // closing thread's own passes.
        const Pass* outer_;
    };

    CallbackGate() = default;

    CallbackGate(const CallbackGate&) = delete;
    CallbackGate& operator=(const CallbackGate&) = delete;

    // Admits no new pass; returns once no admitted pass of another thread is
    // held. Closing a closed gate waits the same way and changes nothing else.
    void Close();
    bool IsClosed() const;

private:
    bool Enter();
    void Leave();
    // Admitted passes of this gate that the calling thread holds.
    unsigned int HeldByThisThread() const;

    mutable std::mutex mutex_;
    std::condition_variable empty_;
    unsigned int inside_ = 0;
    bool closed_ = false;
};
