#include "ModuleSimulator.h"

#include "LinePacer.h"
#include "ModuleModel.h"
#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// How often a closed port is checked for a new opener: a closed master reports
// its hang-up at once, so it cannot simply be waited on.
constexpr std::chrono::milliseconds ClosedPortPollPeriod{5};
constexpr std::size_t ReadBlock = 4096;

struct TimedByte
{
    std::uint8_t value;
    TimePoint due; // when the byte has crossed the line
};

timespec ToTimespec(Clock::duration d)
{
    if (d < Clock::duration::zero()) {
        d = Clock::duration::zero();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        return false;
    }
    return true;
}

} // namespace

ModuleSimulator::ModuleSimulator(ModuleConfig config)
    : config_(std::move(config)), terminal_(std::make_unique<PseudoTerminal>())
{}

ModuleSimulator::~ModuleSimulator()
{
    Stop();
    for (int& fd : wake_) {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = -1;
    }
}

bool ModuleSimulator::Start()
{
    if (thread_.joinable() || !terminal_->Open()) {
        return false;
    }
    if (wake_[0] < 0 && ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        terminal_->Close();
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        model_ = std::make_unique<ModuleModel>(config_, Clock::now());
        portPath_ = terminal_->PeerPath();
    }
    stop_ = false;
    try {
        thread_ = std::thread(&ModuleSimulator::Run, this);
    } catch (const std::system_error&) {
        terminal_->Close();
        return false;
    }
    return true;
}

void ModuleSimulator::Stop()
{
    if (thread_.joinable()) {
        stop_ = true;
        const std::uint8_t byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
        thread_.join();
    }
    terminal_->Close();
}

std::string ModuleSimulator::PortPath() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return portPath_;
}

ModuleStatus ModuleSimulator::Status() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_ ? model_->Status() : ModuleStatus{};
}

std::vector<std::uint8_t> ModuleSimulator::ReceivedImage() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_ ? model_->Status().image : std::vector<std::uint8_t>{};
}

std::vector<std::string> ModuleSimulator::CommandsSeen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_ ? model_->Status().commands : std::vector<std::string>{};
}

std::uint32_t ModuleSimulator::Restarts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_ ? model_->Status().restarts : 0;
}

std::vector<ModuleStatus::Event> ModuleSimulator::Events(std::size_t from) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!model_ || from >= model_->Status().events.size()) {
        return {};
    }
    const auto& events = model_->Status().events;
    return std::vector<ModuleStatus::Event>(events.begin() + static_cast<std::ptrdiff_t>(from), events.end());
}

bool ModuleSimulator::ImageSaved() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return imageSaved_;
}

