// Upload throughput of ModuleFlasher::UploadFirmwareInternal over a
// pseudo-terminal against the module simulator, as ratios measured in the
// same run:
//  - unpaced line: against a minimal stop-and-wait loop on the same kind of
//    terminal (write one framed chunk, block until its 2-byte acknowledgement);
//  - paced at 115200 and 921600 baud: against the line's limit for payload,
//    10 bits per byte with 1031 bytes out and 2 back per 1024 payload bytes.
//
// Usage: flasher_upload_bench [ROUNDS]   (default 5)
// The unpaced measurements alternate round by round, so that load from other
// programs hits both sides alike; the ratio reported is the median of the
// per-round ratios. Each paced figure is the median of ROUNDS/3 uploads.
#include "ModuleFlasher.h"
#include "ModuleSimulator.h"
#include "PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t ChunkData = 1024;
constexpr std::size_t ChunkOnWire = ChunkData + 7;
constexpr std::size_t UnpacedChunks = 512;

std::string ScratchDir()
{
    static const std::string dir = [] {
        char pattern[] = "/tmp/flasher-upload-bench-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return dir;
}

// Whole chunks and one half chunk: the upload ends on a short chunk, so the
// half-second pause after an image of whole chunks stays out of the figures.
std::size_t ImageSize(std::size_t chunks) { return chunks * ChunkData - ChunkData / 2; }

std::string MakeImage(std::size_t chunks)
{
    const std::size_t size = ImageSize(chunks);
    const std::string path = ScratchDir() + "/image-" + std::to_string(size) + ".bin";
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31) >> 3);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    return path;
}

