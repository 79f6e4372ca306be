#pragma once

#include "FlasherProtocol.h"
#include "TelitComDevice.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct CommandResult
{
    bool ok = false;
    // The bytes read for this command.
    FlasherProtocol::Bytes response;
};

struct UpgradeResult
{
    bool ok = false;
    // The version the module reported after the upgrade; may be empty.
    std::string version;
};

// Values the product fixes, adjustable so tests need not wait for them. The
// program always uses the defaults.
struct ModuleFlasherTuning
{
    TelitLinkOptions link{};
    std::chrono::seconds ackTimeout = FlasherProtocol::AckTimeout;
};

// Drives the Wi-Fi module's AT interface: the version query, the firmware
// upload and the whole upgrade procedure. Holds at most one serial link and
// replaces it across every module restart; every procedure leaves it closed.
// Failures are only results (ok false, empty strings); nothing is written
// anywhere except the version record of GetVersion. Single-threaded use.
class ModuleFlasher
{
public:
    // Opens nothing; the first action opens the port.
    ModuleFlasher(std::string comPort, std::chrono::seconds readTimeout, std::chrono::seconds settleDelay,
                  std::chrono::seconds bootTimeout, ModuleFlasherTuning tuning = {});
    ~ModuleFlasher();

    ModuleFlasher(const ModuleFlasher&) = delete;
    ModuleFlasher& operator=(const ModuleFlasher&) = delete;

    // Sends command (nothing when empty) and judges the reply. A command first
    // discards what has arrived, so its reply is judged only by bytes that
    // arrive after it; listening (empty command) takes what is buffered too.
    //  expected absent:  waits 100 ms and returns what has arrived, ok true.
    //  expected empty:   ok when any byte arrived in time.
    //  otherwise:        reads up to the first occurrence of expected (or the
    //                    time-out) and ok when the response ends with it.
    // timeout absent means the read time-out of the constructor. Without an
    // open link, or when the write fails: ok false, empty response.
    CommandResult SendCommandInternal(const FlasherProtocol::Bytes& command,
                                      const std::optional<FlasherProtocol::Bytes>& expected,
                                      std::optional<std::chrono::seconds> timeout = std::nullopt);

    // Sends resetCommand on the open link (if any), closes it, waits bootWait
    // and then opens a new link, trying up to attempts times (each attempt
    // is a whole connection, with its own retries). False when no link could
    // be opened.
    bool ResetAndReconnectInternal(const FlasherProtocol::Bytes& resetCommand, std::chrono::seconds bootWait,
                                   std::int64_t attempts);

    // Closes any link, then opens a new one; true when a link is now held.
    bool Connect();
    void Disconnect();
    bool IsConnected() const;

    // The trace line for bytes under label. The program keeps no trace; the
    // line is composed and returned, and its callers drop it.
    static std::string PrintBytes(std::string_view label, const FlasherProtocol::Bytes& bytes);

    // The module's firmware version from a fresh link, or empty when it could
    // not be read. Rewrites the version record in the store when the module
    // answers, deletes it when the port opened but the module did not answer,
    // and leaves it alone when the port could not be opened.
    std::string GetVersion();

    static std::string ExtractFwVersionInternal(const FlasherProtocol::Bytes& reply);

    // directory joined with name, when that names a regular file (symbolic
    // links followed); nothing for no name, a missing file, a directory, a
    // device or any error.
    static std::optional<std::string> FindFirmwareFileInternal(const std::string& directory,
                                                               const std::optional<std::string>& name);

    // Uploads the image file at path over the open link in acknowledged
    // chunks; each chunk is acknowledged only by bytes that arrive after it
    // was written. False on any failure: no link, an empty or unreadable image,
    // the start or a chunk not acknowledged in time, a write error. A failed
    // chunk is not sent again.
    bool UploadFirmwareInternal(const std::string& path);

    // The whole procedure for the firmware file named on the command line:
    // upload, two module restarts, the version read at the end. ok false
    // (with an empty version) when a step that matters failed.
    UpgradeResult Upgrade(const std::string& firmwareFile);

private:
    // The steps of Upgrade.
    // The module is ready for the upload: its start banner arrives, or else it
    // answers the "AT+YLC?" query as expected. Then echo is turned off, when
    // the module lets it.
    bool ConfirmModuleReady();
    // Closes the link over a module restart, opens a new one after the settle
    // delay and listens for the banner that ends the restart; without it, one
    // reset and reconnection has to succeed.
    bool RejoinAfterRestart(const FlasherProtocol::Bytes& banner);
    // Tells the module to keep the new image; its reply does not matter.
    void AcceptImage();
    // The version the module reports; nothing when it does not answer.
    std::optional<std::string> QueryVersion();

    std::string comPort;
    std::chrono::seconds readTimeout;
    std::chrono::seconds settleDelay;
    std::chrono::seconds bootTimeout;
    std::unique_ptr<TelitComDevice> device;
    ModuleFlasherTuning tuning;
};
