// module-sim: plays the printer's Wi-Fi module on a pseudo-terminal.
#include "ModuleSimulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// What the command line sets: the module's behaviour and the program's own.
struct Settings
{
    ModuleConfig module;
    std::string link;
    bool log = false;
    bool help = false;
};

// The part of the help text an option is listed in.
enum class Section
{
    Program,
    Fault,
};

// One option of the command line. `value` names its value in the help text
// (null: the option takes none); `help` is its help text, a line break where
// the text goes on in the next line. `apply` sets what the option stands for
// and is false for a value it refuses.
struct OptionRow
{
    Section section;
    const char* name;
    const char* value;
    const char* help;
    bool (*apply)(Settings& settings, const char* value);
};

constexpr unsigned long long MaxMs = 24ULL * 3600 * 1000;
constexpr unsigned long long MaxChunk = std::numeric_limits<std::uint32_t>::max();

// The setters of the rows: a switch, a text and a whole decimal number within
// [min, max]; each true when it took the value.
bool SwitchTo(bool value, bool& to)
{
    to = value;
    return true;
}

bool TakeText(const char* text, std::string& to)
{
    to = text;
    return true;
}

template <typename Number>
bool ReadNumber(const char* text, unsigned long long min, unsigned long long max, Number& to)
{
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max) {
        return false;
    }
    to = Number(value);
    return true;
}

// "STEP:NUMBER": a step of the exchange (ReplyStep) and a whole number
// within [min, max].
template <typename Number>
bool ReadStepAndNumber(const char* text, unsigned long long min, unsigned long long max, ReplyStep& step, Number& to)
{
    const char* colon = text != nullptr ? std::strrchr(text, ':') : nullptr;
    if (colon == nullptr) {
        return false;
    }
    const std::optional<ReplyStep> parsed = ReplyStep::Parse(std::string_view(text, std::size_t(colon - text)));
    if (!parsed || !ReadNumber(colon + 1, min, max, to)) {
        return false;
    }
    step = *parsed;
    return true;
}

bool ReadFirmwareAfterAccept(const char* text, ModuleFaults::AfterAccept& to)
{
    const std::string value = text != nullptr ? text : "";
    if (value != "new" && value != "old") {
        return false;
    }
    to = value == "new" ? ModuleFaults::AfterAccept::NewFirmware : ModuleFaults::AfterAccept::OldFirmware;
    return true;
}

