#include "ModuleFlasher.h"
#include "OpenWatch.h"
#include "PseudoTerminalPair.h"
#include "ScriptedModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace FlasherProtocol;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

ModuleFlasherTuning QuickTuning()
{
    ModuleFlasherTuning tuning;
    tuning.link = TelitLinkOptions{3, 10ms, 10ms};
    tuning.ackTimeout = 1s;
    return tuning;
}

std::string Text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class ScratchFolder
{
public:
    ScratchFolder()
    {
        char name[] = "/tmp/flasher-test-XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "";
    }
    ~ScratchFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& name, std::size_t size) const
    {
        const std::string path = path_ + "/" + name;
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) {
            out.put(static_cast<char>(i * 31 + 5));
        }
        return path;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a module saw of one upload.
struct UploadLog
{
    std::mutex mutex;
    std::string startLine;
    std::vector<std::string> headers;
    Bytes image;
};

// Takes the start command and the chunks; answers every chunk with the reply
// `answer` chooses for it (by its number, counted from 1, and whether it
// completes the announced image).
ScriptedModule::Script UploadModule(UploadLog& log, std::function<std::string(std::size_t, bool)> answer = nullptr)
{
    struct State
    {
        bool started = false;
        std::uint64_t remaining = 0;
        std::size_t chunks = 0;
    };
    auto state = std::make_shared<State>();
    if (!answer) {
        answer = [](std::size_t, bool last) { return last ? std::string("OK\r\n") : std::string("\x1bO"); };
    }
    return [&log, state, answer](ScriptedModule& module, Bytes& inbox) {
        for (;;) {
            if (!state->started) {
                std::string line;
                if (!TakeLine(inbox, line)) {
                    return;
                }
                std::lock_guard<std::mutex> lock(log.mutex);
                log.startLine = line;
                state->remaining = std::strtoull(line.c_str() + line.rfind(',') + 1, nullptr, 10);
                state->started = true;
                module.Send("OK\r\n");
                continue;
            }
            if (inbox.size() < FotaChunkHeaderSize) {
                return;
            }
            const std::size_t size =
                std::strtoul(std::string(inbox.begin() + 2, inbox.begin() + 6).c_str(), nullptr, 10);
            if (inbox.size() < FotaChunkHeaderSize + size) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(log.mutex);
                log.headers.emplace_back(inbox.begin(), inbox.begin() + 7);
                log.image.insert(log.image.end(), inbox.begin() + 7, inbox.begin() + 7 + static_cast<long>(size));
            }
            inbox.erase(inbox.begin(), inbox.begin() + 7 + static_cast<long>(size));
            state->remaining -= std::min<std::uint64_t>(size, state->remaining);
            module.Send(answer(++state->chunks, state->remaining == 0));
        }
    };
}

// Everything the flasher has written to the module so far, once the module has
// handled all of it: a marker sent behind it from the serial side tells when.
std::string SentSoFar(PseudoTerminalPair& line, ScriptedModule& module)
{
    // No line end and shorter than a chunk header: no script takes it for anything.
    const std::string marker = "#end#";
    line.SendFromSerialSide(marker);
    std::string sent;
    const bool complete = module.WaitUntilHandled(
        [&sent, &marker](const Bytes& handled) {
            sent = Text(handled);
            return sent.size() >= marker.size() &&
                   sent.compare(sent.size() - marker.size(), marker.size(), marker) == 0;
        },
        5s);
    return complete ? sent.substr(0, sent.size() - marker.size()) : sent + " (marker missing)";
}

class FlasherOnLine : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(line.IsOpen()); }

    PseudoTerminalPair line;
    ModuleFlasher flasher{line.SerialPath(), 1s, 0s, 1s, QuickTuning()};
};

} // namespace

// --- SendCommandInternal

