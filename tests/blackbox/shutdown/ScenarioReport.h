#pragma once

// The scenario's shared report: every process of a shutdown scenario (the
// harness, its children, the test libraries) appends one line per event to
// the file named by SHUTDOWN_REPORT, as "<monotonic ms> <who> <event>".
// Appends are single write() calls, so lines never interleave, and the
// writer is safe to call from a signal handler.

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace scenario {

inline int& ReportDescriptor()
{
    static int fd = -1;
    return fd;
}

inline void OpenReport()
{
    if (ReportDescriptor() >= 0) {
        return;
    }
    const char* path = getenv("SHUTDOWN_REPORT");
    if (path != nullptr) {
        ReportDescriptor() = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
}

inline char* AppendText(char* at, const char* end, const char* text)
{
    while (*text != '\0' && at < end) {
        *at++ = *text++;
    }
    return at;
}

inline char* AppendNumber(char* at, const char* end, uint64_t value)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0u);
    while (count > 0 && at < end) {
        *at++ = digits[--count];
    }
    return at;
}

inline uint64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// Async-signal-safe once OpenReport has run.
inline void Report(const char* who, const char* event, const char* detail = nullptr)
{
    const int fd = ReportDescriptor();
    if (fd < 0) {
        return;
    }
    char line[512];
    char* end = line + sizeof line - 1;
    char* at = AppendNumber(line, end, NowMs());
    at = AppendText(at, end, " ");
    at = AppendText(at, end, who);
    at = AppendText(at, end, " ");
    at = AppendText(at, end, event);
    if (detail != nullptr) {
        at = AppendText(at, end, " ");
        at = AppendText(at, end, detail);
    }
    *at++ = '\n';
    const ssize_t ignored = write(fd, line, static_cast<size_t>(at - line));
    (void)ignored;
}

inline void ReportNumber(const char* who, const char* event, long long value)
{
    char text[24];
    char* end = text + sizeof text - 1;
    char* at = text;
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        *at++ = '-';
        magnitude = static_cast<uint64_t>(-(value + 1)) + 1u;
    }
    at = AppendNumber(at, end, magnitude);
    *at = '\0';
    Report(who, event, text);
}

} // namespace scenario