// Every option, in the order of the help text. A new option is one row here.
const OptionRow Options[] = {
    {Section::Program, "link", "PATH",
     "also make PATH a symbolic link to the terminal\n(an existing link there is replaced, anything else\n"
     "refused); removed again at exit",
     [](Settings& s, const char* v) { return TakeText(v, s.link); }},
    {Section::Program, "boot-time", "MS", "time a (re)start takes, in milliseconds (default 2000)",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxMs, s.module.bootTime); }},
    {Section::Program, "version-before", "TEXT", "version reported before an accepted upgrade (1.0.0)",
     [](Settings& s, const char* v) { return TakeText(v, s.module.versionBefore); }},
    {Section::Program, "version-after", "TEXT", "version reported after it (2.0.0)",
     [](Settings& s, const char* v) { return TakeText(v, s.module.versionAfter); }},
    {Section::Program, "save-image", "PATH", "save each completely received image to PATH",
     [](Settings& s, const char* v) { return TakeText(v, s.module.saveImageTo); }},
    {Section::Program, "baud", "RATE",
     "pace the line at RATE bits per second, 10 bits per\nbyte, both directions (default: unpaced)",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, 100'000'000ULL, s.module.baudRate); }},
    {Section::Program, "no-echo", nullptr, "do not echo commands (the module echoes until ATE0)",
     [](Settings& s, const char*) { return SwitchTo(false, s.module.echo); }},
    {Section::Program, "max-image-size", "BYTES", "largest image the upload accepts (8388608)",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, 1ULL << 30, s.module.maxImageSize); }},
    {Section::Program, "upload-idle", "MS", "abandon an upload idle this long (30000)",
     [](Settings& s, const char* v) { return ReadNumber(v, 1, MaxMs, s.module.uploadIdleTimeout); }},
    {Section::Program, "start-ack-delay", "MS",
     "acknowledge an upload start only after MS\nmilliseconds, dropping image bytes that come\n"
     "earlier, as a module preparing its flash (default 0)",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxMs, s.module.startAckDelay); }},
    {Section::Program, "lose-banners", nullptr,
     "send each banner when the boot ends, lost when\nnobody holds the port then, as on a real line",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.bannersLostWhilePortClosed); }},
    {Section::Program, "log", nullptr, "report commands, banners and restarts on stderr",
     [](Settings& s, const char*) { return SwitchTo(true, s.log); }},
    {Section::Program, "help", nullptr, "show this text",
     [](Settings& s, const char*) { return SwitchTo(true, s.help); }},

    {Section::Fault, "no-start-banner", nullptr, "no \"Va2ZeZa APP\" after power-on",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.noStartBanner); }},
    {Section::Fault, "wrong-ylc", nullptr, "answer \"+YLC:0,1\" to AT+YLC?",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.wrongYlcReply); }},
    {Section::Fault, "no-ack-at", "N", "do not answer chunk N",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxChunk, s.module.faults.noAckAtChunk); }},
    {Section::Fault, "wrong-ack-at", "N", "answer chunk N with the wrong reply",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxChunk, s.module.faults.wrongAckAtChunk); }},
    {Section::Fault, "hang-up-at", "N", "drop the line when chunk N begins",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxChunk, s.module.faults.hangUpAtChunk); }},
    {Section::Fault, "silent", nullptr, "never send anything",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.silent); }},
    {Section::Fault, "no-banner-after-upload", nullptr, "no \"APP RESET OTH FW-UP-SUCCESS\"",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.noBannerAfterUpload); }},
    {Section::Fault, "no-banner-after-accept", nullptr, "no \"Va2ZeZa APP\" after AT+SOTAFWUPACCEPT",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.noBannerAfterAccept); }},
    {Section::Fault, "garbage", nullptr, "a line of noise before every reply and banner",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.garbage); }},
    {Section::Fault, "power-loss-at", "N", "lose power when chunk N begins",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxChunk, s.module.faults.powerLossAtChunk); }},
    {Section::Fault, "power-loss-after-upload", nullptr,
     "lose power at the restart into the received image:\nthe old firmware boots, the accept gets ERROR",
     [](Settings& s, const char*) { return SwitchTo(true, s.module.faults.powerLossAfterUpload); }},
    {Section::Fault, "power-loss-after-accept", "new|old",
     "lose power at the restart after the accept and come\nback on the new or the old firmware",
     [](Settings& s, const char* v) { return ReadFirmwareAfterAccept(v, s.module.faults.powerLossAfterAccept); }},
    {Section::Fault, "dark-time", "MS",
     "after a power loss, stay dark MS milliseconds (input\nlost, nothing sent), then boot as after power-on\n"
     "(default 5000)",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxMs, s.module.faults.darkTime); }},
    {Section::Fault, "trickle", "MS", "send every byte MS milliseconds after the one before",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxMs, s.module.faults.trickleGap); }},
    {Section::Fault, "split-reply", "STEP:BYTE",
     "send the reply at STEP as its first BYTE bytes, then\nthe rest after the split gap",
     [](Settings& s, const char* v) {
         return ReadStepAndNumber(v, 1, 4096, s.module.faults.splitStep, s.module.faults.splitAt);
     }},
    {Section::Fault, "split-gap", "MS", "the pause inside a split reply (default 1000)",
     [](Settings& s, const char* v) { return ReadNumber(v, 0, MaxMs, s.module.faults.splitGap); }},
    {Section::Fault, "silent-at", "STEP:MS", "say nothing for MS milliseconds before the reply at\nSTEP",
     [](Settings& s, const char* v) {
         return ReadStepAndNumber(v, 0, MaxMs, s.module.faults.silentStep, s.module.faults.silentFor);
     }},
};

