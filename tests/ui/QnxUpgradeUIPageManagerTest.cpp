// The page manager with the compiled-in pages, layouts and glyphs, the
// english system-upgrade pages of tests/ui/pages at their paths, and a board
// EEPROM on a model bus.
#include "QnxUpgradeUIPageManager.h"

#include "EmulationLimits.h"

#include "BoardImage.h"
#include "EmbeddedResourceTable.h"
#include "ModelI2CBus.h"
#include "QnxEmbeddedFiles.h"
#include "ScreenPicture.h"
#include "SlayScreen.h"

#include <screen/host_display.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <list>

namespace {
const std::string Resources = UI_RESOURCES_DIR;
const std::string TestPages = UI_TEST_PAGES_DIR;
const std::string Glyphs = Resources + "/numbers";
constexpr std::uint32_t BarBlue = 0x043F8D;

using Box = std::vector<unsigned>;
// Boxes of the english layout file.
const Box PromptVersionBox = {441, 106, 741, 129};
const Box IncompatibleVersionBox = {371, 131, 671, 154};
const Box NotFoundVersionBox = {67, 131, 367, 154};
const Box FailedRecoveryVersionBox = {371, 131, 671, 154};
const Box RecoveryVersionBox = {403, 131, 703, 154};
const Box PercentageBox = {343, 198, 1004, 218};

void RegisterFiles()
{
    static const bool registered = [] {
        QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
        static std::list<std::vector<unsigned char>> kept;
        for (const char* page : {"0", "1", "2", "6", "7", "8", "10", "11", "12", "13", "14", "18"}) {
            std::ifstream file(TestPages + "/english/" + page + ".png", std::ios::binary);
            kept.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            const QnxEmbeddedFiles::KeyAndResource row{
                std::string("/Upgrade/qnxupgrade/english/") + page + ".png",
                {kept.back().data(), static_cast<std::int32_t>(kept.back().size())}};
            QnxEmbeddedFiles::AddResources(&row, 1);
        }
        return true;
    }();
    (void)registered;
}

// A compiled-in page, or a system page of tests/ui/pages.
ScreenPicture Page(const std::string& name)
{
    const bool compiledIn = name == "15" || name == "16" || name == "17";
    return ScreenPicture::FromFile((compiledIn ? Resources : TestPages) + "/english/" + name + ".png");
}

ScreenPicture WithVersion(ScreenPicture page, const Box& box, const std::string& version)
{
    page.DrawText(Glyphs, static_cast<int>(box[0]), static_cast<int>(box[1]), static_cast<int>(box[2]),
                  static_cast<int>(box[3]), version + ".", true);
    return page;
}

ScreenPicture WithPercentage(ScreenPicture page, const std::string& percent)
{
    page.DrawText(Glyphs, static_cast<int>(PercentageBox[0]), static_cast<int>(PercentageBox[1]),
                  static_cast<int>(PercentageBox[2]), static_cast<int>(PercentageBox[3]) + 2, " " + percent + "%",
                  false);
    return page;
}

std::shared_ptr<ModelI2CBus> BoardWithBuild(const std::string& build)
{
    auto image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "cfg");
    if (!build.empty()) {
        BoardImage::PutFile(image, 1, 128, "{\"BuildNumber\":\"" + build + "\"}");
    }
    return std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), image);
}

// What a touch wait showed and answered.
struct Answer
{
    ButtonId id;
    ScreenPicture shown;
};

// Runs a page with a touch wait and presses (x, y) once the page waits.
Answer PressOnPage(const std::function<ButtonId()>& page, int x, int y)
{
    std::future<ButtonId> result = std::async(std::launch::async, page);
    if (host_screen_wait_for_event_waiter(30000) != 1) {
        return {ButtonId::NoButton, {}};
    }
    Answer answer{ButtonId::NoButton, ScreenPicture::Displayed()};
    host_screen_press(x, y, 0);
    answer.id = result.get();
    return answer;
}

class PageManagerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterFiles(); }
    void SetUp() override { ASSERT_EQ(0, host_screen_set_display_size(1024, 600)); }
    void TearDown() override { host_screen_restart_services(); }

    static std::unique_ptr<QnxUpgradeUIPageManager> Manager(bool recovery, bool autoConfirm = false,
                                                            const std::string& build = "3.4.7")
    {
        auto manager = std::make_unique<QnxUpgradeUIPageManager>(recovery, 2, autoConfirm, BoardWithBuild(build));
        manager->InitLanguage();
        return manager;
    }

    static void ExpectShown(const ScreenPicture& expected, const ScreenPicture& shown, const std::string& what)
    {
        ASSERT_FALSE(expected.rgb.empty()) << what;
        EXPECT_EQ("", expected.FirstDifference(shown)) << what;
    }
};

TEST_F(PageManagerTest, PageTableHoldsTheTemplatesOfEachMode)
{
    const std::map<UpgradeScreen, std::string> always = {
        {UpgradeScreen::PromptUserForUpgrade, "/Upgrade/qnxupgrade/{}/0.png"},
        {UpgradeScreen::ShowUpgradeIsInProgress, "/Upgrade/qnxupgrade/{}/10.png"},
        {UpgradeScreen::UpgradingWithProgressBar, "/Upgrade/qnxupgrade/{}/6.png"},
        {UpgradeScreen::UpgradeSucceeded, "/Upgrade/qnxupgrade/{}/7.png"},
        {UpgradeScreen::WifiUpgrading, "/Upgrade/qnxupgrade/{}/16.png"},
        {UpgradeScreen::WifiUpgradeSucceeded, "/Upgrade/qnxupgrade/{}/15.png"},
        {UpgradeScreen::WifiUpgradeFail, "/Upgrade/qnxupgrade/{}/17.png"},
        {UpgradeScreen::WifiUpgradeContinuing, "/Upgrade/qnxupgrade/{}/18.png"}};
    auto main = always;
    main[UpgradeScreen::UpgradeFailed] = "/Upgrade/qnxupgrade/{}/8.png";
    main[UpgradeScreen::NoUpgradeFileFound] = "/Upgrade/qnxupgrade/{}/2.png";
    main[UpgradeScreen::UpgradeNotCompatible] = "/Upgrade/qnxupgrade/{}/1.png";
    auto recovery = always;
    recovery[UpgradeScreen::UpgradeFailed] = "/Upgrade/qnxupgrade/{}/11.png";
    recovery[UpgradeScreen::NoUpgradeFileFound] = "/Upgrade/qnxupgrade/{}/14.png";
    recovery[UpgradeScreen::UpgradeNotCompatible] = "/Upgrade/qnxupgrade/{}/13.png";
    recovery[UpgradeScreen::RecoveryModeUpgrade] = "/Upgrade/qnxupgrade/{}/12.png";

    EXPECT_EQ(recovery, Manager(true)->PageTable());
    const auto manager = Manager(false);
    EXPECT_EQ(main, manager->PageTable());
    // A page the mode lacks is entered with an empty template.
    EXPECT_EQ("", manager->PageTemplate(UpgradeScreen::RecoveryModeUpgrade));
    main[UpgradeScreen::RecoveryModeUpgrade] = "";
    EXPECT_EQ(main, manager->PageTable());
}

