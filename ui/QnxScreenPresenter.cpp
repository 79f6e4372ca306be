#include "QnxScreenPresenter.h"

#include "QnxEmbeddedFiles.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace
{
// The libpng release the program is built against on the printer; any 1.6
// release accepts it.
constexpr const char* LibpngVersion = "1.6.37";
constexpr std::uint64_t OneSecondNs = 1000000000ULL;

// libpng's default handlers print to standard error before they give up,
// and the program writes nothing: errors only jump back to the decoder's
// setjmp, warnings are dropped.
void SilentError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void SilentWarning(png_structp, png_const_charp) {}

// Fills data from the stream behind the decoder. A stream that ends early is
// an error, as in libpng's own reader: libpng would otherwise decode
// whatever the buffer held before.
void user_read_data(png_structp png, png_bytep data, size_t length)
{
    auto* stream = static_cast<QnxEmbeddedFiles::ReadOnlyObject*>(png_get_io_ptr(png));
    size_t done = 0;
    while (stream != nullptr && done < length) {
        const int want = static_cast<int>(std::min<size_t>(length - done, INT_MAX));
        const int got = stream->Read(data + done, want);
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    if (done < length)
        png_error(png, "image data ends early");
}

struct DecodedHeader
{
    png_uint_32 width;
    png_uint_32 height;
    size_t rowBytes;
};

// The decoding steps run in frames that hold plain data only, so that
// libpng's longjmp on an error skips no destructor.
bool ReadHeader(png_structp png, png_infop info, DecodedHeader* header)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0)
        png_set_tRNS_to_alpha(png);
    else
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    // No pixel transformation: lets png_read_image fill the rows of an
    // interlaced file correctly.
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// rows holds height null entries; on failure the ones already allocated are
// left for the caller to release.
bool ReadRows(png_structp png, png_bytepp rows, png_uint_32 height, size_t rowBytes)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = static_cast<png_bytep>(png_malloc(png, rowBytes));
    png_read_image(png, rows);
    return true;
}

// "#RRGGBB" as 0xRRGGBB; what is not hexadecimal counts as 0.
std::uint32_t ParseColour(const std::string& colour)
{
    if (colour.empty())
        return 0;
    return static_cast<std::uint32_t>(std::strtoul(colour.c_str() + 1, nullptr, 16) & 0xFFFFFFUL);
}

std::string GlyphPath(char c, bool withPercent)
{
    if (c >= '0' && c <= '9')
        return std::string(NumberImagesPath) + c + ".png";
    if (c == '.')
        return PeriodImagePath;
    if (c == '%' && withPercent)
        return PercentImagePath;
    return std::string();
}

void PauseUpToOneSecond(const std::atomic<bool>& exitRequested)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!exitRequested.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}
} // namespace

QnxScreenPresenter::QnxScreenPresenter(int zOrder) : zOrder_(zOrder)
{
    InitScreen();
}

QnxScreenPresenter::~QnxScreenPresenter()
{
    SetExitScreen(true);
    DestroyWindow();
    if (context_ != nullptr)
        screen_destroy_context(context_);
    context_ = nullptr;
    pageRows_.clear();
    overlayRows_.clear();
    if (decoder_ != nullptr)
        png_destroy_read_struct(&decoder_, &decoderInfo_, nullptr);
}

bool QnxScreenPresenter::InitScreen()
{
    if (context_ != nullptr)
        return true;
    if (screen_create_context(&context_, SCREEN_APPLICATION_CONTEXT) != 0) {
        context_ = nullptr;
        return false;
    }
    return true;
}

bool QnxScreenPresenter::CreateWindow()
{
    if (window_ != nullptr)
        return true;
    if (screen_create_window(&window_, context_) != 0) {
        window_ = nullptr;
        return false;
    }
    int display[2] = {width_, height_};
    screen_get_window_property_iv(window_, SCREEN_PROPERTY_SIZE, display);
    const int size[2] = {width_, height_};
    screen_set_window_property_iv(window_, SCREEN_PROPERTY_SIZE, size);
    const int position[2] = {(display[0] - width_) / 2, (display[1] - height_) / 2};
    screen_set_window_property_iv(window_, SCREEN_PROPERTY_POSITION, position);
    screen_set_window_property_iv(window_, SCREEN_PROPERTY_BUFFER_SIZE, size);
    screen_create_window_buffers(window_, 1);
    screen_set_window_property_iv(window_, SCREEN_PROPERTY_ZORDER, &zOrder_);
    return true;
}

