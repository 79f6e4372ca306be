#pragma once

#include "ButtonId.h"
#include "TouchTarget.h"

#include <screen/screen.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// libpng's read and info structures; only the presenter's source needs their insides.
struct png_struct_def;
struct png_info_def;

// Where LoadPNG puts a decoded image.
enum class ImageStorageType : std::int32_t
{
    Page = 0,    // the page rows: what CopyImageDataToBuffer shows
    Overlay = 1, // the overlay rows: a glyph to paint into the page
};

// The glyphs that the number overlays paint.
inline constexpr const char* NumberImagesPath = "/Upgrade/qnxupgrade/numbers/";
inline constexpr const char* PeriodImagePath = "/Upgrade/qnxupgrade/numbers/period.png";
inline constexpr const char* PercentImagePath = "/Upgrade/qnxupgrade/numbers/percent.png";

// Owns one full-screen window of 1024 x 600 pixels on the compositor, with a
// single buffer written in place: decodes PNG pages (compiled-in or from the
// file system, through QnxEmbeddedFiles) into memory, shows them, paints a
// progress bar and number glyphs into the shown page and waits for a touch
// on rectangular targets.
//
// Threads: one thread at a time uses it, except SetExitScreen, which any
// thread may call while HandleEvents waits.
//
// Images: pages must be exactly the window's size and glyphs no larger; both
// must decode to 4 bytes per pixel (8-bit indexed or RGB, with or without
// transparency). Anything else, and any corrupt or truncated file, makes
// LoadPNG return false and keeps the image held before.
//
// Owns the context, window, buffer, event and the decoded rows; the
// destructor releases all of them.
class QnxScreenPresenter
{
public:
    // Creates the compositor context; a failure shows later as windows that
    // cannot be created and posts that fail.
    explicit QnxScreenPresenter(int zOrder);
    ~QnxScreenPresenter();

    QnxScreenPresenter(const QnxScreenPresenter&) = delete;
    QnxScreenPresenter& operator=(const QnxScreenPresenter&) = delete;

    // Creates the application context (once); true when it exists.
    bool InitScreen();
    // Creates the window centred on the display with its one buffer and the
    // constructor's z-order. True when the window exists.
    bool CreateWindow();
    bool WindowExists() const;

    // Decodes path into blue-green-red-alpha rows of the chosen storage.
    // False when the file is missing, corrupt, truncated or of a size or
    // kind that cannot be shown; the rows held before stay as they were.
    bool LoadPNG(const std::string& path, ImageStorageType type);
    // Copies the page rows into the window's buffer (creating window and
    // buffer when needed). Without a page it copies nothing.
    void CopyImageDataToBuffer();
    // Creates the window when needed, loads path as the page, copies and
    // posts it. Returns whether the page loaded; when it did not, the screen
    // keeps what it showed.
    bool Present(const std::string& path);

    // Rectangles (x, y, w, h) that the next PostScreen names as changed.
    void SetDirtyRectangle(unsigned x, unsigned y, unsigned w, unsigned h);
    void ClearDirtyRectangle();
    // Posts the buffer: the dirty rectangles, or the whole window when there
    // are none. False without posting when a rectangle has x or x + w
    // outside 0 .. width - 1 or y or y + h outside 0 .. height - 1, or when
    // the post fails; the buffer then shows with the next successful post.
    bool PostScreen();

    // Waits for a first finger to go down inside one of targets (bounds
    // inclusive; the first matching target in the list wins) and returns its
    // id. Events queued before the call are discarded. Returns NoButton when
    // SetExitScreen(true) came before or during the wait; an exit request is
    // noticed within about one second. Clears the exit request on return.
    ButtonId HandleEvents(const std::vector<TouchTarget>& targets);
    // Discards every event already queued for the context.
    void FlushQueuedEventsInContext();
    // Asks a running or the next touch wait to end. Safe from any thread.
    void SetExitScreen(bool flag);

    // The overlays paint into the page rows and show the result; each does
    // nothing without a page, with a box of fewer than four numbers (left,
    // top, right, bottom) or with a box outside the window.

    // Fills the bar inside box (its left and top border rows stay) up to
    // percent (above 100 counts as 100) in colour "#RRGGBB", continuing
    // from where the previous call stopped, and posts the newly filled part.
    void OverlayProgressBar(const std::vector<unsigned>& box, const std::string& colour, unsigned char percent);
    // Draws " <percent>%" from the box's left edge, over the box's rows and
    // two below it, and posts that area.
    void OverlayPercentageNumber(const std::vector<unsigned>& box, unsigned char percent);
    // Draws the version followed by a period into the box, letting the page
    // show through the glyphs' white pixels; copies to the buffer without
    // posting.
    void OverlayVersionNumber(const std::vector<unsigned>& box, const std::string& version);

    // Releases the decoded rows (the lists keep their length) and the window
    // with its buffer. A later Present creates a new window.
    void DestroyWindow();

private:
    bool HasPage() const;
    bool RectangleIsValid(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) const;
    void PostChangedArea(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h);
    // Paints the overlay glyph at x into the page rows top .. bottom - 1,
    // columns up to right - 1.
    void PaintGlyph(std::uint32_t x, std::uint32_t top, std::uint32_t right, std::uint32_t bottom, bool skipWhite);
    void ReleaseRows(std::vector<unsigned char*>& rows);

    png_struct_def* decoder_ = nullptr;
    png_info_def* decoderInfo_ = nullptr;
    std::int32_t width_ = 1024;
    std::int32_t height_ = 600;
    std::uint32_t imageWidth_ = 0;
    std::uint32_t imageHeight_ = 0;
    std::int32_t zOrder_;
    std::uint32_t barLeft_ = 0;
    std::uint32_t barTop_ = 0;
    std::uint32_t barRight_ = 0;
    std::uint32_t barBottom_ = 0;
    std::uint32_t barEnd_ = 0;
    std::vector<std::int32_t> dirtyRectangles_;
    std::atomic<bool> exitRequested_{false};
    std::vector<unsigned char*> pageRows_;
    std::vector<unsigned char*> overlayRows_;
    screen_context_t context_ = nullptr;
    screen_window_t window_ = nullptr;
    screen_buffer_t buffer_ = nullptr;
    screen_event_t event_ = nullptr;
};
