// RadioFlashMonitor's memory over a whole road of the simulated printer,
// measured from outside (bench/supervisor/road-memory runs it):
//
//   RADIO_FLASH_MONITOR=.../road_memory_watch ROAD_MEMORY_REPORT=FILE wifi-upgrade.sh ...
//
// The printer's upgrade script starts this program in the monitor's place.
// It starts the real program with the same options as its child, samples
// the child's /proc files until it ends, and writes to FILE:
//   - the peak resident set before the marker file (the in-progress page),
//     before the restart's shutdown locks the memory (the result page), and
//     of the whole road (the kernel's figure, from wait4);
//   - what the resident set was made of once the shutdown sequence had locked
//     it (mlockall: from then on every mapping is resident, so that is the
//     peak, less what the sequence itself allocates afterwards);
//   - how deep each thread stack was used by the end (the lowest word that
//     is no longer 0 in a stack that started as fresh zero pages);
//   - the baseline, measured in the same run: this program started again as
//     `road_memory_watch --baseline`, the plainest program that shows the
//     road's result page on the same platform, its memory locked as the
//     shutdown locks the program's.
//
// Like the upgrade script, it outlives the shutdown's SIGTERM, SIGHUP and
// SIGPWR, so that it sees the end; the program gets them at their defaults.
#include "BarePngDecode.h"
#include "BenchEnvironment.h"

#include <screen/screen.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr long PictureKiB = 1024L * 600 * 4 / 1024;
// An anonymous mapping this large that is no thread stack holds pictures.
constexpr long PictureMappingKiB = 1024;
constexpr int ShutdownSignals[] = {SIGTERM, SIGHUP, SIGPWR};

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Proc(pid_t pid, const std::string& file)
{
    return "/proc/" + std::to_string(pid) + "/" + file;
}

// A field of /proc/PID/status in kB, or -1.
long StatusKiB(const std::string& status, const char* field)
{
    const std::size_t at = status.find(std::string("\n") + field + ":");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen(field) + 2);
}

struct Mapping
{
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    std::string permissions;
    std::string path;
    long rssKiB = 0;

    long SizeKiB() const { return static_cast<long>((end - start) / 1024); }
    bool Anonymous() const { return path.empty(); }
};

std::vector<Mapping> ReadMappings(pid_t pid)
{
    std::vector<Mapping> mappings;
    std::istringstream smaps(ReadWhole(Proc(pid, "smaps")));
    std::string line;
    while (std::getline(smaps, line)) {
        unsigned long long start = 0;
        unsigned long long end = 0;
        char permissions[8] = {};
        int pathAt = 0;
        // Only a mapping's own line starts with its address range.
        if (std::sscanf(line.c_str(), "%llx-%llx %7s %*s %*s %*s %n", &start, &end, permissions, &pathAt) >= 3) {
            Mapping mapping;
            mapping.start = static_cast<std::uintptr_t>(start);
            mapping.end = static_cast<std::uintptr_t>(end);
            mapping.permissions = permissions;
            mapping.path = pathAt > 0 ? line.substr(static_cast<std::size_t>(pathAt)) : std::string();
            mappings.push_back(mapping);
        } else if (line.rfind("Rss:", 0) == 0 && !mappings.empty()) {
            mappings.back().rssKiB = std::atol(line.c_str() + 4);
        }
    }
    return mappings;
}

// A thread stack of the C library: a writable anonymous mapping right above
// an inaccessible guard page.
bool IsThreadStack(const std::vector<Mapping>& mappings, std::size_t i)
{
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return i > 0 && mappings[i].Anonymous() && mappings[i].permissions.rfind("rw", 0) == 0 &&
           mappings[i - 1].Anonymous() && mappings[i - 1].permissions.rfind("---", 0) == 0 &&
           mappings[i - 1].end == mappings[i].start && mappings[i - 1].end - mappings[i - 1].start == page;
}

// What was seen of a thread stack after the lock, by its start address.
struct StackSeen
{
    std::string thread; // the thread last seen waiting on it, if any
    long usedKiB = -1;
};
using StacksSeen = std::map<std::uintptr_t, StackSeen>;

// Where the resident set went once the memory was locked.
struct Breakdown
{
    long totalKiB = 0;
    long programKiB = 0;
    std::map<std::string, long> libraryKiB;
    long mainStackKiB = 0;
    std::vector<Mapping> stacks;
    long pictureKiB = 0;
    long otherKiB = 0;

