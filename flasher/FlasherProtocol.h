#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Wi-Fi module's AT protocol as the flasher speaks it: the command and
// reply table, the fixed time values, and the framing rules as pure functions
// that need no device. Replies are recognised by byte-exact patterns only.
namespace FlasherProtocol {

using Bytes = std::vector<std::uint8_t>;

// The string's bytes, without a terminator.
inline Bytes StrToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// Commands and replies ("\r\n" is carriage return, line feed).
inline const Bytes CmdVer = StrToBytes("AT+VER=?\r\n");
inline const Bytes AppVersion = StrToBytes("APP VERSION=");
inline const Bytes Crnl = StrToBytes("\r\n");
inline const Bytes RespOk = StrToBytes("OK\r\n");
inline const Bytes RespAppReady = StrToBytes("Va2ZeZa APP\r\n");
inline const Bytes CmdYlc = StrToBytes("AT+YLC?\r\n");
inline const Bytes RespToYlc = StrToBytes("+YLC:1,1\r\n");
inline const Bytes CmdEchoDisable = StrToBytes("ATE0\r\n");
inline constexpr std::string_view CmdFotaStartTemplate = "AT+SOTHFWUPSTART=1,0,{filesize}\r\n";
inline constexpr std::string_view FileSizePlaceholder = "{filesize}";
inline const Bytes FotaChunkPrefix{0x1B, 0x4D};
inline const Bytes FotaChunkAck{0x1B, 0x4F};
inline const Bytes RespRstOth = StrToBytes("APP RESET OTH FW-UP-SUCCESS\r\n");
inline const Bytes CmdFotaAccept = StrToBytes("AT+SOTAFWUPACCEPT\r\n");
inline const Bytes CmdReset = StrToBytes("AT+RESET=1\r\n");
// Part of the module's command set; no procedure of the flasher sends them.
inline const Bytes CmdAt = StrToBytes("AT\r\n");
inline const Bytes CmdW0 = StrToBytes("AT&W0\r\n");
inline const Bytes CmdLogsl = StrToBytes("AT+YLOGSL=8\r\n");

// Configuration of the program and the names it uses.
inline constexpr const char* DefaultComPort = "/dev/wifi1";
inline constexpr const char* DefaultSourceDir = ".";
inline constexpr const char* DefaultFirmwareFilename = "s2w_fota_modified.bin";
inline constexpr const char* WifiFirmwareVersionFilename = "WifiFirmwareVersion.txt";

// Time values, in whole seconds where the module protocol counts them.
inline constexpr std::chrono::seconds DefaultReadTimeout{5};
inline constexpr std::chrono::seconds PostResetBootTimeout{20};
inline constexpr std::chrono::seconds AckTimeout{60};
// The module's own restart after the upload and after the accept, and the
// boot wait after a reset: the link stays closed this long.
inline constexpr std::chrono::seconds SettleDelay{15};
// Listening without an expected reply gives the module this long to talk.
inline constexpr std::chrono::milliseconds ListenPause{100};
// After an image that ends on a chunk boundary, the module may still report.
inline constexpr std::chrono::milliseconds AfterEofPause{500};
// Before the buffers are reset after a missing chunk acknowledgement.
inline constexpr std::chrono::milliseconds AckTimeoutPause{50};
// Around the reconnection of a reset.
inline constexpr std::chrono::milliseconds ReconnectedPause{1000};
inline constexpr std::chrono::milliseconds ReconnectRetryPause{2000};

inline constexpr std::size_t FotaChunkSize = 1024;
// Prefix, four length digits and the ':' in front of the data bytes.
inline constexpr std::size_t FotaChunkHeaderSize = 7;

// One upload chunk: ESC 'M', the data length as four zero-padded decimal
// digits, ':', then the data bytes. Empty when count is 0 or larger than
// FotaChunkSize (no such chunk exists on the wire).
Bytes FrameChunk(const std::uint8_t* data, std::size_t count);

// The start command for an image of imageSize bytes: the first "{filesize}"
// of templ replaced by the size in plain decimal. Empty when templ holds no
// placeholder.
std::optional<Bytes> BuildStartCommand(std::string_view templ, std::uint64_t imageSize);

// The reply that acknowledges a chunk of chunkSize bytes after bytesSent bytes
// of an image of imageSize bytes: RespOk for the chunk that completes the
// image, FotaChunkAck for every other one.
const Bytes& ExpectedChunkReply(std::uint64_t imageSize, std::uint64_t bytesSent, std::size_t chunkSize);

// The bytes between the first "APP VERSION=" and the next "\r\n" after it, as
// they are; empty when either is missing.
std::string ExtractVersion(const Bytes& reply);

// label followed by every byte: printable ASCII (0x20-0x7E) as itself, any
// other byte as "\x" and two lowercase hexadecimal digits.
std::string FormatTraceLine(std::string_view label, const Bytes& bytes);

// name when it is absolute; otherwise directory, a '/' unless directory is
// empty or already ends in one, and name.
std::string JoinPath(std::string_view directory, std::string_view name);

bool EndsWith(const Bytes& bytes, const Bytes& suffix);

} // namespace FlasherProtocol