TEST_F(PageManagerTest, BoxesAreReadFromTheLayoutFileOnEveryLookup)
{
    const auto manager = Manager(false);
    EXPECT_EQ(Box({854, 520, 1004, 580}), manager->ImportBbox(CoordinatesFileName, Button, ButtonOne));
    EXPECT_EQ(Box({696, 520, 846, 580}), manager->ImportBbox(CoordinatesFileName, Button, ButtonTwo));
    EXPECT_EQ(Box({182, 238, 842, 263}), manager->ImportBbox(CoordinatesFileName, LoadingBar, Updating));
    EXPECT_EQ(PercentageBox, manager->ImportBbox(CoordinatesFileName, Percentage, UpdatePercentage));
    EXPECT_EQ(RecoveryVersionBox, manager->ImportBbox(CoordinatesFileName, VersionTag, RecoveryModePage));
    EXPECT_EQ(Box(), manager->ImportBbox(CoordinatesFileName, "missing", ButtonOne));
    EXPECT_EQ(Box(), manager->ImportBbox(CoordinatesFileName, Button, "missing"));

    // A layout that is not compiled in is read from its file, afresh each time.
    char folder[] = "/tmp/layout-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    const std::string file = std::string(folder) + "/coordinates.json";
    std::ofstream(file) << R"({"buttons": {"button_one_bbox": [1, 2, 3, 4], "flat": 5, "empty": []}, "version": 7})";
    EXPECT_EQ(Box({1, 2, 3, 4}), manager->ImportBbox(file, Button, ButtonOne));
    EXPECT_EQ(Box(), manager->ImportBbox(file, Button, "flat"));
    EXPECT_EQ(Box(), manager->ImportBbox(file, Button, "empty"));
    EXPECT_EQ(Box(), manager->ImportBbox(file, VersionTag, PromptUserVersion));
    std::ofstream(file, std::ios::trunc) << R"({"buttons": {"button_one_bbox": [5, 6, 7, 8]}})";
    EXPECT_EQ(Box({5, 6, 7, 8}), manager->ImportBbox(file, Button, ButtonOne));
    std::ofstream(file, std::ios::trunc) << R"({"buttons": {"button_one_bbox": [5, 6, 7, 8]})";
    EXPECT_EQ(Box(), manager->ImportBbox(file, Button, ButtonOne));
    std::remove(file.c_str());
    std::remove(folder);
    EXPECT_EQ(Box(), manager->ImportBbox(file, Button, ButtonOne));
}

TEST_F(PageManagerTest, PagesWithoutAWaitShowTheirPictures)
{
    const auto manager = Manager(false);
    manager->WifiUpgradeInProgress();
    ExpectShown(Page("16"), ScreenPicture::Displayed(), "Wi-Fi upgrade in progress");
    manager->WifiUpgradeContinue();
    ExpectShown(Page("18"), ScreenPicture::Displayed(), "Wi-Fi upgrade continues");
    manager->UpgradeInProgress();
    ExpectShown(WithPercentage(Page("6"), "0"), ScreenPicture::Displayed(), "upgrade with progress");
    manager->ShowInProgress();
    ExpectShown(Page("10"), ScreenPicture::Displayed(), "upgrade in progress");
    EXPECT_TRUE(manager->UpgradeUIExists());

    // Main mode has no recovery page: nothing changes.
    const std::uint64_t posts = host_screen_post_count();
    manager->ShowRecoveryMode();
    EXPECT_EQ(posts, host_screen_post_count());
    ExpectShown(Page("10"), ScreenPicture::Displayed(), "after the recovery page of main mode");
}

TEST_F(PageManagerTest, RecoveryPageShowsTheVersionBeforeTheInstalledBuildEvenWhenConfirmingAutomatically)
{
    const auto manager = Manager(true, true);
    manager->ExtractVersionFromEEprom();
    manager->ShowRecoveryMode();
    ExpectShown(WithVersion(Page("12"), RecoveryVersionBox, "3.4.6"), ScreenPicture::Displayed(), "recovery page");
}

TEST_F(PageManagerTest, AutoConfirmAnswersNoButtonAndLeavesTheScreen)
{
    const auto manager = Manager(false, true);
    manager->WifiUpgradeInProgress();
    const std::uint64_t posts = host_screen_post_count();
    EXPECT_EQ(ButtonId::NoButton, manager->WifiUpgradeSuccessful());
    EXPECT_EQ(ButtonId::NoButton, manager->WifiUpgradeFailed());
    EXPECT_EQ(ButtonId::NoButton, manager->PromptUserToUpgrade());
    EXPECT_EQ(ButtonId::NoButton, manager->UpgradeSuccessful());
    EXPECT_EQ(ButtonId::NoButton, manager->UpgradeFailed());
    EXPECT_EQ(ButtonId::NoButton, manager->NoUpgradeFound());
    EXPECT_EQ(ButtonId::NoButton, manager->UpdgradeNotCompatibleWithPrinter());
    EXPECT_EQ(posts, host_screen_post_count());
    ExpectShown(Page("16"), ScreenPicture::Displayed(), "in-progress page");
}