TEST_F(FlasherOnLine, ReplyWithOtherLinesBeforeOkIsAcceptedWhole)
{
    ScriptedModule module(line.ModuleSide(), ScriptedModule::VersionModule("AT+VER=?\r\nAPP VERSION=3.1\r\nOK\r\n"));
    ASSERT_TRUE(flasher.Connect());
    const CommandResult result = flasher.SendCommandInternal(CmdVer, RespOk);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(Text(result.response), "AT+VER=?\r\nAPP VERSION=3.1\r\nOK\r\n");
    EXPECT_EQ(Text(module.Received()), "AT+VER=?\r\n");
}

TEST_F(FlasherOnLine, ReplyNotEndingWithTheExpectedBytesFailsAfterTheTimeOut)
{
    ScriptedModule module(line.ModuleSide(), [](ScriptedModule& m, Bytes& inbox) {
        std::string command;
        while (TakeLine(inbox, command)) {
            m.Send("+YLC:0,1\r\nOK\r\n");
        }
    });
    ASSERT_TRUE(flasher.Connect());
    const auto start = Clock::now();
    const CommandResult result = flasher.SendCommandInternal(CmdYlc, RespToYlc);
    EXPECT_GE(Clock::now() - start, 1s);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Text(result.response), "+YLC:0,1\r\nOK\r\n");
}

TEST_F(FlasherOnLine, CommandIsJudgedOnlyByWhatArrivesAfterItWasSent)
{
    ScriptedModule module(line.ModuleSide(), [](ScriptedModule& m, Bytes& inbox) {
        std::string command;
        while (TakeLine(inbox, command)) {
            if (command == "AT+YLC?") {
                m.Send("+YLC:1,1\r\nOK\r\n");
            }
        }
    });
    ASSERT_TRUE(flasher.Connect());
    ASSERT_TRUE(flasher.SendCommandInternal(CmdYlc, RespToYlc).ok);
    // The OK after the +YLC line is still buffered; the module never answers ATE0.
    const CommandResult echo = flasher.SendCommandInternal(CmdEchoDisable, RespOk);
    EXPECT_FALSE(echo.ok);
    EXPECT_EQ(Text(echo.response), "");
}

TEST_F(FlasherOnLine, ListeningWithoutExpectationSendsNothingAndTakesWhatArrived)
{
    ScriptedModule module(line.ModuleSide(), [](ScriptedModule&, Bytes&) {});
    ASSERT_TRUE(flasher.Connect());
    line.Send("Va2ZeZa APP\r\n");
    // Listening for any byte consumes nothing.
    ASSERT_TRUE(flasher.SendCommandInternal({}, Bytes{}, 5s).ok);
    const CommandResult result = flasher.SendCommandInternal({}, std::nullopt);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(Text(result.response), "Va2ZeZa APP\r\n");
    EXPECT_EQ(SentSoFar(line, module), "");
}

TEST_F(FlasherOnLine, EmptyExpectationSucceedsOnAnyByte)
{
    ASSERT_TRUE(flasher.Connect());
    line.Send("x");
    EXPECT_TRUE(flasher.SendCommandInternal({}, Bytes{}).ok);
    // The byte is left for the next reader.
    EXPECT_EQ(Text(flasher.SendCommandInternal({}, std::nullopt).response), "x");
    EXPECT_FALSE(flasher.SendCommandInternal({}, Bytes{}, 0s).ok);
}

TEST(FlasherWithoutLink, CommandFailsWithEmptyResponseAndUploadFails)
{
    ModuleFlasher flasher("/nonexistent/wifi1", 1s, 0s, 1s, QuickTuning());
    const CommandResult result = flasher.SendCommandInternal(CmdVer, RespOk);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.response.empty());
    EXPECT_FALSE(flasher.Connect());
    EXPECT_FALSE(flasher.IsConnected());
    EXPECT_FALSE(flasher.UploadFirmwareInternal("/dev/null"));
}

// --- ResetAndReconnectInternal

