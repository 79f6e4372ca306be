#include "StringOperation.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace StringOperation;
using Strings = std::vector<std::string>;

TEST(StringOperationContains, FindsCaseSensitiveSubstringsInBothWidths)
{
    EXPECT_TRUE(Contains(std::wstring(L"/ramdisk/wifi.started"), L"wifi.started"));
    EXPECT_TRUE(Contains(std::wstring(L"wifi.started"), L"wifi.started"));
    EXPECT_TRUE(Contains(std::string("abc"), ""));
    EXPECT_FALSE(Contains(std::string("abc"), "ABC"));
    EXPECT_FALSE(Contains(std::string("ab"), "abc"));
}

TEST(StringOperationSplit, DropsEmptyPiecesFromLeadingTrailingAndDoubledDelimiters)
{
    EXPECT_EQ(SplitString("1..2.", '.'), (Strings{"1", "2"}));
    EXPECT_EQ(SplitString(".a.b.", '.'), (Strings{"a", "b"}));
    EXPECT_EQ(SplitString("abc", '.'), (Strings{"abc"}));
    EXPECT_TRUE(SplitString("", '.').empty());
    EXPECT_TRUE(SplitString("....", '.').empty());
}

TEST(StringOperationSplit, RemovesTheGivenCharacterBeforeSplitting)
{
    EXPECT_EQ(SplitString(" a, b ,c ", ',', ' '), (Strings{"a", "b", "c"}));
    // The removed character may join pieces that a delimiter no longer separates.
    EXPECT_EQ(SplitString("a.-.b", '.', '-'), (Strings{"a", "b"}));
    EXPECT_TRUE(SplitString("---", '.', '-').empty());
}

TEST(StringOperationConversion, RoundTripsUtf8ThroughWideAndUtf16)
{
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // A, e-acute, euro, an emoji
    const std::wstring wide = WStringFromUtf8(text);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(static_cast<unsigned long>(wide[3]), 0x1F600ul);
    EXPECT_EQ(WStringToUtf8(wide), text);
    const std::u16string utf16 = ToUTF16(text);
    EXPECT_EQ(utf16.size(), 5u); // the emoji takes a surrogate pair
    EXPECT_EQ(ToUTF8(utf16), text);
    EXPECT_EQ(WStringFromUtf8(static_cast<const char*>(nullptr)), L"");
}

TEST(StringOperationConversion, MalformedInputThrowsRangeError)
{
    EXPECT_THROW(WStringFromUtf8(std::string("\xC3")), std::range_error);         // truncated
    EXPECT_THROW(WStringFromUtf8(std::string("\xC0\xAF")), std::range_error);     // overlong
    EXPECT_THROW(WStringFromUtf8(std::string("\xED\xA0\x80")), std::range_error); // surrogate
    EXPECT_THROW(WStringToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), std::range_error);
    EXPECT_THROW(ToUTF8(std::u16string(1, u'\xD800')), std::range_error);
}

TEST(StringOperationConversion, WideningKeepsEveryByteAsItsOwnCodePoint)
{
    EXPECT_EQ(WStringFromString("/ramdisk/"), L"/ramdisk/");
    const std::wstring high = WStringFromString("\xE9");
    ASSERT_EQ(high.size(), 1u);
    EXPECT_EQ(static_cast<unsigned long>(high[0]), 0xE9ul);
}

TEST(StringOperationConversion, ByteOrderMarksSelectUtf16ByteOrder)
{
    const unsigned char little[] = {0xFF, 0xFE, 0x41, 0x00, 0xAC, 0x20};
    const unsigned char big[] = {0xFE, 0xFF, 0x00, 0x41, 0x20, 0xAC};
    const unsigned char plain[] = {'h', 'i'};
    EXPECT_EQ(ToUTF8(little, sizeof little), "A\xE2\x82\xAC");
    EXPECT_EQ(ToUTF8(big, sizeof big), "A\xE2\x82\xAC");
    EXPECT_EQ(ToUTF16(big, sizeof big), u"A\u20AC");
    EXPECT_EQ(ToUTF8(plain, sizeof plain), "hi");
    const unsigned char latin[] = {'a', 0xE9}; // not UTF-8, but unmarked bytes pass as they are
    EXPECT_EQ(ToUTF8(latin, sizeof latin), "a\xE9");
    EXPECT_THROW(ToUTF16(latin, sizeof latin), std::range_error);
    EXPECT_THROW(ToUTF8(little, 5), std::range_error); // odd byte count
}

