// module-sim: plays the printer's Wi-Fi module on a pseudo-terminal.
#include "ModuleSimulator.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const Usage = R"(Usage: module-sim [OPTION]...
Plays the printer's Wi-Fi module on a pseudo-terminal until SIGINT or SIGTERM.
Prints the terminal's path as its first line on standard output; open that
path as the module's serial port (or give it to the sandbox with --tty).

  --link PATH            also make PATH a symbolic link to the terminal
                         (an existing link there is replaced, anything else
                         refused); removed again at exit
  --boot-time MS         time a (re)start takes, in milliseconds (default 2000)
  --version-before TEXT  version reported before an accepted upgrade (1.0.0)
  --version-after TEXT   version reported after it (2.0.0)
  --save-image PATH      save each completely received image to PATH
  --baud RATE            pace the line at RATE bits per second, 10 bits per
                         byte, both directions (default: unpaced)
  --no-echo              do not echo commands (the module echoes until ATE0)
  --max-image-size BYTES largest image the upload accepts (8388608)
  --upload-idle MS       abandon an upload idle this long (30000)
  --start-ack-delay MS   acknowledge an upload start only after MS
                         milliseconds, dropping image bytes that come
                         earlier, as a module preparing its flash (default 0)
  --lose-banners         send each banner when the boot ends, lost when
                         nobody holds the port then, as on a real line
  --log                  report commands, banners and restarts on stderr
  --help                 show this text

Faults (chunks count from 1):
  --no-start-banner          no "Va2ZeZa APP" after power-on
  --wrong-ylc                answer "+YLC:0,1" to AT+YLC?
  --no-ack-at N              do not answer chunk N
  --wrong-ack-at N           answer chunk N with the wrong reply
  --hang-up-at N             drop the line when chunk N begins
  --silent                   never send anything
  --no-banner-after-upload   no "APP RESET OTH FW-UP-SUCCESS"
  --no-banner-after-accept   no "Va2ZeZa APP" after AT+SOTAFWUPACCEPT
  --garbage                  a line of noise before every reply and banner

The banner after a (re)start goes to whoever opens the port after the restart
began, once the boot time has passed (with --lose-banners: to whoever holds
the port when the boot ends); bytes sent while nobody holds the port are
lost. Exit status: 0 after a signal, 1 on bad options, 2 when the
terminal cannot be made.
)";

enum Option
{
    OptLink = 256,
    OptBootTime,
    OptVersionBefore,
    OptVersionAfter,
    OptSaveImage,
    OptBaud,
    OptNoEcho,
    OptMaxImage,
    OptUploadIdle,
    OptStartAckDelay,
    OptLoseBanners,
    OptLog,
    OptHelp,
    OptNoStartBanner,
    OptWrongYlc,
    OptNoAckAt,
    OptWrongAckAt,
    OptHangUpAt,
    OptSilent,
    OptNoBannerAfterUpload,
    OptNoBannerAfterAccept,
    OptGarbage,
};

const option LongOptions[] = {
    {"link", required_argument, nullptr, OptLink},
    {"boot-time", required_argument, nullptr, OptBootTime},
    {"version-before", required_argument, nullptr, OptVersionBefore},
    {"version-after", required_argument, nullptr, OptVersionAfter},
    {"save-image", required_argument, nullptr, OptSaveImage},
    {"baud", required_argument, nullptr, OptBaud},
    {"no-echo", no_argument, nullptr, OptNoEcho},
    {"max-image-size", required_argument, nullptr, OptMaxImage},
    {"upload-idle", required_argument, nullptr, OptUploadIdle},
    {"start-ack-delay", required_argument, nullptr, OptStartAckDelay},
    {"lose-banners", no_argument, nullptr, OptLoseBanners},
    {"log", no_argument, nullptr, OptLog},
    {"help", no_argument, nullptr, OptHelp},
    {"no-start-banner", no_argument, nullptr, OptNoStartBanner},
    {"wrong-ylc", no_argument, nullptr, OptWrongYlc},
    {"no-ack-at", required_argument, nullptr, OptNoAckAt},
    {"wrong-ack-at", required_argument, nullptr, OptWrongAckAt},
    {"hang-up-at", required_argument, nullptr, OptHangUpAt},
    {"silent", no_argument, nullptr, OptSilent},
    {"no-banner-after-upload", no_argument, nullptr, OptNoBannerAfterUpload},
    {"no-banner-after-accept", no_argument, nullptr, OptNoBannerAfterAccept},
    {"garbage", no_argument, nullptr, OptGarbage},
    {nullptr, 0, nullptr, 0},
};

// A whole decimal number within [0, max]; false for anything else.
bool ParseCount(const char* text, unsigned long long max, unsigned long long& value)
{
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > max) {
        return false;
    }
    value = v;
    return true;
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
// its time since the simulator started.
class EventLog
{
public:
    explicit EventLog(std::chrono::steady_clock::time_point start) : start_(start) {}