TEST_F(PageManagerTest, WifiResultPagesAnswerTheirButtonAndNothingBeside)
{
    const auto manager = Manager(false);
    std::future<ButtonId> result = std::async(std::launch::async, [&] { return manager->WifiUpgradeSuccessful(); });
    ASSERT_EQ(1, host_screen_wait_for_event_waiter(30000));
    ExpectShown(Page("15"), ScreenPicture::Displayed(), "success page");
    ASSERT_EQ(0, host_screen_press(700, 550, 0));
    // The touch was taken and the page waits again: it was no hit.
    ASSERT_EQ(1, host_screen_wait_for_events_taken(30000));
    ASSERT_EQ(0, host_screen_press(929, 550, 0));
    EXPECT_EQ(ButtonId::ConfirmButton, result.get());

    const Answer failed = PressOnPage([&] { return manager->WifiUpgradeFailed(); }, 1004, 580);
    EXPECT_EQ(ButtonId::ConfirmButton, failed.id);
    ExpectShown(Page("17"), failed.shown, "failure page");
}

TEST_F(PageManagerTest, SystemPagesAnswerWithTheButtonIdsOfTheirMode)
{
    using Operation = ButtonId (QnxUpgradeUIPageManager::*)();
    struct Case
    {
        bool recovery;
        Operation operation;
        const char* page;
        int x, y;
        ButtonId id;
        const Box* versionBox;
        const char* version;
    };
    using M = QnxUpgradeUIPageManager;
    const Case cases[] = {
        {false, &M::PromptUserToUpgrade, "0", 929, 550, ButtonId::PromptFirstButton, &PromptVersionBox, "3.4.7"},
        {false, &M::PromptUserToUpgrade, "0", 771, 550, ButtonId::PromptSecondButton, &PromptVersionBox, "3.4.7"},
        {false, &M::UpgradeSuccessful, "7", 929, 550, ButtonId::ConfirmButton, nullptr, ""},
        {false, &M::UpgradeFailed, "8", 929, 550, ButtonId::FailedPageButton, nullptr, ""},
        {false, &M::NoUpgradeFound, "2", 929, 550, ButtonId::NotFoundOrIncompatibleButton, &NotFoundVersionBox,
         "3.4.7"},
        {false, &M::UpdgradeNotCompatibleWithPrinter, "1", 929, 550, ButtonId::NotFoundOrIncompatibleButton,
         &IncompatibleVersionBox, "3.4.7"},
        {true, &M::UpgradeSuccessful, "7", 929, 550, ButtonId::ConfirmButton, nullptr, ""},
        {true, &M::UpgradeFailed, "11", 929, 550, ButtonId::ConfirmButton, &FailedRecoveryVersionBox, "3.4.6"},
        {true, &M::NoUpgradeFound, "14", 929, 550, ButtonId::ConfirmButton, &NotFoundVersionBox, "3.4.6"},
        {true, &M::UpdgradeNotCompatibleWithPrinter, "13", 929, 550, ButtonId::ConfirmButton, &IncompatibleVersionBox,
         "3.4.6"},
    };
    for (const Case& c : cases) {
        const auto manager = Manager(c.recovery);
        manager->ExtractVersionFromEEprom();
        const Answer answer = PressOnPage([&] { return (manager.get()->*c.operation)(); }, c.x, c.y);
        const std::string what = std::string(c.recovery ? "recovery page " : "main page ") + c.page;
        EXPECT_EQ(c.id, answer.id) << what;
        ExpectShown(c.versionBox != nullptr ? WithVersion(Page(c.page), *c.versionBox, c.version) : Page(c.page),
                    answer.shown, what);
    }
}

