// RadioFlashMonitor in the simulated printer: the upgrade script's part is
// played by the driver, the frames come from the film and are compared pixel
// for pixel with the compiled-in pages. The restart runs the real shutdown
// sequence in the sandbox's process namespace; the reboot stand-in then ends
// the program (status 0, its line on standard error).
#include "MonitorInSandbox.h"
#include "SandboxTest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using std::chrono::seconds;
using Clock = MonitorInSandbox::Clock;

constexpr const char* RebootLine = "sysmgr_reboot: reboot requested";
constexpr auto RestartDelay = std::chrono::milliseconds(15000);
// Generous limits: an event that does not come within them will not come.
constexpr seconds PageLimit{30};
constexpr seconds RestartLimit{45};
constexpr seconds StopLimit{10};

ScreenPicture Page(const std::string& language, const std::string& number)
{
    return ScreenPicture::FromFile(std::string(UI_RESOURCES_DIR) + "/" + language + "/" + number + ".png");
}

bool IsBlack(const ScreenPicture& frame)
{
    for (const std::uint32_t pixel : frame.rgb) {
        if (pixel != 0) {
            return false;
        }
    }
    return frame.width > 0;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class RadioFlashMonitorInSandbox : public SandboxTest
{
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        monitor_ = std::make_unique<MonitorInSandbox>(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    MonitorInSandbox& Monitor() { return *monitor_; }

    std::unique_ptr<MonitorInSandbox> monitor_;
};

// A touch on the result page's button stops the screen, not the restart.
TEST_F(RadioFlashMonitorInSandbox, DisplayLanguagePagesAndATouchedSuccessRestartsFifteenSecondsAfterTheMarker)
{
    Monitor().WritePreferences("german");
    ASSERT_TRUE(Monitor().Start({}));
    EXPECT_EQ("", Page("german", "16").FirstDifference(Monitor().WaitForFrame(1, PageLimit)));
    const Clock::time_point marker = Monitor().Send("create wifi.started");
    EXPECT_EQ("", Page("german", "15").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    ASSERT_TRUE(Monitor().Touch(929, 550, PageLimit));
    EXPECT_TRUE(IsBlack(Monitor().WaitForFrame(3, PageLimit)));
    EXPECT_NE(std::string::npos, Monitor().SlayLog().find("slay -f screen")) << Monitor().SlayLog();

    ASSERT_EQ(0, Monitor().WaitForExit(RestartLimit));
    EXPECT_GE(Monitor().ExitSeen() - marker, RestartDelay);
    EXPECT_TRUE(Contains(Monitor().ProgramErrors(), RebootLine)) << Monitor().ProgramErrors();
    // The shutdown sequence reached the processes of the namespace.
    EXPECT_TRUE(Contains(Monitor().DriverLog(), "shutdown SIGTERM")) << Monitor().DriverLog();
    EXPECT_FALSE(Monitor().HasFrame(4));
}

// A touch on the success page's button stops the screen but not the
// restart; a failure after it re-arms the timer.
TEST_F(RadioFlashMonitorInSandbox, TouchedSuccessThenFailureRestartsFifteenSecondsAfterTheFailure)
{
    ASSERT_TRUE(Monitor().Start({}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    Monitor().Send("create wifi.started");
    EXPECT_EQ("", Page("english", "15").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    ASSERT_TRUE(Monitor().Touch(929, 550, PageLimit));
    EXPECT_TRUE(IsBlack(Monitor().WaitForFrame(3, PageLimit)));
    const std::string slays = Monitor().SlayLog();
    EXPECT_LT(slays.find("slay -f mtouch"), slays.find("slay -f screen")) << slays;
    EXPECT_NE(std::string::npos, slays.find("slay -f screen")) << slays;

    // The failure comes a while after the success, so that the two restart
    // times lie clearly apart.
    std::this_thread::sleep_for(seconds(3));
    const Clock::time_point failure = Monitor().Send("create wifiupgrade.failed");
    ASSERT_EQ(0, Monitor().WaitForExit(RestartLimit));
    EXPECT_GE(Monitor().ExitSeen() - failure, RestartDelay);
    EXPECT_TRUE(Contains(Monitor().ProgramErrors(), RebootLine)) << Monitor().ProgramErrors();
    // The stopped display shows nothing more.
    EXPECT_FALSE(Monitor().HasFrame(4));
}

// Both markers at once: the success page waits until the restart ends its
// wait; from then on nothing shows, not the failure page behind it nor one
// for a marker that comes while the shutdown runs (the program lingers after
// the reboot request, as a real restart gives it time).
TEST_F(RadioFlashMonitorInSandbox, BothMarkersShowTheSuccessPageAndNothingShowsOnceTheRestartBegan)
{
    ASSERT_TRUE(Monitor().Start({}, {{"UPGRADE_HOST_REBOOT_DELAY_MS", "3000"}}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    const Clock::time_point markers = Monitor().Send("create wifi.started wifiupgrade.failed");
    EXPECT_EQ("", Page("english", "15").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    ASSERT_TRUE(Monitor().WaitForLog("shutdown SIGTERM", RestartLimit));
    Monitor().Send("create wifiupgrade.failed.during-the-restart");
    ASSERT_EQ(0, Monitor().WaitForExit(RestartLimit));
    EXPECT_GE(Monitor().ExitSeen() - markers, RestartDelay);
    EXPECT_TRUE(Contains(Monitor().ProgramErrors(), RebootLine)) << Monitor().ProgramErrors();
    EXPECT_FALSE(Monitor().HasFrame(3));
}

// A stop while the success page of both markers waits: the stop wins over
// the failure behind it, and over the restart.
TEST_F(RadioFlashMonitorInSandbox, StopWhileTheSuccessPageOfBothMarkersWaitsShowsNoFailurePageAndNeverRestarts)
{
    ASSERT_TRUE(Monitor().Start({}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    Monitor().Send("create wifi.started wifiupgrade.failed");
    EXPECT_EQ("", Page("english", "15").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    Monitor().Send("signal TERM");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
    EXPECT_EQ("", Monitor().ProgramErrors());
    EXPECT_TRUE(IsBlack(Monitor().WaitForFrame(3, PageLimit)));
    EXPECT_FALSE(Monitor().HasFrame(4));
}

// However many stop signals come, and of whichever kinds, the stop is
// orderly: status 0, not killed by the second one.
TEST_F(RadioFlashMonitorInSandbox, SeveralStopSignalsOnAResultPageEndWithStatusZero)
{
    ASSERT_TRUE(Monitor().Start({}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    Monitor().Send("create wifiupgrade.failed");
    ASSERT_GT(Monitor().WaitForFrame(2, PageLimit).width, 0);
    Monitor().Send("signal TERM TERM INT QUIT");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
    EXPECT_EQ("", Monitor().ProgramErrors());
}

// Every option with its argument, and one the program does not know: with
// auto-confirm no result page is shown, and the restart still comes.
TEST_F(RadioFlashMonitorInSandbox, AllOptionsAcceptedUnknownIgnoredAndAutoConfirmShowsNoResultPage)
{
    ASSERT_TRUE(Monitor().Start({"-f", "/nowhere/image.bin", "-x", "-p", "12", "-r", "-a"}));
    EXPECT_EQ("", Page("english", "16").FirstDifference(Monitor().WaitForFrame(1, PageLimit)));
    const Clock::time_point marker = Monitor().Send("create wifi.started");
    ASSERT_EQ(0, Monitor().WaitForExit(RestartLimit));
    EXPECT_GE(Monitor().ExitSeen() - marker, RestartDelay);
    EXPECT_TRUE(Contains(Monitor().ProgramErrors(), RebootLine)) << Monitor().ProgramErrors();
    EXPECT_TRUE(Contains(Monitor().ProgramErrors(), "invalid option")) << Monitor().ProgramErrors();
    EXPECT_FALSE(Monitor().HasFrame(2));
}

TEST_F(RadioFlashMonitorInSandbox, SigintBeforeAnyMarkerEndsWithStatusZeroAndNoRestart)
{
    ASSERT_TRUE(Monitor().Start({}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    Monitor().Send("signal INT");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
    EXPECT_EQ("", Monitor().ProgramErrors());
    // The window is released: the display goes black.
    EXPECT_TRUE(IsBlack(Monitor().WaitForFrame(2, PageLimit)));
    EXPECT_FALSE(Monitor().HasFrame(3));
}

// A name counts when it contains a marker's name, in its case only; the
// stop then ends the waiting page at once, and no restart follows.
TEST_F(RadioFlashMonitorInSandbox, MarkerNamesCountBySubstringInTheirCaseOnly)
{
    ASSERT_TRUE(Monitor().Start({}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    Monitor().Send("create WIFI.STARTED Wifi.Started notes.txt");
    Monitor().Send("create wifiupgrade.failed.previous");
    EXPECT_EQ("", Page("english", "17").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    Monitor().Send("signal TERM");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
    EXPECT_EQ("", Monitor().ProgramErrors());
    EXPECT_TRUE(IsBlack(Monitor().WaitForFrame(3, PageLimit)));
    EXPECT_FALSE(Monitor().HasFrame(4));
}

// A flasher that fails at once makes the script leave its marker before the
// program watches: it counts all the same, instead of leaving the
// in-progress page up for ever.
TEST_F(RadioFlashMonitorInSandbox, MarkerMadeRightAfterTheStartShowsItsPage)
{
    Monitor().CreateRightAfterStart("wifiupgrade.failed");
    ASSERT_TRUE(Monitor().Start({}));
    EXPECT_EQ("", Page("english", "16").FirstDifference(Monitor().WaitForFrame(1, PageLimit)));
    EXPECT_EQ("", Page("english", "17").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    Monitor().Send("signal TERM");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
}

// The RAM disk keeps a marker until the printer restarts: one that an
// earlier, stopped run left is not this run's result, which comes later.
TEST_F(RadioFlashMonitorInSandbox, MarkerOfAnEarlierRunIsNoResult)
{
    Monitor().CreateInAnEarlierRun("wifi.started");
    ASSERT_TRUE(Monitor().Start({}));
    EXPECT_EQ("", Page("english", "16").FirstDifference(Monitor().WaitForFrame(1, PageLimit)));
    Monitor().Send("create wifiupgrade.failed");
    // Taken, the earlier success would show its page first.
    EXPECT_EQ("", Page("english", "17").FirstDifference(Monitor().WaitForFrame(2, PageLimit)));
    Monitor().Send("signal TERM");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
}

// The stop comes while files keep arriving and successes are pending behind
// the waiting failure page: the watcher stops, the stop wins over the
// pending success, and no other page shows before the display goes black.
TEST_F(RadioFlashMonitorInSandbox, StopWhileMarkersKeepArrivingCompletesAndShowsNoPendingPage)
{
    ASSERT_TRUE(Monitor().Start({}));
    ASSERT_GT(Monitor().WaitForFrame(1, PageLimit).width, 0);
    Monitor().Send("create wifiupgrade.failed");
    ASSERT_GT(Monitor().WaitForFrame(2, PageLimit).width, 0);
    Monitor().Send("flood 200000");
    ASSERT_TRUE(Monitor().WaitForLog("flooding", PageLimit));
    Monitor().Send("signal TERM");
    ASSERT_EQ(0, Monitor().WaitForExit(StopLimit));
    EXPECT_EQ("", Monitor().ProgramErrors());
    EXPECT_TRUE(IsBlack(Monitor().WaitForFrame(3, PageLimit)));
    EXPECT_FALSE(Monitor().HasFrame(4));
}

} // namespace