const char* const UsageHead = R"(Usage: module-sim [OPTION]...
Plays the printer's Wi-Fi module on a pseudo-terminal until SIGINT or SIGTERM.
Prints the terminal's path as its first line on standard output; open that
path as the module's serial port (or give it to the sandbox with --tty).

)";

const char* const UsageTail = R"(
STEP is where the module replies or announces itself: start-banner, ylc,
ate0, upload-start, chunk-N, upload-banner, accept, accept-banner, version.

The banner after a (re)start goes to whoever opens the port after the restart
began, once the boot time has passed (with --lose-banners: to whoever holds
the port when the boot ends); bytes sent while nobody holds the port are
lost. SIGUSR1 takes the faults away (a dropped line comes back on a new
terminal, the link follows it) and reports the version the module reports.
Exit status: 0 after SIGINT, SIGTERM or SIGHUP, 1 on bad options, 2 when the
terminal cannot be made.
)";

// The options of one section, their texts starting at `column`.
void PrintOptions(Section section, std::size_t column)
{
    for (const OptionRow& row : Options) {
        if (row.section != section) {
            continue;
        }
        std::string line = std::string("  --") + row.name + (row.value != nullptr ? std::string(" ") + row.value : "");
        line.resize(std::max(line.size() + 1, column), ' ');
        for (const char* c = row.help; *c != '\0'; ++c) {
            line += *c;
            if (*c == '\n') {
                line.append(column, ' ');
            }
        }
        std::printf("%s\n", line.c_str());
    }
}

void PrintUsage()
{
    std::fputs(UsageHead, stdout);
    PrintOptions(Section::Program, 25);
    std::fputs("\nFaults (chunks count from 1):\n", stdout);
    PrintOptions(Section::Fault, 29);
    std::fputs(UsageTail, stdout);
}

enum class Parsed
{
    Run,
    Help,
    Wrong,
};

// Reads the options into settings; Wrong after saying why on stderr.
Parsed ParseCommandLine(int argc, char** argv, Settings& settings)
{
    // getopt_long gives each option back as FirstCode plus its row.
    constexpr int FirstCode = 256;
    std::vector<option> longOptions;
    for (const OptionRow& row : Options) {
        const int code = FirstCode + static_cast<int>(longOptions.size());
        longOptions.push_back({row.name, row.value != nullptr ? required_argument : no_argument, nullptr, code});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    int code = 0;
    while ((code = ::getopt_long(argc, argv, "", longOptions.data(), nullptr)) != -1) {
        if (code < FirstCode) {
            std::fputs("Try 'module-sim --help'.\n", stderr);
            return Parsed::Wrong;
        }
        const OptionRow& row = Options[code - FirstCode];
        if (!row.apply(settings, optarg)) {
            std::fprintf(stderr, "module-sim: bad value '%s' for --%s\n", optarg, row.name);
            return Parsed::Wrong;
        }
        if (settings.help) {
            return Parsed::Help;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "module-sim: unexpected argument '%s'\nTry 'module-sim --help'.\n", argv[optind]);
        return Parsed::Wrong;
    }
    return Parsed::Run;
}

bool MakeLink(const std::string& link, const std::string& target)
{
    struct stat st
    {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "module-sim: %s exists and is not a symbolic link\n", link.c_str());
        return false;
    }
    const std::string temporary = link + ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0 || ::rename(temporary.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "module-sim: cannot make the link %s: %s\n", link.c_str(), std::strerror(errno));
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target)
{
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

// Reports on stderr what the module did since the last call, each event with
// its time since the simulator started; reports nothing unless enabled.
class EventLog
{
public:
    EventLog(std::chrono::steady_clock::time_point start, bool enabled) : start_(start), enabled_(enabled) {}

    void Report(const ModuleSimulator& module)
    {
        if (!enabled_) {
            return;
        }
        for (const auto& e : module.Events(seen_)) {
            ++seen_;
            const double t = std::chrono::duration<double>(e.at - start_).count();
            std::fprintf(stderr, "module-sim %8.3f s: %s\n", t, Printable(e.text).c_str());
        }
    }

private:
    static std::string Printable(const std::string& text)
    {
        std::string out;
        for (char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c >= 0x20 && c < 0x7F) {
                out.push_back(ch);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            }
        }
        return out;
    }

    std::chrono::steady_clock::time_point start_;
    bool enabled_;
    std::size_t seen_ = 0;
};

