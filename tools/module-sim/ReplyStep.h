#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A place in the exchange of an upgrade where the module replies or announces
// itself, so that a fault can be made to strike there and nowhere else. In
// the order an upgrade meets them:
//   start-banner   "Va2ZeZa APP" after power-on
//   ylc            the answer to "AT+YLC?"
//   ate0           the answer to "ATE0"
//   upload-start   the answer to the upload start command
//   chunk-N        the answer to chunk N (counted from 1; the last one's is "OK")
//   upload-banner  "APP RESET OTH FW-UP-SUCCESS" after the image
//   accept         the answer to "AT+SOTAFWUPACCEPT"
//   accept-banner  "Va2ZeZa APP" after the accept
//   version        the answer to "AT+VER=?"
// Every other reply (to a reset, an unknown command, an abandoned upload)
// is at no step.
struct ReplyStep
{
    enum class Kind
    {
        None,
        StartBanner,
        Ylc,
        EchoOff,
        UploadStart,
        Chunk,
        UpgradeBanner,
        Accept,
        AcceptBanner,
        Version,
    };

    Kind kind = Kind::None;
    std::uint32_t chunk = 0; // Chunk only

    // The step a name above stands for; nothing for any other text (chunk 0
    // included).
    static std::optional<ReplyStep> Parse(std::string_view name);
    // The name Parse takes; "none" for Kind::None.
    std::string Name() const;

    bool operator==(const ReplyStep& other) const { return kind == other.kind && chunk == other.chunk; }
    bool operator!=(const ReplyStep& other) const { return !(*this == other); }
};
