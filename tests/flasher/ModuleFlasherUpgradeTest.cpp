// The whole upgrade against the module simulator, with short boot, settle and
// reply times so a run takes seconds.
#include "ModuleFlasher.h"
#include "ModuleSimulator.h"

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

    UpgradeResult RunUpgrade()
    {
        ModuleFlasherTuning tuning;
        tuning.link = TelitLinkOptions{15, 50ms, 10ms};
        tuning.ackTimeout = 1s;
        ModuleFlasher flasher(simulator->PortPath(), 2s, 0s, 2s, tuning);
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
    config.noStartBanner = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_TRUE(Sent("AT+YLC?"));
}

TEST_F(FlasherUpgrade, WrongModuleQueryReplyStopsBeforeTheUpload)
{
    ModuleConfig config;
    config.noStartBanner = true;
    config.wrongYlcReply = true;
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
    config.noBannerAfterUpload = true;
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
    config.noBannerAfterAccept = true;
    StartModule(config);
    const UpgradeResult result = RunUpgrade();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_TRUE(Sent("AT+RESET=1"));
}

TEST_F(FlasherUpgrade, UnansweredChunkFailsTheUpgradeWithoutResendOrReset)
{
    ModuleConfig config;
    config.noAckAtChunk = 2;
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
    config.wrongAckAtChunk = 1;
    StartModule(config);
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_EQ(simulator->Status().chunksReceived, 1u);
}

TEST_F(FlasherUpgrade, HangUpMidUploadFailsWithinTheTimeOuts)
{
    ModuleConfig config;
    config.hangUpAtChunk = 2;
    StartModule(config);
    const auto start = Clock::now();
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_LT(Clock::now() - start, 60s);
}

TEST_F(FlasherUpgrade, SilentModuleFailsBeforeTheUpload)
{
    ModuleConfig config;
    config.silent = true;
    StartModule(config);
    EXPECT_FALSE(RunUpgrade().ok);
    EXPECT_EQ(simulator->Status().chunksReceived, 0u);
}

TEST_F(FlasherUpgrade, NoiseBetweenRepliesDoesNotDisturbTheUpgrade)
{
    ModuleConfig config;
    config.garbage = true;
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
