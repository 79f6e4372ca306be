#pragma once

#include <string>

// Notices whether anyone opens a file (a device node included) from the moment
// it is built, through inotify, so tests can tell that a port was never touched.
class OpenWatch
{
public:
    explicit OpenWatch(const std::string& path);
    ~OpenWatch();
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool IsWatching() const { return watch_ >= 0; }
    // Whether an open has been reported since the watch began.
    bool Opened();

private:
    int inotify_ = -1;
    int watch_ = -1;
    bool opened_ = false;
};
