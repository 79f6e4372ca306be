#include "LifecycleModel.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

namespace lifecycle_model {

namespace {

constexpr unsigned int SuccessBit = 1;
constexpr unsigned int FailureBit = 2;

enum class Phase
{
    Waiting,
    ResultShown,
    Restarting,
    Stopped
};

enum class Wait
{
    None,
    // A result page waits for a touch on its button.
    Page,
    // The screen was stopped: the result shows nothing and waits for a
    // restart or a stop.
    Blind
};

const char* PageOf(unsigned int bit)
{
    return bit == SuccessBit ? "15" : "17";
}

class Simulation
{
public:
    explicit Simulation(const Timing& timing) : timing_(timing) { prediction_.pages = {"16"}; }

    Prediction Run(const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            RestartIfDueBefore(step.atMs);
            CheckRestartMargin(step);
            Apply(step);
        }
        if (phase_ == Phase::ResultShown) {
            prediction_.restartDueMs = due_;
            prediction_.restartLateMs = dueLateMs_;
        }
        if (wait_ != Wait::None) {
            prediction_.pageWaitSinceMs = waitSince_;
        }
        return prediction_;
    }

private:
    void Ambiguous(const Step& step, const std::string& why)
    {
        if (prediction_.ambiguity.empty()) {
            prediction_.ambiguity = "step at " + std::to_string(step.atMs) + " ms: " + why;
        }
    }

    void RestartIfDueBefore(int now)
    {
        if (phase_ != Phase::ResultShown || due_ + dueLateMs_ > now) {
            return;
        }
        phase_ = Phase::Restarting;
        prediction_.restartAtMs = due_;
        prediction_.restartLateMs = dueLateMs_;
        EndWait(due_ + dueLateMs_);
        // What the thread still had to do is refused from now on.
        word_ = 0;
        pending_ = 0;
    }

    // The restart falling due and a step too close to it may come in
    // either order.
    void CheckRestartMargin(const Step& step)
    {
        const std::optional<int> due =
            phase_ == Phase::ResultShown ? std::optional<int>(due_) : prediction_.restartAtMs;
        if (due && step.atMs > *due - timing_.marginMs && step.atMs < *due + dueLateMs_ + timing_.marginMs) {
            Ambiguous(step, "the restart falls due at " + std::to_string(*due) + " ms");
        }
    }

    void Apply(const Step& step)
    {
        switch (step.input) {
        case Input::Success:
            Result(step, SuccessBit);
            break;
        case Input::Failure:
            Result(step, FailureBit);
            break;
        case Input::TouchButton:
            TouchButton(step);
            break;
        case Input::TouchElsewhere:
            break;
        case Input::Signal:
            Signal(step);
            break;
        }
    }

    void Result(const Step& step, unsigned int bit)
    {
        if (phase_ == Phase::Stopped || phase_ == Phase::Restarting) {
            return;
        }
        if (!screenStopped_ && lastMarkerTakenAtOnce_ && step.atMs - lastMarkerMs_ < timing_.marginMs &&
            !(lastMarkerBit_ == SuccessBit && bit == FailureBit)) {
            // The event thread may take the two in one wake-up, the success
            // first, or in two, in their order: only success then failure
            // comes out the same.
            Ambiguous(step, "two results this close may wake the event thread once or twice");
        }
        lastMarkerMs_ = step.atMs;
        lastMarkerBit_ = bit;
        lastMarkerTakenAtOnce_ = wait_ == Wait::None;
        pending_ |= bit;
        if (wait_ != Wait::None) {
            return;
        }
        // Still stopping the screen, the event thread takes it when done.
        const int late = std::max(0, busyUntilMs_ - step.atMs);
        if (late > 0 && phase_ == Phase::ResultShown && due_ < busyUntilMs_ + timing_.marginMs) {
            Ambiguous(step, "the restart may fall due before the result is taken");
        }
        TakeResults(step.atMs, late);
    }

