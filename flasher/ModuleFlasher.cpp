#include "ModuleFlasher.h"

#include "PlatformStrings.h"
#include "RetryOnInterrupt.h"
#include "VersionRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

using namespace FlasherProtocol;

namespace {

void Pause(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

class InputFile
{
public:
    explicit InputFile(const std::string& path)
        : fd_(RetryOnInterrupt([&path] { return open(path.c_str(), O_RDONLY | O_NOCTTY); }))
    {}
    ~InputFile()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // The size of a regular file, or nothing.
    std::optional<std::uint64_t> Size() const
    {
        struct stat status = {};
        if (fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(status.st_size);
    }

    // Fills buffer up to count bytes, fewer only at the end of the file;
    // -1 on a read error.
    ssize_t ReadBlock(std::uint8_t* buffer, std::size_t count)
    {
        std::size_t filled = 0;
        while (filled < count) {
            const ssize_t got =
                RetryOnInterrupt([this, buffer, filled, count] { return read(fd_, buffer + filled, count - filled); });
            if (got < 0) {
                return -1;
            }
            if (got == 0) {
                break;
            }
            filled += static_cast<std::size_t>(got);
        }
        return static_cast<ssize_t>(filled);
    }

private:
    int fd_;
};

// Writes one chunk of `count` image bytes and waits for the reply that
// acknowledges it. Nothing received before the chunk (a repeated
// acknowledgement, a late OK) may pass for its acknowledgement.
bool SendChunk(TelitComDevice& device, const std::uint8_t* data, std::size_t count, const Bytes& expected,
               std::chrono::seconds ackTimeout)
{
    if (!device.DiscardInputAndWrite(FrameChunk(data, count))) {
        return false;
    }
    const ReadResult reply = device.ReadUntil(expected, ackTimeout);
    if (reply.status == ReadStatus::Failed) {
        ModuleFlasher::PrintBytes("Received before error: ", reply.data);
        return false;
    }
    if (reply.status == ReadStatus::TimedOut) {
        ModuleFlasher::PrintBytes("Expected ACK suffix: ", FotaChunkAck);
        ModuleFlasher::PrintBytes("Expected OK content: ", RespOk);
        ModuleFlasher::PrintBytes("Got:                 ", reply.data);
        Pause(AckTimeoutPause);
        device.ResetOutputBuffer();
        device.ResetInputBuffer();
        return false;
    }
    return true;
}

// Sends the announced `size` bytes of the image in chunks, each acknowledged
// before the next; true once the whole image is acknowledged.
bool SendImage(TelitComDevice& device, InputFile& image, std::uint64_t size, std::chrono::seconds ackTimeout)
{
    std::uint64_t sent = 0;
    std::uint8_t block[FotaChunkSize];
    for (;;) {
        const ssize_t got = image.ReadBlock(block, sizeof block);
        if (got < 0) {
            return false;
        }
        const auto count = static_cast<std::size_t>(got);
        if (count == 0) {
            // The image ended on a chunk boundary. An image that shrank since
            // its size was announced is not complete, whatever the module says.
            if (sent != size) {
                return false;
            }
            Pause(AfterEofPause);
            const Bytes late = device.ReadAvailable();
            if (!late.empty()) {
                ModuleFlasher::PrintBytes("Recv (after EOF): ", late);
            }
            return true;
        }
        // Never send more than the start command announced (the image grew).
        if (count > size - sent ||
            !SendChunk(device, block, count, ExpectedChunkReply(size, sent, count), ackTimeout)) {
            return false;
        }
        sent += count;
        if (count < FotaChunkSize) {
            return sent == size;
        }
    }
}

} // namespace

ModuleFlasher::ModuleFlasher(std::string port, std::chrono::seconds replyTimeout, std::chrono::seconds settle,
                             std::chrono::seconds boot, ModuleFlasherTuning timing)
    : comPort(std::move(port)), readTimeout(replyTimeout), settleDelay(settle), bootTimeout(boot), tuning(timing)
{}

ModuleFlasher::~ModuleFlasher() = default;

CommandResult ModuleFlasher::SendCommandInternal(const Bytes& command, const std::optional<Bytes>& expected,
                                                 std::optional<std::chrono::seconds> timeout)
{
    const std::chrono::seconds wait = timeout.value_or(readTimeout);
    CommandResult result;
    if (!device || !device->IsOpen()) {
        return result;
    }
    if (!command.empty()) {
        // A reply is judged only by what arrives after its command: whatever
        // the module sent before (the OK after a "+YLC" line, a late OK of
        // the previous command) would otherwise pass for this command's answer.
        if (!device->DiscardInputAndWrite(command)) {
            PrintBytes("Sent (failed): ", command);
            return result;
        }
        PrintBytes("Sent: ", command);
    }
    if (!expected) {
        Pause(ListenPause);
        result.response = device->ReadAvailable();
        result.ok = true;
        return result;
    }
    ReadResult reply = device->ReadUntil(*expected, wait);
    result.response = std::move(reply.data);
    if (reply.status == ReadStatus::Failed) {
        PrintBytes("Recv (error): ", result.response);
    } else if (expected->empty()) {
        result.ok = reply.status == ReadStatus::Matched;
    } else {
        // Judged by the bytes, not the status: a reply that ends exactly at
        // the expected bytes when the time ran out still counts.
        result.ok = EndsWith(result.response, *expected);
        if (!result.ok) {
            PrintBytes("Expected: ", *expected);
            PrintBytes("Got:      ", result.response);
        }
    }
    PrintBytes("Recv: ", result.response);
    return result;
}

bool ModuleFlasher::ResetAndReconnectInternal(const Bytes& resetCommand, std::chrono::seconds bootWait,
                                              std::int64_t attempts)
{
    PrintBytes("Reset Cmd: ", resetCommand);
    if (device) {
        if (device->IsOpen()) {
            device->Write(resetCommand);
            Pause(ListenPause);
            const Bytes last = device->ReadAvailable();
            if (!last.empty()) {
                PrintBytes("Recv (before close): ", last);
            }
        }
        device.reset();
    }
    if (bootWait >= std::chrono::seconds(1)) {
        std::this_thread::sleep_for(bootWait);
    }
    for (std::int64_t attempt = 1; attempt <= attempts; ++attempt) {
        device = ConnectTelitDevice(comPort, tuning.link);
        if (device) {
            Pause(ReconnectedPause);
            return true;
        }
        Pause(ReconnectRetryPause);
    }
    return false;
}

bool ModuleFlasher::Connect()
{
    // The old link goes first: two read threads on one line would split the
    // module's bytes between them.
    device.reset();
    device = ConnectTelitDevice(comPort, tuning.link);
    return device != nullptr;
}

void ModuleFlasher::Disconnect()
{
    device.reset();
}

bool ModuleFlasher::IsConnected() const
{
    return device != nullptr;
}

std::string ModuleFlasher::PrintBytes(std::string_view label, const Bytes& bytes)
{
    return FormatTraceLine(label, bytes);
}

std::string ModuleFlasher::GetVersion()
{
    if (!Connect()) {
        return {};
    }
    const VersionRecord record(JoinPath(PlatformStrings::FilePaths::Store, WifiFirmwareVersionFilename));
    // A record that cannot be deleted does not stop the query: the caller
    // still gets the version, and the new record is renamed over the old one
    // (or, if even that is refused, the old one stays untouched).
    record.Remove();

    const std::optional<std::string> version = QueryVersion();
    if (version) {
        // Not being able to keep the record does not change what the module said.
        record.Write(*version);
    }
    Disconnect();
    return version.value_or(std::string());
}

std::string ModuleFlasher::ExtractFwVersionInternal(const Bytes& reply)
{
    return ExtractVersion(reply);
}

std::optional<std::string> ModuleFlasher::FindFirmwareFileInternal(const std::string& directory,
                                                                   const std::optional<std::string>& name)
{
    if (!name) {
        return std::nullopt;
    }
    std::string path = JoinPath(directory, *name);
    struct stat status = {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return path;
}

bool ModuleFlasher::UploadFirmwareInternal(const std::string& path)
{
    if (!device || !device->IsOpen()) {
        return false;
    }
    // The image is opened before the module is told to expect it, so an
    // unreadable image never leaves the module waiting for bytes.
    InputFile image(path);
    const std::optional<std::uint64_t> size = image.IsOpen() ? image.Size() : std::nullopt;
    if (!size || *size == 0) {
        return false;
    }
    const std::optional<Bytes> start = BuildStartCommand(CmdFotaStartTemplate, *size);
    if (!start || !SendCommandInternal(*start, RespOk, readTimeout).ok) {
        return false;
    }
    return SendImage(*device, image, *size, tuning.ackTimeout);
}

bool ModuleFlasher::ConfirmModuleReady()
{
    // A module that started before the link was opened sent its banner to
    // nobody: then the query has to show that it is ready.
    if (!SendCommandInternal({}, RespAppReady, readTimeout).ok &&
        !SendCommandInternal(CmdYlc, RespToYlc, readTimeout).ok) {
        return false;
    }
    SendCommandInternal(CmdEchoDisable, RespOk, readTimeout);
    return true;
}

bool ModuleFlasher::RejoinAfterRestart(const Bytes& banner)
{
    Disconnect();
    std::this_thread::sleep_for(settleDelay);
    if (!Connect()) {
        return false;
    }
    return SendCommandInternal({}, banner, bootTimeout).ok || ResetAndReconnectInternal(CmdReset, settleDelay, 1);
}

void ModuleFlasher::AcceptImage()
{
    const CommandResult accepted = SendCommandInternal(CmdFotaAccept, RespOk, readTimeout);
    if (!accepted.ok) {
        PrintBytes("Last response: ", accepted.response);
    }
}

std::optional<std::string> ModuleFlasher::QueryVersion()
{
    const CommandResult reply = SendCommandInternal(CmdVer, RespOk, readTimeout);
    if (!reply.ok) {
        return std::nullopt;
    }
    PrintBytes("Version Information:", reply.response);
    return ExtractFwVersionInternal(reply.response);
}

UpgradeResult ModuleFlasher::Upgrade(const std::string& firmwareFile)
{
    const std::optional<std::string> image = FindFirmwareFileInternal(DefaultSourceDir, firmwareFile);
    if (!image) {
        return {};
    }
    UpgradeResult result;
    // The module restarts into the new image once it has all of it, and once
    // more, now for good, when it is told to accept the image.
    if (Connect() && ConfirmModuleReady() && UploadFirmwareInternal(*image) && RejoinAfterRestart(RespRstOth)) {
        AcceptImage();
        if (RejoinAfterRestart(RespAppReady)) {
            result.ok = true;
            result.version = QueryVersion().value_or(std::string());
        }
    }
    Disconnect();
    return result;
}
