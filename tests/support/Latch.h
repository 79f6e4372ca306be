#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A one-way flag: any thread opens it, others wait for it with a deadline.
// Thread-safe; opening it again changes nothing.
class Latch
{
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

    // True once open, false when the deadline passed first.
    template <typename Clock, typename Duration>
    bool WaitUntil(std::chrono::time_point<Clock, Duration> deadline)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_until(lock, deadline, [this] { return open_; });
    }

    template <typename Rep, typename Period>
    bool WaitFor(std::chrono::duration<Rep, Period> limit)
    {
        return WaitUntil(std::chrono::steady_clock::now() + limit);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};
