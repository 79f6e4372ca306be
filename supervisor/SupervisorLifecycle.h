#pragma once

#include <chrono>

// Where the supervisor stands between its start and its end, and what a
// result, an expiry of the restart timer and a stop may still do there.
// Pure: the caller passes the time and keeps it under its own lock.
//
//   Waiting      the in-progress page; no result yet
//   ResultShown  a result's page; the restart is armed for the latest result
//   Restarting   the restart has begun; it happens once and is not undone
//   Stopping     a stop came first: no page and no restart any more
class SupervisorLifecycle
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Phase
    {
        Waiting,
        ResultShown,
        Restarting,
        Stopping
    };

    // A result taken at now: true when it shows its page and arms the
    // restart for now + delay, replacing an earlier arming. Once the restart
    // has begun or a stop came, a result changes nothing.
    bool TakeResult(Clock::time_point now, Clock::duration delay);
    // An expiry of the restart timer at now: true when it begins the
    // restart. Only a result's arming that is due begins it, so an expiry
    // left over from an arming that a later result replaced does not; after
    // a stop nothing does, and the restart begins at most once.
    bool BeginRestart(Clock::time_point now);
    // A stop: no result and no restart after it. A restart that has begun
    // is not undone.
    void Stop();

    Phase Current() const { return phase_; }
    // When the armed restart is due; meaningful in ResultShown.
    Clock::time_point RestartDue() const { return due_; }

private:
    Phase phase_ = Phase::Waiting;
    Clock::time_point due_{};
};
