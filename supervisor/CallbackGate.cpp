#include "CallbackGate.h"

#include <utility>

namespace {

// The innermost pass the calling thread holds, of any gate.
thread_local const CallbackGate::Pass* innermostPass = nullptr;

} // namespace

CallbackGate::Pass::Pass(std::shared_ptr<CallbackGate> gate)
    : gate_(std::move(gate)), admitted_(gate_ && gate_->Enter()), outer_(innermostPass)
{
    innermostPass = this;
}

CallbackGate::Pass::~Pass()
{
    innermostPass = outer_;
    if (admitted_) {
        gate_->Leave();
    }
}

void CallbackGate::Close()
{
    const unsigned int own = HeldByThisThread();
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    empty_.wait(lock, [this, own] { return inside_ <= own; });
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
    empty_.notify_all();
}

unsigned int CallbackGate::HeldByThisThread() const
{
    unsigned int held = 0;
    for (const Pass* pass = innermostPass; pass != nullptr; pass = pass->outer_) {
        if (pass->admitted_ && pass->gate_.get() == this) {
            ++held;
        }
    }
    return held;
}
