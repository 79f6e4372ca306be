#include "SupervisorLifecycle.h"

#include <gtest/gtest.h>

namespace {

using Phase = SupervisorLifecycle::Phase;
using Clock = SupervisorLifecycle::Clock;
using std::chrono::milliseconds;

const Clock::time_point T0{};
constexpr milliseconds Delay{15000};

TEST(SupervisorLifecycleTest, ResultsArmAndTheRestartBeginsOnceWhenTheLatestArmingIsDue)
{
    SupervisorLifecycle lifecycle;
    EXPECT_FALSE(lifecycle.BeginRestart(T0 + Delay)) << "nothing armed yet";
    ASSERT_TRUE(lifecycle.TakeResult(T0, Delay));
    ASSERT_TRUE(lifecycle.TakeResult(T0 + milliseconds(10000), Delay));
    EXPECT_EQ(T0 + milliseconds(25000), lifecycle.RestartDue());
    // The first arming's expiry, left over after the second replaced it.
    EXPECT_FALSE(lifecycle.BeginRestart(T0 + Delay));
    EXPECT_EQ(Phase::ResultShown, lifecycle.Current());
    EXPECT_TRUE(lifecycle.BeginRestart(T0 + milliseconds(25000)));
    EXPECT_EQ(Phase::Restarting, lifecycle.Current());
    EXPECT_FALSE(lifecycle.BeginRestart(T0 + milliseconds(40000))) << "a second restart";
    EXPECT_FALSE(lifecycle.TakeResult(T0 + milliseconds(26000), Delay)) << "a result during the restart";
    lifecycle.Stop();
    EXPECT_EQ(Phase::Restarting, lifecycle.Current()) << "a begun restart is not undone";
}

TEST(SupervisorLifecycleTest, AfterAStopNoResultIsTakenAndNoRestartBegins)
{
    SupervisorLifecycle waiting;
    waiting.Stop();
    EXPECT_FALSE(waiting.TakeResult(T0, Delay));
    EXPECT_EQ(Phase::Stopping, waiting.Current());

    SupervisorLifecycle shown;
    ASSERT_TRUE(shown.TakeResult(T0, Delay));
    shown.Stop();
    EXPECT_FALSE(shown.BeginRestart(T0 + Delay));
    EXPECT_FALSE(shown.TakeResult(T0 + Delay, Delay));
    EXPECT_EQ(Phase::Stopping, shown.Current());
}

} // namespace
