#pragma once

#include "ModuleConfig.h"
#include "ModuleStatus.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The Wi-Fi module's side of the AT exchange, without any device or clock of
// its own: bytes go in with the time they finished arriving, replies come out
// with the earliest time they may go on the line. ModuleSimulator drives it
// from a pseudo-terminal; tests drive it directly.
//
// The module
//  - after power-on and every restart boots for `bootTime`, ignoring input;
//  - then announces itself ("Va2ZeZa APP", or "APP RESET OTH FW-UP-SUCCESS"
//    after an image), by default only to someone who opened the port after
//    the restart began: the flasher always closes the port over a restart and
//    listens on a fresh one. With bannersLostWhilePortClosed it announces
//    itself when the boot ends, and the banner is lost if the port is closed
//    then, as on a real line;
//  - answers "AT", "ATE0"/"ATE1", "AT+VER=?", "AT+YLC?", "AT&W0",
//    "AT+YLOGSL=<n>", "AT+SOTHFWUPSTART=1,0,<size>", "AT+SOTAFWUPACCEPT" and
//    "AT+RESET=1"; any other line gets "ERROR", an empty line nothing;
//  - acknowledges an upload start with "OK" once startAckDelay has passed,
//    dropping image bytes that arrive before that;
//  - in an upload takes chunks ESC 'M' dddd ':' data, answering ESC 'O', and
//    "OK" for the chunk that completes the image; then restarts.
// Whatever it sends while the port is closed is lost (counted in bytesLost).
// The faults of config.faults strike where they say; a power loss keeps the
// module dark (it takes nothing in and sends nothing) until it boots again as
// after power-on.
//
// Not thread-safe: one caller at a time.
class ModuleModel
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    struct Output
    {
        TimePoint notBefore;
        std::vector<std::uint8_t> bytes;
    };

    // Powers the module on at `powerOn`; the port starts closed.
    ModuleModel(ModuleConfig config, TimePoint powerOn);

    // One byte that finished arriving at `at`. Times passed to the model never
    // run backwards for it: an earlier time counts as the latest one seen.
    void Receive(std::uint8_t byte, TimePoint at);
    // Bytes that arrived together at `at`.
    void Receive(const std::vector<std::uint8_t>& bytes, TimePoint at);
    // `size` bytes back to back on the line: the first is through at
    // `firstDone`, each further one `byteTime` later. Chunk data is taken in
    // as a block, so a fast line costs little per byte.
    void Receive(const std::uint8_t* data, std::size_t size, TimePoint firstDone, Clock::duration byteTime);

    void PortOpened(TimePoint at);
    void PortClosed(TimePoint at);

    // The same module without its faults, as after a repaired line and with a
    // steady supply: what it runs, holds and does stays as it is, except that
    // a module that hung up takes commands again.
    void ClearFaults(TimePoint at);

    // Lets time pass: ends a boot or a power loss, abandons an idle upload,
    // sends a due banner.
    void Advance(TimePoint now);

    // When Advance next has something to do by itself; empty: only input or a
    // port event can change anything.
    std::optional<TimePoint> NextDeadline() const;

    // The replies produced since the last call, oldest first.
    std::vector<Output> TakeOutput();

    // True once the module has dropped the line (the hang-up fault).
    bool HungUp() const { return status_.phase == ModuleStatus::Phase::HungUp; }

    const ModuleStatus& Status() const { return status_; }

    // Length field of a chunk header ESC 'M' dddd ':' (exactly 7 bytes): the
    // data size it announces, or nothing when the header is malformed. Any
    // four digits parse, 0000 included; whether the size fits the upload is
    // the caller's check.
    static std::optional<std::size_t> ParseChunkHeader(const std::uint8_t* header, std::size_t size);

    // The image size of an upload start command line (without line end)
    // "AT+SOTHFWUPSTART=1,0,<size>"; nothing when the line is not one or the
    // size is not plain decimal digits.
    static std::optional<std::uint64_t> ParseUploadStart(const std::string& line);

private:
    enum class Banner
    {
        None,
        AppReady,
        UpgradeSuccess
    };

    void Note(std::string text);
    void Touch(TimePoint at);
    // Sends bytes no earlier than nextSend_, byte by byte when trickling.
    void Emit(const std::string& text);
    void Emit(const std::vector<std::uint8_t>& bytes);
    // Nothing more goes on the line for `pause`, counted from when the next
    // byte would have gone.
    void HoldBack(Clock::duration pause);
    // A reply or banner at `step`, with the faults that strike there.
    void Reply(ReplyStep step, const std::string& text);
    void Reply(const std::string& text) { Reply(ReplyStep{}, text); }
    void Restart(Banner banner, ReplyStep::Kind bannerStep);
    void BeginBoot(Banner banner, ReplyStep::Kind bannerStep, TimePoint start);
    void LosePower(const std::string& when);
    void AnnounceIfDue();
    void ClearUpload();

    void CommandByte(std::uint8_t byte);
    void Execute(const std::string& line);
    void AcknowledgeUploadStart();
    void UploadByte(std::uint8_t byte);
    void ChunkComplete();
    void AbandonUpload();

    ModuleConfig config_;
    ModuleStatus status_;
    TimePoint now_;
    TimePoint bootEnd_;
    TimePoint prepareEnd_;
    TimePoint darkEnd_;
    // The earliest time the module's next byte may go on the line.
    TimePoint nextSend_;
    bool firstByteAfterStart_ = false;
    Banner pendingBanner_ = Banner::None;
    ReplyStep::Kind bannerStep_ = ReplyStep::Kind::StartBanner;
    bool awaitingNewOpener_ = true;
    bool echo_ = true;

    std::string line_;
    bool lineOverflow_ = false;

    // Upload state: a chunk is read as a 7-byte header, then its data. The
    // module's idle time counts from the later of its last byte received and
    // its last byte sent.
    std::vector<std::uint8_t> header_;
    std::size_t chunkSize_ = 0;
    std::size_t chunkFill_ = 0;
    TimePoint lastUploadByte_;

    std::vector<Output> output_;
};
