// The page manager in the simulated printer: the preference file in /Store,
// the board image at /dev/i2c0 and the film of what the display showed.
#include "BoardImage.h"
#include "PreferenceRecord.h"
#include "SandboxRunner.h"
#include "SandboxTest.h"
#include "ScreenPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {
namespace fs = std::filesystem;

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

struct Outcome
{
    int status = -1;
    std::string out;
};

// A fresh scratch folder: store/ (bound as /Store), film/, board.img.
class PageManagerInSandbox : public SandboxTest
{
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        dir_ = std::string(UPGRADE_SCRATCH_DIR) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        fs::create_directories(dir_ + "/store");
        fs::create_directories(dir_ + "/film");
    }

    void WriteBoard(const std::string& build) const
    {
        auto image = BoardImage::Erased();
        BoardImage::PutFile(image, 0, 64, "cfg");
        BoardImage::PutFile(image, 1, 128, "{\"BuildNumber\":\"" + build + "\"}");
        std::ofstream(dir_ + "/board.img", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }

    // The probe in the sandbox, with the film on and the extra sandbox options.
    Outcome Run(const std::string& sandboxOptions, const std::string& pages) const
    {
        const std::string probe = UPGRADE_PAGE_MANAGER_PROBE;
        const std::string film = dir_ + "/film";
        const std::string command = "timeout 120 " + Quoted(SandboxRunner::Path()) + " --store " +
                                    Quoted(dir_ + "/store") + " --i2c " + Quoted(dir_ + "/board.img") + " --bind " +
                                    Quoted(film) + " " + Quoted(film) + " --setenv UPGRADE_SCREEN_FILM " +
                                    Quoted(film) + " " + sandboxOptions + " -- " + Quoted(probe) + " " + pages + " >" +
                                    Quoted(dir_ + "/out") + " 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream out(dir_ + "/out");
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                std::string(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>())};
    }

    ScreenPicture Frame(int number) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "/film/frame-%05d.png", number);
        return ScreenPicture::FromFile(dir_ + name);
    }

    std::string dir_;
};

TEST_F(PageManagerInSandbox, GermanPreferenceAndBuildRecordGiveTheGermanInProgressPage)
{
    std::ofstream(dir_ + "/store/AppPreferences.json", std::ios::binary) << PreferenceRecord("german");
    WriteBoard("3.1.4");
    const Outcome outcome = Run("", "");
    ASSERT_EQ(0, outcome.status) << outcome.out;
    EXPECT_EQ("3.1.4\n", outcome.out);
    const ScreenPicture german = ScreenPicture::FromFile(std::string(UI_RESOURCES_DIR) + "/german/16.png");
    ASSERT_EQ(1024, german.width);
    EXPECT_EQ("", german.FirstDifference(Frame(1)));
}

// Pages that are not compiled in come from a folder bound at their path;
// the compiled-in pages and layout of that folder still win.
TEST_F(PageManagerInSandbox, SystemPagesComeFromAFolderBoundAtTheirPath)
{
    WriteBoard("3.1.4");
    const Outcome outcome =
        Run("--ro-bind " + Quoted(std::string(UI_TEST_PAGES_DIR) + "/english") + " /Upgrade/qnxupgrade/english",
            "show-in-progress");
    ASSERT_EQ(0, outcome.status) << outcome.out;
    const ScreenPicture compiledIn = ScreenPicture::FromFile(std::string(UI_RESOURCES_DIR) + "/english/16.png");
    const ScreenPicture fromDisk = ScreenPicture::FromFile(std::string(UI_TEST_PAGES_DIR) + "/english/10.png");
    ASSERT_EQ(1024, fromDisk.width);
    EXPECT_EQ("", compiledIn.FirstDifference(Frame(1)));
    EXPECT_EQ("", fromDisk.FirstDifference(Frame(2)));
}
} // namespace
