// ModuleFlasher: upgrades the Wi-Fi module's firmware and reads its version.
//
//   ModuleFlasher [-f|--firmware-file IMAGE -t|--target-version VERSION] [-v|--version]
//
// Exit status 0, or 1 when the options are wrong or an upgrade did not end
// with the module reporting the target version. With -v, the module's
// version (empty when it cannot be read) is the one line on standard output.

#include "FlasherProtocol.h"
#include "ModuleFlasher.h"

#include <csignal>
#include <cstdio>
#include <getopt.h>
#include <optional>
#include <string>

namespace {

struct Options
{
    std::optional<std::string> firmwareFile;
    std::optional<std::string> targetVersion;
    bool queryVersion = false;
};

// Nothing when the command line is wrong (getopt has said why on stderr).
std::optional<Options> ParseOptions(int argc, char** argv)
{
    static const option longOptions[] = {
        {"firmware-file", required_argument, nullptr, 'f'},
        {"target-version", required_argument, nullptr, 't'},
        {"version", no_argument, nullptr, 'v'},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    int letter = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): options are parsed before the program starts any thread
    while ((letter = getopt_long(argc, argv, "f:t:v", longOptions, nullptr)) != -1) {
        switch (letter) {
        case 'f':
            options.firmwareFile = optarg;
            break;
        case 't':
            options.targetVersion = optarg;
            break;
        case 'v':
            options.queryVersion = true;
            break;
        default:
            return std::nullopt;
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options || (options->firmwareFile && !options->targetVersion)) {
        return 1;
    }

    int status = 0;
    ModuleFlasher flasher(FlasherProtocol::DefaultComPort, FlasherProtocol::DefaultReadTimeout,
                          FlasherProtocol::SettleDelay, FlasherProtocol::PostResetBootTimeout);
    if (options->firmwareFile) {
        const UpgradeResult result = flasher.Upgrade(*options->firmwareFile);
        status = result.ok && result.version == *options->targetVersion ? 0 : 1;
    }
    if (options->queryVersion) {
        const std::string version = flasher.GetVersion();
        // A reader that went away must not turn the outcome into a signal death.
        (void)std::signal(SIGPIPE, SIG_IGN);
        (void)std::fwrite(version.data(), 1, version.size(), stdout);
        (void)std::fputc('\n', stdout);
        (void)std::fflush(stdout);
    }
    return status;
}
