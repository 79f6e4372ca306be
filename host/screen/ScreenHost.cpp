// Stands in for the QNX Screen compositor: composes the posted windows into a virtual display and films it.
#include "ScreenHost.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int MaxDisplaySide = 8192;

// "WIDTHxHEIGHT" with both sides in 1 .. MaxDisplaySide; false otherwise.
bool ParseDisplaySize(const char* text, int& width, int& height)
{
    if (text == nullptr) {
        return false;
    }
    char* end = nullptr;
    const long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) {
        return false;
    }
    const char* rest = end + 1;
    const long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0') {
        return false;
    }
    if (w < 1 || h < 1 || w > MaxDisplaySide || h > MaxDisplaySide) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

unsigned HighestFrameNumber(const std::string& folder)
{
    unsigned highest = 0;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    while (const dirent* entry = readdir(dir)) {
        unsigned number = 0;
        char tail[8] = {};
        if (std::sscanf(entry->d_name, "frame-%u.%4s", &number, tail) == 2 && std::strcmp(tail, "png") == 0) {
            highest = std::max(highest, number);
        }
    }
    closedir(dir);
    return highest;
}

// The descriptor holding a shared lock on folder/display.lock, or -1. Not
// inherited by programs this process starts (close-on-exec), so the lock
// ends with this process.
int LockFilm(const std::string& folder)
{
    const std::string path = folder + "/display.lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    // Blocks only for the moment a viewer holds the lock exclusively to test it.
    int locked;
    while ((locked = flock(fd, LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void SilentError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void SilentWarning(png_structp, png_const_charp)
{}

// Only plain data lives in this frame, so libpng's longjmp skips no destructor.
bool WriteRgbRows(std::FILE* file, png_bytepp rows, int width, int height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Frames are written on every post: speed matters more than size.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

ScreenHost& ScreenHost::Get()
{
    // Never destroyed: the touch pipe's thread may still use it during exit.
    static ScreenHost* const host = new ScreenHost();
    return *host;
}

ScreenHost::ScreenHost()
{
    ParseDisplaySize(std::getenv("UPGRADE_SCREEN_DISPLAY"), displayWidth, displayHeight);
    if (const char* film = std::getenv("UPGRADE_SCREEN_FILM")) {
        SetFilmFolderLocked(film);
    }
}

bool ScreenHost::SetFilmFolderLocked(const std::string& folder)
{
    filmFolder_.clear();
    if (filmLock_ >= 0) {
        close(filmLock_);
        filmLock_ = -1;
    }
    if (folder.empty()) {
        return true;
    }
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return false;
    }
    filmFolder_ = folder;
    filmLock_ = LockFilm(folder);
    // Frames of an earlier run in the same folder stay; this run continues after them.
    filmNext_ = HighestFrameNumber(filmFolder_) + 1;
    return true;
}

const std::vector<unsigned char>& ScreenHost::ComposedLocked()
{
    if (composed_) {
        return display_;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(displayWidth) * 4;
    display_.assign(rowBytes * static_cast<std::size_t>(displayHeight), 0);
    for (std::size_t i = 3; i < display_.size(); i += 4) {
        display_[i] = 0xFF;
    }

    std::vector<const _screen_window*> order;
    for (const auto& context : ownedContexts) {
        for (const auto& window : context->windows) {
            if (window->shown) {
                order.push_back(window.get());
            }
        }
    }
    std::sort(order.begin(), order.end(), [](const _screen_window* a, const _screen_window* b) {
        return a->zorder != b->zorder ? a->zorder < b->zorder : a->sequence < b->sequence;
    });

    for (const _screen_window* window : order) {
        // The window shows its buffer unscaled, cut to its own size and the display.
        const int w = std::min(window->shownWidth, window->size[0]);
        const int h = std::min(window->shownHeight, window->size[1]);
        const int x0 = std::max(0, window->position[0]);
        const int y0 = std::max(0, window->position[1]);
        const int x1 = std::min(displayWidth, window->position[0] + w);
        const int y1 = std::min(displayHeight, window->position[1] + h);
        for (int y = y0; y < y1; ++y) {
            const unsigned char* src =
                window->shownPixels.data() +
                (static_cast<std::size_t>(y - window->position[1]) * static_cast<std::size_t>(window->shownWidth) +
                 static_cast<std::size_t>(x0 - window->position[0])) *
                    4;
            unsigned char* dst =
                display_.data() + static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x0) * 4;
            for (int x = x0; x < x1; ++x, src += 4, dst += 4) {
                const unsigned alpha = src[3];
                if (alpha == 0xFF) {
                    std::memcpy(dst, src, 4);
                } else if (alpha != 0) {
                    // Source over, rounded.
                    for (int c = 0; c < 3; ++c) {
                        dst[c] = static_cast<unsigned char>((src[c] * alpha + dst[c] * (255 - alpha) + 127) / 255);
                    }
                }
            }
        }
    }
    composed_ = true;
    return display_;
}

_screen_window* ScreenHost::WindowAtLocked(int x, int y)
{
    _screen_window* best = nullptr;
    for (const auto& context : ownedContexts) {
        for (const auto& window : context->windows) {
            if (!window->shown) {
                continue;
            }
            const int w = std::min(window->shownWidth, window->size[0]);
            const int h = std::min(window->shownHeight, window->size[1]);
            if (x < window->position[0] || y < window->position[1] || x >= window->position[0] + w ||
                y >= window->position[1] + h) {
                continue;
            }
            if (best == nullptr || window->zorder > best->zorder ||
                (window->zorder == best->zorder && window->sequence > best->sequence)) {
                best = window.get();
            }
        }
    }
    return best;
}

bool ScreenHost::WritePngLocked(const std::string& path)
{
    const std::vector<unsigned char>& bgra = ComposedLocked();
    const std::size_t width = static_cast<std::size_t>(displayWidth);
    std::vector<unsigned char> rgb(width * 3 * static_cast<std::size_t>(displayHeight));
    for (std::size_t i = 0, j = 0; i < bgra.size(); i += 4, j += 3) {
        rgb[j] = bgra[i + 2];
        rgb[j + 1] = bgra[i + 1];
        rgb[j + 2] = bgra[i];
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(displayHeight));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = rgb.data() + y * width * 3;
    }

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = WriteRgbRows(file, rows.data(), displayWidth, displayHeight);
    return std::fclose(file) == 0 && written;
}

bool ScreenHost::StopDisplayLocked()
{
    if (!displayRunning) {
        return false;
    }
    displayRunning = false;
    for (const auto& context : ownedContexts) {
        for (const auto& window : context->windows) {
            for (const auto& buffer : window->buffers) {
                buffers.erase(buffer.get());
            }
            windows.erase(window.get());
        }
        context->windows.clear();
        context->queue.clear();
        context->arrived.notify_all();
    }
    MarkDisplayChanged();
    FilmFrameLocked();
    return true;
}

void ScreenHost::FilmFrameLocked()
{
    if (frameObserver != nullptr) {
        const std::vector<unsigned char>& bgra = ComposedLocked();
        frameObserver(frameObserverContext, bgra.data(), displayWidth, displayHeight);
    }
    if (filmFolder_.empty()) {
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05u.png", filmNext_++);
    WritePngLocked(filmFolder_ + name);
}
