// Upload throughput of ModuleFlasher::UploadFirmwareInternal over a
// pseudo-terminal against the module simulator, measured in the same run:
//  - paced at 115200 and 921600 baud (the headline: what a real line gives),
//    against the line's limit for payload, 10 bits per byte with 1031 bytes
//    out and 2 back per 1024 payload bytes;
//  - unpaced, against a minimal stop-and-wait loop talking to the same
//    simulator (one thread: write the start command, then each framed chunk,
//    blocking until its reply), with the microseconds per chunk of both.
//    With nothing to pace it, a chunk costs a few wake-ups of the threads
//    involved, so these figures measure the machine's wake-up latency more
//    than the code.
//
// Usage: flasher_upload_bench [ROUNDS]   (default 5)
// The unpaced measurements alternate round by round, baseline then upload,
// so that load from other programs meets both alike; the ratio reported is
// the median of the per-round ratios. Each paced figure is the median of
// ROUNDS/3 uploads. The image files live in a scratch folder that is removed
// at the end.
#include "BenchEnvironment.h"
#include "ModuleFlasher.h"
#include "ModuleSimulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t ChunkData = 1024;
constexpr std::size_t UnpacedChunks = 512;

// A folder of its own under the temporary folder, removed with everything in it.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "flasher-upload-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Whole chunks and one half chunk: the upload ends on a short chunk, so the
// half-second pause after an image of whole chunks stays out of the figures.
std::size_t ImageSize(std::size_t chunks)
{
    return chunks * ChunkData - ChunkData / 2;
}

struct Image
{
    std::string path;
    std::vector<char> bytes;
};

std::optional<Image> MakeImage(const ScratchFolder& folder, std::size_t chunks)
{
    Image image;
    const std::size_t size = ImageSize(chunks);
    image.path = folder.Path() + "/image-" + std::to_string(size) + ".bin";
    image.bytes.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        image.bytes[i] = static_cast<char>((i * 31) >> 3);
    }
    std::ofstream file(image.path, std::ios::binary);
    file.write(image.bytes.data(), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
        return std::nullopt;
    }
    return image;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Blocking reads on one thread until `pattern` has arrived; what came before
