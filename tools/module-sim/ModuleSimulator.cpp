#include "ModuleSimulator.h"

#include "LinePacer.h"
#include "ModuleModel.h"
#include "PseudoTerminal.h"

#include <algorithm>
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
// Replies whose bytes follow each other closer than this (beyond the line's
// own byte time) are written in one go; a longer gap is a trickle or a
// held-back reply, whose bytes wait for their own time.
constexpr std::chrono::milliseconds BurstGap{1};

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

bool ModuleSimulator::Repair()
{
    std::uint32_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) {
            return false;
        }
        ticket = ++repairsAsked_;
    }
    const std::uint8_t byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    // The module's thread takes a turn within milliseconds; one that has not
    // in seconds has ended.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!stop_ && Clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (repairsDone_ >= ticket) {
                return !repairFailed_;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
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

struct ModuleSimulator::PortNews
{
    bool closed = false;
    bool opened = false;
};

struct ModuleSimulator::Turn
{
    std::vector<ModuleModel::Output> replies;
    bool hungUp = false;    // the model has dropped the line
    bool powerLost = false; // the model lost power since the last turn
};

// The bytes crossing the line, both ways. The module takes bytes in as soon
// as they are read, stamped with the time they will have crossed the line;
// its replies are stamped from there and held back until due, so a paced
// line costs one wake-up per burst.
class ModuleSimulator::Line
{
public:
    explicit Line(std::uint32_t baudRate) : inbound_(baudRate), outbound_(baudRate), block_(ReadBlock) {}

    // Reads all that the port has; false when the port is closed or failed.
    // The peer's last bytes are still readable after it closed.
    bool ReadFrom(const PseudoTerminal& terminal, TimePoint now)
    {
        for (;;) {
            const ssize_t n = terminal.Read(block_.data(), block_.size());
            if (n <= 0) {
                return n == 0;
            }
            const auto count = static_cast<std::size_t>(n);
            const TimePoint lastDone = inbound_.Schedule(now, count);
            const auto firstDone = lastDone - inbound_.ByteTime() * static_cast<Clock::rep>(count - 1);
            arrivals_.push_back(Arrival{incoming_.size(), count, firstDone});
            incoming_.insert(incoming_.end(), block_.begin(), block_.begin() + n);
            // A short read took everything there was; the hang-up, if any, is
            // still reported by the next poll.
            if (count < block_.size()) {
                return true;
            }
        }
    }

    // Hands the bytes read so far to the model. Bytes still crossing the line
    // when the port closed do arrive.
    void DeliverTo(ModuleModel& model)
    {
        for (const Arrival& a : arrivals_) {
            model.Receive(incoming_.data() + a.offset, a.count, a.firstDone, inbound_.ByteTime());
        }
        arrivals_.clear();
        incoming_.clear();
    }

    // Queues the module's replies behind what is still crossing the line and
    // writes what has crossed it by now. What the terminal cannot take waits
    // until it has room again.
    void Send(const std::vector<ModuleModel::Output>& replies, const PseudoTerminal& terminal, TimePoint now)
    {
        for (const auto& piece : replies) {
            for (std::uint8_t b : piece.bytes) {
                tx_.push_back(TimedByte{b, outbound_.Schedule(piece.notBefore)});
            }
        }
        out_.clear();
        for (const auto& b : tx_) {
            if (b.due > now) {
                break;
            }
            out_.push_back(b.value);
        }
        if (!out_.empty()) {
            const ssize_t n = terminal.Write(out_.data(), out_.size());
            const std::size_t written = n > 0 ? static_cast<std::size_t>(n) : 0;
            tx_.erase(tx_.begin(), tx_.begin() + static_cast<std::ptrdiff_t>(written));
            full_ = written < out_.size();
        }
    }

    // When the first burst of the replies queued so far has crossed the
    // line; nothing when none are queued or they wait for room in the
    // terminal.
    std::optional<TimePoint> NextDue() const
    {
        if (tx_.empty() || full_) {
            return std::nullopt;
        }
        TimePoint due = tx_.front().due;
        for (const TimedByte& b : tx_) {
            if (b.due - due > outbound_.ByteTime() + BurstGap) {
                break;
            }
            due = b.due;
        }
        return due;
    }

    bool TerminalFull() const { return full_; }
    void TerminalHasRoom() { full_ = false; }

    // The port closed: the replies still crossing the line are lost.
    void DropReplies()
    {
        tx_.clear();
        outbound_.Reset();
        full_ = false;
    }

private:
    struct Arrival
    {
        std::size_t offset;
        std::size_t count;
        TimePoint firstDone;
    };

    LinePacer inbound_;
    LinePacer outbound_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> incoming_; // read from the port, not yet given to the model
    std::vector<Arrival> arrivals_;
    std::deque<TimedByte> tx_; // sent by the module, still crossing the line
    std::vector<std::uint8_t> out_;
    bool full_ = false; // the terminal took only part of the last write
};

