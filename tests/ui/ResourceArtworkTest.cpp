#include "DecodedPng.h"
#include "EmbeddedResourceTable.h"
#include "ResourceFiles.h"

#include <png.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The compiled-in pictures as the presenter receives them: decoded from the
// program's own bytes, checked for the format it expects and for what the
// user must see.
namespace {
const DecodedPng::Rgb White{0xFF, 0xFF, 0xFF};
const DecodedPng::Rgb Grey{0x66, 0x66, 0x66};
const DecodedPng::Rgb ButtonBlue{0x04, 0x3F, 0x8D};

// The button box, bounds inclusive.
constexpr std::uint32_t ButtonLeft = 854, ButtonTop = 520, ButtonRight = 1004, ButtonBottom = 580;
// Rounded corners stay within this distance of the box's corners; the
// lettering stays this far inside the box.
constexpr std::uint32_t CornerReach = 10, LetteringMargin = 6;

const QnxEmbeddedFiles::BinaryResource* Find(const std::string& relativePath)
{
    static const std::map<std::string, const QnxEmbeddedFiles::BinaryResource*> byKey = [] {
        std::map<std::string, const QnxEmbeddedFiles::BinaryResource*> map;
        const auto* rows = EmbeddedResourceTable::Rows();
        for (int i = 0; i < EmbeddedResourceTable::RowCount; ++i) {
            map[rows[i].key] = &rows[i].resource;
        }
        return map;
    }();
    const auto found = byKey.find("/Upgrade/qnxupgrade/" + relativePath);
    return found == byKey.end() ? nullptr : found->second;
}

::testing::AssertionResult Decode(const std::string& relativePath, DecodedPng& image, bool headerOnly = false)
{
    const auto* resource = Find(relativePath);
    if (resource == nullptr) {
        return ::testing::AssertionFailure() << relativePath << " is not compiled in";
    }
    if (!DecodePng(resource->data, static_cast<std::size_t>(resource->size), image, headerOnly)) {
        return ::testing::AssertionFailure() << relativePath << " does not decode";
    }
    return ::testing::AssertionSuccess();
}

std::string Describe(const DecodedPng::Rgb& c)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
    return text;
}

// Counts pixels of a rectangle (inclusive) that are not the expected
// colour, stopping at limit.
int CountOther(const DecodedPng& image, std::uint32_t left, std::uint32_t top, std::uint32_t right,
               std::uint32_t bottom, const DecodedPng::Rgb& expected, std::string& first, int limit = 1000000)
{
    int count = 0;
    for (std::uint32_t y = top; y <= bottom && count < limit; ++y) {
        for (std::uint32_t x = left; x <= right && count < limit; ++x) {
            if (!(image.At(x, y) == expected)) {
                if (count++ == 0) {
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " + Describe(image.At(x, y));
                }
            }
        }
    }
    return count;
}

const std::vector<std::string>& Languages()
{
    return ResourceFiles::Languages();
}

