// The whole upgrade against the module simulator, with short boot, settle and
// reply times so a run takes seconds.
#include "ModuleFlasher.h"
#include "ModuleSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class FlasherUpgrade : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (!imagePath.empty()) {
            unlink(imagePath.c_str());
        }
    }

    // Starts a module with the given faults and writes an image of size bytes.
    void StartModule(ModuleConfig config, std::size_t size = 3000)
    {
        config.bootTime = 300ms;
        config.versionBefore = "1.0.0";
        config.versionAfter = "2.0.0";
        simulator = std::make_unique<ModuleSimulator>(config);
        ASSERT_TRUE(simulator->Start());

        char name[] = "/tmp/flasher-image-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        imagePath = name;
        std::ofstream out(imagePath, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) {
            image.push_back(static_cast<std::uint8_t>(i * 13 + 1));
            out.put(static_cast<char>(image.back()));
        }
    }

    // settleDelay longer than the module's boot: its banners after a restart
    // come while the port is closed.
    UpgradeResult RunUpgrade(std::chrono::seconds settleDelay = 0s)
    {
        ModuleFlasherTuning tuning;
        tuning.link = TelitLinkOptions{15, 50ms, 10ms};
        tuning.ackTimeout = 1s;
        ModuleFlasher flasher(simulator->PortPath(), 2s, settleDelay, 2s, tuning);
        const UpgradeResult result = flasher.Upgrade(imagePath);
        EXPECT_FALSE(flasher.IsConnected());
        return result;
    }

    bool Sent(const std::string& command) const
    {
        const auto commands = simulator->CommandsSeen();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }

    std::unique_ptr<ModuleSimulator> simulator;
    std::string imagePath;
    std::vector<std::uint8_t> image;
};

} // namespace

TEST_F(FlasherUpgrade, HealthyModuleTakesTheImageAndReportsTheNewVersion)
{
    StartModule({});
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_EQ(simulator->ReceivedImage(), image);
    EXPECT_TRUE(simulator->Status().upgradeAccepted);
    EXPECT_FALSE(Sent("AT+YLC?"));
    EXPECT_FALSE(Sent("AT+RESET=1"));
}

TEST_F(FlasherUpgrade, ImageEndingOnAChunkBoundaryIsTakenWhole)
{
    StartModule({}, 2048);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_EQ(simulator->ReceivedImage(), image);
}

TEST_F(FlasherUpgrade, MissingStartBannerIsMadeUpForByTheModuleQuery)
{
    ModuleConfig config;
    config.faults.noStartBanner = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_TRUE(Sent("AT+YLC?"));
}

TEST_F(FlasherUpgrade, WrongModuleQueryReplyStopsBeforeTheUpload)
{
    ModuleConfig config;
    config.faults.noStartBanner = true;
    config.faults.wrongYlcReply = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.version.empty());
    EXPECT_EQ(simulator->Status().announcedImageSize, 0u);
    EXPECT_EQ(simulator->Status().chunksReceived, 0u);
}

TEST_F(FlasherUpgrade, MissingBannerAfterTheUploadIsFollowedByAResetAndTheUpgradeGoesOn)
{
    ModuleConfig config;
    config.faults.noBannerAfterUpload = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_TRUE(Sent("AT+RESET=1"));
    EXPECT_TRUE(simulator->Status().upgradeAccepted);
}

TEST_F(FlasherUpgrade, MissingBannerAfterTheAcceptIsFollowedByAResetAndTheVersionIsStillRead)
{
    ModuleConfig config;
    config.faults.noBannerAfterAccept = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_TRUE(Sent("AT+RESET=1"));
}

TEST_F(FlasherUpgrade, UnansweredChunkFailsTheUpgradeWithoutResendOrReset)
{
    ModuleConfig config;
    config.faults.noAckAtChunk = 2;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.version.empty());
    EXPECT_EQ(simulator->Status().chunksReceived, 2u);
    EXPECT_FALSE(Sent("AT+RESET=1"));
}

TEST_F(FlasherUpgrade, WrongAcknowledgementFailsTheUpgrade)
{
    ModuleConfig config;
    config.faults.wrongAckAtChunk = 1;
    StartModule(config);
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_EQ(simulator->Status().chunksReceived, 1u);
}

TEST_F(FlasherUpgrade, HangUpMidUploadFailsWithinTheTimeOuts)
{
    ModuleConfig config;
    config.faults.hangUpAtChunk = 2;
    StartModule(config);
    const auto start = Clock::now();
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_LT(Clock::now() - start, 60s);
}

TEST_F(FlasherUpgrade, SilentModuleFailsBeforeTheUpload)
{
    ModuleConfig config;
    config.faults.silent = true;
    StartModule(config);
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_EQ(simulator->Status().chunksReceived, 0u);
}

TEST_F(FlasherUpgrade, NoiseBetweenRepliesDoesNotDisturbTheUpgrade)
{
    ModuleConfig config;
    config.faults.garbage = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_EQ(simulator->ReceivedImage(), image);
}

TEST_F(FlasherUpgrade, MissingImageNeverOpensThePort)
{
    StartModule({});
    unlink(imagePath.c_str());
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_EQ(simulator->Status().portOpenings, 0u);
}

// A module as demanding as a real one, met as the upgrade script usually meets
// it: booted long ago (its start banner is gone), every later banner sent
// while the port is closed, the upload start acknowledged only once its flash
// is prepared. For an image of one chunk and one of several.
class DemandingModuleUpgrade : public FlasherUpgrade, public ::testing::WithParamInterface<std::size_t>
{};

TEST_P(DemandingModuleUpgrade, ImageGoesThroughTheModuleQueryAndBothResetFallbacks)
{
    ModuleConfig config;
    config.bannersLostWhilePortClosed = true;
    config.startAckDelay = 500ms;
    StartModule(config, GetParam());
    ASSERT_TRUE(simulator->WaitFor([](const ModuleStatus& s) { return s.phase == ModuleStatus::Phase::Command; }, 5s));

    const UpgradeResult result = RunUpgrade(1s);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    const ModuleStatus s = simulator->Status();
    EXPECT_EQ(s.image, image);
    EXPECT_EQ(s.bytesDroppedBeforeStartAck, 0u) << "no chunk went out before the start was acknowledged";
    EXPECT_THAT(s.commands,
                ::testing::ElementsAre("AT+YLC?", "ATE0", "AT+SOTHFWUPSTART=1,0," + std::to_string(GetParam()),
                                       "AT+RESET=1", "AT+SOTAFWUPACCEPT", "AT+RESET=1", "AT+VER=?"));
    EXPECT_EQ(s.bannersLost, 5u) << "at power-on and after each of the four restarts";
}

INSTANTIATE_TEST_SUITE_P(OneChunkAndSeveral, DemandingModuleUpgrade, ::testing::Values(700u, 3000u));