// The module's view of its port: whether somebody holds it open, and the
// hang-up fault, after which it is gone for good.
struct ModuleSimulator::Port
{
    bool open = false;
    bool hungUp = false;

    // Only a held port is polled: a closed master reports its hang-up at once.
    bool Watched() const { return open && !hungUp; }

    // What the port did since the last look, given its poll events: a watched
    // port's input goes into the line, and its hang-up closes it; a closed
    // port is asked whether somebody opened it.
    PortNews Look(PseudoTerminal& terminal, short events, Line& line, TimePoint now)
    {
        PortNews news;
        if (Watched()) {
            if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) {
                news.closed = !line.ReadFrom(terminal, now);
            }
            news.closed = news.closed || (events & (POLLHUP | POLLERR)) != 0;
            if ((events & POLLOUT) != 0) {
                line.TerminalHasRoom();
            }
        } else if (!hungUp) {
            news.opened = terminal.PeerHolds();
        }
        if (news.closed) {
            open = false;
            line.DropReplies();
            // Nothing stale may reach the next opener.
            terminal.DiscardPeerInput();
        }
        open = open || news.opened;
        return news;
    }
};

std::optional<short> ModuleSimulator::WaitForWork(const Port& port, const Line& line)
{
    const TimePoint now = Clock::now();
    std::optional<TimePoint> wakeUp = line.NextDue();
    const auto wakeBy = [&wakeUp](TimePoint t) { wakeUp = wakeUp ? std::min(*wakeUp, t) : t; };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const auto d = model_->NextDeadline()) {
            wakeBy(*d);
        }
    }
    const bool watchPort = port.Watched();
    if (!watchPort) {
        wakeBy(now + ClosedPortPollPeriod);
    }

    const auto portEvents = static_cast<short>(POLLIN | (line.TerminalFull() ? POLLOUT : 0));
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {terminal_->MasterFd(), portEvents, 0}};
    const timespec timeout = wakeUp ? ToTimespec(*wakeUp - now) : timespec{};
    const int ready = ::ppoll(fds, watchPort ? 2 : 1, wakeUp ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
        return std::nullopt;
    }
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
        std::uint8_t drain[16];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
    }
    return watchPort && ready > 0 ? fds[1].revents : 0;
}

ModuleSimulator::Turn ModuleSimulator::TakeTurn(Line& line, const PortNews& news, TimePoint now)
{
    Turn turn;
    std::optional<std::vector<std::uint8_t>> completedImage;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        line.DeliverTo(*model_);
        if (news.closed) {
            model_->PortClosed(now);
        }
        if (news.opened) {
            model_->PortOpened(now);
        }
        model_->Advance(now);
        turn.replies = model_->TakeOutput();
        turn.hungUp = model_->HungUp();
        const ModuleStatus& status = model_->Status();
        if (status.imagesCompleted != imagesSeen_ && !config_.saveImageTo.empty()) {
            completedImage = status.image;
        }
        imagesSeen_ = status.imagesCompleted;
        turn.powerLost = status.powerLosses != powerLossesSeen_;
        powerLossesSeen_ = status.powerLosses;
    }
    if (completedImage) {
        SaveImage(*completedImage);
    }
    return turn;
}

void ModuleSimulator::DoRepairs(Port& port, Line& line, TimePoint now)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (repairsDone_ == repairsAsked_) {
            return;
        }
    }
    bool lineBack = true;
    if (port.hungUp) {
        lineBack = terminal_->Open();
        port.hungUp = !lineBack;
        port.open = false;
        line.DropReplies();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    model_->ClearFaults(now);
    if (lineBack) {
        portPath_ = terminal_->PeerPath();
    }
    repairFailed_ = !lineBack;
    repairsDone_ = repairsAsked_;
}

void ModuleSimulator::Run()
{
    // Pacing a fast line needs wake-ups close to the microsecond; the default
    // timer slack would add tens of microseconds to every byte burst.
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);

    Line line(config_.baudRate);
    Port port;
    imagesSeen_ = 0;
    powerLossesSeen_ = 0;
    while (!stop_) {
        const std::optional<short> portEvents = WaitForWork(port, line);
        if (!portEvents || stop_) {
            break;
        }
        const TimePoint now = Clock::now();
        DoRepairs(port, line, now);
        const PortNews news = port.Look(*terminal_, *portEvents, line, now);
        const Turn turn = TakeTurn(line, news, now);
        if (turn.powerLost) {
            // What was still waiting to go out went with the power.
            line.DropReplies();
        }
        if (turn.hungUp && !port.hungUp) {
            // The hang-up fault: the terminal goes, and with it the port's path.
            port.hungUp = true;
            port.open = false;
            line.DropReplies();
            terminal_->Close();
        } else if (port.open) {
            line.Send(turn.replies, *terminal_, now);
        }
    }
}
