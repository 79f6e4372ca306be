#include "VersionRecord.h"

#include "RetryOnInterrupt.h"
#include "WriteFully.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable; a directory that cannot be synced only
// weakens that, it does not make the record wrong.
void SyncDirectory(const std::string& directory)
{
    const int fd = RetryOnInterrupt([&directory] { return open(directory.c_str(), O_RDONLY); });
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

VersionRecord::VersionRecord(std::string path) : path_(std::move(path))
{}

std::string VersionRecord::TemporaryPath() const
{
    return path_ + ".tmp";
}

bool VersionRecord::Remove() const
{
    struct stat status = {};
    if (lstat(path_.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    return std::remove(path_.c_str()) == 0;
}

bool VersionRecord::Write(const std::string& content) const
{
    const std::string scratch = TemporaryPath();
    // A scratch file left by an earlier crash is simply overwritten.
    const int fd =
        RetryOnInterrupt([&scratch] { return open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644); });
    if (fd < 0) {
        return false;
    }
    const bool complete = WriteFully(fd, content.data(), content.size()) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!complete || !closed || std::rename(scratch.c_str(), path_.c_str()) != 0) {
        unlink(scratch.c_str());
        return false;
    }
    SyncDirectory(DirectoryOf(path_));
    return true;
}