// it (a banner) and the pattern itself are dropped, what came after is kept.
bool ReadUntil(int fd, std::string& pending, const std::string& pattern)
{
    char buffer[256];
    for (;;) {
        const std::size_t at = pending.find(pattern);
        if (at != std::string::npos) {
            pending.erase(0, at + pattern.size());
            return true;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            pending.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Seconds for the minimal stop-and-wait upload of `image` to the module on
// `portPath`: the start command, then every framed chunk and its reply.
std::optional<double> StopAndWait(const std::string& portPath, const Image& image)
{
    const int port = ::open(portPath.c_str(), O_RDWR | O_NOCTTY);
    if (port < 0) {
        return std::nullopt;
    }
    const std::size_t size = image.bytes.size();
    const std::string start = "AT+SOTHFWUPSTART=1,0," + std::to_string(size) + "\r\n";
    std::string chunk;
    std::string pending;
    std::optional<double> seconds;
    const auto begin = Clock::now();
    bool ok = WriteAll(port, start.data(), start.size()) && ReadUntil(port, pending, "OK\r\n");
    for (std::size_t sent = 0; ok && sent < size;) {
        const std::size_t count = std::min(ChunkData, size - sent);
        char header[8];
        std::snprintf(header, sizeof header, "\x1bM%04zu:", count);
        chunk.assign(header, 7);
        chunk.append(image.bytes.data() + sent, count);
        sent += count;
        ok = WriteAll(port, chunk.data(), chunk.size()) && ReadUntil(port, pending, sent == size ? "OK\r\n" : "\x1bO");
    }
    if (ok) {
        seconds = Seconds(Clock::now() - begin);
    }
    ::close(port);
    return seconds;
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

ModuleFlasher BenchFlasher(const std::string& port)
{
    return ModuleFlasher(port, std::chrono::seconds(5), std::chrono::seconds(0), std::chrono::seconds(20));
}

// Seconds for one whole upload of `image` over the flasher's link.
std::optional<double> Upload(ModuleFlasher& flasher, const Image& image)
{
    const auto begin = Clock::now();
    if (!flasher.UploadFirmwareInternal(image.path)) {
        return std::nullopt;
    }
    return Seconds(Clock::now() - begin);
}

struct Spread
{
    double median;
    double min;
    double max;
};

Spread SpreadOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return {n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
}

int Fail(const char* what)
{
    std::fprintf(stderr, "flasher_upload_bench: %s\n", what);
    return 1;
}

int Paced(const ScratchFolder& folder, int rounds)
{
    struct Line
    {
        std::uint32_t baud;
        std::size_t chunks;
    };
    for (const Line line : {Line{115200, 32}, Line{921600, 192}}) {
        ModuleSimulator module(BenchModule(line.baud));
        if (!module.Start()) {
            return Fail("no pseudo-terminal");
        }
        ModuleFlasher flasher = BenchFlasher(module.PortPath());
        const std::optional<Image> image = MakeImage(folder, line.chunks);
        if (!image || !flasher.Connect()) {
            return Fail(!image ? "cannot write the image" : "the flasher cannot open the simulator's port");
        }
        const double limit = line.baud / 10.0 * 1024.0 / 1033.0;
        std::vector<double> share;
        for (int r = 0; r < std::max(1, rounds / 3); ++r) {
            const auto seconds = Upload(flasher, *image);
            if (!seconds) {
                return Fail("a paced upload failed");
            }
            share.push_back(static_cast<double>(image->bytes.size()) / *seconds / limit);
        }
        const Spread s = SpreadOf(share);
        std::printf("paced at %u baud, %zu uploads of %zu chunks: median %.0f payload bytes/s of a %.0f limit: "
                    "%.3f [%.3f..%.3f]  (goal >= 0.95)\n",
                    line.baud, share.size(), line.chunks, s.median * limit, limit, s.median, s.min, s.max);
    }
    return 0;
}

int Unpaced(const ScratchFolder& folder, int rounds)
{
    ModuleSimulator module(BenchModule(0));
    if (!module.Start()) {
        return Fail("no pseudo-terminal");
    }
    ModuleFlasher flasher = BenchFlasher(module.PortPath());
    const std::optional<Image> image = MakeImage(folder, UnpacedChunks);
    if (!image) {
        return Fail("cannot write the image");
    }

    std::vector<double> baseline, upload, ratio;
    for (int r = 0; r < rounds; ++r) {
        // One holder of the port at a time: the flasher's link is closed
        // while the baseline runs, as it is between the flasher's own runs.
        const auto b = StopAndWait(module.PortPath(), *image);
        if (!flasher.Connect()) {
            return Fail("the flasher cannot open the simulator's port");
        }
        const auto u = Upload(flasher, *image);
        flasher.Disconnect();
        if (!b || !u) {
            return Fail(!b ? "the baseline failed" : "an unpaced upload failed");
        }
        baseline.push_back(*b / UnpacedChunks * 1e6);
        upload.push_back(*u / UnpacedChunks * 1e6);
        ratio.push_back(*b / *u);
    }
    const Spread b = SpreadOf(baseline);
    const Spread u = SpreadOf(upload);
    const Spread q = SpreadOf(ratio);
    std::printf("unpaced, %d rounds of %zu chunks against the same simulator (median [min..max]):\n", rounds,
                UnpacedChunks);
    std::printf("  stop-and-wait baseline  %7.1f us per chunk [%.1f..%.1f]  (%.1f MB/s)\n", b.median, b.min, b.max,
                ChunkData / b.median);
    std::printf("  flasher upload          %7.1f us per chunk [%.1f..%.1f]  (%.1f MB/s)\n", u.median, u.min, u.max,
                ChunkData / u.median);
    std::printf("  upload / baseline throughput: %.3f [%.3f..%.3f]; the upload's extra time per chunk: %.1f us\n",
                q.median, q.min, q.max, u.median - b.median);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const ScratchFolder folder;
    if (folder.Path().empty()) {
        return Fail("cannot make a scratch folder");
    }
    std::printf("%s\n", BenchEnvironment::Describe().c_str());
    std::fflush(stdout);
    const int status = Paced(folder, rounds) != 0 ? 1 : Unpaced(folder, rounds);
    std::printf("after the run: %s\n", BenchEnvironment::Load().c_str());
    return status;
}
