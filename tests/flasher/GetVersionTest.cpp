// The version query and its record in the store. Runs inside the sandbox
// (tools/sandbox), where "/Store" is a private, empty folder.
#include "ModuleFlasher.h"
#include "PseudoTerminalPair.h"
#include "ScriptedModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace FlasherProtocol;
using namespace std::chrono_literals;

namespace {

const std::string RecordPath = "/Store/WifiFirmwareVersion.txt";

class VersionQuery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        struct stat status = {};
        ASSERT_TRUE(stat("/Store", &status) == 0 && S_ISDIR(status.st_mode))
            << "needs the simulated printer: run inside tools/sandbox";
        std::system("rm -rf /Store/WifiFirmwareVersion.txt /Store/WifiFirmwareVersion.txt.tmp");
        ASSERT_TRUE(line.IsOpen());
    }

    static std::optional<std::string> Record()
    {
        std::ifstream in(RecordPath, std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static ModuleFlasherTuning Quick()
    {
        ModuleFlasherTuning tuning;
        tuning.link = TelitLinkOptions{2, 10ms, 10ms};
        return tuning;
    }

    PseudoTerminalPair line;
    ModuleFlasher flasher{line.SerialPath(), 1s, 0s, 1s, Quick()};
};

} // namespace

TEST_F(VersionQuery, AnsweredQueryRewritesTheRecordWithExactlyTheVersion)
{
    std::ofstream(RecordPath) << "0.9.9-old";
    ScriptedModule module(line.ModuleSide(),
                          ScriptedModule::VersionModule("AT+VER=?\r\nAPP VERSION=4.5.6 \r\nBOOT=1\r\nOK\r\n"));
    EXPECT_EQ(flasher.GetVersion(), "4.5.6 ");
    EXPECT_EQ(Record(), std::string("4.5.6 "));
    EXPECT_FALSE(flasher.IsConnected());
    EXPECT_EQ(access("/Store/WifiFirmwareVersion.txt.tmp", F_OK), -1);
}

TEST_F(VersionQuery, ReplyWithoutAVersionLineLeavesAnEmptyRecord)
{
    std::ofstream(RecordPath) << "1.0";
    ScriptedModule module(line.ModuleSide(), ScriptedModule::VersionModule("OK\r\n"));
    EXPECT_EQ(flasher.GetVersion(), "");
    EXPECT_EQ(Record(), std::string());
}

TEST_F(VersionQuery, ModuleThatDoesNotAnswerLeavesNoRecord)
{
    std::ofstream(RecordPath) << "1.0";
    EXPECT_EQ(flasher.GetVersion(), "");
    EXPECT_FALSE(Record().has_value());
    EXPECT_FALSE(flasher.IsConnected());
}

TEST_F(VersionQuery, PortThatCannotBeOpenedLeavesTheRecordAlone)
{
    std::ofstream(RecordPath) << "1.0";
    ModuleFlasher unreachable("/nonexistent/wifi1", 1s, 0s, 1s, Quick());
    EXPECT_EQ(unreachable.GetVersion(), "");
    EXPECT_EQ(Record(), std::string("1.0"));
}

TEST_F(VersionQuery, RecordThatCannotBeDeletedDoesNotStopTheQuery)
{
    ASSERT_EQ(mkdir(RecordPath.c_str(), 0755), 0);
    std::ofstream(RecordPath + "/keep") << "x";
    ScriptedModule module(line.ModuleSide(), ScriptedModule::VersionModule("APP VERSION=7.0\r\nOK\r\n"));
    EXPECT_EQ(flasher.GetVersion(), "7.0");
    struct stat status = {};
    EXPECT_TRUE(stat((RecordPath + "/keep").c_str(), &status) == 0);
    EXPECT_EQ(access("/Store/WifiFirmwareVersion.txt.tmp", F_OK), -1);
}
