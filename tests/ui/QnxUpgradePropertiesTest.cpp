// The display language from the preference file, and page paths formed with it.
#include "QnxUpgradeProperties.h"

#include "FramedRecord.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {
// The language property's identifier, written out: a slip in the product's
// constant must not pass unseen.
const std::string Language = "9F8EE615-2887-4AF9-8A06-37902964D991";

std::string Entry(const std::string& name, const std::string& valueJson)
{
    return "{\"Name\": \"" + name + "\", \"Value\": " + valueJson + "}";
}

std::string Preferences(const std::vector<std::string>& entries)
{
    std::string list;
    for (const std::string& entry : entries) {
        list += (list.empty() ? "" : ", ") + entry;
    }
    return FramedRecord("{\"Version\": 3, \"Properties\": [" + list + "]}");
}

class PreferenceFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/preferences-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        folder_ = pattern;
    }
    void TearDown() override
    {
        std::remove(File().c_str());
        std::remove((folder_ + "/meminfo").c_str());
        std::remove(folder_.c_str());
        unsetenv("UPGRADE_HOST_MEMINFO");
    }

    std::string File() const { return folder_ + "/AppPreferences.json"; }

    // The folder that a preference file of these bytes gives.
    std::string LanguageOf(const std::string& bytes) const
    {
        std::ofstream(File(), std::ios::binary | std::ios::trunc) << bytes;
        QnxUpgradeProperties properties;
        properties.Load(File());
        return properties.GetLanguage();
    }

    // Free memory as the system manager reports it, so that the record
    // importer accepts texts of at most a quarter of it.
    void PoseWithFreeMemory(unsigned kib) const
    {
        std::ofstream(folder_ + "/meminfo") << "MemTotal: 8192 kB\nMemAvailable: " << kib << " kB\n";
        setenv("UPGRADE_HOST_MEMINFO", (folder_ + "/meminfo").c_str(), 1);
    }

    std::string folder_;
};

TEST_F(PreferenceFileTest, WithoutPreferenceFileTheLanguageIsEnglishAndPathsNameItsFolder)
{
    QnxUpgradeProperties properties;
    EXPECT_EQ("/Upgrade/qnxupgrade//16.png", properties.FormatWithLanguage("/Upgrade/qnxupgrade/{}/16.png"));
    properties.Load(File());
    EXPECT_EQ("english", properties.GetLanguage());
    EXPECT_EQ("/Upgrade/qnxupgrade/english/16.png", properties.FormatWithLanguage("/Upgrade/qnxupgrade/{}/16.png"));
    EXPECT_EQ("english/{}", properties.FormatWithLanguage("{}/{}"));
    EXPECT_EQ("/Upgrade/qnxupgrade/coordinates.json",
              properties.FormatWithLanguage("/Upgrade/qnxupgrade/coordinates.json"));
    EXPECT_EQ("{", properties.FormatWithLanguage("{"));
}

TEST_F(PreferenceFileTest, LanguageEntryNamesTheFolderDirectlyOrThroughTheShortForms)
{
    const std::vector<std::pair<std::string, std::string>> cases = {{"tradchinese", "chinese(traditional)"},
                                                                    {"simchinese", "chinese(simplified)"},
                                                                    {"german", "german"},
                                                                    {"bahasaindonesian", "bahasaindonesian"},
                                                                    {"", "english"},
                                                                    {"klingon", "klingon"}};
    for (const auto& [value, folder] : cases) {
        EXPECT_EQ(folder, LanguageOf(Preferences({Entry(Language, "\"" + value + "\"")}))) << value;
    }
}

TEST_F(PreferenceFileTest, FirstLanguageEntryCountsAndOtherPropertiesAreIgnored)
{
    EXPECT_EQ("german", LanguageOf(Preferences({Entry("3C8BDB5D-0000-4000-8000-000000000000", "\"french\""),
                                                Entry(Language, "\"german\""), Entry(Language, "\"french\"")})));
}

TEST_F(PreferenceFileTest, FilesWithoutUsableRecordGiveEnglish)
{
    const std::string header = FramedRecord("").substr(0, 16) + std::string("\x02\x00\x00\x00", 4);
    ASSERT_EQ(20u, header.size());
    EXPECT_EQ("english", LanguageOf(header));
    EXPECT_EQ("english", LanguageOf(FramedRecord("{\"Properties\": [" + Entry(Language, "\"german\"") + "]")));
    EXPECT_EQ("english", LanguageOf(FramedRecord("[" + Entry(Language, "\"german\"") + "]")));
    EXPECT_EQ("english", LanguageOf(FramedRecord("{\"Properties\": " + Entry(Language, "\"german\"") + "}")));
    EXPECT_EQ("english", LanguageOf(FramedRecord("{\"Other\": [" + Entry(Language, "\"german\"") + "]}")));
}

// Entries that are not objects or hold members of other types are skipped,
// as are values that would put path components into the page paths.
TEST_F(PreferenceFileTest, UnusableLanguageEntriesAreSkipped)
{
    const std::vector<std::string> unusable = {
        "42",
        "\"german\"",
        "{\"Name\": 7, \"Value\": \"german\"}",
        "{\"Value\": \"german\"}",
        Entry(Language + "\\u0000", "\"german\""),
        Entry(Language, "5"),
        Entry(Language, "[\"german\"]"),
        "{\"Name\": \"" + Language + "\"}",
        Entry(Language, "\"../german\""),
        Entry(Language, "\"german/..\""),
        Entry(Language, "\"/german\""),
        Entry(Language, "\".\""),
        Entry(Language, "\"..\""),
        Entry(Language, "\"ger\\u0000man\""),
    };
    for (const std::string& entry : unusable) {
        EXPECT_EQ("english", LanguageOf(Preferences({entry}))) << entry;
        EXPECT_EQ("dutch", LanguageOf(Preferences({entry, Entry(Language, "\"dutch\"")}))) << entry;
    }
}

TEST_F(PreferenceFileTest, FileLargerThanTheImporterTakesGivesEnglish)
{
    PoseWithFreeMemory(4); // the importer takes texts of up to 1024 bytes
    const std::string record = Preferences({Entry(Language, "\"german\"")});
    ASSERT_LT(record.size(), 500u);
    EXPECT_EQ("german", LanguageOf(record + std::string(1044 - record.size(), ' ')));
    EXPECT_EQ("english", LanguageOf(record + std::string(1045 - record.size(), ' ')));
    EXPECT_EQ("english", LanguageOf(record + std::string(200000, ' ')));
}
} // namespace