// The signals that end the program, blocked in every thread from here on:
// the module's thread inherits the mask, so only WaitForStopSignal sees them.
sigset_t BlockStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// SIGUSR1: the module's faults go; a line that was dropped comes back on a
// new terminal, and the link follows it.
void Repair(ModuleSimulator& module, const std::string& link)
{
    const std::string before = module.PortPath();
    if (!module.Repair()) {
        std::fprintf(stderr, "module-sim: the line could not be put back\n");
        return;
    }
    const std::string after = module.PortPath();
    if (after != before) {
        std::fprintf(stderr, "module-sim: the line is back on %s\n", after.c_str());
        if (!link.empty()) {
            MakeLink(link, after);
        }
    }
}

// Reports the module's events every tenth of a second and repairs it on
// SIGUSR1, until a stop signal.
void WaitForStopSignal(const sigset_t& signals, ModuleSimulator& module, EventLog& events, const std::string& link)
{
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGUSR1) {
            Repair(module, link);
        } else if (signal > 0) {
            return;
        }
        events.Report(module);
    }
}

void PrintSummary(const ModuleSimulator& module)
{
    const ModuleStatus s = module.Status();
    std::fprintf(stderr,
                 "module-sim: %zu command(s); %u image(s) received, last %zu of %llu bytes in %u chunk(s)%s; "
                 "%u restart(s); reports version \"%s\"\n",
                 s.commands.size(), static_cast<unsigned>(s.imagesCompleted), s.image.size(),
                 static_cast<unsigned long long>(s.announcedImageSize), static_cast<unsigned>(s.chunksReceived),
                 module.ImageSaved() ? "" : " (could not be saved)", static_cast<unsigned>(s.restarts),
                 s.reportedVersion.c_str());
    std::fprintf(stderr,
                 "module-sim: faults that struck: %u power loss(es), %u reply(ies) held back, %u reply(ies) split, "
                 "%llu byte(s) trickled; %u repair(s)\n",
                 static_cast<unsigned>(s.powerLosses), static_cast<unsigned>(s.repliesHeldBack),
                 static_cast<unsigned>(s.repliesSplit), static_cast<unsigned long long>(s.bytesTrickled),
                 static_cast<unsigned>(s.repairs));
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    switch (ParseCommandLine(argc, argv, settings)) {
    case Parsed::Help:
        PrintUsage();
        return 0;
    case Parsed::Wrong:
        return 1;
    case Parsed::Run:
        break;
    }

    const sigset_t signals = BlockStopSignals();
    EventLog events(std::chrono::steady_clock::now(), settings.log);
    ModuleSimulator module(settings.module);
    if (!module.Start()) {
        std::fprintf(stderr, "module-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 2;
    }
    const std::string port = module.PortPath();
    if (!settings.link.empty() && !MakeLink(settings.link, port)) {
        return 2;
    }
    std::printf("%s\n", port.c_str());
    std::fflush(stdout);

    WaitForStopSignal(signals, module, events, settings.link);
    module.Stop();
    if (!settings.link.empty()) {
        RemoveLink(settings.link, module.PortPath());
    }
    events.Report(module);
    PrintSummary(module);
    return 0;
}