TEST(StringOperationConversion, IdentifiesByteOrderMarks)
{
    const unsigned char little[] = {0xFF, 0xFE, 0x41, 0x00};
    const unsigned char big[] = {0xFE, 0xFF};
    const unsigned char none[] = {0xEF, 0xBB, 0xBF};
    EXPECT_EQ(IdentifyEncodedFormat(little, 4), EncodedFormat::Utf16LittleEndian);
    EXPECT_EQ(IdentifyEncodedFormat(big, 2), EncodedFormat::Utf16BigEndian);
    EXPECT_EQ(IdentifyEncodedFormat(none, 3), EncodedFormat::NoByteOrderMark);
    EXPECT_EQ(IdentifyEncodedFormat(little, 1), EncodedFormat::Undetermined);
    EXPECT_EQ(IdentifyEncodedFormat(nullptr, 4), EncodedFormat::Undetermined);
}

TEST(StringOperationCase, MapsAsciiOnlyAndComparesCaseBlind)
{
    std::string s = "Ab1\xC9z";
    ToUpper(s);
    EXPECT_EQ(s, "AB1\xC9Z");
    EXPECT_EQ(ToLower(std::string_view("MiXeD")), "mixed");
    std::wstring w = L"WiDe";
    ToLower(w);
    EXPECT_EQ(w, L"wide");
    EXPECT_EQ(ToUpper('q'), 'Q');
    EXPECT_TRUE(IsEqualIgnoreCase("Store", "sTORE"));
    EXPECT_FALSE(IsEqualIgnoreCase("Store", "Stores"));
    EXPECT_TRUE(IsEqualIgnoreCase(std::wstring_view(L"AbC"), std::wstring_view(L"aBc")));
}

TEST(StringOperationClasses, AcceptOnlyAsciiDigitsAndLetters)
{
    EXPECT_FALSE(IsNumber(std::string()));
    EXPECT_FALSE(IsNumber(std::string("-1")));
    EXPECT_FALSE(IsNumber(std::string("1 ")));
    EXPECT_TRUE(IsNumber(std::string("007")));
    EXPECT_TRUE(IsNumber(std::wstring(L"42")));
    EXPECT_TRUE(IsUpper('Q'));
    EXPECT_FALSE(IsUpper(static_cast<char>(0xC9)));
    EXPECT_TRUE(IsAlnum(L'z'));
    EXPECT_FALSE(IsPrint('\x7F'));
}

TEST(StringOperationEndsWith, MatchesSuffixesAndTheEmptySuffix)
{
    EXPECT_TRUE(EndsWith("coordinates.json", ".json"));
    EXPECT_TRUE(EndsWith("x", ""));
    EXPECT_FALSE(EndsWith("json", "a.json"));
    EXPECT_TRUE(EndsWith(std::wstring_view(L"a.png"), std::wstring_view(L".png")));
}

TEST(StringOperationTrim, TrimsTheChosenSidesAndEmptiesBlankStrings)
{
    std::string s = " \t x y \n";
    Trim(s, WhiteSpace, TrimDirection::Left);
    EXPECT_EQ(s, "x y \n");
    Trim(s, WhiteSpace, TrimDirection::Right);
    EXPECT_EQ(s, "x y");
    std::string blanks = " \t\r\n\f\v";
    Trim(blanks);
    EXPECT_TRUE(blanks.empty());
    std::wstring w = L"--a--";
    Trim(w, L"-", TrimDirection::Both);
    EXPECT_EQ(w, L"a");
    std::string set = "xxaxx";
    LeftTrim(set, "x");
    EXPECT_EQ(set, "axx");
}

