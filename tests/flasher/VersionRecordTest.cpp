#include "VersionRecord.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class VersionRecordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[] = "/tmp/flasher-record-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    static std::string Content(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static bool Exists(const std::string& path)
    {
        struct stat status = {};
        return lstat(path.c_str(), &status) == 0;
    }

    std::string folder;
};

} // namespace

TEST_F(VersionRecordTest, WriteReplacesTheRecordWithExactlyTheContentAndLeavesNoScratchFile)
{
    const VersionRecord record(folder + "/WifiFirmwareVersion.txt");
    ASSERT_TRUE(record.Write("an older version, longer than the new one"));
    ASSERT_TRUE(record.Write("2.0.1"));
    EXPECT_EQ(Content(record.Path()), "2.0.1");
    EXPECT_FALSE(Exists(record.TemporaryPath()));
    ASSERT_TRUE(record.Write(""));
    EXPECT_TRUE(Exists(record.Path()));
    EXPECT_EQ(Content(record.Path()), "");
}

TEST_F(VersionRecordTest, ScratchFileLeftByACrashIsOverwritten)
{
    const VersionRecord record(folder + "/WifiFirmwareVersion.txt");
    std::ofstream(record.TemporaryPath()) << "half a versi";
    ASSERT_TRUE(record.Write("3.0"));
    EXPECT_EQ(Content(record.Path()), "3.0");
    EXPECT_FALSE(Exists(record.TemporaryPath()));
}

TEST_F(VersionRecordTest, FailedWriteLeavesTheOldRecordIntact)
{
    const VersionRecord record(folder + "/WifiFirmwareVersion.txt");
    ASSERT_TRUE(record.Write("1.0"));
    // Something that is no file sits where the scratch file would go.
    ASSERT_EQ(mkdir(record.TemporaryPath().c_str(), 0755), 0);
    std::ofstream(record.TemporaryPath() + "/x") << "x";
    EXPECT_FALSE(record.Write("2.0"));
    EXPECT_EQ(Content(record.Path()), "1.0");
}

TEST_F(VersionRecordTest, RecordThatCannotBeReplacedStaysAsItWas)
{
    const VersionRecord record(folder + "/WifiFirmwareVersion.txt");
    ASSERT_EQ(mkdir(record.Path().c_str(), 0755), 0);
    std::ofstream(record.Path() + "/x") << "x";
    EXPECT_FALSE(record.Remove());
    EXPECT_FALSE(record.Write("2.0"));
    EXPECT_EQ(Content(record.Path() + "/x"), "x");
    EXPECT_FALSE(Exists(record.TemporaryPath()));
}

TEST_F(VersionRecordTest, RemoveDeletesWhateverIsThereAndSucceedsWhenNothingIs)
{
    const VersionRecord record(folder + "/WifiFirmwareVersion.txt");
    EXPECT_TRUE(record.Remove());
    ASSERT_TRUE(record.Write("1.0"));
    EXPECT_TRUE(record.Remove());
    EXPECT_FALSE(Exists(record.Path()));
    ASSERT_EQ(symlink("/nonexistent", record.Path().c_str()), 0);
    EXPECT_TRUE(record.Remove());
    EXPECT_FALSE(Exists(record.Path()));
}

TEST_F(VersionRecordTest, RecordInAMissingFolderCannotBeWritten)
{
    const VersionRecord record(folder + "/missing/WifiFirmwareVersion.txt");
    EXPECT_TRUE(record.Remove());
    EXPECT_FALSE(record.Write("1.0"));
}
