#pragma once

#include "ReplyStep.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// The faults the module can be told to show: a module in the field, its line
// and its power supply at their worst. Chunk numbers count from 1; 0 means
// never. The defaults show none.
struct ModuleFaults
{
    bool noStartBanner = false;        // no "Va2ZeZa APP" after power-on
    bool wrongYlcReply = false;        // "+YLC:0,1" instead of "+YLC:1,1"
    std::uint32_t noAckAtChunk = 0;    // this chunk is stored but not answered
    std::uint32_t wrongAckAtChunk = 0; // "OK" for a middle chunk, ESC "O" for the last
    std::uint32_t hangUpAtChunk = 0;   // the line drops once this chunk's header has arrived
    bool silent = false;               // takes everything in, never sends a byte
    bool noBannerAfterUpload = false;  // no "APP RESET OTH FW-UP-SUCCESS" after the image
    bool noBannerAfterAccept = false;  // no "Va2ZeZa APP" after the accept
    bool garbage = false;              // a line of noise before every reply and banner

    // Power losses. The module is dark for darkTime (bytes sent to it are
    // lost, nothing comes back), then boots as after power-on and announces
    // itself with "Va2ZeZa APP". It keeps what a real one keeps: the firmware
    // it ran, the new one only once that was accepted; a received image that
    // waits for the accept is lost.
    std::chrono::milliseconds darkTime{5000};
    std::uint32_t powerLossAtChunk = 0; // once this chunk's header has arrived
    bool powerLossAfterUpload = false;  // at the restart into the received image: the old firmware boots
    enum class AfterAccept
    {
        None,
        NewFirmware, // the accept was kept: the new firmware boots
        OldFirmware, // the power went before the module kept the accept
    };
    AfterAccept powerLossAfterAccept = AfterAccept::None; // at the restart after the accept

    // Replies that come slowly. Each applies to everything the module sends
    // from its step on, echoes included, since the line keeps its order.
    std::chrono::milliseconds trickleGap{0}; // every byte this long after the one before
    // The reply at splitStep goes out as its first splitAt bytes (after any
    // noise), then the rest splitGap later; a reply of splitAt bytes or fewer
    // goes whole.
    ReplyStep splitStep;
    std::size_t splitAt = 0;
    std::chrono::milliseconds splitGap{1000};
    // The module says nothing for silentFor before the reply at silentStep
    // (each time the step comes).
    ReplyStep silentStep;
    std::chrono::milliseconds silentFor{0};
};

// How the simulated Wi-Fi module behaves: its timing, the versions it reports,
// where the received image goes, and the faults it can be told to show. The
// defaults are a healthy module on an unthrottled line.
struct ModuleConfig
{
    // Time from the start of a restart (power-on, the end of an image, the
    // accept, a reset) until the module takes commands again.
    std::chrono::milliseconds bootTime{2000};

    // Version reported before an accepted upgrade, and after it.
    std::string versionBefore = "1.0.0";
    std::string versionAfter = "2.0.0";

    // Echo command characters back, as modules do after a start until "ATE0".
    bool echo = true;

    // Largest image size the upload start command accepts.
    std::size_t maxImageSize = 8u * 1024u * 1024u;

    // Time from the upload start command until the module has prepared its
    // flash and acknowledges the start with "OK". Image bytes that arrive
    // before the acknowledgement are dropped (counted in
    // ModuleStatus::bytesDroppedBeforeStartAck), as a real module does.
    std::chrono::milliseconds startAckDelay{0};

    // An upload that receives nothing for this long is abandoned with "ERROR".
    std::chrono::milliseconds uploadIdleTimeout{30000};

    // Line speed in bits per second, 10 bits per byte, in both directions.
    // 0 leaves the line as fast as the terminal.
    std::uint32_t baudRate = 0;

    // Where a completely received image is saved (written to a temporary file
    // and renamed into place); empty: not saved. Used by ModuleSimulator only.
    std::string saveImageTo;

    // A banner is sent when the boot ends, and lost when nobody holds the port
    // then, as on a real serial line. Off: the banner waits for the first port
    // opened after the restart began.
    bool bannersLostWhilePortClosed = false;

    ModuleFaults faults;
};
