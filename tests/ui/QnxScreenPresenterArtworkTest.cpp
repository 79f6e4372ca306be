// The presenter with the real artwork: the pages and glyphs under
// ui/resources, registered at their compiled-in paths.
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"
#include "ScreenPicture.h"

#include <screen/host_display.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <list>
#include <string>
#include <vector>

namespace {
const std::string Root = UI_RESOURCES_DIR;

void RegisterFile(const std::string& folder, const std::string& name)
{
    static std::list<std::vector<unsigned char>> kept;
    std::ifstream file(Root + "/" + folder + "/" + name, std::ios::binary);
    kept.emplace_back((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const QnxEmbeddedFiles::KeyAndResource row{"/Upgrade/qnxupgrade/" + folder + "/" + name,
                                               {kept.back().data(), static_cast<std::int32_t>(kept.back().size())}};
    QnxEmbeddedFiles::AddResources(&row, 1);
}

class ArtworkTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (const char* name : {"15.png", "16.png", "17.png"}) {
            RegisterFile("english", name);
        }
        for (const char* name : {"0.png", "1.png", "2.png", "3.png", "4.png", "5.png", "6.png", "7.png", "8.png",
                                 "9.png", "percent.png", "period.png"}) {
            RegisterFile("numbers", name);
        }
    }

    void SetUp() override { ASSERT_EQ(0, host_screen_set_display_size(1024, 600)); }

    static ScreenPicture Glyph(const std::string& name)
    {
        return ScreenPicture::FromFile(Root + "/numbers/" + name + ".png");
    }
};

TEST_F(ArtworkTest, EveryEnglishPageIsShownAsItsFileDecodes)
{
    QnxScreenPresenter presenter(2);
    for (const char* name : {"15.png", "16.png", "17.png"}) {
        ASSERT_TRUE(presenter.Present(std::string("/Upgrade/qnxupgrade/english/") + name)) << name;
        const ScreenPicture page = ScreenPicture::FromFile(Root + "/english/" + name);
        ASSERT_EQ(1024, page.width);
        std::vector<std::uint32_t> shown(1024 * 600);
        ASSERT_EQ(0, host_screen_read_display(0, 0, 1024, 600, shown.data()));
        EXPECT_EQ(page.rgb, shown) << name;
    }
}

TEST_F(ArtworkTest, HalfwayProgressPaintsTheEnglishBarAndNumberAsThePageManagerExpects)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present("/Upgrade/qnxupgrade/english/16.png"));
    const ScreenPicture page = ScreenPicture::FromFile(Root + "/english/16.png");
    presenter.OverlayProgressBar({182, 238, 842, 263}, "#043F8D", 50);
    presenter.OverlayPercentageNumber({343, 198, 1004, 218}, 50);

    for (int y = 236; y < 266; ++y) {
        for (int x = 180; x < 520; ++x) {
            const bool bar = x >= 183 && x <= 512 && y >= 239 && y <= 262;
            ASSERT_EQ(bar ? 0x043F8Du : page.At(x, y), host_screen_display_pixel(x, y)) << x << ", " << y;
        }
    }
    // " 50%" from x = 343: the space is one 0-glyph wide (11), then 5, 0 and
    // the percent sign, white pixels included, over rows 198 .. 219.
    const ScreenPicture zero = Glyph("0");
    ASSERT_EQ(11, zero.width);
    int x = 343 + zero.width;
    for (const char* name : {"5", "0", "percent"}) {
        const ScreenPicture glyph = Glyph(name);
        for (int y = 198; y < 220 && y - 198 < glyph.height; ++y) {
            for (int gx = 0; gx < glyph.width; ++gx) {
                ASSERT_EQ(glyph.At(gx, y - 198), host_screen_display_pixel(x + gx, y))
                    << name << " " << gx << ", " << y;
            }
        }
        x += glyph.width;
    }
    EXPECT_EQ(page.At(x, 205), host_screen_display_pixel(x, 205));
}

TEST_F(ArtworkTest, VersionOnARealPageKeepsThePageBehindWhiteGlyphPixels)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present("/Upgrade/qnxupgrade/english/17.png"));
    const ScreenPicture page = ScreenPicture::FromFile(Root + "/english/17.png");
    presenter.OverlayVersionNumber({441, 106, 741, 129}, "4.1");
    ASSERT_TRUE(presenter.PostScreen());
    int x = 441;
    for (const char* name : {"4", "period", "1", "period"}) {
        const ScreenPicture glyph = Glyph(name);
        for (int y = 0; y < glyph.height; ++y) {
            for (int gx = 0; gx < glyph.width; ++gx) {
                const std::uint32_t g = glyph.At(gx, y);
                ASSERT_EQ(g == 0xFFFFFFu ? page.At(x + gx, 106 + y) : g, host_screen_display_pixel(x + gx, 106 + y))
                    << name << " " << gx << ", " << y;
            }
        }
        x += glyph.width;
    }
}
} // namespace
