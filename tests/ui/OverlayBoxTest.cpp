#include "OverlayBox.h"

#include <gtest/gtest.h>

namespace {
constexpr std::uint32_t Width = 1024;
constexpr std::uint32_t Height = 600;
const OverlayBox::Reading AsIs{};
const OverlayBox::Reading Bar{1, 1, 0};
const OverlayBox::Reading Percentage{0, 0, 2};

::testing::AssertionResult Gives(const std::optional<OverlayBox>& got, OverlayBox want)
{
    if (!got) {
        return ::testing::AssertionFailure() << "no box";
    }
    if (got->left != want.left || got->top != want.top || got->right != want.right || got->bottom != want.bottom) {
        return ::testing::AssertionFailure()
               << got->left << ", " << got->top << ", " << got->right << ", " << got->bottom;
    }
    return ::testing::AssertionSuccess();
}

TEST(OverlayBox, ReadingMovesTheEdgesBeforeTheWindowIsAsked)
{
    EXPECT_TRUE(Gives(OverlayBox::FromLayout({182, 238, 842, 263, 7}, AsIs, Width, Height), {182, 238, 842, 263}));
    EXPECT_TRUE(Gives(OverlayBox::FromLayout({182, 238, 842, 263}, Bar, Width, Height), {183, 239, 842, 263}));
    EXPECT_FALSE(OverlayBox::FromLayout({182, 238, 183, 263}, Bar, Width, Height)); // only its border column
    EXPECT_TRUE(Gives(OverlayBox::FromLayout({0, 0, 1024, 598}, Percentage, Width, Height), {0, 0, 1024, 600}));
    EXPECT_FALSE(OverlayBox::FromLayout({0, 0, 1024, 599}, Percentage, Width, Height));
}

TEST(OverlayBox, ShortEmptyOutsideOrWrappingBoxesAreRefused)
{
    EXPECT_FALSE(OverlayBox::FromLayout({182, 238, 842}, AsIs, Width, Height));
    EXPECT_FALSE(OverlayBox::FromLayout({182, 263, 842, 263}, AsIs, Width, Height));
    EXPECT_FALSE(OverlayBox::FromLayout({842, 238, 182, 263}, AsIs, Width, Height));
    EXPECT_FALSE(OverlayBox::FromLayout({182, 238, 1025, 263}, AsIs, Width, Height));
    EXPECT_FALSE(OverlayBox::FromLayout({182, 238, 842, 601}, AsIs, Width, Height));
    EXPECT_FALSE(OverlayBox::FromLayout({0, 4294967295u, 842, 263}, Bar, Width, Height));
    EXPECT_FALSE(OverlayBox::FromLayout({0, 0, 842, 4294967295u}, Percentage, Width, Height));
}
} // namespace
