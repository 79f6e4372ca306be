#include "SupervisorLifecycle.h"

bool SupervisorLifecycle::TakeResult(Clock::time_point now, Clock::duration delay)
{
    if (phase_ != Phase::Waiting && phase_ != Phase::ResultShown) {
        return false;
    }
    phase_ = Phase::ResultShown;
    due_ = now + delay;
    return true;
}

bool SupervisorLifecycle::BeginRestart(Clock::time_point now)
{
    if (phase_ != Phase::ResultShown || now < due_) {
        return false;
    }
    phase_ = Phase::Restarting;
    return true;
}

void SupervisorLifecycle::Stop()
{
    if (phase_ != Phase::Restarting) {
        phase_ = Phase::Stopping;
    }
}