    void TouchButton(const Step& step)
    {
        if (exitAskedMs_ >= 0 && step.atMs <= exitAskedMs_ + timing_.exitNoticeMs + timing_.marginMs) {
            Ambiguous(step, "the page's wait may still be ending");
            return;
        }
        if (wait_ != Wait::Page) {
            return;
        }
        if (step.atMs < waitSince_ + timing_.pageUpMs + timing_.marginMs) {
            Ambiguous(step, "the page may not wait for a touch yet");
        }
        screenStopped_ = true;
        prediction_.pages.push_back("black");
        wait_ = Wait::None;
        // The thread stops the screen first: a result waiting behind the
        // page is taken by the end of that, and the restart armed for the
        // page may fall due first.
        busyUntilMs_ = step.atMs + timing_.screenStopMs;
        if ((word_ | pending_) != 0 && due_ < busyUntilMs_ + timing_.marginMs) {
            Ambiguous(step, "the restart may fall due before the result waiting behind the page is taken");
        }
        TakeResults(step.atMs, timing_.screenStopMs);
    }

    void Signal(const Step& step)
    {
        if (prediction_.stopAtMs) {
            return;
        }
        if (lastTakenMs_ >= 0 && step.atMs - lastTakenMs_ < takenLateMs_ + timing_.marginMs) {
            Ambiguous(step, "a result was taken at " + std::to_string(lastTakenMs_) + " ms");
        }
        prediction_.stopAtMs = step.atMs;
        // A restart under way is not undone: destruction waits for it.
        const int waitsFor =
            prediction_.restartAtMs ? std::max(0, *prediction_.restartAtMs + timing_.restartActionMs - step.atMs) : 0;
        prediction_.destructionMinMs = waitsFor;
        prediction_.destructionMaxMs = waitsFor + prediction_.restartLateMs + timing_.stopLimitMs;
        EndWait(step.atMs);
        phase_ = Phase::Stopped;
        if (!screenStopped_) {
            prediction_.pages.push_back("black");
        }
    }

    void EndWait(int at)
    {
        if (wait_ != Wait::None) {
            exitAskedMs_ = at;
        }
        wait_ = Wait::None;
    }

    // The event thread is free at now, or up to lateMs later: it takes the
    // results of its current wake-up, success first, then the next
    // wake-up's, until one waits.
    void TakeResults(int now, int lateMs)
    {
        for (;;) {
            if (word_ == 0) {
                word_ = pending_;
                pending_ = 0;
            }
            if (word_ == 0) {
                return;
            }
            const unsigned int bit = (word_ & SuccessBit) != 0 ? SuccessBit : FailureBit;
            word_ &= ~bit;
            if (phase_ != Phase::Waiting && phase_ != Phase::ResultShown) {
                continue;
            }
            phase_ = Phase::ResultShown;
            due_ = now + timing_.restartDelayMs;
            dueLateMs_ = lateMs;
            lastTakenMs_ = now;
            takenLateMs_ = lateMs;
            waitSince_ = now + lateMs;
            if (screenStopped_) {
                wait_ = Wait::Blind;
            } else {
                wait_ = Wait::Page;
                prediction_.pages.push_back(PageOf(bit));
            }
            return;
        }
    }

    const Timing timing_;
    Prediction prediction_;
    Phase phase_ = Phase::Waiting;
    int due_ = 0;
    // How much later than due_ the restart may fall due.
    int dueLateMs_ = 0;
    Wait wait_ = Wait::None;
    int waitSince_ = 0;
    unsigned int word_ = 0;
    unsigned int pending_ = 0;
    bool screenStopped_ = false;
    // Until when the event thread may still be stopping the screen.
    int busyUntilMs_ = -1;
    int exitAskedMs_ = -1;
    int lastTakenMs_ = -1;
    int takenLateMs_ = 0;
    int lastMarkerMs_ = -1;
    unsigned int lastMarkerBit_ = 0;
    bool lastMarkerTakenAtOnce_ = false;
};

// Picks the steps of one sequence.
class Generator
{
public:
    Generator(std::uint32_t seed, const Timing& timing) : random_(seed), timing_(timing) {}

    std::vector<Step> Run()
    {
        const int count = Between(1, 6);
        for (int i = 0; i < count && !Stopped(); ++i) {
            AddOne([this] { return Step{PlaceNext(), PickInput()}; });
        }
        if (!Stopped()) {
            AddOne([this] { return Step{PlaceNext(), Input::Signal}; });
        }
        if (!Stopped()) {
            // Every placement was ambiguous: a stop once all is quiet.
            steps_.push_back({Quiet(), Input::Signal});
        }
        // While the program stops: a second signal, or a result that must
        // show nothing.
        const int stopAt = *Predict(steps_, timing_).stopAtMs;
        switch (Between(0, 2)) {
        case 0:
            AddOne([&] { return Step{stopAt + Between(0, timing_.marginMs), Input::Signal}; });
            break;
        case 1:
            AddOne([&] { return Step{stopAt + Between(0, timing_.marginMs), PickResult()}; });
            break;
        default:
            break;
        }
        return steps_;
    }

private:
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    bool Stopped() const { return !steps_.empty() && Predict(steps_, timing_).stopAtMs.has_value(); }

