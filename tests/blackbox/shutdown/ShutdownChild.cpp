// A process for shutdown scenarios: started under a chosen name (argv[0]),
// it reports each termination signal it receives and reacts as told:
//   shutdown_child MODE [inherit-session]
//   MODE: exit (ends on SIGTERM), ignore (outlives it), slow:MS (ends MS after it)
// It leads a session of its own unless told to stay in its starter's.
// It tells its starter on descriptor 3 once its handlers are in place.
#include "ScenarioReport.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

const char* name = "child";
enum class Mode
{
    Exit,
    Ignore,
    Slow
} mode = Mode::Exit;
volatile sig_atomic_t terminating = 0;

void OnSignal(int signal)
{
    const char* event = signal == SIGTERM   ? "SIGTERM"
                        : signal == SIGCONT ? "SIGCONT"
                        : signal == SIGPWR  ? "SIGPWR"
                                            : "SIGHUP";
    scenario::Report(name, event);
    if (signal == SIGTERM) {
        if (mode == Mode::Exit) {
            _exit(0);
        }
        if (mode == Mode::Slow) {
            terminating = 1;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    name = argv[0];
    long slowMs = 0;
    if (argc > 1 && std::strcmp(argv[1], "ignore") == 0) {
        mode = Mode::Ignore;
    } else if (argc > 1 && std::strncmp(argv[1], "slow:", 5) == 0) {
        mode = Mode::Slow;
        slowMs = std::strtol(argv[1] + 5, nullptr, 10);
    }
    if (argc < 3 || std::strcmp(argv[2], "inherit-session") != 0) {
        setsid();
    }
    scenario::OpenReport();

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    // One handler at a time, so the report shows the order of delivery.
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGCONT, SIGPWR, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGCONT, SIGPWR, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }

    const char ready = 'R';
    if (write(3, &ready, 1) == 1) {
        close(3);
    }

    // Bounded: a scenario that forgets a child must not leave it running.
    const uint64_t giveUp = scenario::NowMs() + 60000u;
    uint64_t endAt = 0;
    while (scenario::NowMs() < giveUp) {
        if (terminating != 0 && endAt == 0) {
            endAt = scenario::NowMs() + static_cast<uint64_t>(slowMs);
        }
        if (endAt != 0 && scenario::NowMs() >= endAt) {
            _exit(0);
        }
        const timespec pause{0, 2000000L};
        nanosleep(&pause, nullptr);
    }
    return 0;
}
