#pragma once

// Names every frame that the virtual display shows: one of the upgrade's
// pages ("16" in progress, "15" success, "17" failure, compared pixel for
// pixel with the page files of a language), "black", or "?" for anything
// else. While an instance lives it is the display's frame observer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class PagesShown
{
public:
    using Clock = std::chrono::steady_clock;

    struct Frame
    {
        std::string page;
        Clock::time_point at;
    };

    // The pages of language under the resources folder.
    explicit PagesShown(const std::string& resources, const std::string& language = "english");
    ~PagesShown();

    PagesShown(const PagesShown&) = delete;
    PagesShown& operator=(const PagesShown&) = delete;

    std::vector<Frame> Frames() const;
    // The names in order, a name shown again in a row counted once.
    std::vector<std::string> Pages() const;
    void Clear();
    // True once the latest frame is page; false when limit passed first.
    bool WaitFor(const std::string& page, std::chrono::milliseconds limit) const;

private:
    static void Observe(void* self, const unsigned char* bgra, int width, int height);

    std::vector<std::pair<std::uint64_t, std::string>> known_;
    mutable std::mutex mutex_;
    mutable std::condition_variable shown_;
    std::vector<Frame> frames_;
};
