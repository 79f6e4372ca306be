#include "QnxScreenPresenter.h"

#include "PngFixtures.h"

#include <screen/host_display.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace {
using PngFixtures::Rgb;

constexpr int Width = 1024;
constexpr int Height = 600;
const std::vector<unsigned> BarBox = {182, 238, 842, 263};
const std::vector<unsigned> PercentBox = {343, 198, 1004, 218};
const std::vector<unsigned> VersionBox = {441, 106, 741, 129};
constexpr std::uint32_t BarColour = 0x043F8D;

std::uint32_t Gradient(int x, int y)
{
    return (static_cast<std::uint32_t>((x * 7 + y) & 0xFF) << 16) |
           (static_cast<std::uint32_t>((y * 3 + (x >> 8)) & 0xFF) << 8) | static_cast<std::uint32_t>((x ^ y) & 0xFF);
}

std::uint32_t Other(int x, int y)
{
    return 0xFFFFFFu - Gradient(x, y);
}

std::uint32_t White(int, int)
{
    return 0xFFFFFF;
}

const std::string& GradientPage()
{
    static const std::string key = PngFixtures::Register(PngFixtures::Rgb8(Width, Height, Gradient));
    return key;
}

const std::string& OtherPage()
{
    static const std::string key = PngFixtures::Register(PngFixtures::Rgb8(Width, Height, Other));
    return key;
}

const std::string& WhitePage()
{
    static const std::string key = PngFixtures::Register(PngFixtures::Rgb8(Width, Height, White));
    return key;
}

std::uint32_t Shown(int x, int y)
{
    return host_screen_display_pixel(x, y);
}

// Number of display pixels in the window area at (left, top) that differ from
// expected; prints the first few.
int Mismatches(const Rgb& expected, int left = 0, int top = 0)
{
    std::vector<std::uint32_t> shown(static_cast<size_t>(Width) * Height);
    if (host_screen_read_display(left, top, Width, Height, shown.data()) != 0) {
        return -1;
    }
    int wrong = 0;
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const std::uint32_t got = shown[static_cast<size_t>(y) * Width + static_cast<size_t>(x)];
            if (got != expected(x, y) && ++wrong <= 3) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): shown " << std::hex << got << ", expected "
                              << expected(x, y);
            }
        }
    }
    return wrong;
}

bool BarPainted(int x, int y, int fillEnd)
{
    return x >= 183 && x <= fillEnd && y >= 239 && y <= 262;
}

std::vector<int> LastPostRects()
{
    std::vector<int> rects(16);
    const int count = host_screen_last_post_rects(rects.data(), 4);
    rects.resize(static_cast<size_t>(count) * 4);
    return rects;
}

class PresenterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PngFixtures::RegisterGlyphs();
        ASSERT_EQ(0, host_screen_set_display_size(Width, Height));
    }
};

// --- pages on the display

TEST_F(PresenterTest, PresentShowsThePagePixelForPixel)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    EXPECT_TRUE(presenter.WindowExists());
    EXPECT_EQ(0, Mismatches(Gradient));
}

TEST_F(PresenterTest, PresentCentresThePageOnALargerDisplay)
{
    ASSERT_EQ(0, host_screen_set_display_size(1281, 801));
    {
        QnxScreenPresenter presenter(2);
        ASSERT_TRUE(presenter.Present(GradientPage()));
        // (1281 - 1024) / 2 and (801 - 600) / 2, truncated.
        EXPECT_EQ(0, Mismatches(Gradient, 128, 100));
        EXPECT_EQ(0u, Shown(127, 300));
        EXPECT_EQ(0u, Shown(600, 99));
        EXPECT_EQ(0u, Shown(128 + Width, 300));
        EXPECT_EQ(0u, Shown(600, 100 + Height));
    }
    ASSERT_EQ(0, host_screen_set_display_size(Width, Height));
}