bool QnxScreenPresenter::WindowExists() const
{
    return window_ != nullptr;
}

bool QnxScreenPresenter::LoadPNG(const std::string& path, ImageStorageType type)
{
    const std::unique_ptr<QnxEmbeddedFiles::ReadOnlyObject> stream = QnxEmbeddedFiles::OpenBinary(path);

    png_structp png = png_create_read_struct(LibpngVersion, nullptr, SilentError, SilentWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        // The decoder that allocated the rows held now stays.
        if (png != nullptr)
            png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    // libpng's default allocator is the C library's, so the new decoder can
    // also release rows that the old one allocated.
    if (decoder_ != nullptr)
        png_destroy_read_struct(&decoder_, &decoderInfo_, nullptr);
    decoder_ = png;
    decoderInfo_ = info;

    if (!stream->IsGood())
        return false;
    png_set_read_fn(png, stream.get(), user_read_data);

    DecodedHeader header{};
    if (!ReadHeader(png, info, &header))
        return false;
    const auto windowWidth = static_cast<png_uint_32>(width_);
    const auto windowHeight = static_cast<png_uint_32>(height_);
    if (header.rowBytes != static_cast<size_t>(header.width) * 4)
        return false;
    if (type == ImageStorageType::Overlay ? (header.width > windowWidth || header.height > windowHeight)
                                          : (header.width != windowWidth || header.height != windowHeight))
        return false;

    // Decoded aside, so that a failure half-way leaves the previous image whole.
    std::vector<unsigned char*> rows(header.height, nullptr);
    if (!ReadRows(png, rows.data(), header.height, header.rowBytes)) {
        ReleaseRows(rows);
        return false;
    }
    std::vector<unsigned char*>& target = type == ImageStorageType::Overlay ? overlayRows_ : pageRows_;
    ReleaseRows(target);
    target.swap(rows);
    imageWidth_ = header.width;
    imageHeight_ = header.height;
    return true;
}

void QnxScreenPresenter::ReleaseRows(std::vector<unsigned char*>& rows)
{
    for (unsigned char*& row : rows) {
        if (row != nullptr)
            png_free(decoder_, row);
        row = nullptr;
    }
}

bool QnxScreenPresenter::HasPage() const
{
    return pageRows_.size() == static_cast<size_t>(height_) && pageRows_.front() != nullptr;
}

void QnxScreenPresenter::CopyImageDataToBuffer()
{
    if (window_ == nullptr)
        CreateWindow();
    if (window_ == nullptr)
        return;
    if (buffer_ == nullptr && screen_dequeue_window_render_buffer(&buffer_, window_, 0) != 0)
        buffer_ = nullptr;
    if (buffer_ == nullptr || !HasPage())
        return;
    void* pointer = nullptr;
    int stride = 0;
    int bufferSize[2] = {0, 0};
    screen_get_buffer_property_pv(buffer_, SCREEN_PROPERTY_POINTER, &pointer);
    screen_get_buffer_property_iv(buffer_, SCREEN_PROPERTY_STRIDE, &stride);
    screen_get_buffer_property_iv(buffer_, SCREEN_PROPERTY_BUFFER_SIZE, bufferSize);
    // Never beyond the buffer, should the compositor have given a smaller one.
    const int columns = std::min({width_, bufferSize[0], stride / 4});
    const int rows = std::min(height_, bufferSize[1]);
    if (pointer == nullptr || columns <= 0 || rows <= 0)
        return;
    auto* target = static_cast<unsigned char*>(pointer);
    for (int y = 0; y < rows; ++y)
        std::memcpy(target + static_cast<size_t>(y) * static_cast<size_t>(stride), pageRows_[static_cast<size_t>(y)],
                    static_cast<size_t>(columns) * 4);
}

bool QnxScreenPresenter::Present(const std::string& path)
{
    if (window_ == nullptr)
        CreateWindow();
    if (!LoadPNG(path, ImageStorageType::Page))
        return false;
    CopyImageDataToBuffer();
    PostScreen();
    return true;
}

void QnxScreenPresenter::SetDirtyRectangle(unsigned x, unsigned y, unsigned w, unsigned h)
{
    for (unsigned value : {x, y, w, h})
        dirtyRectangles_.push_back(static_cast<std::int32_t>(value));
}

void QnxScreenPresenter::ClearDirtyRectangle()
{
    dirtyRectangles_.clear();
}

bool QnxScreenPresenter::RectangleIsValid(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) const
{
    const auto inside = [](std::int64_t value, std::int64_t limit) { return value >= 0 && value <= limit - 1; };
    return inside(x, width_) && inside(x + w, width_) && inside(y, height_) && inside(y + h, height_);
}

bool QnxScreenPresenter::PostScreen()
{
    const size_t count = dirtyRectangles_.size() / 4;
    for (size_t i = 0; i < count; ++i) {
        const std::int32_t* r = &dirtyRectangles_[4 * i];
        if (!RectangleIsValid(r[0], r[1], r[2], r[3]))
            return false;
    }
    if (window_ == nullptr || buffer_ == nullptr)
        return false;
    return screen_post_window(window_, buffer_, static_cast<int>(count), count == 0 ? nullptr : dirtyRectangles_.data(),
                              0) == 0;
}

void QnxScreenPresenter::PostChangedArea(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h)
{
    // The rectangle rule cannot name an area that reaches the window's right
    // or bottom edge; such an area goes out as a post of the whole window.
    if (RectangleIsValid(x, y, w, h))
        SetDirtyRectangle(x, y, w, h);
    else
        ClearDirtyRectangle();
    PostScreen();
    ClearDirtyRectangle();
}

ButtonId QnxScreenPresenter::HandleEvents(const std::vector<TouchTarget>& targets)
{
    ButtonId result = ButtonId::NoButton;
    if (screen_create_event(&event_) != 0)
        event_ = nullptr;
    FlushQueuedEventsInContext();
    bool touched = false;
    while (!touched && !exitRequested_.load()) {
        if (event_ == nullptr || screen_get_event(context_, event_, OneSecondNs) != 0) {
            // Nothing to wait on: pause rather than spin, still noticing an exit request.
            PauseUpToOneSecond(exitRequested_);
            continue;
        }
        int type = SCREEN_EVENT_NONE;
        screen_get_event_property_iv(event_, SCREEN_PROPERTY_TYPE, &type);
        if (type != SCREEN_EVENT_MTOUCH_TOUCH)
            continue;
        int touchId = -1;
        screen_get_event_property_iv(event_, SCREEN_PROPERTY_TOUCH_ID, &touchId);
        if (touchId != 0)
            continue;
        int position[2] = {-1, -1};
        screen_get_event_property_iv(event_, SCREEN_PROPERTY_SOURCE_POSITION, position);
        const int x = position[0];
        const int y = position[1];
        for (const TouchTarget& target : targets) {
            if (target.left <= x && x <= target.right && target.top <= y && y <= target.bottom) {
                result = target.id;
                touched = true;
                break;
            }
        }
    }
    exitRequested_.store(false);
    if (event_ != nullptr)
        screen_destroy_event(event_);
    event_ = nullptr;
    return result;
}

void QnxScreenPresenter::FlushQueuedEventsInContext()
{
    screen_event_t event = event_;
    if (event == nullptr && screen_create_event(&event) != 0)
        return;
    for (;;) {
        int type = SCREEN_EVENT_NONE;
        if (screen_get_event(context_, event, 0) != 0 ||
            screen_get_event_property_iv(event, SCREEN_PROPERTY_TYPE, &type) != 0 || type == SCREEN_EVENT_NONE)
            break;
    }
    if (event != event_)
        screen_destroy_event(event);
}

void QnxScreenPresenter::SetExitScreen(bool flag)
{
    exitRequested_.store(flag);
}

void QnxScreenPresenter::OverlayProgressBar(const std::vector<unsigned>& box, const std::string& colour,
                                            unsigned char percent)
{
    if (box.size() < 4)
        return;
    barLeft_ = box[0] + 1;
    barTop_ = box[1] + 1;
    barRight_ = box[2];
    barBottom_ = box[3];
    const auto width = static_cast<std::uint32_t>(width_);
    const auto height = static_cast<std::uint32_t>(height_);
    // The first test also catches a left or top edge whose + 1 wrapped around.
    if (box[0] >= width || box[1] >= height ||
        !(barLeft_ < barRight_ && barTop_ < barBottom_ && barRight_ <= width && barLeft_ < width &&
          barBottom_ <= height && barTop_ < height) ||
        !HasPage())
        return;

    const std::uint32_t rgb = ParseColour(colour);
    // Above 100 the fill would run past the bar and the row.
    const unsigned clamped = std::min<unsigned>(percent, 100);
    const std::uint32_t fillEnd =
        barLeft_ + static_cast<std::uint32_t>(static_cast<float>(barRight_ - barLeft_) *
                                              (static_cast<float>(clamped) / 100.0f));
    if (barEnd_ == 0)
        barEnd_ = barLeft_;
    const std::uint32_t start = barEnd_;
    barEnd_ = fillEnd;
    // A bar whose right edge is the window's width fills at most the last column.
    const std::uint32_t last = std::min(fillEnd, width - 1);
    if (last < start)
        return;
    for (std::uint32_t y = barTop_; y < barBottom_; ++y) {
        unsigned char* row = pageRows_[y];
        for (std::uint32_t x = start; x <= last; ++x) {
            row[4 * x] = static_cast<unsigned char>(rgb & 0xFF);
            row[4 * x + 1] = static_cast<unsigned char>((rgb >> 8) & 0xFF);
            row[4 * x + 2] = static_cast<unsigned char>((rgb >> 16) & 0xFF);
        }
    }
    CopyImageDataToBuffer();
    PostChangedArea(start, barTop_, last - start + 1, barBottom_ - barTop_);
}

void QnxScreenPresenter::PaintGlyph(std::uint32_t x, std::uint32_t top, std::uint32_t right, std::uint32_t bottom,
                                    bool skipWhite)
{
    const std::uint32_t glyphWidth = imageWidth_;
    const auto glyphHeight = static_cast<std::uint32_t>(overlayRows_.size());
    for (std::uint32_t y = top; y < bottom && y - top < glyphHeight; ++y) {
        const unsigned char* glyphRow = overlayRows_[y - top];
        unsigned char* pageRow = pageRows_[y];
        for (std::uint32_t column = x; column < right && column - x < glyphWidth; ++column) {
            const unsigned char* source = glyphRow + 4 * (column - x);
            if (skipWhite && source[0] == 0xFF && source[1] == 0xFF && source[2] == 0xFF)
                continue;
            std::memcpy(pageRow + 4 * column, source, 3);
        }
    }
}

void QnxScreenPresenter::OverlayPercentageNumber(const std::vector<unsigned>& box, unsigned char percent)
{
    if (box.size() < 4)
        return;
    const std::uint32_t left = box[0];
    const std::uint32_t top = box[1];
    const std::uint32_t right = box[2];
    const std::uint32_t bottom = box[3] + 2;
    const auto width = static_cast<std::uint32_t>(width_);
    const auto height = static_cast<std::uint32_t>(height_);
    if (!(left < right && top < bottom && right <= width && left < width && bottom <= height && top < height) ||
        box[3] > bottom || !HasPage())
        return;

    std::uint32_t advance = LoadPNG(std::string(NumberImagesPath) + "0.png", ImageStorageType::Overlay) ? imageWidth_ : 0;
    const std::string text = " " + std::to_string(static_cast<unsigned>(percent)) + "%";
    std::uint32_t x = left;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0 && LoadPNG(GlyphPath(c, true), ImageStorageType::Overlay)) {
            advance = imageWidth_;
            PaintGlyph(x, top, right, bottom, false);
        }
        x += advance;
    }
    CopyImageDataToBuffer();
    PostChangedArea(left, top, x - left, bottom - top);
}