TEST_F(FlasherOnLine, ResetSendsTheCommandWaitsAndReconnects)
{
    ScriptedModule module(line.ModuleSide(), [](ScriptedModule&, Bytes&) {});
    ASSERT_TRUE(flasher.Connect());
    const auto start = Clock::now();
    EXPECT_TRUE(flasher.ResetAndReconnectInternal(CmdReset, 1s, 1));
    // The boot wait, then the pause after the new link is up.
    EXPECT_GE(Clock::now() - start, 2s);
    EXPECT_TRUE(flasher.IsConnected());
    EXPECT_EQ(SentSoFar(line, module), "AT+RESET=1\r\n");
}

TEST_F(FlasherOnLine, ResetWithAModuleThatNeverComesBackFails)
{
    ASSERT_TRUE(flasher.Connect());
    line.HangUp();
    const auto start = Clock::now();
    EXPECT_FALSE(flasher.ResetAndReconnectInternal(CmdReset, 0s, 1));
    // One failed connection, then the pause before a retry.
    EXPECT_GE(Clock::now() - start, 2s);
    EXPECT_FALSE(flasher.IsConnected());
}

TEST_F(FlasherOnLine, ResetWithoutAttemptsClosesTheLinkAndFails)
{
    ASSERT_TRUE(flasher.Connect());
    EXPECT_FALSE(flasher.ResetAndReconnectInternal(CmdReset, 0s, 0));
    EXPECT_FALSE(flasher.IsConnected());
}

// --- UploadFirmwareInternal on the wire

TEST_F(FlasherOnLine, UploadSplits2048BytesIntoTwoFullChunksThenPausesAtTheEnd)
{
    ScratchFolder folder;
    const std::string image = folder.File("image.bin", 2048);
    UploadLog log;
    ScriptedModule module(line.ModuleSide(), UploadModule(log));
    ASSERT_TRUE(flasher.Connect());
    const auto start = Clock::now();
    EXPECT_TRUE(flasher.UploadFirmwareInternal(image));
    EXPECT_GE(Clock::now() - start, 500ms);
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.startLine, "AT+SOTHFWUPSTART=1,0,2048");
    EXPECT_EQ(log.headers, (std::vector<std::string>{"\x1bM1024:", "\x1bM1024:"}));
    EXPECT_EQ(log.image, FileBytes(image));
}

TEST_F(FlasherOnLine, UploadSplits1500BytesIntoAFullChunkAndAShortOne)
{
    ScratchFolder folder;
    const std::string image = folder.File("image.bin", 1500);
    UploadLog log;
    ScriptedModule module(line.ModuleSide(), UploadModule(log));
    ASSERT_TRUE(flasher.Connect());
    EXPECT_TRUE(flasher.UploadFirmwareInternal(image));
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.startLine, "AT+SOTHFWUPSTART=1,0,1500");
    EXPECT_EQ(log.headers, (std::vector<std::string>{"\x1bM1024:", "\x1bM0476:"}));
    EXPECT_EQ(log.image, FileBytes(image));
}

TEST_F(FlasherOnLine, UploadSendsAOneByteImageAsOneChunk)
{
    ScratchFolder folder;
    const std::string image = folder.File("image.bin", 1);
    UploadLog log;
    ScriptedModule module(line.ModuleSide(), UploadModule(log));
    ASSERT_TRUE(flasher.Connect());
    EXPECT_TRUE(flasher.UploadFirmwareInternal(image));
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.headers, (std::vector<std::string>{"\x1bM0001:"}));
    EXPECT_EQ(log.image, FileBytes(image));
}

TEST_F(FlasherOnLine, UploadOfAnEmptyOrMissingImageFailsBeforeTheStartCommand)
{
    ScratchFolder folder;
    UploadLog log;
    ScriptedModule module(line.ModuleSide(), UploadModule(log));
    ASSERT_TRUE(flasher.Connect());
    EXPECT_FALSE(flasher.UploadFirmwareInternal(folder.File("empty.bin", 0)));
    EXPECT_FALSE(flasher.UploadFirmwareInternal(folder.Path() + "/missing.bin"));
    EXPECT_FALSE(flasher.UploadFirmwareInternal(folder.Path()));
    EXPECT_EQ(SentSoFar(line, module), "");
}

