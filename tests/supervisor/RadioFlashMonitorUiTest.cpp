// The screen facade on the virtual display, with the compiled-in pages, no
// preference file (english) and no board EEPROM.
#include "RadioFlashMonitorUi.h"

#include "EmulationLimits.h"
#include "SlayScreen.h"

#include "ScreenPicture.h"

#include <screen/host_display.h>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>

namespace {

const std::string Resources = UI_RESOURCES_DIR;

ScreenPicture Page(const std::string& number)
{
    return ScreenPicture::FromFile(Resources + "/english/" + number + ".png");
}

class RadioFlashMonitorUiTest : public ::testing::Test
{
protected:
    // Each case ends the screen through the slay stand-in, a program of this
    // build (quoted).
    void SetUp() override
    {
        if (const std::string why = EmulationLimits::WhyCannotStart(
                QnxUpgradeCommon::SlayProgram().substr(1, QnxUpgradeCommon::SlayProgram().size() - 2));
            !why.empty()) {
            GTEST_SKIP() << why;
        }
    }
    void TearDown() override { host_screen_restart_services(); }
};

TEST_F(RadioFlashMonitorUiTest, ConstructionLeavesTheInProgressPageOnScreen)
{
    const RadioFlashMonitorUi ui(false, false);
    EXPECT_EQ("", Page("16").FirstDifference(ScreenPicture::Displayed()));
}

// Auto-confirm is the first argument: the result pages are not shown.
TEST_F(RadioFlashMonitorUiTest, AutoConfirmLeavesTheInProgressPageThroughBothPrompts)
{
    RadioFlashMonitorUi ui(true, false);
    ui.PromptSystemToReboot();
    ui.PromptUpgradeFail();
    EXPECT_EQ("", Page("16").FirstDifference(ScreenPicture::Displayed()));
    EXPECT_EQ(1, host_screen_window_count());
}

TEST_F(RadioFlashMonitorUiTest, TouchOnEitherResultButtonStopsTouchAndCompositorAndClosesTheWindow)
{
    const std::pair<const char*, std::function<void(RadioFlashMonitorUi&)>> prompts[] = {
        {"15", [](RadioFlashMonitorUi& ui) { ui.PromptSystemToReboot(); }},
        {"17", [](RadioFlashMonitorUi& ui) { ui.PromptUpgradeFail(); }},
    };
    for (const auto& prompt : prompts) {
        SCOPED_TRACE(prompt.first);
        RadioFlashMonitorUi ui(false, false);
        auto waiting = std::async(std::launch::async, [&] { prompt.second(ui); });
        ASSERT_EQ(1, host_screen_wait_for_event_waiter(30000));
        EXPECT_EQ("", Page(prompt.first).FirstDifference(ScreenPicture::Displayed()));
        ASSERT_EQ(0, host_screen_press(929, 550, 0));
        ASSERT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(30)));
        EXPECT_EQ(0, host_screen_touch_running());
        EXPECT_EQ(0, host_screen_display_running());
        EXPECT_EQ(0, host_screen_window_count());
        host_screen_restart_services();
    }
}

TEST_F(RadioFlashMonitorUiTest, ExitRequestedBeforeAPromptShowsItsPageAndReturnsAtOnce)
{
    RadioFlashMonitorUi ui(false, false);
    ui.ExitUiScreen();
    ui.PromptUpgradeFail();
    EXPECT_EQ("", Page("17").FirstDifference(ScreenPicture::Displayed()));
    EXPECT_EQ(1, host_screen_display_running());
    EXPECT_EQ(1, host_screen_window_count());
}

} // namespace