    Input PickResult() { return Between(0, 1) == 0 ? Input::Success : Input::Failure; }

    Input PickInput()
    {
        const int roll = Between(0, 99);
        if (roll < 30) {
            return Input::Success;
        }
        if (roll < 55) {
            return Input::Failure;
        }
        if (roll < 80) {
            return Input::TouchButton;
        }
        if (roll < 95) {
            return Input::TouchElsewhere;
        }
        return Input::Signal;
    }

    // A time after the last step, near one of the moments where outcomes
    // turn in the sequence so far.
    int PlaceNext()
    {
        const int now = steps_.empty() ? 0 : steps_.back().atMs;
        const Prediction so = Predict(steps_, timing_);
        const int margin = timing_.marginMs;
        std::vector<int> choices = {now, now + Between(0, timing_.restartDelayMs)};
        if (so.pageWaitSinceMs) {
            choices.push_back(*so.pageWaitSinceMs + timing_.pageUpMs + margin + Between(0, timing_.restartDelayMs / 2));
        }
        if (so.restartDueMs) {
            choices.push_back(*so.restartDueMs - margin - Between(1, margin));
            choices.push_back(*so.restartDueMs + so.restartLateMs + margin + Between(1, margin));
        }
        if (so.restartAtMs) {
            choices.push_back(*so.restartAtMs + margin + Between(0, std::max(1, timing_.restartActionMs - 2 * margin)));
        }
        return std::max(now, choices[static_cast<std::size_t>(Between(0, static_cast<int>(choices.size()) - 1))]);
    }

    // After every wait and the restart have run their course.
    int Quiet() const
    {
        const Prediction so = Predict(steps_, timing_);
        int quiet = steps_.empty() ? 0 : steps_.back().atMs;
        if (so.restartDueMs) {
            quiet = std::max(quiet, *so.restartDueMs);
        }
        if (so.restartAtMs || so.restartDueMs) {
            quiet = std::max(quiet, so.restartAtMs.value_or(*so.restartDueMs) + timing_.restartActionMs +
                                        timing_.exitNoticeMs);
        }
        return quiet + 2 * timing_.marginMs;
    }

    // Adds a step from make unless every one of a few tries is ambiguous.
    template <typename Make>
    void AddOne(const Make& make)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::vector<Step> tried = steps_;
            tried.push_back(make());
            if (Predict(tried, timing_).ambiguity.empty()) {
                steps_ = std::move(tried);
                return;
            }
        }
    }

    std::mt19937 random_;
    const Timing timing_;
    std::vector<Step> steps_;
};

const char* NameOf(Input input)
{
    switch (input) {
    case Input::Success:
        return "success";
    case Input::Failure:
        return "failure";
    case Input::TouchButton:
        return "touch-button";
    case Input::TouchElsewhere:
        return "touch-elsewhere";
    case Input::Signal:
        return "signal";
    }
    return "?";
}

} // namespace

Prediction Predict(const std::vector<Step>& steps, const Timing& timing)
{
    return Simulation(timing).Run(steps);
}

std::vector<Step> Generate(std::uint32_t seed, const Timing& timing)
{
    return Generator(seed, timing).Run();
}

std::string Describe(const std::vector<Step>& steps)
{
    std::ostringstream text;
    for (const Step& step : steps) {
        text << (text.tellp() > 0 ? ", " : "") << step.atMs << " " << NameOf(step.input);
    }
    return text.str();
}

std::string Describe(const Prediction& prediction)
{
    std::ostringstream text;
    text << "pages";
    for (const std::string& page : prediction.pages) {
        text << " " << page;
    }
    text << "; restart " << (prediction.restartAtMs ? "at " + std::to_string(*prediction.restartAtMs) + " ms" : "none");
    text << "; destruction " << prediction.destructionMinMs << ".." << prediction.destructionMaxMs << " ms";
    return text.str();
}

} // namespace lifecycle_model