TEST_F(PresenterTest, IndexedPageTakesItsPaletteAndTransparencyBecomesAlpha)
{
    // Entry 0 opaque red, entry 1 fully transparent, entry 2 half transparent white.
    const std::string page =
        PngFixtures::Register(PngFixtures::Indexed(Width, Height, {0xFF0000, 0x00FF00, 0xFFFFFF}, {0xFF, 0x00, 0x80},
                                                   [](int x, int) { return static_cast<unsigned char>(x % 3); }));
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(page));
    // The display behind the window is black.
    EXPECT_EQ(0xFF0000u, Shown(0, 0));
    EXPECT_EQ(0x000000u, Shown(1, 0));
    EXPECT_EQ(0x808080u, Shown(2, 0));

    const std::string opaque = PngFixtures::Register(PngFixtures::Indexed(
        Width, Height, {0x043F8D, 0x666666}, {}, [](int x, int) { return static_cast<unsigned char>(x & 1); }));
    ASSERT_TRUE(presenter.Present(opaque));
    EXPECT_EQ(0x043F8Du, Shown(10, 10));
    EXPECT_EQ(0x666666u, Shown(11, 10));
}

TEST_F(PresenterTest, InterlacedPageDecodesLikeAPlainOne)
{
    const std::string page = PngFixtures::Register(PngFixtures::Rgb8(Width, Height, Other, {true, false}));
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(page));
    EXPECT_EQ(0, Mismatches(Other));
}

TEST_F(PresenterTest, MissingPageFailsAndLeavesThePreviousFrame)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::uint64_t posts = host_screen_post_count();
    EXPECT_FALSE(presenter.Present("/Upgrade/qnxupgrade/nowhere/15.png"));
    EXPECT_FALSE(presenter.Present(""));
    EXPECT_EQ(posts, host_screen_post_count());
    EXPECT_EQ(0, Mismatches(Gradient));
}

TEST_F(PresenterTest, CorruptOrTruncatedPngIsRefusedAndThePageShownStaysWhole)
{
    const std::vector<unsigned char> good = PngFixtures::Rgb8(Width, Height, Other);
    std::vector<unsigned char> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    std::vector<unsigned char> badCrc = good;
    badCrc[good.size() / 2] ^= 0x55; // inside the image data: its check fails
    std::vector<unsigned char> notPng = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    std::vector<unsigned char> headerOnly(good.begin(), good.begin() + 33);

    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    for (auto* bytes : {&truncated, &badCrc, &notPng, &headerOnly}) {
        const std::string key = PngFixtures::Register(*bytes);
        EXPECT_FALSE(presenter.LoadPNG(key, ImageStorageType::Page)) << key;
        EXPECT_FALSE(presenter.Present(key)) << key;
    }
    // A copy, with no page waiting, and a post still show the page shown before.
    presenter.CopyImageDataToBuffer();
    EXPECT_TRUE(presenter.PostScreen());
    EXPECT_EQ(0, Mismatches(Gradient));
}

TEST_F(PresenterTest, PageFromTheFileSystemIsShownAndATruncatedFileRefused)
{
    char name[] = "/tmp/presenter_page_XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::vector<unsigned char> bytes = PngFixtures::Rgb8(Width, Height, Other);
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(fd, bytes.data(), bytes.size()));
    QnxScreenPresenter presenter(2);
    EXPECT_TRUE(presenter.Present(name));
    EXPECT_EQ(0, Mismatches(Other));

    ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(bytes.size() - 100)));
    close(fd);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    EXPECT_FALSE(presenter.Present(name));
    EXPECT_EQ(0, Mismatches(Gradient));
    unlink(name);
}

TEST_F(PresenterTest, PagesOfAnotherSizeOrKindAreRefused)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::string narrow = PngFixtures::Register(PngFixtures::Rgb8(Width - 1, Height, White));
    const std::string tall = PngFixtures::Register(PngFixtures::Rgb8(Width, Height + 1, White));
    const std::string small = PngFixtures::Register(PngFixtures::Rgb8(11, 23, White));
    const std::string grey = PngFixtures::Register(PngFixtures::Grey8(Width, Height, 0x80));
    const std::string deep = PngFixtures::Register(PngFixtures::Rgb8(Width, Height, White, {false, true}));
    for (const std::string& key : {narrow, tall, small, grey, deep}) {
        EXPECT_FALSE(presenter.Present(key)) << key;
    }
    // Glyphs may be small, but not larger than the window nor of another kind.
    EXPECT_TRUE(presenter.LoadPNG(small, ImageStorageType::Overlay));
    EXPECT_TRUE(presenter.LoadPNG(GradientPage(), ImageStorageType::Overlay));
    EXPECT_FALSE(presenter.LoadPNG(tall, ImageStorageType::Overlay));
    EXPECT_FALSE(presenter.LoadPNG(grey, ImageStorageType::Overlay));
    EXPECT_EQ(0, Mismatches(Gradient));
}