    void Report(const ModuleSimulator& module)
    {
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
    std::size_t seen_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    ModuleConfig config;
    std::string link;
    bool log = false;
    const unsigned long long maxMs = 24ULL * 3600 * 1000;
    const unsigned long long maxChunk = std::numeric_limits<std::uint32_t>::max();

    int c;
    while ((c = ::getopt_long(argc, argv, "", LongOptions, nullptr)) != -1) {
        unsigned long long n = 0;
        bool good = true;
        switch (c) {
        case OptLink:
            link = optarg;
            break;
        case OptBootTime:
            good = ParseCount(optarg, maxMs, n);
            config.bootTime = std::chrono::milliseconds(n);
            break;
        case OptVersionBefore:
            config.versionBefore = optarg;
            break;
        case OptVersionAfter:
            config.versionAfter = optarg;
            break;
        case OptSaveImage:
            config.saveImageTo = optarg;
            break;
        case OptBaud:
            good = ParseCount(optarg, 100'000'000ULL, n);
            config.baudRate = static_cast<std::uint32_t>(n);
            break;
        case OptNoEcho:
            config.echo = false;
            break;
        case OptMaxImage:
            good = ParseCount(optarg, 1ULL << 30, n);
            config.maxImageSize = static_cast<std::size_t>(n);
            break;
        case OptUploadIdle:
            good = ParseCount(optarg, maxMs, n) && n > 0;
            config.uploadIdleTimeout = std::chrono::milliseconds(n);
            break;
        case OptStartAckDelay:
            good = ParseCount(optarg, maxMs, n);
            config.startAckDelay = std::chrono::milliseconds(n);
            break;
        case OptLoseBanners:
            config.bannersLostWhilePortClosed = true;
            break;
        case OptLog:
            log = true;
            break;
        case OptHelp:
            std::fputs(Usage, stdout);
            return 0;
        case OptNoStartBanner:
            config.noStartBanner = true;
            break;
        case OptWrongYlc:
            config.wrongYlcReply = true;
            break;
        case OptNoAckAt:
            good = ParseCount(optarg, maxChunk, n);
            config.noAckAtChunk = static_cast<std::uint32_t>(n);
            break;
        case OptWrongAckAt:
            good = ParseCount(optarg, maxChunk, n);
            config.wrongAckAtChunk = static_cast<std::uint32_t>(n);
            break;
        case OptHangUpAt:
            good = ParseCount(optarg, maxChunk, n);
            config.hangUpAtChunk = static_cast<std::uint32_t>(n);
            break;
        case OptSilent:
            config.silent = true;
            break;
        case OptNoBannerAfterUpload:
            config.noBannerAfterUpload = true;
            break;
        case OptNoBannerAfterAccept:
            config.noBannerAfterAccept = true;
            break;
        case OptGarbage:
            config.garbage = true;
            break;
        default:
            std::fputs("Try 'module-sim --help'.\n", stderr);
            return 1;
        }
        if (!good) {
            std::fprintf(stderr, "module-sim: bad value '%s' for --%s\n", optarg, LongOptions[c - OptLink].name);
            return 1;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "module-sim: unexpected argument '%s'\nTry 'module-sim --help'.\n", argv[optind]);
        return 1;
    }

    // The module's thread inherits the mask, so only sigtimedwait below sees these.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const auto start = std::chrono::steady_clock::now();
    ModuleSimulator module(config);
    if (!module.Start()) {
        std::fprintf(stderr, "module-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 2;
    }
    const std::string port = module.PortPath();
    if (!link.empty() && !MakeLink(link, port)) {
        return 2;
    }
    std::printf("%s\n", port.c_str());
    std::fflush(stdout);

    EventLog events(start);
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int s = sigtimedwait(&signals, nullptr, &tick);
        if (s > 0) {
            break;
        }
        if (log) {
            events.Report(module);
        }
    }
    module.Stop();
    if (!link.empty()) {
        RemoveLink(link, port);
    }

    const ModuleStatus s = module.Status();
    if (log) {
        events.Report(module);
    }
    std::fprintf(stderr,
                 "module-sim: %zu command(s); %u image(s) received, last %zu of %llu bytes in %u chunk(s)%s; "
                 "%u restart(s); reports version \"%s\"\n",
                 s.commands.size(), static_cast<unsigned>(s.imagesCompleted), s.image.size(),
                 static_cast<unsigned long long>(s.announcedImageSize), static_cast<unsigned>(s.chunksReceived),
                 module.ImageSaved() ? "" : " (could not be saved)", static_cast<unsigned>(s.restarts),
                 s.reportedVersion.c_str());
    return 0;
}
