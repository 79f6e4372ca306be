// Whole upgrades with the program's real pauses (two 15-s settles each).
// Kept to two runs; they carry the label "blackbox-upgrade" so they can run in
// parallel with everything else. Both meet the module as the upgrade script
// usually does, without its start banner, so they go through the module query,
// and the module acknowledges the upload start only after a while: one with a
// multi-chunk image, one with a one-chunk image on a line that loses every
// banner sent while the port is closed (so both banner fallbacks run).
#include "FlasherBlackBox.h"

#include <gmock/gmock.h>

using namespace std::chrono_literals;
using ::testing::ElementsAre;

TEST_F(FlasherBlackBox, MultiChunkUpgradeThroughTheModuleQueryReachesTheTargetAndTheQueryFollows)
{
    ModuleConfig config;
    config.versionAfter = "2.0.0";
    config.faults.noStartBanner = true;
    config.startAckDelay = 2000ms;
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
    EXPECT_EQ(s.bytesDroppedBeforeStartAck, 0u) << "no chunk before the start was acknowledged";
    EXPECT_EQ(s.restarts, 2u) << "one after the image, one after the accept; no reset";
    EXPECT_TRUE(s.upgradeAccepted);
    EXPECT_THAT(s.commands, ElementsAre("AT+YLC?", "ATE0", "AT+SOTHFWUPSTART=1,0,5420", "AT+SOTAFWUPACCEPT", "AT+VER=?",
                                        "AT+VER=?"));
    EXPECT_THAT(s.banners, ElementsAre("APP RESET OTH FW-UP-SUCCESS", "Va2ZeZa APP"));
}

TEST_F(FlasherBlackBox, OneChunkUpgradeEndingOnAVersionThatDiffersByATrailingSpaceFails)
{
    ModuleConfig config = QuickModule();
    config.versionAfter = "2.0.0";
    config.bannersLostWhilePortClosed = true;
    config.startAckDelay = 2000ms;
    StartModule(config);
    const auto first = Image(2048, 5);
    const auto second = Image(1000, 6);
    printer->WriteFirmware("a.bin", first);
    printer->WriteFirmware("b.bin", second);

    // The second -f wins; a relative name is taken from the working directory ("/").
    const FlasherOutcome run = Run({"-f", "firmware/a.bin", "-f", "firmware/b.bin", "-t", "2.0.0 "}, 200s);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");

    const ModuleStatus s = module->Status();
    EXPECT_EQ(s.image, second);
    EXPECT_EQ(s.bytesDroppedBeforeStartAck, 0u) << "the chunk waited for the start's acknowledgement";
    EXPECT_TRUE(s.upgradeAccepted) << "the upgrade itself went through; only the comparison failed";
    EXPECT_THAT(s.commands, ElementsAre("AT+YLC?", "ATE0", "AT+SOTHFWUPSTART=1,0,1000", "AT+RESET=1",
                                        "AT+SOTAFWUPACCEPT", "AT+RESET=1", "AT+VER=?"));
    EXPECT_EQ(s.bannersLost, 5u) << "at power-on and after each of the four restarts";
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), std::nullopt) << "an upgrade writes no record";
}