TEST_F(PresenterTest, DecodingAGlyphLeavesThePageAlone)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    ASSERT_TRUE(presenter.LoadPNG(PercentImagePath, ImageStorageType::Overlay));
    presenter.CopyImageDataToBuffer();
    ASSERT_TRUE(presenter.PostScreen());
    EXPECT_EQ(0, Mismatches(Gradient));
}

TEST_F(PresenterTest, DestroyWindowReleasesItAndALaterPresentMakesANewOne)
{
    const int windowsBefore = host_screen_window_count();
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    EXPECT_EQ(windowsBefore + 1, host_screen_window_count());
    presenter.DestroyWindow();
    EXPECT_FALSE(presenter.WindowExists());
    EXPECT_EQ(windowsBefore, host_screen_window_count());
    EXPECT_EQ(0u, Shown(500, 300));

    // The page went with the window: overlays and copies have nothing to show.
    const std::uint64_t posts = host_screen_post_count();
    presenter.OverlayProgressBar(BarBox, "#043F8D", 50);
    presenter.OverlayPercentageNumber(PercentBox, 50);
    EXPECT_EQ(posts, host_screen_post_count());

    ASSERT_TRUE(presenter.Present(OtherPage()));
    EXPECT_TRUE(presenter.WindowExists());
    EXPECT_EQ(0, Mismatches(Other));
}

TEST_F(PresenterTest, DestructorReleasesWindowAndContext)
{
    const int windows = host_screen_window_count();
    const int contexts = host_screen_context_count();
    {
        QnxScreenPresenter presenter(2);
        ASSERT_TRUE(presenter.Present(GradientPage()));
        EXPECT_EQ(contexts + 1, host_screen_context_count());
    }
    EXPECT_EQ(windows, host_screen_window_count());
    EXPECT_EQ(contexts, host_screen_context_count());
}

TEST_F(PresenterTest, WindowTakesTheConstructorsZOrder)
{
    QnxScreenPresenter below(1);
    QnxScreenPresenter above(5);
    ASSERT_TRUE(above.Present(OtherPage()));
    ASSERT_TRUE(below.Present(GradientPage()));
    EXPECT_EQ(0, Mismatches(Other));
}

// --- dirty rectangles

TEST_F(PresenterTest, DirtyRectangleReachingTheRightOrBottomEdgeIsRefused)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::uint64_t posts = host_screen_post_count();
    presenter.SetDirtyRectangle(1000, 0, 24, 10);
    EXPECT_FALSE(presenter.PostScreen());
    presenter.ClearDirtyRectangle();
    presenter.SetDirtyRectangle(0, 590, 10, 10);
    EXPECT_FALSE(presenter.PostScreen());
    presenter.ClearDirtyRectangle();
    presenter.SetDirtyRectangle(1024, 0, 0, 0);
    EXPECT_FALSE(presenter.PostScreen());
    EXPECT_EQ(posts, host_screen_post_count());

    presenter.ClearDirtyRectangle();
    presenter.SetDirtyRectangle(1000, 0, 23, 10);
    presenter.SetDirtyRectangle(0, 589, 10, 10);
    EXPECT_TRUE(presenter.PostScreen());
    EXPECT_EQ((std::vector<int>{1000, 0, 23, 10, 0, 589, 10, 10}), LastPostRects());
}

TEST_F(PresenterTest, RefusedPostLeavesTheNewPixelsForTheNextPost)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    ASSERT_TRUE(presenter.LoadPNG(OtherPage(), ImageStorageType::Page));
    presenter.CopyImageDataToBuffer();
    presenter.SetDirtyRectangle(10, 10, 20, 20);
    presenter.SetDirtyRectangle(5, 5, 2000, 1); // one invalid rectangle refuses the whole post
    EXPECT_FALSE(presenter.PostScreen());
    EXPECT_EQ(0, Mismatches(Gradient));

    presenter.ClearDirtyRectangle();
    presenter.SetDirtyRectangle(10, 10, 20, 20);
    EXPECT_TRUE(presenter.PostScreen());
    // Only the named area changed on the display.
    EXPECT_EQ(0, Mismatches([](int x, int y) {
                  return (x >= 10 && x < 30 && y >= 10 && y < 30) ? Other(x, y) : Gradient(x, y);
              }));
    presenter.ClearDirtyRectangle();
    EXPECT_TRUE(presenter.PostScreen());
    EXPECT_EQ(0, Mismatches(Other));
}

