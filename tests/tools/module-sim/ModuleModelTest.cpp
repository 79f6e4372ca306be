#include "ModuleModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

const std::string Banner = "Va2ZeZa APP\r\n";
const std::string UpgradeBanner = "APP RESET OTH FW-UP-SUCCESS\r\n";
const std::string Ack = "\x1bO";

std::string Chunk(const std::vector<std::uint8_t>& image, std::size_t offset, std::size_t size)
{
    char header[8];
    std::snprintf(header, sizeof header, "\x1bM%04zu:", size);
    std::string chunk(header, 7);
    chunk.append(image.begin() + static_cast<std::ptrdiff_t>(offset),
                 image.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return chunk;
}

std::vector<std::uint8_t> Image(std::size_t size)
{
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
    }
    return image;
}

class ModuleModelTest : public ::testing::Test
{
protected:
    ModuleModelTest()
    {
        config.bootTime = 1000ms;
        config.echo = false;
    }

    void PowerOn() { model = std::make_unique<ModuleModel>(config, now); }

    void After(std::chrono::milliseconds d)
    {
        now += d;
        model->Advance(now);
    }

    void Send(const std::string& bytes) { model->Receive(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), now); }

    std::string Take()
    {
        std::string all;
        for (const auto& piece : model->TakeOutput()) {
            all.append(piece.bytes.begin(), piece.bytes.end());
        }
        return all;
    }

    // A module that has booted, with the port open and its start banner read.
    void Running()
    {
        PowerOn();
        model->PortOpened(now);
        After(config.bootTime);
        ASSERT_EQ(Take(), Banner);
    }

    // Restart over a closed port, as the flasher does it: close, wait, reopen.
    std::string Reopen(std::chrono::milliseconds closedFor)
    {
        model->PortClosed(now);
        After(closedFor);
        model->PortOpened(now);
        return Take();
    }

    void Upload(const std::vector<std::uint8_t>& image, std::vector<std::string>* replies)
    {
        Send("AT+SOTHFWUPSTART=1,0," + std::to_string(image.size()) + "\r\n");
        replies->push_back(Take());
        for (std::size_t offset = 0; offset < image.size(); offset += 1024) {
            Send(Chunk(image, offset, std::min<std::size_t>(1024, image.size() - offset)));
            replies->push_back(Take());
        }
    }

    ModuleConfig config;
    ModuleModel::TimePoint now{std::chrono::seconds(1000)};
    std::unique_ptr<ModuleModel> model;
};

} // namespace

// --- start, boot and banners

TEST_F(ModuleModelTest, StartBannerComesOnlyOnceBootedAndOpen)
{
    PowerOn();
    After(config.bootTime + 500ms);
    EXPECT_THAT(Take(), IsEmpty()) << "nobody holds the port";
    model->PortOpened(now);
    EXPECT_EQ(Take(), Banner);
    EXPECT_EQ(Reopen(100ms), "") << "the banner is sent once per start";
}

TEST_F(ModuleModelTest, PortOpenedDuringBootGetsBannerWhenBootEnds)
{
    PowerOn();
    model->PortOpened(now);
    After(999ms);
    EXPECT_THAT(Take(), IsEmpty());
    EXPECT_EQ(model->NextDeadline(), now + 1ms);
    After(1ms);
    EXPECT_EQ(Take(), Banner);
    EXPECT_THAT(model->Status().banners, ElementsAre("Va2ZeZa APP"));
}

TEST_F(ModuleModelTest, InputDuringBootIsIgnored)
{
    PowerOn();
    model->PortOpened(now);
    Send("AT\r\n");
    After(config.bootTime);
    EXPECT_EQ(Take(), Banner);
    EXPECT_THAT(model->Status().commands, IsEmpty());
    EXPECT_EQ(model->Status().bytesIgnored, 4u);
}

