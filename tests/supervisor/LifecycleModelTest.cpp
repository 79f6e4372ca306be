// The reference model of the campaign, on the cases the rules spell out,
// and its generator's promise: sequences that always stop and never leave
// the outcome to chance.
#include "LifecycleModel.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lifecycle_model {
namespace {

constexpr Input S = Input::Success;
constexpr Input F = Input::Failure;
constexpr Input Touch = Input::TouchButton;
constexpr Input Elsewhere = Input::TouchElsewhere;
constexpr Input Stop = Input::Signal;

struct Case
{
    const char* what;
    std::vector<Step> steps;
    std::vector<std::string> pages;
    std::optional<int> restartAtMs;
    int destructionMinMs;
};

// Timing(): a delay of 2500 ms, a restart action of 500 ms, margins of 250 ms,
// 700 ms to stop the screen.
const Case Cases[] = {
    {"a result's page, the restart the delay after it", {{100, S}, {6000, Stop}}, {"16", "15", "black"}, 2600, 0},
    {"both results at once: the success page, whose wait the restart ends; the failure page never shows",
     {{100, S}, {100, F}, {6000, Stop}},
     {"16", "15", "black"},
     2600,
     0},
    {"a stop while the success page waits: no failure page, no restart",
     {{100, S}, {100, F}, {800, Stop}},
     {"16", "15", "black"},
     std::nullopt,
     0},
    {"a touch frees the thread: the waiting failure re-arms the restart and shows nothing on the stopped screen",
     {{100, S}, {100, F}, {900, Touch}, {8000, Stop}},
     {"16", "15", "black"},
     3400,
     0},
    {"a later result re-arms the restart",
     {{100, S}, {900, Touch}, {2000, F}, {9000, Stop}},
     {"16", "15", "black"},
     4500,
     0},
    {"a result during the restart shows nothing and arms nothing",
     {{100, S}, {2900, F}, {8000, Stop}},
     {"16", "15", "black"},
     2600,
     0},
    {"a stop during the restart waits for it", {{100, S}, {2900, Stop}}, {"16", "15", "black"}, 2600, 200},
    {"a stop before any result, and a second one", {{500, Stop}, {600, Stop}}, {"16", "black"}, std::nullopt, 0},
    {"a result after the stop shows nothing", {{500, Stop}, {500, F}}, {"16", "black"}, std::nullopt, 0},
    {"a touch beside the button changes nothing",
     {{100, F}, {900, Elsewhere}, {6000, Stop}},
     {"16", "17", "black"},
     2600,
     0},
};

TEST(LifecycleModelTest, PredictsThePagesTheRestartAndTheStopOfEachCase)
{
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.what);
        const Prediction prediction = Predict(c.steps, Timing());
        EXPECT_EQ("", prediction.ambiguity);
        EXPECT_EQ(c.pages, prediction.pages);
        EXPECT_EQ(c.restartAtMs, prediction.restartAtMs);
        EXPECT_EQ(c.destructionMinMs, prediction.destructionMinMs);
    }
}

TEST(LifecycleModelTest, StepsThatCouldGoEitherWayAreAmbiguous)
{
    const std::vector<std::vector<Step>> ambiguous = {
        {{100, S}, {2550, F}},               // the restart falls due at 2600
        {{100, F}, {150, S}},                // one wake-up or two
        {{100, S}, {200, Touch}},            // the page may not wait yet
        {{100, S}, {150, Stop}},             // the result was just taken
        {{100, S}, {2800, Touch}},           // the restart's end of the wait may not be noticed yet
        {{100, S}, {100, F}, {1900, Touch}}, // the restart may fall due before the failure is taken
    };
    for (const std::vector<Step>& steps : ambiguous) {
        EXPECT_NE("", Predict(steps, Timing()).ambiguity) << Describe(steps);
    }
    EXPECT_EQ("", Predict({{100, S}, {150, F}}, Timing()).ambiguity);
}

TEST(LifecycleModelTest, GeneratedSequencesStopAndLeaveNothingToChance)
{
    for (std::uint32_t seed = 1; seed <= 500; ++seed) {
        const std::vector<Step> steps = Generate(seed, Timing());
        const Prediction prediction = Predict(steps, Timing());
        EXPECT_EQ("", prediction.ambiguity) << "seed " << seed << ": " << Describe(steps);
        EXPECT_TRUE(prediction.stopAtMs.has_value()) << "seed " << seed << ": " << Describe(steps);
    }
}

} // namespace
} // namespace lifecycle_model