void QnxScreenPresenter::OverlayVersionNumber(const std::vector<unsigned>& box, const std::string& version)
{
    if (box.size() < 4)
        return;
    const std::uint32_t left = box[0];
    const std::uint32_t top = box[1];
    const std::uint32_t right = box[2];
    const std::uint32_t bottom = box[3];
    const auto width = static_cast<std::uint32_t>(width_);
    const auto height = static_cast<std::uint32_t>(height_);
    if (!(left < right && top < bottom && right <= width && left < width && bottom <= height && top < height) ||
        !HasPage())
        return;

    const std::string text = version + ".";
    std::uint32_t advance = LoadPNG(std::string(NumberImagesPath) + "0.png", ImageStorageType::Overlay) ? imageWidth_ : 0;
    std::uint32_t x = left;
    for (const char c : text) {
        if (LoadPNG(GlyphPath(c, false), ImageStorageType::Overlay)) {
            advance = imageWidth_;
            PaintGlyph(x, top, right, bottom, true);
        }
        x += advance;
    }
    CopyImageDataToBuffer();
}

void QnxScreenPresenter::DestroyWindow()
{
    ReleaseRows(pageRows_);
    ReleaseRows(overlayRows_);
    if (window_ != nullptr)
        screen_destroy_window(window_);
    window_ = nullptr;
    // The buffer belonged to the window; its handle is released all the same.
    if (buffer_ != nullptr)
        screen_destroy_buffer(buffer_);
    buffer_ = nullptr;
}