bool ReadExactly(int fd, char* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Payload bytes per second of `chunks` stop-and-wait exchanges on `port`.
// Every chunk is answered with ESC 'O'; with lastIsOk the last one with "OK\r\n".
std::optional<double> StopAndWait(int port, std::size_t chunks, bool lastIsOk = false)
{
    std::string chunk = "\x1bM1024:";
    chunk.append(ChunkData, 'x');
    char reply[4];
    const auto start = Clock::now();
    for (std::size_t i = 0; i < chunks; ++i)
    {
        const bool ok = lastIsOk && i + 1 == chunks;
        const std::size_t length = ok ? 4 : 2;
        if (!WriteAll(port, chunk.data(), chunk.size()) || !ReadExactly(port, reply, length) ||
            std::string(reply, length) != (ok ? "OK\r\n" : "\x1bO"))
            return std::nullopt;
    }
    return static_cast<double>(chunks * ChunkData) / Seconds(Clock::now() - start);
}

// The baseline: a bare acknowledging loop on a pseudo-terminal.
class BareAcker
{
public:
    BareAcker()
    {
        if (!terminal_.Open())
            return;
        port_ = ::open(terminal_.PeerPath().c_str(), O_RDWR | O_NOCTTY);
        thread_ = std::thread([this] {
            std::vector<std::uint8_t> buffer(4096);
            std::size_t pending = 0;
            const std::uint8_t ack[2] = {0x1B, 'O'};
            for (;;)
            {
                pollfd p{terminal_.MasterFd(), POLLIN, 0};
                if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                    return;
                const ssize_t n = terminal_.Read(buffer.data(), buffer.size());
                if (n < 0)
                    return; // the port was closed
                pending += static_cast<std::size_t>(n);
                for (; pending >= ChunkOnWire; pending -= ChunkOnWire)
                    terminal_.Write(ack, sizeof ack);
            }
        });
    }
    ~BareAcker()
    {
        if (port_ >= 0)
            ::close(port_);
        if (thread_.joinable())
            thread_.join();
    }
    BareAcker(const BareAcker&) = delete;
    BareAcker& operator=(const BareAcker&) = delete;

    int Port() const { return port_; }

private:
    PseudoTerminal terminal_;
    int port_ = -1;
    std::thread thread_;
};

// The baseline's writer against the simulator: shows the simulator's share.
std::optional<double> StopAndWaitAgainst(ModuleSimulator& module, std::size_t chunks)
{
    const int port = ::open(module.PortPath().c_str(), O_RDWR | O_NOCTTY);
    if (port < 0)
        return std::nullopt;
    const std::string start = "AT+SOTHFWUPSTART=1,0," + std::to_string(chunks * ChunkData) + "\r\n";
    char reply[4];
    std::optional<double> rate;
    if (WriteAll(port, start.data(), start.size()) && ReadExactly(port, reply, 4) &&
        std::string(reply, 4) == "OK\r\n")
        rate = StopAndWait(port, chunks, true);
    ::close(port);
    return rate;
}

ModuleConfig BenchModule(std::uint32_t baud)
{
    ModuleConfig config;
    config.bootTime = std::chrono::milliseconds(0);
    config.echo = false; // as after the procedure's "ATE0"
    config.baudRate = baud;
    config.maxImageSize = std::size_t{1} << 30;
    return config;
}

// Payload bytes per second of whole uploads of `image` over the flasher's link.
std::optional<double> Upload(ModuleFlasher& flasher, const std::string& image, std::size_t size)
{
    const auto start = Clock::now();
    if (!flasher.UploadFirmwareInternal(image))
        return std::nullopt;
    return static_cast<double>(size) / Seconds(Clock::now() - start);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "flasher_upload_bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    BareAcker acker;
    ModuleSimulator module(BenchModule(0));
    if (acker.Port() < 0 || !module.Start())
        return Fail("no pseudo-terminal");
    ModuleFlasher flasher(module.PortPath(), std::chrono::seconds(5), std::chrono::seconds(0),
                          std::chrono::seconds(20));
    if (!flasher.Connect())
        return Fail("the flasher cannot open the simulator's port");
    const std::string image = MakeImage(UnpacedChunks);

    ModuleConfig quiet = BenchModule(0);
    quiet.noStartBanner = true; // nothing but the replies on that line
    quiet.noBannerAfterUpload = true;
    ModuleSimulator bare(quiet);
    if (!bare.Start())
        return Fail("no pseudo-terminal");

    std::vector<double> baseline, upload, ratio, simulator;
    for (int r = 0; r < rounds; ++r)
    {
        const auto b = StopAndWait(acker.Port(), UnpacedChunks);
        const auto u = Upload(flasher, image, ImageSize(UnpacedChunks));
        const auto s = StopAndWaitAgainst(bare, UnpacedChunks);
        if (!b || !u || !s)
            return Fail(!b ? "the baseline failed" : !u ? "an unpaced upload failed" : "the simulator's stop-and-wait failed");
        baseline.push_back(*b);
        upload.push_back(*u);
        ratio.push_back(*u / *b);
        simulator.push_back(*s / *b);
    }
    std::printf("unpaced, %d rounds of %zu chunks (payload bytes/s, median [min..max]):\n", rounds, UnpacedChunks);
    std::printf("  stop-and-wait baseline  %10.0f [%.0f..%.0f]\n", Median(baseline),
                *std::min_element(baseline.begin(), baseline.end()), *std::max_element(baseline.begin(), baseline.end()));
    std::printf("  flasher upload          %10.0f [%.0f..%.0f]\n", Median(upload),
                *std::min_element(upload.begin(), upload.end()), *std::max_element(upload.begin(), upload.end()));
    std::printf("  upload / baseline: median %.3f [%.3f..%.3f]  (goal >= 0.9)\n", Median(ratio),
                *std::min_element(ratio.begin(), ratio.end()), *std::max_element(ratio.begin(), ratio.end()));
    std::printf("  (the baseline's writer against the simulator / baseline: median %.3f)\n", Median(simulator));
    flasher.Disconnect();

    struct Paced
    {
        std::uint32_t baud;
        std::size_t chunks;
    };
    for (const Paced p : {Paced{115200, 32}, Paced{921600, 192}})
    {
        ModuleSimulator paced(BenchModule(p.baud));
        if (!paced.Start())
            return Fail("no pseudo-terminal");
        ModuleFlasher link(paced.PortPath(), std::chrono::seconds(5), std::chrono::seconds(0),
                           std::chrono::seconds(20));
        if (!link.Connect())
            return Fail("the flasher cannot open the simulator's port");
        const std::string pacedImage = MakeImage(p.chunks);
        const double limit = p.baud / 10.0 * 1024.0 / 1033.0;
        std::vector<double> share;
        for (int r = 0; r < std::max(1, rounds / 3); ++r)
        {
            const auto rate = Upload(link, pacedImage, ImageSize(p.chunks));
            if (!rate)
                return Fail("a paced upload failed");
            share.push_back(*rate / limit);
        }
        std::printf("paced at %u baud, %zu uploads of %zu chunks: median %.0f payload bytes/s of a %.0f limit: "
                    "%.3f [%.3f..%.3f]  (goal >= 0.95)\n",
                    p.baud, share.size(), p.chunks, Median(share) * limit, limit, Median(share),
                    *std::min_element(share.begin(), share.end()), *std::max_element(share.begin(), share.end()));
    }
    return 0;
}
