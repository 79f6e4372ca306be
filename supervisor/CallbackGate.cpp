#include "CallbackGate.h"

#include <utility>

CallbackGate::Pass::Pass(std::shared_ptr<CallbackGate> gate)
    : gate_(std::move(gate)), admitted_(gate_ && gate_->Enter())
{}

CallbackGate::Pass::~Pass()
{
    if (admitted_) {
        gate_->Leave();
    }
}

void CallbackGate::Close()
{
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    empty_.wait(lock, [this] { return inside_ == 0; });
}

bool CallbackGate::IsClosed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

bool CallbackGate::Enter()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return false;
    }
    ++inside_;
    return true;
}

void CallbackGate::Leave()
{
    std::lock_guard<std::mutex> lock(mutex_);
    --inside_;
    // Under the lock: the closing thread cannot return, and release the
    // target, before this thread is done with the gate's mutex.
    if (inside_ == 0) {
        empty_.notify_all();
    }
}