// --- progress bar

TEST_F(PresenterTest, ProgressBarAtZeroPaintsOnlyTheFirstColumnInsideTheBorder)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    presenter.OverlayProgressBar(BarBox, "#043F8D", 0);
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 183) ? BarColour : Gradient(x, y); }));
    EXPECT_EQ((std::vector<int>{183, 239, 1, 24}), LastPostRects());
}

TEST_F(PresenterTest, ProgressBarAtHundredPaintsThroughTheBarsRightEdge)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    presenter.OverlayProgressBar(BarBox, "#043F8D", 100);
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 842) ? BarColour : Gradient(x, y); }));
    EXPECT_EQ((std::vector<int>{183, 239, 660, 24}), LastPostRects());
}

TEST_F(PresenterTest, ProgressBarFortyThenThirtyThenSixtyOnlyGrows)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(WhitePage()));
    // Fill ends: 183 + trunc(659 * percent / 100): 446, 380, 578.
    presenter.OverlayProgressBar(BarBox, "#043F8D", 40);
    EXPECT_EQ((std::vector<int>{183, 239, 264, 24}), LastPostRects());
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 446) ? BarColour : 0xFFFFFFu; }));

    const std::uint64_t posts = host_screen_post_count();
    presenter.OverlayProgressBar(BarBox, "#043F8D", 30);
    EXPECT_EQ(posts, host_screen_post_count());

    // The next fill starts at the column reached for 30.
    presenter.OverlayProgressBar(BarBox, "#043F8D", 60);
    EXPECT_EQ((std::vector<int>{380, 239, 199, 24}), LastPostRects());
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 578) ? BarColour : 0xFFFFFFu; }));
}

TEST_F(PresenterTest, RisingProgressPostsEachStepFromWhereTheLastStopped)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(WhitePage()));
    presenter.OverlayProgressBar(BarBox, "#043F8D", 10); // 183 .. 248
    EXPECT_EQ((std::vector<int>{183, 239, 66, 24}), LastPostRects());
    presenter.OverlayProgressBar(BarBox, "#043F8D", 20); // 248 .. 314
    EXPECT_EQ((std::vector<int>{248, 239, 67, 24}), LastPostRects());
    // A new page keeps the bar's state.
    ASSERT_TRUE(presenter.Present(WhitePage()));
    presenter.OverlayProgressBar(BarBox, "#043F8D", 30); // 314 .. 380
    EXPECT_EQ(0, Mismatches([](int x, int y) { return (BarPainted(x, y, 380) && x >= 314) ? BarColour : 0xFFFFFFu; }));
}

TEST_F(PresenterTest, ProgressBarAtTheWindowsRightEdgeStopsAtTheLastColumn)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::uint64_t posts = host_screen_post_count();
    presenter.OverlayProgressBar({900, 580, 1024, 600}, "#FF0000", 100);
    // Painted through column 1023 and row 599 and shown by a post of the whole window.
    EXPECT_EQ(posts + 1, host_screen_post_count());
    EXPECT_EQ(0, Mismatches([](int x, int y) { return (x >= 901 && y >= 581) ? 0xFF0000u : Gradient(x, y); }));
}

TEST_F(PresenterTest, AnOverlayOnAPageNotYetCopiedPaintsOverThatPage)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    ASSERT_TRUE(presenter.LoadPNG(OtherPage(), ImageStorageType::Page));
    presenter.OverlayProgressBar(BarBox, "#043F8D", 100);
    // The bar's post named its own area only; the whole window shows the new page beneath it.
    ASSERT_TRUE(presenter.PostScreen());
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 842) ? BarColour : Other(x, y); }));
}

TEST_F(PresenterTest, ProgressAboveHundredCountsAsHundred)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    presenter.OverlayProgressBar(BarBox, "#043F8D", 255);
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 842) ? BarColour : Gradient(x, y); }));
}