    long LibrariesKiB() const
    {
        long sum = 0;
        for (const auto& library : libraryKiB) {
            sum += library.second;
        }
        return sum;
    }
    long StacksKiB() const
    {
        long sum = mainStackKiB;
        for (const Mapping& stack : stacks) {
            sum += stack.rssKiB;
        }
        return sum;
    }
};

std::string BaseName(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

Breakdown Classify(const std::vector<Mapping>& mappings, const std::string& program)
{
    Breakdown breakdown;
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        const Mapping& mapping = mappings[i];
        breakdown.totalKiB += mapping.rssKiB;
        if (mapping.path == program) {
            breakdown.programKiB += mapping.rssKiB;
        } else if (mapping.path == "[stack]") {
            breakdown.mainStackKiB += mapping.rssKiB;
        } else if (mapping.path.find(".so") != std::string::npos || mapping.path == "[vdso]") {
            breakdown.libraryKiB[BaseName(mapping.path)] += mapping.rssKiB;
        } else if (IsThreadStack(mappings, i)) {
            breakdown.stacks.push_back(mapping);
        } else if (mapping.Anonymous() && mapping.rssKiB >= PictureMappingKiB) {
            breakdown.pictureKiB += mapping.rssKiB;
        } else {
            breakdown.otherKiB += mapping.rssKiB;
        }
    }
    return breakdown;
}

// Names the stacks after the threads whose stack pointer lies in them; a
// thread inside a system call shows it in /proc/PID/task/TID/syscall.
void NameStackOwners(pid_t pid, const std::vector<Mapping>& stacks, StacksSeen& seen)
{
    DIR* tasks = opendir(Proc(pid, "task").c_str());
    if (tasks == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string task = Proc(pid, "task/") + entry->d_name;
        std::string name = ReadWhole(task + "/comm");
        name.erase(name.find_last_not_of('\n') + 1);
        std::istringstream syscall(ReadWhole(task + "/syscall"));
        std::vector<std::string> fields;
        for (std::string field; syscall >> field;) {
            fields.push_back(field);
        }
        if (fields.size() < 9) {
            continue; // running, or not in a system call
        }
        const auto sp = static_cast<std::uintptr_t>(std::strtoull(fields[7].c_str(), nullptr, 16));
        for (const Mapping& stack : stacks) {
            if (sp >= stack.start && sp < stack.end) {
                seen[stack.start].thread = name + " (" + entry->d_name + ", in system call " + fields[0] + ")";
            }
        }
    }
    closedir(tasks);
}

// How much of each stack has been used: from its top down to the lowest
// word that is not 0. Keeps the last figure when the memory cannot be read.
void MeasureStackUse(pid_t pid, const std::vector<Mapping>& stacks, StacksSeen& seen)
{
    const int memory = open(Proc(pid, "mem").c_str(), O_RDONLY | O_CLOEXEC);
    if (memory < 0) {
        return;
    }
    for (const Mapping& stack : stacks) {
        std::vector<std::uint64_t> words((stack.end - stack.start) / sizeof(std::uint64_t));
        const auto bytes = static_cast<ssize_t>(words.size() * sizeof(std::uint64_t));
        if (pread(memory, words.data(), static_cast<std::size_t>(bytes), static_cast<off_t>(stack.start)) != bytes) {
            continue;
        }
        const auto lowest = std::find_if(words.begin(), words.end(), [](std::uint64_t word) { return word != 0; });
        const long usedBytes = static_cast<long>(words.end() - lowest) * static_cast<long>(sizeof(std::uint64_t));
        seen[stack.start].usedKiB = (usedBytes + 1023) / 1024;
    }
    close(memory);
}

bool MarkerExists()
{
    return access("/ramdisk/wifi.started", F_OK) == 0 || access("/ramdisk/wifiupgrade.failed", F_OK) == 0;
}