TEST_F(FlasherOnLine, UploadFailsWhenTheStartIsNotAcknowledged)
{
    ScratchFolder folder;
    ScriptedModule module(line.ModuleSide(), [](ScriptedModule& m, Bytes& inbox) {
        std::string command;
        while (TakeLine(inbox, command)) {
            m.Send("ERROR\r\n");
        }
    });
    ASSERT_TRUE(flasher.Connect());
    EXPECT_FALSE(flasher.UploadFirmwareInternal(folder.File("image.bin", 3000)));
    EXPECT_EQ(Text(module.Received()), "AT+SOTHFWUPSTART=1,0,3000\r\n");
}

TEST_F(FlasherOnLine, UploadGivesUpWhenAMiddleChunkIsAnsweredWithOkAndNeverResends)
{
    ScratchFolder folder;
    UploadLog log;
    ScriptedModule module(line.ModuleSide(),
                          UploadModule(log, [](std::size_t, bool) { return std::string("OK\r\n"); }));
    ASSERT_TRUE(flasher.Connect());
    const auto start = Clock::now();
    EXPECT_FALSE(flasher.UploadFirmwareInternal(folder.File("image.bin", 3000)));
    EXPECT_GE(Clock::now() - start, 1s);
    SentSoFar(line, module);
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.headers.size(), 1u);
}

TEST_F(FlasherOnLine, UploadTakesNoEarlierReplyAsAChunksAcknowledgement)
{
    ScratchFolder folder;
    UploadLog log;
    // The first chunk is acknowledged twice, the second not at all.
    ScriptedModule module(
        line.ModuleSide(), UploadModule(log, [](std::size_t chunk, bool last) {
            return last ? std::string("OK\r\n") : chunk == 1 ? std::string("\x1bO\x1bO") : std::string();
        }));
    ASSERT_TRUE(flasher.Connect());
    EXPECT_FALSE(flasher.UploadFirmwareInternal(folder.File("image.bin", 3000)));
    SentSoFar(line, module);
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.headers.size(), 2u) << "the last chunk never went out";
}

TEST_F(FlasherOnLine, UploadFailsWithinItsTimeOutWhenTheLineDropsMidway)
{
    ScratchFolder folder;
    const std::string image = folder.File("image.bin", 5000);
    UploadLog log;
    ASSERT_TRUE(flasher.Connect());
    auto module = std::make_unique<ScriptedModule>(line.ModuleSide(), UploadModule(log, [](std::size_t chunk, bool) {
                                                       return chunk < 2 ? std::string("\x1bO") : std::string();
                                                   }));
    bool uploaded = true;
    std::thread upload([this, &image, &uploaded] { uploaded = flasher.UploadFirmwareInternal(image); });
    EXPECT_TRUE(module->WaitUntilHandled(
        [&log](const Bytes&) {
            std::lock_guard<std::mutex> lock(log.mutex);
            return log.headers.size() >= 2;
        },
        10s));
    module.reset();
    line.HangUp();
    upload.join();
    EXPECT_FALSE(uploaded);
}

// --- Upgrade: the failure paths after the upload starts