TEST_F(PresenterTest, OverlaysWithoutAPageOrWithABadBoxDoNothing)
{
    const int windows = host_screen_window_count();
    QnxScreenPresenter presenter(2);
    const std::uint64_t posts = host_screen_post_count();
    presenter.OverlayProgressBar(BarBox, "#043F8D", 50);
    presenter.OverlayPercentageNumber(PercentBox, 50);
    presenter.OverlayVersionNumber(VersionBox, "1.2.3");
    EXPECT_EQ(posts, host_screen_post_count());
    EXPECT_EQ(windows, host_screen_window_count());

    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::uint64_t shown = host_screen_post_count();
    const std::vector<std::vector<unsigned>> bad = {
        {},                    // no numbers
        {182, 238, 842},       // three numbers
        {182, 238, 182, 263},  // empty: left == right
        {182, 263, 842, 238},  // upside down
        {182, 238, 1025, 263}, // beyond the right edge
        {182, 590, 842, 601},  // beyond the bottom
        {4294967295u, 238, 842, 263},
    };
    for (const auto& box : bad) {
        presenter.OverlayProgressBar(box, "#043F8D", 50);
        presenter.OverlayPercentageNumber(box, 50);
        presenter.OverlayVersionNumber(box, "1.2");
    }
    presenter.OverlayPercentageNumber({343, 198, 1004, 4294967295u}, 50);
    presenter.OverlayProgressBar(BarBox, "", 100);
    EXPECT_EQ(shown + 1, host_screen_post_count()); // only the last, valid bar
    presenter.CopyImageDataToBuffer();
    ASSERT_TRUE(presenter.PostScreen());
    EXPECT_EQ(0, Mismatches([](int x, int y) { return BarPainted(x, y, 842) ? 0u : Gradient(x, y); }));
}

// --- numbers

TEST_F(PresenterTest, PercentageSevenStartsOneZeroWidthRightOfTheBox)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    presenter.OverlayPercentageNumber(PercentBox, 7);
    // " 7%": the space advances by the 0 glyph's 11 columns; the glyphs cover
    // the box's rows and the two below it (198 .. 219).
    const auto expected = [](int x, int y) {
        if (y >= 198 && y < 220) {
            if (x >= 354 && x < 365 && y - 198 < PngFixtures::GlyphHeight('7')) {
                return PngFixtures::GlyphPixel('7', x - 354, y - 198);
            }
            if (x >= 365 && x < 382) {
                return PngFixtures::GlyphPixel('%', x - 365, y - 198);
            }
        }
        return Gradient(x, y);
    };
    EXPECT_EQ(0, Mismatches(expected));
    EXPECT_EQ((std::vector<int>{343, 198, 39, 22}), LastPostRects());
}

TEST_F(PresenterTest, PercentageNumberPaintsOverThePreviousOneWhitePixelsIncluded)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    presenter.OverlayPercentageNumber(PercentBox, 42);
    presenter.OverlayPercentageNumber(PercentBox, 7);
    for (int y = 198; y < 220; ++y) {
        for (int x = 354; x < 365; ++x) {
            ASSERT_EQ(PngFixtures::GlyphPixel('7', x - 354, y - 198), Shown(x, y)) << x << ", " << y;
        }
    }
    // 42 left its percent sign beyond the shorter 7%.
    EXPECT_EQ(PngFixtures::GlyphPixel('%', 0, 0), Shown(377, 198));
}

TEST_F(PresenterTest, PercentageGlyphsAreCutAtTheBoxsRightEdge)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    presenter.OverlayPercentageNumber({100, 198, 120, 218}, 100);
    EXPECT_EQ(0, Mismatches([](int x, int y) {
                  return (x >= 111 && x < 120 && y >= 198 && y < 220) ? PngFixtures::GlyphPixel('1', x - 111, y - 198)
                                                                      : Gradient(x, y);
              }));
}

TEST_F(PresenterTest, PercentageReachingTheWindowsEdgeIsShownByAWholeWindowPost)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::uint64_t posts = host_screen_post_count();
    // " 7%" from 990 ends at 1029: its area cannot be named as a dirty rectangle.
    presenter.OverlayPercentageNumber({990, 100, 1024, 120}, 7);
    EXPECT_EQ(posts + 1, host_screen_post_count());
    EXPECT_EQ(0, host_screen_last_post_rects(nullptr, 0));
    EXPECT_EQ(0, Mismatches([](int x, int y) {
                  if (y >= 100 && y < 122 && x >= 1001 && x < 1012 && y - 100 < PngFixtures::GlyphHeight('7')) {
                      return PngFixtures::GlyphPixel('7', x - 1001, y - 100);
                  }
                  if (y >= 100 && y < 122 && x >= 1012) {
                      return PngFixtures::GlyphPixel('%', x - 1012, y - 100);
                  }
                  return Gradient(x, y);
              }));
}

