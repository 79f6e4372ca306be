#pragma once

// What RadioFlashMonitor must do with a timed sequence of inputs, written
// from the rules of its pages, its restart and its stop rather than from its
// code: the campaign (LifecycleCampaign.cpp) runs the real supervisor on the
// same sequence and compares.
//
// The rules: a result (success or failure marker) taken while no restart
// has begun and no stop came shows its page and arms the restart for
// restartDelayMs later; the event thread takes one result at a time, and a
// page holds it until its button is touched or a restart or a stop ends the
// wait; both results in one wake-up show the success page first. A touch on
// the button stops the screen (black) for good: later results still arm the
// restart, show nothing, and wait for the restart or the stop. The restart
// begins once, when the latest arming is due, and nothing after it shows a
// page or arms anything. A stop (the first watched signal) ends everything:
// no page, no restart; a restart that has begun is not undone, and the
// supervisor's destruction waits for it. Destroying the supervisor takes the
// window away (black) unless the screen was stopped already.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lifecycle_model {

enum class Input
{
    Success,
    Failure,
    TouchButton,
    TouchElsewhere,
    Signal
};

// An input at a time in milliseconds from the supervisor's start (the
// in-progress page is up). Steps at the same time happen in their order.
struct Step
{
    int atMs;
    Input input;
};

struct Timing
{
    int restartDelayMs = 2500;
    // How long the restart action runs (a slow shutdown).
    int restartActionMs = 500;
    // How close to a moment where the outcome turns (a restart falling due,
    // a page coming up, a result taken, a wait ending) a step may come
    // before either outcome could happen on a real machine.
    int marginMs = 250;
    // From taking a result until its page waits for a touch.
    int pageUpMs = 350;
    // From a touch on the button until the event thread is free again: the
    // touch driver and the compositor are stopped by running a program.
    int screenStopMs = 700;
    // Until a page's touch wait notices a restart or a stop: it looks once
    // a second.
    int exitNoticeMs = 1000;
    // The longest a stop may take to end the program, beyond a restart
    // under way that it waits for.
    int stopLimitMs = 2000;
};

struct Prediction
{
    // "16", "15", "17", "black"; a name again in a row counted once.
    std::vector<std::string> pages;
    std::optional<int> restartAtMs;
    // How much later than restartAtMs the restart may begin: the result
    // that armed it may have been taken after a touch that stopped the
    // screen, which takes a while.
    int restartLateMs = 0;
    std::optional<int> stopAtMs;
    // How long destroying the supervisor may take after the stop.
    int destructionMinMs = 0;
    int destructionMaxMs = 0;
    // Where the sequence stands at its end, for placing a next step (with
    // restartLateMs).
    std::optional<int> restartDueMs;
    std::optional<int> pageWaitSinceMs;
    // Empty when no step comes so close to a moment where the outcome turns
    // that either outcome could happen; otherwise why.
    std::string ambiguity;
};

Prediction Predict(const std::vector<Step>& steps, const Timing& timing);

// A random sequence: up to six steps placed around the moments where
// outcomes turn (the same moment, during a page's wait, just before and
// just after the restart falls due, during the restart), then a stop,
// sometimes with a second signal or a marker while the program stops.
// Never ambiguous; the same seed gives the same sequence.
std::vector<Step> Generate(std::uint32_t seed, const Timing& timing);

std::string Describe(const std::vector<Step>& steps);
std::string Describe(const Prediction& prediction);

} // namespace lifecycle_model
