#include "PagesShown.h"

#include "ScreenPicture.h"

#include <screen/host_display.h>

#include <cstddef>

namespace {

// FNV-1a over the red, green and blue bytes of each pixel in turn.
class PixelDigest
{
public:
    void Add(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
    {
        for (const std::uint8_t byte : {red, green, blue}) {
            value_ = (value_ ^ byte) * 0x100000001b3ULL;
        }
    }
    std::uint64_t Value() const { return value_; }

private:
    std::uint64_t value_ = 0xcbf29ce484222325ULL;
};

std::uint64_t DigestOf(const ScreenPicture& picture)
{
    PixelDigest digest;
    for (const std::uint32_t pixel : picture.rgb) {
        digest.Add(static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
                   static_cast<std::uint8_t>(pixel));
    }
    return digest.Value();
}

} // namespace

PagesShown::PagesShown(const std::string& resources, const std::string& language)
{
    for (const char* page : {"15", "16", "17"}) {
        known_.emplace_back(DigestOf(ScreenPicture::FromFile(resources + "/" + language + "/" + page + ".png")), page);
    }
    int width = 0;
    int height = 0;
    host_screen_display_size(&width, &height);
    ScreenPicture black;
    black.width = width;
    black.height = height;
    black.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    known_.emplace_back(DigestOf(black), "black");
    host_screen_observe_frames(&PagesShown::Observe, this);
}

PagesShown::~PagesShown()
{
    host_screen_observe_frames(nullptr, nullptr);
}

void PagesShown::Observe(void* self, const unsigned char* bgra, int width, int height)
{
    auto* const pages = static_cast<PagesShown*>(self);
    PixelDigest digest;
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    for (std::size_t i = 0; i < bytes; i += 4) {
        digest.Add(bgra[i + 2], bgra[i + 1], bgra[i]);
    }
    std::string name = "?";
    for (const auto& known : pages->known_) {
        if (known.first == digest.Value()) {
            name = known.second;
        }
    }
    std::lock_guard<std::mutex> lock(pages->mutex_);
    pages->frames_.push_back({name, Clock::now()});
    pages->shown_.notify_all();
}

std::vector<PagesShown::Frame> PagesShown::Frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::vector<std::string> PagesShown::Pages() const
{
    std::vector<std::string> pages;
    for (const Frame& frame : Frames()) {
        if (pages.empty() || pages.back() != frame.page) {
            pages.push_back(frame.page);
        }
    }
    return pages;
}

void PagesShown::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
}

bool PagesShown::WaitFor(const std::string& page, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return shown_.wait_for(lock, limit, [&] { return !frames_.empty() && frames_.back().page == page; });
}