TEST_F(PresenterTest, VersionTextSkipsWhiteGlyphPixelsAndIsNotPosted)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(GradientPage()));
    const std::uint64_t posts = host_screen_post_count();
    presenter.OverlayVersionNumber(VersionBox, "1.24");
    EXPECT_EQ(posts, host_screen_post_count());
    EXPECT_EQ(0, Mismatches(Gradient));

    ASSERT_TRUE(presenter.PostScreen());
    // "1.24." from x = 441: 1 (11), . (5), 2 (11), 4 (12), . (5); rows 106 .. 128.
    const std::string text = "1.24.";
    const auto expected = [&text](int x, int y) {
        int left = 441;
        for (const char c : text) {
            const int w = PngFixtures::GlyphWidth(c);
            if (x >= left && x < left + w && y >= 106 && y < 106 + PngFixtures::GlyphHeight(c)) {
                const std::uint32_t glyph = PngFixtures::GlyphPixel(c, x - left, y - 106);
                return glyph == 0xFFFFFFu ? Gradient(x, y) : glyph;
            }
            left += w;
        }
        return Gradient(x, y);
    };
    EXPECT_EQ(0, Mismatches(expected));
}

TEST_F(PresenterTest, VersionCharacterWithoutAGlyphAdvancesByTheLastWidth)
{
    QnxScreenPresenter presenter(2);
    ASSERT_TRUE(presenter.Present(WhitePage()));
    presenter.OverlayVersionNumber(VersionBox, "4x1");
    presenter.CopyImageDataToBuffer();
    ASSERT_TRUE(presenter.PostScreen());
    // 4 at 441 (12 wide), x skips 12 columns, 1 at 465, period at 476.
    for (int y = 106; y < 128; ++y) {
        for (int x = 441; x < 481; ++x) {
            std::uint32_t expected = 0xFFFFFF;
            if (x < 453) {
                expected = PngFixtures::GlyphPixel('4', x - 441, y - 106);
            } else if (x >= 465 && x < 476) {
                expected = PngFixtures::GlyphPixel('1', x - 465, y - 106);
            } else if (x >= 476) {
                expected = PngFixtures::GlyphPixel('.', x - 476, y - 106);
            }
            ASSERT_EQ(expected, Shown(x, y)) << x << ", " << y;
        }
    }
}

// --- touch waits

class TouchTest : public PresenterTest
{
protected:
    void SetUp() override
    {
        PresenterTest::SetUp();
        ASSERT_TRUE(presenter.Present(WhitePage()));
    }

    // Starts a wait on another thread and returns once it waits for events,
    // so that what the test sends next is not discarded as queued before.
    std::future<ButtonId> StartWait(std::vector<TouchTarget> targets)
    {
        auto wait = std::async(std::launch::async, [this, targets] { return presenter.HandleEvents(targets); });
        EXPECT_EQ(1, host_screen_wait_for_event_waiter(30000));
        return wait;
    }

    QnxScreenPresenter presenter{2};
    const TouchTarget button{ButtonId::ConfirmButton, 854, 520, 1004, 580};
    const TouchTarget everywhere{ButtonId::PromptSecondButton, 0, 0, 1023, 599};
};

TEST_F(TouchTest, WithoutTargetsTouchesAreIgnoredUntilAnExitRequest)
{
    auto wait = StartWait({});
    EXPECT_EQ(0, host_screen_press(929, 550, 0));
    EXPECT_EQ(0, host_screen_press(10, 10, 0));
    EXPECT_EQ(std::future_status::timeout, wait.wait_for(std::chrono::milliseconds(300)));
    presenter.SetExitScreen(true);
    EXPECT_EQ(ButtonId::NoButton, wait.get());
}

