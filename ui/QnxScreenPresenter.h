#pragma once

#include "ButtonId.h"
#include "DecodedImage.h"
#include "OverlayBox.h"
#include "TouchTarget.h"

#include <screen/screen.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
// Memory: a decoded page (2.4 MB) lives only until it is copied into the
// window's buffer; from then on the buffer is the page, and the overlays
// paint into it. So while a page is shown the presenter holds no copy of it.
//
// Threads: one thread at a time uses it, except SetExitScreen, which any
// thread may call while HandleEvents waits.
//
// Images: pages must be exactly the window's size and glyphs no larger; both
// must decode to 4 bytes per pixel (8-bit indexed or RGB, with or without
// transparency). Anything else, and any corrupt or truncated file, makes
// LoadPNG return false and keeps the image held before.
//
// Owns the context, window, buffer, event and the decoded images; the
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

    // Decodes path into blue-green-red-alpha rows of the chosen storage: a
    // page waits for CopyImageDataToBuffer, in place of any page waiting
    // before. False when the file is missing, corrupt, truncated or of a
    // size or kind that cannot be shown; what was held before stays as it
    // was, and the window's buffer is not touched.
    bool LoadPNG(const std::string& path, ImageStorageType type);
    // Copies the page waiting into the window's buffer (creating window and
    // buffer when needed) and releases it. Without a page waiting it copies
    // nothing. Where no buffer can be had, the page waits on.
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

    // The overlays paint into the page in the window's buffer (copying a page
    // that waits there first) and show the result; each does nothing without
    // a page, with a box of fewer than four numbers (left, top, right,
    // bottom) or with a box outside the window.

    // Fills the bar inside box (its left and top border rows stay) up to
    // percent (above 100 counts as 100) in colour "#RRGGBB", continuing
    // from where the previous call stopped, and posts the newly filled part.
    void OverlayProgressBar(const std::vector<unsigned>& box, const std::string& colour, unsigned char percent);
    // Draws " <percent>%" from the box's left edge, over the box's rows and
    // two below it, and posts that area.
    void OverlayPercentageNumber(const std::vector<unsigned>& box, unsigned char percent);
    // Draws the version followed by a period into the box, letting the page
    // show through the glyphs' white pixels; the next post shows it.
    void OverlayVersionNumber(const std::vector<unsigned>& box, const std::string& version);

    // Releases the decoded images and the window with its buffer. A later
    // Present creates a new window.
    void DestroyWindow();

private:
    // The window buffer's pixels as rows of 4 bytes per pixel, cut to the
    // window and the buffer.
    struct Canvas
    {
        unsigned char* pixels;
        std::size_t stride;
        std::uint32_t columns;
        std::uint32_t rows;

        unsigned char* Row(std::uint32_t y) const { return pixels + y * stride; }
    };
    // The window's buffer (creating window and buffer when needed), or
    // nothing where the compositor gives none.
    std::optional<Canvas> BufferCanvas();
    // The buffer holding the page shown (a page waiting is copied first), or
    // nothing when no page was ever put there.
    std::optional<Canvas> PageCanvas();
    // The file at path decoded for the storage type: a page of exactly the
    // window's size, or a glyph no larger than the window.
    std::optional<DecodedImage> Decode(const std::string& path, ImageStorageType type) const;
    std::optional<OverlayBox> BoxInWindow(const std::vector<unsigned>& numbers,
                                          const OverlayBox::Reading& reading) const;
    bool RectangleIsValid(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) const;
    void PostChangedArea(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h);
    // Paints text glyph by glyph from the box's left edge into the canvas
    // and returns the column after the last advance. The first advance is
    // the width of the 0 glyph; each glyph drawn sets the next one, and a
    // character without a glyph (or white space) advances by the last.
    std::uint32_t PaintText(const std::string& text, const OverlayBox& box, const Canvas& canvas, bool withPercent,
                            bool skipWhite);
    // Paints glyph at column x into the canvas rows of box, cut at its right
    // and bottom edges; with skipWhite its white pixels leave the page be.
    void PaintGlyph(const DecodedImage& glyph, std::uint32_t x, const OverlayBox& box, const Canvas& canvas,
                    bool skipWhite);

    std::int32_t width_ = 1024;
    std::int32_t height_ = 600;
    std::int32_t zOrder_;
    // Last column the progress bar filled; 0 before the first fill.
    std::uint32_t barEnd_ = 0;
    std::vector<std::int32_t> dirtyRectangles_;
    std::atomic<bool> exitRequested_{false};
    // The page decoded last, until it is copied into the buffer.
    DecodedImage page_;
    // Whether the buffer holds a page, which the overlays then paint into.
    bool bufferHoldsPage_ = false;
    // The glyph decoded last.
    DecodedImage overlay_;
    screen_context_t context_ = nullptr;
    screen_window_t window_ = nullptr;
    screen_buffer_t buffer_ = nullptr;
    screen_event_t event_ = nullptr;
};