// The three pages of one language, decoded from the compiled-in bytes.
::testing::AssertionResult DecodePages(const std::string& language, std::map<std::string, DecodedPng>& pages,
                                       std::initializer_list<const char*> which = {"15", "16", "17"})
{
    for (const char* page : which) {
        auto result = Decode(language + "/" + page + ".png", pages[page]);
        if (!result) {
            return result;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(UpgradePages, AreFullWindowIndexedColourPicturesWithoutInterlace)
{
    for (const auto& language : Languages()) {
        for (const char* page : {"15", "16", "17"}) {
            SCOPED_TRACE(language + "/" + page);
            DecodedPng image;
            ASSERT_TRUE(Decode(language + "/" + page + ".png", image, true));
            EXPECT_EQ(image.width, 1024U);
            EXPECT_EQ(image.height, 600U);
            EXPECT_EQ(image.colorType, PNG_COLOR_TYPE_PALETTE);
            EXPECT_EQ(image.bitDepth, 8);
            EXPECT_EQ(image.interlace, PNG_INTERLACE_NONE);
            EXPECT_FALSE(image.hasTransparency);
        }
    }
}

TEST(UpgradePages, AreWhiteWithAGreyRuleAcrossUnderTheTitle)
{
    for (const auto& language : Languages()) {
        std::map<std::string, DecodedPng> pages;
        ASSERT_TRUE(DecodePages(language, pages));
        for (const auto& [page, image] : pages) {
            SCOPED_TRACE(language + "/" + page);
            EXPECT_EQ(image.At(0, 0), White);
            EXPECT_EQ(image.At(1023, 0), White);
            EXPECT_EQ(image.At(0, 599), White);
            EXPECT_EQ(image.At(600, 599), White);
            int ruleRow = -1;
            for (std::uint32_t y = 60; y < 120 && ruleRow < 0; ++y) {
                std::string first;
                if (CountOther(image, 20, y, 1003, y, Grey, first, 1) == 0) {
                    ruleRow = static_cast<int>(y);
                }
            }
            EXPECT_GE(ruleRow, 0) << "no #666666 rule across the page";
            std::string first;
            EXPECT_GT(CountOther(image, 20, 100, 1003, 300, White, first, 201), 200) << "no explanatory text";
            EXPECT_GT(CountOther(image, 80, 10, 1003, 80, White, first, 201), 200) << "no title";
        }
    }
}

TEST(UpgradePages, TitleIsLedByTheTrophyOrTheExclamationMark)
{
    for (const auto& language : Languages()) {
        std::map<std::string, DecodedPng> pages;
        ASSERT_TRUE(DecodePages(language, pages));
        for (const auto& [page, image] : pages) {
            SCOPED_TRACE(language + "/" + page);
            int green = 0;
            int red = 0;
            for (std::uint32_t y = 10; y < 80; ++y) {
                for (std::uint32_t x = 10; x < 74; ++x) {
                    const auto c = image.At(x, y);
                    green += (c.g > c.r + 60 && c.g > c.b + 60) ? 1 : 0;
                    red += (c.r > c.g + 100 && c.r > c.b + 100) ? 1 : 0;
                }
            }
            if (page == "15") {
                EXPECT_GT(green, 300);
                EXPECT_EQ(red, 0);
            } else {
                EXPECT_GT(red, 300);
                EXPECT_EQ(green, 0);
            }
        }
    }
}

TEST(UpgradePages, ResultPagesFillTheButtonBoxWithTheButtonColour)
{
    for (const auto& language : Languages()) {
        std::map<std::string, DecodedPng> pages;
        ASSERT_TRUE(DecodePages(language, pages, {"15", "17"}));
        for (const char* page : {"15", "17"}) {
            SCOPED_TRACE(language + "/" + page);
            const auto& image = pages[page];
            std::string first;
            // The straight edges, away from the rounded corners: exactly the box.
            EXPECT_EQ(CountOther(image, ButtonLeft + CornerReach, ButtonTop, ButtonRight - CornerReach,
                                 ButtonTop + LetteringMargin - 1, ButtonBlue, first),
                      0)
                << first;
            EXPECT_EQ(CountOther(image, ButtonLeft + CornerReach, ButtonBottom - LetteringMargin + 1,
                                 ButtonRight - CornerReach, ButtonBottom, ButtonBlue, first),
                      0)
                << first;
            EXPECT_EQ(CountOther(image, ButtonLeft, ButtonTop + CornerReach, ButtonLeft + LetteringMargin - 1,
                                 ButtonBottom - CornerReach, ButtonBlue, first),
                      0)
                << first;
            EXPECT_EQ(CountOther(image, ButtonRight - LetteringMargin + 1, ButtonTop + CornerReach, ButtonRight,
                                 ButtonBottom - CornerReach, ButtonBlue, first),
                      0)
                << first;
            // Just outside: the white page.
            EXPECT_EQ(CountOther(image, ButtonLeft, ButtonTop - 1, ButtonRight, ButtonTop - 1, White, first), 0)
                << first;
            EXPECT_EQ(CountOther(image, ButtonLeft, ButtonBottom + 1, ButtonRight, ButtonBottom + 1, White, first), 0)
                << first;
            EXPECT_EQ(CountOther(image, ButtonLeft - 1, ButtonTop, ButtonLeft - 1, ButtonBottom, White, first), 0)
                << first;
            EXPECT_EQ(CountOther(image, ButtonRight + 1, ButtonTop, ButtonRight + 1, ButtonBottom, White, first), 0)
                << first;
            // White lettering inside.
            EXPECT_GT(CountOther(image, ButtonLeft + LetteringMargin, ButtonTop + LetteringMargin,
                                 ButtonRight - LetteringMargin, ButtonBottom - LetteringMargin, ButtonBlue, first),
                      20)
                << "the button has no label";
        }
    }
}

TEST(UpgradePages, InProgressPageHasNoButton)
{
    for (const auto& language : Languages()) {
        std::map<std::string, DecodedPng> pages;
        ASSERT_TRUE(DecodePages(language, pages, {"16"}));
        SCOPED_TRACE(language);
        const auto& image = pages["16"];
        int blue = 0;
        for (std::uint32_t y = ButtonTop; y <= ButtonBottom; ++y) {
            for (std::uint32_t x = ButtonLeft; x <= ButtonRight; ++x) {
                blue += image.At(x, y) == ButtonBlue ? 1 : 0;
            }
        }
        EXPECT_EQ(blue, 0);
    }
}

struct GlyphSize
{
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
};

const GlyphSize kGlyphs[] = {{"0", 11, 23}, {"1", 11, 22}, {"2", 11, 22},       {"3", 11, 23},
                             {"4", 12, 22}, {"5", 11, 23}, {"6", 11, 23},       {"7", 11, 22},
                             {"8", 11, 23}, {"9", 11, 23}, {"percent", 17, 23}, {"period", 5, 23}};

TEST(Glyphs, AreRgbPicturesOfTheirSizesWithoutInterlace)
{
    for (const auto& glyph : kGlyphs) {
        SCOPED_TRACE(glyph.name);
        DecodedPng image;
        ASSERT_TRUE(Decode(std::string("numbers/") + glyph.name + ".png", image));
        EXPECT_EQ(image.width, glyph.width);
        EXPECT_EQ(image.height, glyph.height);
        EXPECT_EQ(image.colorType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(image.bitDepth, 8);
        EXPECT_EQ(image.interlace, PNG_INTERLACE_NONE);
        EXPECT_FALSE(image.hasTransparency);
    }
}

TEST(Glyphs, AreGreyOnWhiteAndSitOnTheCommonBaseline)
{
    for (const auto& glyph : kGlyphs) {
        SCOPED_TRACE(glyph.name);
        DecodedPng image;
        ASSERT_TRUE(Decode(std::string("numbers/") + glyph.name + ".png", image));
        int ink = 0;
        std::uint32_t lowestDarkRow = 0;
        for (std::uint32_t y = 0; y < image.height; ++y) {
            for (std::uint32_t x = 0; x < image.width; ++x) {
                const auto c = image.At(x, y);
                // Anti-aliased #666666 on white: a grey between the two.
                ASSERT_TRUE(c.r == c.g && c.g == c.b && c.r >= 0x66) << "(" << x << ", " << y << ") " << Describe(c);
                if (c.r < 0xB0) {
                    ++ink;
                    lowestDarkRow = y;
                }
            }
        }
        EXPECT_GT(ink, 3);
        // Every glyph's dark ink ends on row 21, the baseline; round shapes
        // only shade the row below it.
        EXPECT_EQ(lowestDarkRow, 21U);
        // The top rows stay white.
        std::string first;
        EXPECT_EQ(CountOther(image, 0, 0, image.width - 1, 3, White, first), 0) << first;
    }
}
} // namespace
