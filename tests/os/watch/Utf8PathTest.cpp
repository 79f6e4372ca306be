#include "Utf8Path.h"

#include <gtest/gtest.h>

TEST(Utf8Path, ValidTextRoundTrips)
{
    const std::string utf8 = "/ramdisk/wifi.started \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    const std::wstring wide = Utf8Path::ToWide(utf8);
    EXPECT_EQ(wide, L"/ramdisk/wifi.started \u00e9\u20ac\U0001F600");
    std::string back;
    ASSERT_TRUE(Utf8Path::ToUtf8(wide, back));
    EXPECT_EQ(back, utf8);
}

TEST(Utf8Path, EachInvalidSequenceBecomesOneReplacementCharacter)
{
    EXPECT_EQ(Utf8Path::ToWide("a\xff"
                               "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(Utf8Path::ToWide("a\xc3"), L"a\xFFFD") << "truncated at the end";
    EXPECT_EQ(Utf8Path::ToWide("\xc0\xaf"), L"\xFFFD") << "overlong form";
    EXPECT_EQ(Utf8Path::ToWide("\xed\xa0\x80"), L"\xFFFD") << "surrogate";
    EXPECT_EQ(Utf8Path::ToWide("\xf4\x90\x80\x80"), L"\xFFFD") << "above U+10FFFF";
    EXPECT_EQ(Utf8Path::ToWide("\x80\x80x"), L"\xFFFDx") << "stray continuation bytes";
    EXPECT_EQ(Utf8Path::ToWide("\xe2\x82z"), L"\xFFFDz");
}

TEST(Utf8Path, WideTextWithoutUtf8FormIsRefusedAndLeavesTheOutputAlone)
{
    std::string out = "kept";
    EXPECT_FALSE(Utf8Path::ToUtf8(std::wstring(L"a") + static_cast<wchar_t>(0xD800), out));
    EXPECT_FALSE(Utf8Path::ToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000)), out));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(Utf8Path::ToUtf8(L"", out));
    EXPECT_EQ(out, "");
}