// The program with this process's options and environment; the shutdown's
// signals at their defaults, every other disposition as inherited.
pid_t StartProgram(const char* program, char** argv)
{
    std::vector<char*> arguments = {const_cast<char*>(program)};
    for (char** argument = argv + 1; *argument != nullptr; ++argument) {
        arguments.push_back(*argument);
    }
    arguments.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : ShutdownSignals) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    if (posix_spawn(&pid, program, nullptr, &attributes, arguments.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    return pid;
}

struct Road
{
    long beforeMarkerKiB = -1;
    long beforeLockKiB = -1;
    long peakKiB = -1;
    int exitStatus = -1;
    bool locked = false;
    // The largest resident set seen after the lock (the lock itself takes
    // a while to bring every mapping in).
    Breakdown atLock;
    StacksSeen stacks;
};

// Samples the program every 5 ms until it ends.
Road Watch(pid_t pid)
{
    Road road;
    long hwm = -1;
    for (;;) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, WNOHANG, &usage) == pid) {
            road.peakKiB = usage.ru_maxrss;
            road.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return road;
        }
        const std::string statusText = ReadWhole(Proc(pid, "status"));
        if (road.beforeMarkerKiB < 0 && MarkerExists()) {
            road.beforeMarkerKiB = hwm;
        }
        if (!road.locked && StatusKiB(statusText, "VmLck") > 0) {
            road.locked = true;
            road.beforeLockKiB = hwm;
        }
        if (road.locked) {
            Breakdown now = Classify(ReadMappings(pid), RADIO_FLASH_MONITOR);
            NameStackOwners(pid, now.stacks, road.stacks);
            MeasureStackUse(pid, now.stacks, road.stacks);
            if (now.totalKiB >= road.atLock.totalKiB) {
                road.atLock = std::move(now);
            }
        }
        hwm = std::max(hwm, StatusKiB(statusText, "VmHWM"));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// This program again as the baseline; its locked resident set in KiB, or -1.
long RunBaseline()
{
    char self[] = "/proc/self/exe";
    char mode[] = "--baseline";
    char* argv[] = {self, mode, nullptr};
    pid_t pid = -1;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&files, pipeFds[0]);
    const bool started = posix_spawn(&pid, self, &files, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&files);
    close(pipeFds[1]);
    char text[32] = {};
    const ssize_t got = started ? read(pipeFds[0], text, sizeof text - 1) : -1;
    close(pipeFds[0]);
    if (started) {
        waitpid(pid, nullptr, 0);
    }
    return got > 0 ? std::atol(text) : -1;
}

// The plainest program that shows the road's result page on the same
// platform: a context, a window with its one buffer, the page decoded by
// libpng alone straight into the buffer and posted; then its memory locked
// as the restart's shutdown locks the program's. Prints the resident set in
// KiB.
int Baseline()
{
    std::ifstream file(RESULT_PAGE_FILE, std::ios::binary);
    const std::vector<unsigned char> page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    screen_context_t context = nullptr;
    screen_window_t window = nullptr;
    screen_buffer_t buffer = nullptr;
    if (screen_create_context(&context, 0) != 0 || screen_create_window(&window, context) != 0) {
        return 1;
    }
    int size[2] = {1024, 600};
    screen_set_window_property_iv(window, SCREEN_PROPERTY_SIZE, size);
    screen_set_window_property_iv(window, SCREEN_PROPERTY_BUFFER_SIZE, size);
    screen_create_window_buffers(window, 1);
    void* pixels = nullptr;
    int stride = 0;
    if (screen_dequeue_window_render_buffer(&buffer, window, 0) != 0 ||
        screen_get_buffer_property_pv(buffer, SCREEN_PROPERTY_POINTER, &pixels) != 0 ||
        screen_get_buffer_property_iv(buffer, SCREEN_PROPERTY_STRIDE, &stride) != 0) {
        return 1;
    }
    std::vector<unsigned char*> rows(static_cast<std::size_t>(size[1]));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = static_cast<unsigned char*>(pixels) + y * static_cast<std::size_t>(stride);
    }
    if (!BarePngDecode(page.data(), page.size(), rows.data()) ||
        screen_post_window(window, buffer, 0, nullptr, 0) != 0 || mlockall(MCL_CURRENT | MCL_FUTURE) != 0) {
        return 1;
    }
    std::printf("%ld\n", StatusKiB(ReadWhole("/proc/self/status"), "VmRSS"));
    return 0;
}

double MB(long kib)
{
    return static_cast<double>(kib) * 1024.0 / 1e6;
}

double MiB(long kib)
{
    return static_cast<double>(kib) / 1024.0;
}

