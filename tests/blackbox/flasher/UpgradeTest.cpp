// Whole upgrades with the program's real pauses (two 15-s settles each).
// Kept to two runs; they carry the label "blackbox-upgrade" so they can run in
// parallel with everything else.
#include "FlasherBlackBox.h"

#include <gmock/gmock.h>

using namespace std::chrono_literals;
using ::testing::ElementsAre;

TEST_F(FlasherBlackBox, UpgradeReachingTheTargetSucceedsAndTheQueryFollows)
{
    ModuleConfig config;
    config.versionAfter = "2.0.0";
    StartModule(config);
    const auto image = Image(5 * 1024 + 300, 4);
    printer->WriteFirmware("fw.bin", image);
    printer->WriteStoreFile(RecordFile, "1.0.0");

    const FlasherOutcome run = Run({"-f", "/firmware/fw.bin", "-t", "2.0.0", "-v"}, 150s);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "2.0.0\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), "2.0.0");
    EXPECT_GE(run.took, 30s) << "two settle pauses";

    const ModuleStatus s = module->Status();
    EXPECT_EQ(s.image, image);
    EXPECT_EQ(s.chunksReceived, 6u);
    EXPECT_EQ(s.restarts, 2u) << "one after the image, one after the accept; no reset";
    EXPECT_TRUE(s.upgradeAccepted);
    EXPECT_THAT(s.commands, ElementsAre("ATE0", "AT+SOTHFWUPSTART=1,0,5420", "AT+SOTAFWUPACCEPT", "AT+VER=?",
                                        "AT+VER=?"));
    EXPECT_THAT(s.banners, ElementsAre("Va2ZeZa APP", "APP RESET OTH FW-UP-SUCCESS", "Va2ZeZa APP"));
}

TEST_F(FlasherBlackBox, UpgradeEndingOnAVersionThatDiffersByATrailingSpaceFails)
{
    ModuleConfig config;
    config.versionAfter = "2.0.0";
    StartModule(config);
    const auto first = Image(2048, 5);
    const auto second = Image(1500, 6);
    printer->WriteFirmware("a.bin", first);
    printer->WriteFirmware("b.bin", second);

    // The second -f wins; a relative name is taken from the working directory ("/").
    const FlasherOutcome run = Run({"-f", "firmware/a.bin", "-f", "firmware/b.bin", "-t", "2.0.0 "}, 150s);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");

    const ModuleStatus s = module->Status();
    EXPECT_EQ(s.image, second);
    EXPECT_TRUE(s.upgradeAccepted) << "the upgrade itself went through; only the comparison failed";
    EXPECT_TRUE(Saw(s, "AT+VER=?"));
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), std::nullopt) << "an upgrade writes no record";
}