namespace {

// Plays a whole upgrade: the module query, ATE0, the upload, the accept,
// resets and the version query. `answer` sees every command line, and "image"
// once the image is complete, with the reply the module would give; what it
// returns is sent instead (nothing when empty). It runs before the reply goes
// out, so what it does has happened when the flasher sees the reply.
using Answer = std::function<std::string(const std::string& event, const std::string& reply)>;

ScriptedModule::Script UpgradeModule(Answer answer)
{
    auto remaining = std::make_shared<std::uint64_t>(0);
    return [remaining, answer](ScriptedModule& module, Bytes& inbox) {
        for (;;) {
            if (*remaining > 0) {
                if (inbox.size() < FotaChunkHeaderSize) {
                    return;
                }
                const std::size_t size =
                    std::strtoul(std::string(inbox.begin() + 2, inbox.begin() + 6).c_str(), nullptr, 10);
                if (inbox.size() < FotaChunkHeaderSize + size) {
                    return;
                }
                inbox.erase(inbox.begin(), inbox.begin() + static_cast<long>(FotaChunkHeaderSize + size));
                *remaining -= std::min<std::uint64_t>(size, *remaining);
                module.Send(*remaining == 0 ? answer("image", "OK\r\n") : std::string("\x1bO"));
                continue;
            }
            std::string line;
            if (!TakeLine(inbox, line)) {
                return;
            }
            std::string reply = "OK\r\n";
            if (line == "AT+YLC?") {
                reply = "+YLC:1,1\r\nOK\r\n";
            } else if (line == "AT+VER=?") {
                reply = "APP VERSION=2.0.0\r\nOK\r\n";
            } else if (line.rfind("AT+SOTHFWUPSTART=1,0,", 0) == 0) {
                *remaining = std::strtoull(line.c_str() + line.rfind(',') + 1, nullptr, 10);
            }
            module.Send(answer(line, reply));
        }
    };
}

// The flasher reaches the line through a symbolic link that the module can
// take away, so a reconnection fails exactly where a test wants it to. No
// banner is ever sent: every restart takes the reset fallback at once (a boot
// time-out of 0 s).
class ScriptedUpgrade : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_EQ(symlink(line.SerialPath().c_str(), port.c_str()), 0);
    }

    UpgradeResult Run(Answer answer)
    {
        ScriptedModule module(line.ModuleSide(), UpgradeModule(std::move(answer)));
        UpgradeResult result = flasher.Upgrade(image);
        EXPECT_FALSE(flasher.IsConnected());
        commands = SentSoFar(line, module);
        return result;
    }

    // Takes the port away when event comes, and answers as usual.
    Answer RemovePortAt(const std::string& event)
    {
        return [this, event](const std::string& seen, const std::string& reply) {
            if (seen == event) {
                unlink(port.c_str());
            }
            return reply;
        };
    }

    bool Sent(const std::string& command) const { return commands.find(command + "\r\n") != std::string::npos; }

    PseudoTerminalPair line;
    ScratchFolder folder;
    const std::string port = folder.Path() + "/wifi1";
    const std::string image = folder.File("image.bin", 3000);
    ModuleFlasher flasher{port, 1s, 0s, 0s, QuickTuning()};
    std::string commands;
};

} // namespace

TEST_F(ScriptedUpgrade, AcceptAnsweredWithErrorIsIgnored)
{
    const UpgradeResult result = Run([](const std::string& event, const std::string& reply) {
        return event == "AT+SOTAFWUPACCEPT" ? std::string("ERROR\r\n") : reply;
    });
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "2.0.0");
    EXPECT_TRUE(Sent("AT+SOTAFWUPACCEPT"));
}

TEST_F(ScriptedUpgrade, VersionQueryLeftUnansweredStillSucceedsWithAnEmptyVersion)
{
    const UpgradeResult result = Run(
        [](const std::string& event, const std::string& reply) { return event == "AT+VER=?" ? std::string() : reply; });
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.version, "");
    EXPECT_TRUE(Sent("AT+VER=?"));
}