void Report(std::FILE* out, const Road& road, long baselineKiB)
{
    const Breakdown& b = road.atLock;
    std::fprintf(out,
                 "peak resident set, KiB: before the marker %ld, before the memory lock %ld, whole road %ld "
                 "(%.2f MiB, %.2f MB; exit status %d)\n",
                 road.beforeMarkerKiB, road.beforeLockKiB, road.peakKiB, MiB(road.peakKiB), MB(road.peakKiB),
                 road.exitStatus);
    if (!road.locked) {
        std::fprintf(out, "the memory was never locked: no breakdown\n");
        return;
    }
    std::fprintf(out, "after the memory lock, at its largest: %ld KiB, of which\n", b.totalKiB);
    std::fprintf(out, "  program file            %6ld KiB\n", b.programKiB);
    std::fprintf(out, "  shared libraries        %6ld KiB:", b.LibrariesKiB());
    for (const auto& library : b.libraryKiB) {
        std::fprintf(out, " %s %ld", library.first.c_str(), library.second);
    }
    std::fprintf(out, "\n  stacks                  %6ld KiB: main thread %ld, %zu thread stacks\n", b.StacksKiB(),
                 b.mainStackKiB, b.stacks.size());
    for (const Mapping& stack : b.stacks) {
        const auto found = road.stacks.find(stack.start);
        const StackSeen seen = found != road.stacks.end() ? found->second : StackSeen{};
        std::fprintf(out, "    %6ld KiB, used %4ld KiB (%.3f)  %s\n", stack.rssKiB, seen.usedKiB,
                     static_cast<double>(seen.usedKiB) / static_cast<double>(stack.SizeKiB()),
                     seen.thread.empty() ? "(no thread seen waiting on it)" : seen.thread.c_str());
    }
    std::fprintf(out, "  pictures                %6ld KiB: %.2f of 1024 x 600 x 4 bytes (%ld KiB)\n", b.pictureKiB,
                 static_cast<double>(b.pictureKiB) / PictureKiB, PictureKiB);
    std::fprintf(out, "  heap and other data     %6ld KiB\n", b.otherKiB);
    // The display stand-in's own: its composed frame and, with neither film
    // nor touch pipe, one thread (the slay listener) on a default stack.
    const long listenerKiB = b.stacks.empty() ? 0 : b.stacks.front().SizeKiB();
    const long withoutDisplayKiB = road.peakKiB - PictureKiB - listenerKiB;
    std::fprintf(out,
                 "whole road without the host display's share (its frame, %ld KiB, and its listener's stack, %ld "
                 "KiB): %ld KiB (%.2f MiB, %.2f MB)\n",
                 PictureKiB, listenerKiB, withoutDisplayKiB, MiB(withoutDisplayKiB), MB(withoutDisplayKiB));
    std::fprintf(out, "baseline, the result page decoded straight into a window's buffer, memory locked: %ld KiB\n",
                 baselineKiB);
    if (baselineKiB > 0) {
        std::fprintf(out, "ratios: whole road / baseline %.3f; whole road / 16 MB goal %.3f\n",
                     static_cast<double>(road.peakKiB) / static_cast<double>(baselineKiB), MB(road.peakKiB) / 16.0);
    }
    struct stat program = {};
    stat(RADIO_FLASH_MONITOR, &program);
    std::fprintf(out, "program file: %lld bytes\n", static_cast<long long>(program.st_size));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--baseline") == 0) {
        return Baseline();
    }
    const char* reportPath = std::getenv("ROAD_MEMORY_REPORT");
    std::FILE* out = reportPath != nullptr ? std::fopen(reportPath, "w") : nullptr;
    if (out == nullptr) {
        std::fprintf(stderr, "road_memory_watch: ROAD_MEMORY_REPORT must name a file it can write\n");
        return 2;
    }
    for (const int signal : ShutdownSignals) {
        std::signal(signal, SIG_IGN);
    }
    std::fprintf(out, "%s\n", BenchEnvironment::Describe().c_str());
    const pid_t pid = StartProgram(RADIO_FLASH_MONITOR, argv);
    if (pid < 0) {
        std::fprintf(out, "could not start %s\n", RADIO_FLASH_MONITOR);
        std::fclose(out);
        return 1;
    }
    const Road road = Watch(pid);
    Report(out, road, RunBaseline());
    std::fprintf(out, "after the run: %s\n", BenchEnvironment::Load().c_str());
    std::fclose(out);
    return road.exitStatus;
}