TEST_F(ModuleModelTest, BannerAfterRestartWaitsForANewOpenerEvenWhenBootIsShort)
{
    config.bootTime = 10ms;
    Running();
    Send("AT+RESET=1\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    After(500ms);
    EXPECT_THAT(Take(), IsEmpty()) << "the old link is about to close";
    EXPECT_EQ(Reopen(1000ms), Banner);
    EXPECT_EQ(model->Status().restarts, 1u);
}

TEST_F(ModuleModelTest, LosingBannersSendsThemAtTheEndOfTheBootToWhoeverHoldsThePort)
{
    config.bannersLostWhilePortClosed = true;
    PowerOn();
    After(config.bootTime);
    model->PortOpened(now);
    EXPECT_THAT(Take(), IsEmpty()) << "the start banner went out while the port was closed";
    Send("AT+RESET=1\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    After(config.bootTime);
    EXPECT_EQ(Take(), Banner) << "the port was still held when the boot ended";
    Send("AT+RESET=1\r\n");
    Take();
    EXPECT_EQ(Reopen(config.bootTime), "");
    EXPECT_EQ(model->Status().bannersLost, 2u);
    EXPECT_THAT(model->Status().banners, ElementsAre("Va2ZeZa APP"));
    EXPECT_EQ(model->Status().bytesLost, 2 * Banner.size());
}

// The simulator may see an opening late, on a loaded machine: a boot that had
// ended by then ended while the port was still closed.
TEST_F(ModuleModelTest, BootThatEndedBeforeAnOpeningWasSeenLosesItsBanner)
{
    config.bannersLostWhilePortClosed = true;
    Running();
    Send("AT+RESET=1\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    model->PortClosed(now);
    now += 2 * config.bootTime;
    model->PortOpened(now);
    EXPECT_EQ(Take(), "");
    EXPECT_EQ(model->Status().bannersLost, 1u);
}

TEST_F(ModuleModelTest, RepliesWhileThePortIsClosedAreLost)
{
    Running();
    model->PortClosed(now);
    Send("AT+VER=?\r\n");
    EXPECT_THAT(Take(), IsEmpty());
    EXPECT_GT(model->Status().bytesLost, 0u);
    model->PortOpened(now);
    EXPECT_THAT(Take(), IsEmpty()) << "nothing stale for the next opener";
}

// --- commands

TEST_F(ModuleModelTest, AnswersTheCommandsOfTheProcedure)
{
    Running();
    Send("AT+YLC?\r\n");
    EXPECT_EQ(Take(), "+YLC:1,1\r\nOK\r\n");
    Send("ATE0\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    Send("AT+VER=?\r\n");
    const std::string reply = Take();
    EXPECT_EQ(reply.find("APP VERSION="), reply.rfind("APP VERSION=")) << "the key occurs once";
    EXPECT_THAT(reply, HasSubstr("APP VERSION=1.0.0\r\n"));
    EXPECT_EQ(reply.substr(reply.size() - 4), "OK\r\n");
    Send("AT\r\nAT&W0\r\nAT+YLOGSL=8\r\n");
    EXPECT_EQ(Take(), "OK\r\nOK\r\nOK\r\n");
    EXPECT_THAT(model->Status().commands, ElementsAre("AT+YLC?", "ATE0", "AT+VER=?", "AT", "AT&W0", "AT+YLOGSL=8"));
}

TEST_F(ModuleModelTest, UnknownOrOverlongCommandsGetErrorAndEmptyLinesNothing)
{
    Running();
    Send("AT+BOGUS\r\n");
    EXPECT_EQ(Take(), "ERROR\r\n");
    Send("\r\n\r\n");
    EXPECT_THAT(Take(), IsEmpty());
    Send(std::string(2000, 'A') + "\r\n");
    EXPECT_EQ(Take(), "ERROR\r\n");
    Send("AT\r\n");
    EXPECT_EQ(Take(), "OK\r\n") << "the module recovers after an overlong line";
}

TEST_F(ModuleModelTest, CommandSplitAcrossArrivalsIsOneCommand)
{
    Running();
    Send("AT+V");
    After(10ms);
    Send("ER=?\r");
    After(10ms);
    Send("\n");
    EXPECT_THAT(Take(), HasSubstr("APP VERSION=1.0.0\r\n"));
}

TEST_F(ModuleModelTest, EchoesCommandsUntilEchoIsTurnedOffAndAgainAfterARestart)
{
    config.echo = true;
    Running();
    Send("AT\r\n");
    EXPECT_EQ(Take(), "AT\r\nOK\r\n");
    Send("ATE0\r\n");
    EXPECT_EQ(Take(), "ATE0\r\nOK\r\n");
    Send("AT\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    Send("AT+RESET=1\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(Reopen(config.bootTime), Banner);
    Send("AT\r\n");
    EXPECT_EQ(Take(), "AT\r\nOK\r\n");
}

TEST_F(ModuleModelTest, WrongYlcReplyIsAnotherYlcLineThenOk)
{
    config.faults.wrongYlcReply = true;
    Running();
    Send("AT+YLC?\r\n");
    EXPECT_EQ(Take(), "+YLC:0,1\r\nOK\r\n");
}

TEST_F(ModuleModelTest, AcceptWithoutAReceivedImageIsAnError)
{
    Running();
    Send("AT+SOTAFWUPACCEPT\r\n");
    EXPECT_EQ(Take(), "ERROR\r\n");
    EXPECT_EQ(model->Status().restarts, 0u);
    EXPECT_EQ(model->Status().reportedVersion, "1.0.0");
}

// --- upload and upgrade

TEST_F(ModuleModelTest, WholeUpgradeAcknowledgesChunksRestartsAndReportsTheNewVersion)
{
    Running();
    const auto image = Image(1500);
    std::vector<std::string> replies;
    Upload(image, &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", Ack, "OK\r\n"));
    EXPECT_EQ(model->Status().image, image);
    EXPECT_EQ(model->Status().chunksReceived, 2u);
    EXPECT_EQ(model->Status().imagesCompleted, 1u);
    EXPECT_EQ(model->Status().phase, ModuleStatus::Phase::Booting);

    EXPECT_EQ(Reopen(15000ms), UpgradeBanner);
    Send("AT+VER=?\r\n");
    EXPECT_THAT(Take(), HasSubstr("APP VERSION=1.0.0\r\n")) << "not accepted yet";
    Send("AT+SOTAFWUPACCEPT\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(Reopen(15000ms), Banner);
    Send("AT+VER=?\r\n");
    EXPECT_THAT(Take(), HasSubstr("APP VERSION=2.0.0\r\n"));
    EXPECT_EQ(model->Status().restarts, 2u);
    EXPECT_TRUE(model->Status().upgradeAccepted);
}

TEST_F(ModuleModelTest, ImageOfWholeChunksEndsWithOkForTheLastOne)
{
    Running();
    std::vector<std::string> replies;
    Upload(Image(2048), &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", Ack, "OK\r\n"));
    Upload(Image(1), &replies); // booting: ignored
    EXPECT_EQ(model->Status().imagesCompleted, 1u);
}

TEST_F(ModuleModelTest, OneByteImageIsOneChunkAnsweredWithOk)
{
    Running();
    std::vector<std::string> replies;
    Upload(Image(1), &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", "OK\r\n"));
    EXPECT_EQ(model->Status().image, Image(1));
}

TEST_F(ModuleModelTest, LateStartAcknowledgementDropsTheImageBytesBeforeIt)
{
    config.startAckDelay = 400ms;
    Running();
    const auto image = Image(1500);
    Send("AT+SOTHFWUPSTART=1,0,1500\r\n");
    EXPECT_THAT(Take(), IsEmpty());
    EXPECT_EQ(model->NextDeadline(), now + 400ms);
    Send(Chunk(image, 0, 1024));
    After(399ms);
    EXPECT_THAT(Take(), IsEmpty()) << "a chunk too early is neither stored nor answered";
    EXPECT_EQ(model->Status().bytesDroppedBeforeStartAck, 1031u);
    After(1ms);
    EXPECT_EQ(Take(), "OK\r\n");
    std::vector<std::string> replies;
    Send(Chunk(image, 0, 1024));
    replies.push_back(Take());
    Send(Chunk(image, 1024, 476));
    replies.push_back(Take());
    EXPECT_THAT(replies, ElementsAre(Ack, "OK\r\n"));
    EXPECT_EQ(model->Status().image, image);
}

TEST_F(ModuleModelTest, BadUploadStartsAreRefused)
{
    config.maxImageSize = 4096;
    Running();
    for (const char* line : {"AT+SOTHFWUPSTART=1,0,0\r\n", "AT+SOTHFWUPSTART=1,0,4097\r\n", "AT+SOTHFWUPSTART=1,0,\r\n",
                             "AT+SOTHFWUPSTART=1,0,12x\r\n", "AT+SOTHFWUPSTART=2,0,100\r\n",
                             "AT+SOTHFWUPSTART=1,0,99999999999999999999\r\n"}) {
        Send(line);
        EXPECT_EQ(Take(), "ERROR\r\n") << line;
        EXPECT_EQ(model->Status().phase, ModuleStatus::Phase::Command) << line;
    }
}

TEST_F(ModuleModelTest, MalformedChunkAbandonsTheUpload)
{
    Running();
    for (const std::string header : {"\x1bM0000:", "\x1bM1025:", "\x1bM0101:", "\x1bM1x24:", "\x1bM0010;"}) {
        Send("AT+SOTHFWUPSTART=1,0,100\r\n");
        EXPECT_EQ(Take(), "OK\r\n");
        Send(header);
        EXPECT_EQ(Take(), "ERROR\r\n") << header.substr(1);
        Send("AT\r\n");
        EXPECT_EQ(Take(), "OK\r\n") << "back in command mode after " << header.substr(1);
    }
}

TEST_F(ModuleModelTest, NoiseBetweenChunksIsSkipped)
{
    Running();
    const auto image = Image(1100);
    Send("AT+SOTHFWUPSTART=1,0,1100\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    Send("\r\nxx\x1b\x1b");
    Send(Chunk(image, 0, 1024).substr(1)); // the second ESC starts the chunk
    EXPECT_EQ(Take(), Ack);
    Send(Chunk(image, 1024, 76));
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(model->Status().image, image);
}

TEST_F(ModuleModelTest, IdleUploadIsAbandoned)
{
    config.uploadIdleTimeout = 3000ms;
    Running();
    Send("AT+SOTHFWUPSTART=1,0,2000\r\n");
    Take();
    After(2999ms);
    EXPECT_THAT(Take(), IsEmpty());
    After(1ms);
    EXPECT_EQ(Take(), "ERROR\r\n");
    EXPECT_EQ(model->Status().phase, ModuleStatus::Phase::Command);
}

TEST_F(ModuleModelTest, ResetKeepsAReceivedImageAndAnnouncesItAgain)
{
    config.faults.noBannerAfterUpload = true;
    Running();
    std::vector<std::string> replies;
    Upload(Image(10), &replies);
    EXPECT_EQ(Reopen(15000ms), "") << "the banner after the upload is missing";
    Send("AT+RESET=1\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(Reopen(15000ms), UpgradeBanner);
    Send("AT+SOTAFWUPACCEPT\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(model->Status().reportedVersion, "2.0.0");
}

// --- faults

TEST_F(ModuleModelTest, ChunkWithoutAcknowledgementIsStillStored)
{
    config.faults.noAckAtChunk = 2;
    Running();
    std::vector<std::string> replies;
    Upload(Image(3000), &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", Ack, "", "OK\r\n"));
}

TEST_F(ModuleModelTest, WrongAcknowledgementSwapsAckAndOk)
{
    config.faults.wrongAckAtChunk = 1;
    Running();
    std::vector<std::string> replies;
    Upload(Image(2000), &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", "OK\r\n", "OK\r\n"));

    config.faults.wrongAckAtChunk = 2;
    Running();
    replies.clear();
    Upload(Image(2000), &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", Ack, Ack));
}

TEST_F(ModuleModelTest, HangUpDropsTheLineAtTheChunksHeader)
{
    config.faults.hangUpAtChunk = 2;
    Running();
    std::vector<std::string> replies;
    Upload(Image(3000), &replies);
    EXPECT_THAT(replies, ElementsAre("OK\r\n", Ack, "", ""));
    EXPECT_TRUE(model->HungUp());
    EXPECT_EQ(model->Status().image.size(), 1024u);
    Send("AT\r\n");
    EXPECT_THAT(Take(), IsEmpty());
}

TEST_F(ModuleModelTest, SilentModuleListensButNeverSpeaks)
{
    config.faults.silent = true;
    config.echo = true;
    PowerOn();
    model->PortOpened(now);
    After(config.bootTime);
    Send("AT+YLC?\r\nAT+VER=?\r\n");
    EXPECT_THAT(Take(), IsEmpty());
    EXPECT_THAT(model->Status().commands, ElementsAre("AT+YLC?", "AT+VER=?"));
    EXPECT_EQ(model->Status().bytesSent, 0u);
}

TEST_F(ModuleModelTest, MissingBannersAreMissingOnlyWhereAsked)
{
    config.faults.noStartBanner = true;
    config.faults.noBannerAfterAccept = true;
    PowerOn();
    model->PortOpened(now);
    After(config.bootTime);
    EXPECT_THAT(Take(), IsEmpty());
    std::vector<std::string> replies;
    Upload(Image(5), &replies);
    EXPECT_EQ(Reopen(config.bootTime), UpgradeBanner);
    Send("AT+SOTAFWUPACCEPT\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(Reopen(config.bootTime), "");
    Send("AT+RESET=1\r\n");
    EXPECT_EQ(Take(), "OK\r\n");
    EXPECT_EQ(Reopen(config.bootTime), Banner);
}

TEST_F(ModuleModelTest, GarbageComesBeforeRepliesAndNeverLooksLikeOne)
{
    config.faults.garbage = true;
    PowerOn();
    model->PortOpened(now);
    After(config.bootTime);
    const std::string banner = Take();
    ASSERT_GT(banner.size(), Banner.size());
    const std::string noise = banner.substr(0, banner.size() - Banner.size());
    EXPECT_EQ(banner.substr(noise.size()), Banner);
    EXPECT_THAT(noise, Not(HasSubstr("OK\r\n")));
    EXPECT_THAT(noise, Not(HasSubstr(Ack)));
    Send("AT+YLC?\r\n");
    EXPECT_EQ(Take(), noise + "+YLC:1,1\r\nOK\r\n");
    std::vector<std::string> replies;
    Upload(Image(1025), &replies);
    EXPECT_THAT(replies, ElementsAre(noise + "OK\r\n", noise + Ack, noise + "OK\r\n"));
}

// --- protocol rules

TEST_F(ModuleModelTest, PowerLossDarkensTheModuleThenItBootsTheFirmwareItKept)
{
    using AfterAccept = ModuleFaults::AfterAccept;
    const struct
    {
        const char* where;
        std::uint32_t atChunk;
        bool afterUpload;
        AfterAccept afterAccept;
        std::string versionBack;
    } cases[] = {
        {"at chunk 2", 2, false, AfterAccept::None, "1.0.0"},
        {"at the restart into the image", 0, true, AfterAccept::None, "1.0.0"},
        {"after the accept, which was kept", 0, false, AfterAccept::NewFirmware, "2.0.0"},
        {"after the accept, before it was kept", 0, false, AfterAccept::OldFirmware, "1.0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        config.faults = ModuleFaults{};
        config.faults.darkTime = 3000ms;
        config.faults.powerLossAtChunk = c.atChunk;
        config.faults.powerLossAfterUpload = c.afterUpload;
        config.faults.powerLossAfterAccept = c.afterAccept;
        Running();
        std::vector<std::string> replies;
        Upload(Image(2500), &replies);
        if (c.afterAccept != AfterAccept::None) {
            EXPECT_EQ(Reopen(config.bootTime), UpgradeBanner);
            Send("AT+SOTAFWUPACCEPT\r\n");
            EXPECT_EQ(Take(), "OK\r\n");
        }
        EXPECT_EQ(model->Status().powerLosses, 1u);

        Send("AT\r\n");
        After(config.faults.darkTime - 1ms);
        EXPECT_EQ(model->Status().phase, ModuleStatus::Phase::Dark);
        EXPECT_THAT(Take(), IsEmpty()) << "dark: what is sent to it is lost, nothing comes back";
        After(1ms + config.bootTime);
        EXPECT_EQ(Reopen(10ms), Banner) << "back as after power-on";
        Send("AT+VER=?\r\n");
        EXPECT_THAT(Take(), HasSubstr("APP VERSION=" + c.versionBack + "\r\n"));
        Send("AT+SOTAFWUPACCEPT\r\n");
        EXPECT_EQ(Take(), "ERROR\r\n") << "no image waits for the accept";
    }
}

TEST_F(ModuleModelTest, SlowRepliesSendTheirBytesLateFromTheirStepOn)
{
    const std::string reply = "APP VERSION=1.0.0\r\nBOOT VERSION=1.4.2\r\nRADIO VERSION=3.1.7\r\nOK\r\n";
    const struct
    {
        const char* fault;
        void (*set)(ModuleFaults&);
        std::size_t pieces;
        std::chrono::milliseconds first;
        std::chrono::milliseconds last;
    } cases[] = {
        {"none", [](ModuleFaults&) {}, 1, 0ms, 0ms},
        {"silent at the version for 2 s",
         [](ModuleFaults& f) {
             f.silentStep = *ReplyStep::Parse("version");
             f.silentFor = 2000ms;
         },
         1, 2000ms, 2000ms},
        {"the version split after 5 bytes",
         [](ModuleFaults& f) {
             f.splitStep = *ReplyStep::Parse("version");
             f.splitAt = 5;
             f.splitGap = 700ms;
         },
         2, 0ms, 700ms},
        {"trickling 10 ms apart", [](ModuleFaults& f) { f.trickleGap = 10ms; }, reply.size(), 0ms,
         10ms * static_cast<int>(reply.size() - 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        config.faults = ModuleFaults{};
        c.set(config.faults);
        Running();
        After(1s); // the banner is through, however it trickled
        Send("AT+VER=?\r\n");
        const auto pieces = model->TakeOutput();
        std::string text;
        for (const auto& piece : pieces) {
            text.append(piece.bytes.begin(), piece.bytes.end());
        }
        EXPECT_EQ(text, reply);
        ASSERT_EQ(pieces.size(), c.pieces);
        EXPECT_EQ(pieces.front().notBefore, now + c.first);
        EXPECT_EQ(pieces.back().notBefore, now + c.last);
    }
}

TEST(ModuleProtocol, ChunkHeaderCarriesFourDecimalDigits)
{
    const auto parse = [](const std::string& h) {
        return ModuleModel::ParseChunkHeader(reinterpret_cast<const std::uint8_t*>(h.data()), h.size());
    };
    EXPECT_EQ(parse("\x1bM1024:"), 1024u);
    EXPECT_EQ(parse("\x1bM0476:"), 476u);
    EXPECT_EQ(parse("\x1bM0000:"), 0u);
    EXPECT_EQ(parse("\x1bM9999:"), 9999u);
    EXPECT_FALSE(parse("\x1bM102:"));
    EXPECT_FALSE(parse("\x1bN1024:"));
    EXPECT_FALSE(parse("xM1024:"));
    EXPECT_FALSE(parse("\x1bM10 4:"));
    EXPECT_FALSE(parse("\x1bM1024;"));
    EXPECT_FALSE(ModuleModel::ParseChunkHeader(nullptr, 7));
}

TEST(ModuleProtocol, UploadStartCarriesThePlainDecimalSize)
{
    EXPECT_EQ(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,0,1500"), 1500u);
    EXPECT_EQ(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,0,0"), 0u);
    EXPECT_FALSE(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,0,"));
    EXPECT_FALSE(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,0,-5"));
    EXPECT_FALSE(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,0,15 "));
    EXPECT_FALSE(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,1,15"));
    EXPECT_FALSE(ModuleModel::ParseUploadStart("AT+SOTHFWUPSTART=1,0,1234567890123"));
}

TEST_F(ModuleModelTest, EventsTellWhatHappenedWhenInOrder)
{
    PowerOn();
    const auto t0 = now;
    model->PortOpened(now);
    After(config.bootTime);
    Send("AT\r\n");
    After(5ms);
    model->PortClosed(now);
    std::vector<std::string> texts;
    for (const auto& e : model->Status().events) {
        texts.push_back(e.text);
    }
    EXPECT_THAT(texts, ElementsAre("port opened", "booted", "banner \"Va2ZeZa APP\"", "command \"AT\"", "port closed"));
    const auto& events = model->Status().events;
    EXPECT_EQ(events.front().at, t0);
    EXPECT_EQ(events[3].at, t0 + config.bootTime);
    EXPECT_EQ(events.back().at, t0 + config.bootTime + 5ms);
}

TEST_F(ModuleModelTest, BlockOfBytesOnAPacedLineIsTakenInAtEachBytesTime)
{
    Running();
    const auto image = Image(1500);
    Send("AT+SOTHFWUPSTART=1,0,1500\r\n");
    Take();
    // Two chunks back to back in one block, 1 ms per byte.
    std::string both = Chunk(image, 0, 1024) + Chunk(image, 1024, 476);
    const auto first = now;
    model->Receive(reinterpret_cast<const std::uint8_t*>(both.data()), both.size(), first, 1ms);
    const auto out = model->TakeOutput();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(std::string(out[0].bytes.begin(), out[0].bytes.end()), Ack);
    EXPECT_EQ(out[0].notBefore, first + 1030ms) << "after the chunk's last byte";
    EXPECT_EQ(std::string(out[1].bytes.begin(), out[1].bytes.end()), "OK\r\n");
    EXPECT_EQ(out[1].notBefore, first + std::chrono::milliseconds(both.size() - 1));
    EXPECT_EQ(model->Status().image, image);
}
