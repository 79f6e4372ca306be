#include "EmbeddedResourceTable.h"
#include "ResourceFiles.h"

#include <rapidjson/document.h>

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

// The compiled-in layout files, checked against the layout the page manager
// reads: structure, formatting, size and the boxes of every language.
namespace {
struct Corners
{
    const char* language;
    std::array<std::pair<unsigned, unsigned>, 7> version; // boxes 0, 1, 4, 11, 12, 13, 14
    unsigned percentageLeft;
};

const Corners kCorners[] = {
    {"bahasaindonesian", {{{545, 106}, {20, 156}, {428, 131}, {530, 131}, {20, 156}, {20, 156}, {428, 131}}}, 381},
    {"bahasamalay", {{{539, 106}, {627, 131}, {519, 131}, {578, 131}, {20, 156}, {627, 131}, {519, 131}}}, 387},
    {"bulgarian", {{{596, 106}, {20, 156}, {508, 131}, {508, 131}, {20, 156}, {20, 156}, {508, 131}}}, 476},
    {"chinese(simplified)", {{{324, 109}, {168, 134}, {68, 134}, {128, 134}, {268, 134}, {168, 134}, {68, 134}}}, 282},
    {"chinese(traditional)", {{{344, 109}, {20, 134}, {20, 134}, {20, 134}, {108, 134}, {20, 134}, {20, 134}}}, 282},
    {"croatian", {{{665, 106}, {20, 156}, {20, 156}, {20, 156}, {188, 156}, {20, 156}, {20, 156}}}, 375},
    {"czech", {{{593, 106}, {452, 131}, {271, 131}, {452, 131}, {585, 131}, {452, 131}, {271, 131}}}, 362},
    {"danish", {{{481, 106}, {550, 131}, {177, 131}, {313, 131}, {578, 131}, {550, 131}, {177, 131}}}, 401},
    {"dutch", {{{549, 106}, {655, 131}, {200, 131}, {497, 131}, {655, 131}, {655, 131}, {200, 131}}}, 393},
    {"english", {{{441, 106}, {371, 131}, {67, 131}, {371, 131}, {403, 131}, {371, 131}, {67, 131}}}, 343},
    {"estonian", {{{529, 106}, {451, 131}, {276, 131}, {474, 131}, {522, 131}, {451, 131}, {276, 131}}}, 391},
    {"finnish", {{{485, 106}, {613, 131}, {336, 131}, {359, 131}, {20, 156}, {613, 131}, {336, 131}}}, 410},
    {"french", {{{609, 106}, {20, 156}, {596, 131}, {20, 156}, {20, 156}, {20, 156}, {596, 131}}}, 485},
    {"german", {{{511, 106}, {78, 156}, {20, 156}, {20, 156}, {417, 156}, {78, 156}, {20, 156}}}, 357},
    {"hungarian", {{{450, 106}, {20, 156}, {289, 131}, {638, 131}, {20, 156}, {20, 156}, {289, 131}}}, 398},
    {"italian", {{{602, 106}, {20, 156}, {20, 156}, {20, 156}, {144, 156}, {20, 156}, {20, 156}}}, 463},
    {"japanese", {{{20, 134}, {164, 159}, {20, 159}, {44, 159}, {244, 159}, {164, 159}, {20, 159}}}, 342},
    {"korean", {{{402, 109}, {240, 134}, {106, 134}, {164, 134}, {359, 134}, {240, 134}, {106, 134}}}, 318},
    {"norwegian", {{{584, 106}, {610, 131}, {265, 131}, {356, 131}, {685, 131}, {610, 131}, {265, 131}}}, 420},
    {"polish", {{{598, 106}, {476, 131}, {285, 131}, {476, 131}, {680, 131}, {476, 131}, {285, 131}}}, 358},
    {"portuguese", {{{566, 106}, {20, 156}, {685, 131}, {20, 156}, {164, 156}, {20, 156}, {685, 131}}}, 419},
    {"romanian", {{{678, 106}, {20, 156}, {491, 131}, {674, 131}, {20, 156}, {20, 156}, {491, 131}}}, 365},
    {"russian", {{{608, 106}, {20, 156}, {673, 131}, {155, 156}, {243, 156}, {20, 156}, {673, 131}}}, 479},
    {"slovakian", {{{570, 106}, {496, 131}, {204, 131}, {347, 131}, {496, 131}, {496, 131}, {204, 131}}}, 371},
    {"slovenian", {{{638, 106}, {467, 131}, {307, 131}, {476, 131}, {580, 131}, {467, 131}, {307, 131}}}, 378},
    {"spanish", {{{700, 106}, {20, 156}, {20, 156}, {20, 156}, {206, 156}, {20, 156}, {20, 156}}}, 446},
    {"swedish", {{{581, 106}, {20, 156}, {414, 131}, {490, 131}, {20, 156}, {20, 156}, {414, 131}}}, 382},
    {"thai", {{{339, 109}, {48, 134}, {20, 134}, {186, 134}, {270, 134}, {48, 134}, {20, 134}}}, 402},
    {"turkish", {{{529, 106}, {620, 131}, {444, 131}, {620, 131}, {20, 156}, {620, 131}, {444, 131}}}, 410},
    {"vietnamese", {{{608, 106}, {508, 131}, {242, 131}, {379, 131}, {470, 131}, {508, 131}, {242, 131}}}, 343},
};

// The english layout file as the page manager's documentation gives it.
const char kEnglish[] =
    "{\"buttons\": {\"button_one_bbox\": [854, 520, 1004, 580], \"button_two_bbox\": [696, 520, 846, 580], "
    "\"single_button_bbox\": [854, 520, 1004, 580]}, \"version\": {\"0_version_bbox\": [441, 106, 741, 129], "
    "\"1_version_bbox\": [371, 131, 671, 154], \"4_version_bbox\": [67, 131, 367, 154], \"11_version_bbox\": "
    "[371, 131, 671, 154], \"12_version_bbox\": [403, 131, 703, 154], \"13_version_bbox\": [371, 131, 671, 154], "
    "\"14_version_bbox\": [67, 131, 367, 154]}, \"loadingBar\": {\"5_loading_bar_bbox\": [183, 415, 841, 438], "
    "\"6_loading_bar_bbox\": [182, 238, 842, 263]}, \"percentage\": {\"6_percentage_bbox\": [343, 198, 1004, 218]}}";

std::string Layout(const std::string& language)
{
    const std::string key = "/Upgrade/qnxupgrade/" + language + "/coordinates.json";
    const auto* rows = EmbeddedResourceTable::Rows();
    for (int i = 0; i < EmbeddedResourceTable::RowCount; ++i) {
        if (rows[i].key == key) {
            const auto* data = reinterpret_cast<const char*>(rows[i].resource.data);
            return std::string(data, data + rows[i].resource.size);
        }
    }
    return {};
}

// Writes a parsed layout back in the compiled-in format: one line, ", " and
// ": " as separators. A file equal to its rewrite has exactly that format.
std::string Rewrite(const rapidjson::Value& root)
{
    std::string text = "{";
    bool firstGroup = true;
    for (const auto& group : root.GetObject()) {
        text += firstGroup ? "\"" : ", \"";
        firstGroup = false;
        text += group.name.GetString();
        text += "\": {";
        bool firstBox = true;
        for (const auto& box : group.value.GetObject()) {
            text += firstBox ? "\"" : ", \"";
            firstBox = false;
            text += box.name.GetString();
            text += "\": [";
            for (rapidjson::SizeType i = 0; i < box.value.Size(); ++i) {
                text += (i ? ", " : "") + std::to_string(box.value[i].GetUint());
            }
            text += "]";
        }
        text += "}";
    }
    return text + "}";
}

std::vector<std::string> Names(const rapidjson::Value& object)
{
    std::vector<std::string> names;
    for (const auto& member : object.GetObject()) {
        names.emplace_back(member.name.GetString());
    }
    return names;
}

std::vector<unsigned> Box(const rapidjson::Value& box)
{
    std::vector<unsigned> values;
    for (const auto& v : box.GetArray()) {
        values.push_back(v.GetUint());
    }
    return values;
}

// The compiled-in layout file of one language, parsed.
::testing::AssertionResult Parse(const Corners& corners, std::string& text, rapidjson::Document& document)
{
    text = Layout(corners.language);
    if (text.empty()) {
        return ::testing::AssertionFailure() << corners.language << " has no compiled-in layout file";
    }
    document.Parse(text.data(), text.size());
    if (document.HasParseError() || !document.IsObject()) {
        return ::testing::AssertionFailure() << corners.language << " is not a JSON object";
    }
    return ::testing::AssertionSuccess();
}

TEST(LayoutFiles, AreOneLineOfSixHundredOrSoBytesWithTheCompiledInSeparators)
{
    for (const auto& corners : kCorners) {
        SCOPED_TRACE(corners.language);
        std::string text;
        rapidjson::Document document;
        ASSERT_TRUE(Parse(corners, text, document));
        EXPECT_GE(text.size(), 597U);
        EXPECT_LE(text.size(), 602U);
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(text.find('\0'), std::string::npos) << "no terminating zero";
        EXPECT_EQ(text.back(), '}');
        EXPECT_EQ(Rewrite(document), text);
    }
}

TEST(LayoutFiles, HaveTheGroupsAndBoxesOfTheEnglishFileInItsOrder)
{
    for (const auto& corners : kCorners) {
        SCOPED_TRACE(corners.language);
        std::string text;
        rapidjson::Document document;
        ASSERT_TRUE(Parse(corners, text, document));
        rapidjson::Document english;
        english.Parse(kEnglish);
        ASSERT_FALSE(english.HasParseError());
        ASSERT_EQ(Names(document), Names(english));
        for (const auto& group : english.GetObject()) {
            ASSERT_TRUE(document[group.name].IsObject());
            EXPECT_EQ(Names(document[group.name]), Names(group.value)) << group.name.GetString();
            for (const auto& box : document[group.name].GetObject()) {
                ASSERT_TRUE(box.value.IsArray());
                ASSERT_EQ(box.value.Size(), 4U) << box.name.GetString();
                for (const auto& v : box.value.GetArray()) {
                    ASSERT_TRUE(v.IsUint()) << box.name.GetString();
                }
                const auto b = Box(box.value);
                EXPECT_LT(b[0], b[2]) << box.name.GetString();
                EXPECT_LT(b[1], b[3]) << box.name.GetString();
                EXPECT_LE(b[2], 1023U) << box.name.GetString();
                EXPECT_LE(b[3], 599U) << box.name.GetString();
            }
        }
        // Buttons and loading bars are the same in every language.
        EXPECT_EQ(Rewrite(document).substr(0, Rewrite(document).find("\"version\"")),
                  std::string(kEnglish).substr(0, std::string(kEnglish).find("\"version\"")));
        for (const char* bar : {"5_loading_bar_bbox", "6_loading_bar_bbox"}) {
            EXPECT_EQ(Box(document["loadingBar"][bar]), Box(english["loadingBar"][bar])) << bar;
        }
    }
}

TEST(LayoutFiles, VersionAndPercentageBoxesSitAtTheLanguagesCorners)
{
    for (const auto& corners : kCorners) {
        SCOPED_TRACE(corners.language);
        std::string text;
        rapidjson::Document document;
        ASSERT_TRUE(Parse(corners, text, document));
        const char* names[] = {"0_version_bbox",  "1_version_bbox",  "4_version_bbox", "11_version_bbox",
                               "12_version_bbox", "13_version_bbox", "14_version_bbox"};
        const unsigned height = ResourceFiles::IsTallScript(corners.language) ? 22U : 23U;
        for (std::size_t i = 0; i < 7; ++i) {
            const auto [left, top] = corners.version[i];
            EXPECT_EQ(Box(document["version"][names[i]]), (std::vector<unsigned>{left, top, left + 300, top + height}))
                << names[i];
        }
        EXPECT_EQ(Box(document["percentage"]["6_percentage_bbox"]),
                  (std::vector<unsigned>{corners.percentageLeft, 198, 1004, 218}));
    }
}

TEST(LayoutFiles, EnglishFileIsExactlyTheDocumentedText)
{
    EXPECT_EQ(Layout("english"), std::string(kEnglish));
}

TEST(LayoutFiles, EveryLanguageFolderHasOne)
{
    ASSERT_EQ(sizeof kCorners / sizeof kCorners[0], ResourceFiles::Languages().size());
    for (std::size_t i = 0; i < ResourceFiles::Languages().size(); ++i) {
        EXPECT_EQ(kCorners[i].language, ResourceFiles::Languages()[i]);
    }
}
} // namespace