TEST(StringOperationReplace, ReplacesEveryOccurrenceWithoutRescanning)
{
    std::string s = "aaa";
    Replace(s, "a", "aa");
    EXPECT_EQ(s, "aaaaaa");
    const std::string original = "{}/{}";
    EXPECT_EQ(Replace(original, "{}", "english"), "english/english");
    EXPECT_EQ(original, "{}/{}");
    std::string unchanged = "abc";
    Replace(unchanged, "", "x"); // nothing to find: must not loop
    EXPECT_EQ(unchanged, "abc");
}

TEST(StringOperationJoin, PutsTheSeparatorBetweenParts)
{
    EXPECT_EQ(Join({"a", "b", "c"}, ", "), "a, b, c");
    EXPECT_EQ(Join({}, ","), "");
    EXPECT_EQ(Join(std::vector<std::wstring>{L"x"}, L"-"), L"x");
}

TEST(StringOperationDoubleToString, WritesWholeValuesWithoutDecimals)
{
    EXPECT_EQ(DoubleToString(2.0, 3), "2");
    EXPECT_EQ(DoubleToString(2.5, 3), "2.500");
    EXPECT_EQ(DoubleToString(-0.25, 1), "-0.2");
    EXPECT_EQ(DoubleToString(1e6, 2), "1000000");
}

TEST(StringOperationStringToValue, AcceptsOnlyWholeTrimmedNumbers)
{
    long value = -7;
    EXPECT_TRUE(StringToValue(" 42 ", value, 10));
    EXPECT_EQ(value, 42);
    value = -7;
    EXPECT_FALSE(StringToValue("42a", value, 10));
    EXPECT_EQ(value, -7);
    EXPECT_TRUE(StringToValue("", value, 10));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(StringToValue("ff", value, 16));
    EXPECT_EQ(value, 255);
    EXPECT_TRUE(StringToValue("-12", value, 10));
    EXPECT_EQ(value, -12);
}

TEST(StringOperationStringToValue, RefusesOverflowAndEmbeddedZero)
{
    long value = 5;
    EXPECT_FALSE(StringToValue("99999999999999999999999", value, 10));
    EXPECT_FALSE(StringToValue(std::to_string(LONG_MAX), value, 10));
    EXPECT_FALSE(StringToValue(std::string("1\0"
                                           "2",
                                           3),
                               value, 10));
    EXPECT_EQ(value, 5);
}

TEST(StringOperationParseDateTime, ReadsTheDocumentedLayout)
{
    std::tm out{};
    ASSERT_TRUE(ParseDateTime("2024-02-29 23:59:60", out, 1970, 2100));
    EXPECT_EQ(out.tm_year, 124);
    EXPECT_EQ(out.tm_mon, 1);
    EXPECT_EQ(out.tm_mday, 29);
    EXPECT_EQ(out.tm_hour, 23);
    EXPECT_EQ(out.tm_sec, 60);
    EXPECT_EQ(out.tm_yday, 59);
    EXPECT_EQ(out.tm_wday, 4); // a Thursday
    ASSERT_TRUE(ParseDateTime("2000-01-01", out, 1970, 2100));
    EXPECT_EQ(out.tm_wday, 6); // a Saturday
    EXPECT_EQ(out.tm_hour, 0);
    ASSERT_TRUE(ParseDateTime("1999-12-31T08:30:00", out, 1970, 2100));
    EXPECT_EQ(out.tm_wday, 5);
}

TEST(StringOperationParseDateTime, RefusesImpossibleOrMisshapenDatesAndLeavesTheOutputAlone)
{
    std::tm out{};
    out.tm_year = 77;
    for (const char* bad :
         {"2023-02-29", "2024-13-01", "2024-00-10", "2024-04-31", "2024-01-01 24:00:00", "2024-01-01 12:60:00",
          "24-01-01", "2024-1-01", "2024-01-01 12:00", "2024/01/01", "2024-01-01 12:00:00Z", "", "1969-12-31"}) {
        EXPECT_FALSE(ParseDateTime(bad, out, 1970, 2100)) << bad;
    }
    EXPECT_FALSE(ParseDateTime("2101-01-01", out, 1970, 2100));
    EXPECT_EQ(out.tm_year, 77);
}