TEST_F(ScriptedUpgrade, ReconnectionFailingAfterTheUploadFailsTheUpgrade)
{
    const UpgradeResult result = Run(RemovePortAt("image"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.version, "");
    EXPECT_FALSE(Sent("AT+SOTAFWUPACCEPT"));
}

TEST_F(ScriptedUpgrade, ReconnectionFailingAfterTheAcceptFailsTheUpgrade)
{
    const UpgradeResult result = Run(RemovePortAt("AT+SOTAFWUPACCEPT"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.version, "");
    EXPECT_FALSE(Sent("AT+VER=?"));
}

TEST_F(ScriptedUpgrade, FallbackResetThatBringsNoLinkBackFailsTheUpgrade)
{
    const UpgradeResult result = Run(RemovePortAt("AT+RESET=1"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.version, "");
    EXPECT_FALSE(Sent("AT+SOTAFWUPACCEPT")) << "the reset after the upload brought no link back";
}

TEST_F(ScriptedUpgrade, PortThatIsThereButCannotBeOpenedFailsTheUpgrade)
{
    for (const std::string& unusable : {folder.Path(), std::string("/dev/null")}) {
        ModuleFlasher noPort(unusable, 1s, 0s, 0s, QuickTuning());
        const UpgradeResult result = noPort.Upgrade(image);
        EXPECT_FALSE(result.ok) << unusable;
        EXPECT_EQ(result.version, "") << unusable;
        EXPECT_FALSE(noPort.IsConnected()) << unusable;
    }
}

// --- FindFirmwareFileInternal

TEST(FirmwareFile, RegularFileIsFoundBelowTheDirectoryOrByAbsolutePath)
{
    ScratchFolder folder;
    const std::string image = folder.File("image.bin", 10);
    EXPECT_EQ(ModuleFlasher::FindFirmwareFileInternal(folder.Path(), std::string("image.bin")), image);
    EXPECT_EQ(ModuleFlasher::FindFirmwareFileInternal(".", image), image);
    ASSERT_EQ(symlink(image.c_str(), (folder.Path() + "/link.bin").c_str()), 0);
    EXPECT_EQ(ModuleFlasher::FindFirmwareFileInternal(folder.Path(), std::string("link.bin")),
              folder.Path() + "/link.bin");
}

TEST(FirmwareFile, RelativeNameIsTakenFromTheCurrentDirectory)
{
    ScratchFolder folder;
    folder.File("image.bin", 10);
    char previous[4096] = {};
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.Path().c_str()), 0);
    const auto found = ModuleFlasher::FindFirmwareFileInternal(DefaultSourceDir, std::string("image.bin"));
    const auto missing = ModuleFlasher::FindFirmwareFileInternal(DefaultSourceDir, std::string("other.bin"));
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(found, std::string("./image.bin"));
    EXPECT_FALSE(missing.has_value());
}

TEST(FirmwareFile, DirectoriesDevicesMissingFilesAndNoNameGiveNothing)
{
    ScratchFolder folder;
    ASSERT_EQ(mkdir((folder.Path() + "/sub").c_str(), 0755), 0);
    EXPECT_FALSE(ModuleFlasher::FindFirmwareFileInternal(folder.Path(), std::string("sub")).has_value());
    EXPECT_FALSE(ModuleFlasher::FindFirmwareFileInternal(".", std::string("/dev/null")).has_value());
    EXPECT_FALSE(ModuleFlasher::FindFirmwareFileInternal(folder.Path(), std::string("none.bin")).has_value());
    EXPECT_FALSE(ModuleFlasher::FindFirmwareFileInternal(folder.Path(), std::nullopt).has_value());
    EXPECT_FALSE(ModuleFlasher::FindFirmwareFileInternal(folder.Path(), std::string("")).has_value());
}

TEST(FirmwareFile, UpgradeWithoutAnImageNeverOpensThePort)
{
    PseudoTerminalPair line;
    OpenWatch port(line.SerialPath());
    ASSERT_TRUE(port.IsWatching());
    ModuleFlasher flasher(line.SerialPath(), 1s, 0s, 1s, QuickTuning());
    ScratchFolder folder;
    EXPECT_FALSE(flasher.Upgrade("/nonexistent/image.bin").ok);
    EXPECT_FALSE(flasher.Upgrade(folder.Path()).ok);
    EXPECT_FALSE(flasher.Upgrade("/dev/null").ok);
    EXPECT_FALSE(port.Opened());
    EXPECT_FALSE(flasher.IsConnected());
    // The watch does see the flasher's opens.
    ASSERT_TRUE(flasher.Connect());
    EXPECT_TRUE(port.Opened());
}

TEST(TraceLine, PrintBytesFormatsEscapesAsHex)
{
    EXPECT_EQ(ModuleFlasher::PrintBytes("Got:      ", Bytes{0x1B, 'O'}), "Got:      \\x1bO");
}