TEST_F(TouchTest, TouchOnTheRightAndBottomEdgeIsAHit)
{
    auto wait = StartWait({button, everywhere});
    host_screen_press(1004, 580, 0);
    EXPECT_EQ(ButtonId::ConfirmButton, wait.get());

    auto right = StartWait({button, everywhere});
    host_screen_press(1005, 550, 0);
    EXPECT_EQ(ButtonId::PromptSecondButton, right.get());

    auto below = StartWait({button, everywhere});
    host_screen_press(929, 581, 0);
    EXPECT_EQ(ButtonId::PromptSecondButton, below.get());

    auto corner = StartWait({button, everywhere});
    host_screen_press(854, 520, 0);
    EXPECT_EQ(ButtonId::ConfirmButton, corner.get());
}

TEST_F(TouchTest, OverlappingTargetsResolveToTheEarlierOne)
{
    const TouchTarget first{ButtonId::PromptFirstButton, 100, 100, 300, 300};
    const TouchTarget second{ButtonId::PromptSecondButton, 200, 200, 400, 400};
    auto wait = StartWait({first, second});
    host_screen_press(250, 250, 0);
    EXPECT_EQ(ButtonId::PromptFirstButton, wait.get());

    auto reversed = StartWait({second, first});
    host_screen_press(250, 250, 0);
    EXPECT_EQ(ButtonId::PromptSecondButton, reversed.get());
}

TEST_F(TouchTest, OnlyTheFirstFingerGoingDownCounts)
{
    auto wait = StartWait({button, everywhere});
    host_screen_press(929, 550, 1);                                  // a second finger on the button
    host_screen_inject_touch(SCREEN_EVENT_MTOUCH_MOVE, 929, 550, 0); // moves and releases are no touches
    host_screen_inject_touch(SCREEN_EVENT_MTOUCH_RELEASE, 929, 550, 0);
    host_screen_press(10, 10, 0);
    EXPECT_EQ(ButtonId::PromptSecondButton, wait.get());
}

TEST_F(TouchTest, TouchesQueuedBeforeTheWaitAreDiscarded)
{
    host_screen_press(929, 550, 0);
    auto wait = StartWait({button, everywhere});
    host_screen_press(10, 10, 0);
    EXPECT_EQ(ButtonId::PromptSecondButton, wait.get());
}

TEST_F(TouchTest, ExitRequestBeforeTheWaitReturnsAtOnceAndIsCleared)
{
    presenter.SetExitScreen(true);
    host_screen_press(929, 550, 0);
    const std::uint64_t waits = host_screen_event_waits();
    EXPECT_EQ(ButtonId::NoButton, presenter.HandleEvents({button}));
    EXPECT_EQ(waits, host_screen_event_waits()); // it never waited

    // The flag was cleared and the queued touch discarded: the next wait waits.
    auto wait = StartWait({button});
    host_screen_press(929, 550, 0);
    EXPECT_EQ(ButtonId::ConfirmButton, wait.get());
}

TEST_F(TouchTest, ExitRequestFromAnotherThreadEndsTheWaitWithinAboutASecond)
{
    auto wait = StartWait({button});
    const auto asked = std::chrono::steady_clock::now();
    std::thread([this] { presenter.SetExitScreen(true); }).join();
    EXPECT_EQ(ButtonId::NoButton, wait.get());
    // One wait of at most a second, with room for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));

    auto next = StartWait({button});
    host_screen_press(929, 550, 0);
    EXPECT_EQ(ButtonId::ConfirmButton, next.get());
}

TEST_F(PresenterTest, TouchPositionsAreInWindowCoordinatesOnALargerDisplay)
{
    ASSERT_EQ(0, host_screen_set_display_size(1280, 800));
    {
        QnxScreenPresenter presenter(2);
        ASSERT_TRUE(presenter.Present(WhitePage()));
        auto wait = std::async(std::launch::async, [&presenter] {
            return presenter.HandleEvents({{ButtonId::ConfirmButton, 854, 520, 1004, 580}});
        });
        ASSERT_EQ(1, host_screen_wait_for_event_waiter(30000));
        EXPECT_EQ(-1, host_screen_press(50, 50, 0)); // outside the window: nobody gets it
        host_screen_press(929, 550, 0);              // inside the window, left of the button
        host_screen_press(128 + 929, 100 + 550, 0);
        EXPECT_EQ(ButtonId::ConfirmButton, wait.get());
    }
    ASSERT_EQ(0, host_screen_set_display_size(Width, Height));
}
} // namespace
