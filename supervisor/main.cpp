// RadioFlashMonitor: shows the Wi-Fi module upgrade's pages on the printer's
// screen, waits for the upgrade script's marker file in "/ramdisk/", shows the
// result and restarts the printer 15 s after it.
//
//   RadioFlashMonitor [-a] [-r] [-p NUMBER] [-f FILE]
//
// -a confirms the result pages automatically (they are not shown), -r selects
// the recovery variants of the pages; -p and -f are accepted without effect.
// Other options are ignored after getopt's diagnostic. The program writes
// nothing of its own; it ends with status 0 after SIGTERM, SIGQUIT or SIGINT
// (however many come), with status 1 at once when the system refused what it
// needs to watch for the result and restart after it, and otherwise through
// the restart.

#include "PosixExitSignalWatcher.h"
#include "RadioFlashMonitor.h"
#include "ThreadFactory.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

constexpr int ThreadFactoryPriority = 14;
constexpr int StartFailed = 1;

struct Options
{
    bool autoConfirm = false;
    bool recoveryMode = false;
    std::uint32_t number = 0;
};

Options ParseOptions(int argc, char** argv)
{
    Options options;
    int letter = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): options are parsed before the program starts any thread
    while ((letter = getopt(argc, argv, "f:ap:r")) != -1) {
        switch (letter) {
        case 'a':
            options.autoConfirm = true;
            break;
        case 'r':
            options.recoveryMode = true;
            break;
        case 'p':
            options.number = static_cast<std::uint32_t>(std::strtoul(optarg, nullptr, 10));
            break;
        default: // 'f' (its argument has no use) and '?' (getopt has said why)
            break;
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    // Blocks the termination signals before any other thread exists, so that
    // every thread inherits the mask and only the listener receives them.
    PosixExitSignalWatcher exitSignalWatcher;
    auto threadFactory = std::make_shared<ThreadFactory>(ThreadFactoryPriority);
    auto supervisor =
        RadioFlashMonitor::Create(threadFactory, options.autoConfirm, options.recoveryMode, options.number);
    if (!supervisor) {
        // It could not watch for the result or restart after it: the page
        // is gone again, the printer's own screen shows, nothing restarts.
        return StartFailed;
    }
    exitSignalWatcher.RegisterNotification(RadioFlashMonitor::ExitNotification(supervisor));
    if (!exitSignalWatcher.Watch()) {
        // No thread for the listener: this one takes the signal itself.
        exitSignalWatcher.Listen();
    }
    supervisor->WaitForExit();
    // No callback holds a reference: the supervisor is destroyed here.
    supervisor.reset();
    threadFactory.reset();
    return 0;
}