bool ModuleSimulator::WaitFor(const std::function<bool(const ModuleStatus&)>& condition,
                              std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (model_ && condition(model_->Status())) {
                return true;
            }
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void ModuleSimulator::SaveImage(const std::vector<std::uint8_t>& image)
{
    const bool saved = WriteWholeFile(config_.saveImageTo, image);
    std::lock_guard<std::mutex> lock(mutex_);
    imageSaved_ = saved;
}

void ModuleSimulator::Run()
{
    // Pacing a fast line needs wake-ups close to the microsecond; the default
    // timer slack would add tens of microseconds to every byte burst.
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);

    LinePacer inbound(config_.baudRate);
    LinePacer outbound(config_.baudRate);
    // The module takes bytes in as soon as they are read, stamped with the time
    // they will have crossed the line; its replies are stamped from there and
    // held back until due, so a paced line costs one wake-up per burst.
    struct Arrival
    {
        std::size_t offset;
        std::size_t count;
        TimePoint firstDone;
    };
    std::vector<std::uint8_t> incoming; // read from the port, not yet given to the model
    std::vector<Arrival> arrivals;
    std::deque<TimedByte> tx; // sent by the module, still crossing the line
    std::vector<std::uint8_t> block(ReadBlock);
    std::vector<std::uint8_t> out;
    bool open = false;
    bool hungUp = false;
    bool txBlocked = false;
    std::uint32_t imagesSeen = 0;

    while (!stop_) {
        // Sleep until the next byte has crossed the line, the model wants
        // time, the port has news, or Stop.
        TimePoint now = Clock::now();
        bool timed = false;
        TimePoint deadline{};
        const auto consider = [&](TimePoint t) {
            if (!timed || t < deadline) {
                deadline = t;
            }
            timed = true;
        };
        if (!tx.empty() && !txBlocked) {
            consider(tx.back().due);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (const auto d = model_->NextDeadline()) {
                consider(*d);
            }
        }
        const bool watchPort = open && !hungUp;
        if (!watchPort) {
            consider(now + ClosedPortPollPeriod);
        }

        pollfd fds[2] = {{wake_[0], POLLIN, 0},
                         {terminal_->MasterFd(), static_cast<short>(POLLIN | (txBlocked ? POLLOUT : 0)), 0}};
        const timespec timeout = ToTimespec(deadline - now);
        const int ready = ::ppoll(fds, watchPort ? 2 : 1, timed ? &timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint8_t drain[16];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (stop_) {
            break;
        }

        now = Clock::now();
        bool closing = false;
        bool opening = false;
        if (watchPort && ready > 0) {
            if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                // The peer's last bytes are still readable after it closed.
                for (;;) {
                    const ssize_t n = terminal_->Read(block.data(), block.size());
                    if (n <= 0) {
                        closing = n < 0;
                        break;
                    }
                    const auto count = static_cast<std::size_t>(n);
                    const TimePoint lastDone = inbound.Schedule(now, count);
                    const auto firstDone = lastDone - inbound.ByteTime() * static_cast<Clock::rep>(count - 1);
                    arrivals.push_back(Arrival{incoming.size(), count, firstDone});
                    incoming.insert(incoming.end(), block.begin(), block.begin() + n);
                    // A short read took everything there was; the hang-up, if
                    // any, is still reported by the next poll.
                    if (count < block.size()) {
                        break;
                    }
                }
            }
            closing = closing || (fds[1].revents & (POLLHUP | POLLERR)) != 0;
            if ((fds[1].revents & POLLOUT) != 0) {
                txBlocked = false;
            }
        } else if (!watchPort && !hungUp) {
            opening = terminal_->PeerHolds();
        }

        if (closing) {
            open = false;
            txBlocked = false;
            tx.clear();
            outbound.Reset();
            terminal_->DiscardPeerInput();
        }
        if (opening) {
            open = true;
        }

        std::vector<ModuleModel::Output> produced;
        bool modelHungUp = false;
        std::vector<std::uint8_t> completedImage;
        bool imageToSave = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // Bytes still crossing the line when the port closed do arrive.
            for (const Arrival& a : arrivals) {
                model_->Receive(incoming.data() + a.offset, a.count, a.firstDone, inbound.ByteTime());
            }
            arrivals.clear();
            incoming.clear();
            if (closing) {
                model_->PortClosed(now);
            }
            if (opening) {
                model_->PortOpened(now);
            }
            model_->Advance(now);
            produced = model_->TakeOutput();
            modelHungUp = model_->HungUp();
            const ModuleStatus& status = model_->Status();
            if (status.imagesCompleted != imagesSeen) {
                imagesSeen = status.imagesCompleted;
                if (!config_.saveImageTo.empty()) {
                    completedImage = status.image;
                    imageToSave = true;
                }
            }
        }
        if (imageToSave) {
            SaveImage(completedImage);
        }

        if (modelHungUp && !hungUp) {
            hungUp = true;
            open = false;
            tx.clear();
            terminal_->Close();
            continue;
        }
        if (!open) {
            continue;
        }
        for (const auto& piece : produced) {
            for (std::uint8_t b : piece.bytes) {
                tx.push_back(TimedByte{b, outbound.Schedule(piece.notBefore)});
            }
        }

        out.clear();
        for (const auto& b : tx) {
            if (b.due > now) {
                break;
            }
            out.push_back(b.value);
        }
        if (!out.empty()) {
            const ssize_t n = terminal_->Write(out.data(), out.size());
            const std::size_t written = n > 0 ? static_cast<std::size_t>(n) : 0;
            tx.erase(tx.begin(), tx.begin() + static_cast<std::ptrdiff_t>(written));
            txBlocked = written < out.size();
        }
    }
}