TEST_F(PageManagerTest, FirstProgressStepPostsTheBarThenThePercentage)
{
    char film[] = "/tmp/progress-film-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(film));
    const auto manager = Manager(false);
    manager->UpgradeInProgress();
    const ScreenPicture page = WithPercentage(Page("6"), "0");
    ASSERT_EQ(0, host_screen_set_film_folder(film));
    manager->UpdateProgressBar(50);
    host_screen_set_film_folder(nullptr);

    // Columns 183 .. 512 (the box's left border stays), rows 239 .. 262.
    ScreenPicture bar = page;
    bar.Fill(183, 239, 512, 262, BarBlue);
    ExpectShown(bar, ScreenPicture::FromFile(std::string(film) + "/frame-00001.png"), "frame of the bar");
    // " 50%" from the box's left edge 343: the blank is one 0 glyph (11) wide.
    ExpectShown(WithPercentage(bar, "50"), ScreenPicture::FromFile(std::string(film) + "/frame-00002.png"),
                "frame of the percentage");
    int rects[8] = {};
    ASSERT_EQ(1, host_screen_last_post_rects(rects, 2));
    EXPECT_EQ((std::vector<int>{343, 198, 50, 22}), std::vector<int>(rects, rects + 4));
    for (const char* frame : {"/frame-00001.png", "/frame-00002.png", "/frame-00003.png", "/display.lock"}) {
        std::remove((std::string(film) + frame).c_str());
    }
    std::remove(film);
}

TEST_F(PageManagerTest, InstalledVersionIsReadFromTheEepromOnceAndKept)
{
    auto bus = BoardWithBuild("3.4.7");
    QnxUpgradeUIPageManager manager(false, 2, false, bus);
    bus->ClearLog();
    EXPECT_EQ("3.4.7", manager.GetCurrentVersion());
    EXPECT_FALSE(bus->Log().empty());
    bus->ClearLog();
    EXPECT_EQ("3.4.7", manager.GetCurrentVersion());
    manager.SetCurrentVersion("9.0.1");
    EXPECT_EQ("9.0.1", manager.GetCurrentVersion());
    EXPECT_TRUE(bus->Log().empty());
}

TEST_F(PageManagerTest, RecoveryModeShowsTheBuildBeforeTheInstalledOne)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"3.4.0", "3.4.0"},     {"3.4.7", "3.4.6"}, {"3.4", "3.4"},   {"10.2.10", "10.2.9"},
        {"3.4.7.1", "3.4.7.1"}, {"3..7", "3..7"},   {"beta", "beta"}, {"", ""}};
    for (const auto& [stored, shown] : cases) {
        QnxUpgradeUIPageManager manager(true, 2, false, BoardWithBuild(stored));
        manager.ExtractVersionFromEEprom();
        EXPECT_EQ(shown, manager.GetCurrentVersion()) << stored;
    }
    QnxUpgradeUIPageManager main(false, 2, false, BoardWithBuild("3.4.7"));
    main.ExtractVersionFromEEprom();
    EXPECT_EQ("3.4.7", main.GetCurrentVersion());
}

// As the screen facade does after a touch on a result page: the touch
// driver and the compositor are stopped and the window closed; a later
// result page then shows nothing and waits until ExitScreen.
TEST_F(PageManagerTest, AfterSlayingTheScreenALaterPageShowsNothingAndWaitsForExitScreen)
{
    // The stand-in of the slay command is a program of this build, quoted.
    if (const std::string why = EmulationLimits::WhyCannotStart(
            QnxUpgradeCommon::SlayProgram().substr(1, QnxUpgradeCommon::SlayProgram().size() - 2));
        !why.empty()) {
        GTEST_SKIP() << why;
    }
    const auto manager = Manager(false);
    ASSERT_EQ(ButtonId::ConfirmButton, PressOnPage([&] { return manager->WifiUpgradeSuccessful(); }, 929, 550).id);
    QnxUpgradeCommon::SlayScreen();
    manager->CloseUpgradeUi();
    EXPECT_FALSE(manager->UpgradeUIExists());
    EXPECT_EQ(0, host_screen_touch_running());
    EXPECT_EQ(0, host_screen_display_running());
    EXPECT_EQ(0, host_screen_window_count());
    EXPECT_EQ(0u, host_screen_display_pixel(929, 550));

    const std::uint64_t posts = host_screen_post_count();
    std::future<ButtonId> result = std::async(std::launch::async, [&] { return manager->WifiUpgradeFailed(); });
    EXPECT_NE(std::future_status::ready, result.wait_for(std::chrono::milliseconds(300)));
    manager->ExitScreen();
    EXPECT_EQ(ButtonId::NoButton, result.get());
    EXPECT_EQ(posts, host_screen_post_count());
    EXPECT_EQ(0, host_screen_window_count());
    EXPECT_FALSE(manager->UpgradeUIExists());
}
} // namespace
