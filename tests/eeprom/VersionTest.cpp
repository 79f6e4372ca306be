#include "Version.h"

#include <gtest/gtest.h>

namespace {

::testing::AssertionResult Is(const Version& v, unsigned int major, unsigned int minor, unsigned int patch)
{
    if (v.major == major && v.minor == minor && v.patch == patch) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << v.major << "." << v.minor << "." << v.patch;
}

} // namespace

TEST(VersionValidity, AcceptsOneToThreeDigitPieces)
{
    EXPECT_TRUE(Version::IsValidVersionString("7"));
    EXPECT_TRUE(Version::IsValidVersionString("1.2.3"));
    EXPECT_TRUE(Version::IsValidVersionString("1..2"));
    EXPECT_TRUE(Version::IsValidVersionString(".5."));
    EXPECT_FALSE(Version::IsValidVersionString(""));
    EXPECT_FALSE(Version::IsValidVersionString("..."));
    EXPECT_FALSE(Version::IsValidVersionString("1.2.3.4"));
    EXPECT_FALSE(Version::IsValidVersionString("1.2a"));
    EXPECT_FALSE(Version::IsValidVersionString("-1.2"));
    EXPECT_FALSE(Version::IsValidVersionString("1. 2"));
}

TEST(VersionFromText, ReadsMinorAndPatchOnlyAfterASecondDot)
{
    EXPECT_TRUE(Is(Version("7"), 0, 0, 0));
    EXPECT_TRUE(Is(Version("7.2"), 7, 0, 0));
    EXPECT_TRUE(Is(Version("7.2."), 7, 2, 0));
    EXPECT_TRUE(Is(Version("7.2.5"), 7, 2, 5));
    EXPECT_TRUE(Is(Version("3.4.7."), 3, 4, 7));
    EXPECT_TRUE(Is(Version("007.010.4294967295"), 7, 10, 4294967295u));
    EXPECT_TRUE(Is(Version("x.y.z"), 0, 0, 0));
}

TEST(VersionFromText, UnconvertiblePiecesGiveZeroWithoutEndingTheProgram)
{
    EXPECT_TRUE(Is(Version("1..5"), 0, 0, 0));
    EXPECT_TRUE(Is(Version("..5"), 0, 0, 0));
    EXPECT_TRUE(Is(Version(".5.6"), 0, 0, 0));
    EXPECT_TRUE(Is(Version("1.2..3"), 0, 0, 0));
    EXPECT_TRUE(Is(Version("4294967296.1.1"), 0, 0, 0));
    EXPECT_TRUE(Is(Version("1.2.99999999999999999999999"), 0, 0, 0));
}

TEST(VersionComparison, OrdersByMajorThenMinorThenPatch)
{
    EXPECT_GT(Version("1.10.0"), Version("1.9.9"));
    EXPECT_LT(Version(1, 2, 3), Version(1, 2, 4));
    EXPECT_LT(Version(1, 9, 9), Version(2, 0, 0));
    EXPECT_EQ(Version(3, 4, 0), Version("3.4.0"));
    EXPECT_NE(Version(3, 4, 0), Version(3, 4, 1));
    EXPECT_LE(Version(3, 4, 0), Version(3, 4, 0));
    EXPECT_GE(Version(3, 4, 1), Version(3, 4, 0));
    EXPECT_FALSE(Version(3, 4, 1) <= Version(3, 4, 0));
    EXPECT_FALSE(Version(3, 4, 0) > Version(3, 4, 0));
    EXPECT_FALSE(Version(3, 4, 0) < Version(3, 4, 0));
    EXPECT_TRUE(Is(Version(), 0, 0, 0));
}
