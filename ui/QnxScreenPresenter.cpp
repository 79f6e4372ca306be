#include "QnxScreenPresenter.h"

#include "PngDecoder.h"
#include "QnxEmbeddedFiles.h"
#include "ScreenCodes.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

namespace {
constexpr std::uint64_t OneSecondNs = 1000000000ULL;

// "#RRGGBB" as 0xRRGGBB; what is not hexadecimal counts as 0.
std::uint32_t ParseColour(const std::string& colour)
{
    if (colour.empty()) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::strtoul(colour.c_str() + 1, nullptr, 16) & 0xFFFFFFUL);
}

std::string GlyphPath(char c, bool withPercent)
{
    if (c >= '0' && c <= '9') {
        return std::string(NumberImagesPath) + c + ".png";
    }
    if (c == '.') {
        return PeriodImagePath;
    }
    if (c == '%' && withPercent) {
        return PercentImagePath;
    }
    return std::string();
}

void PauseUpToOneSecond(const std::atomic<bool>& exitRequested)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!exitRequested.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
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
    if (context_ != nullptr) {
        screen_destroy_context(context_);
    }
    context_ = nullptr;
}

bool QnxScreenPresenter::InitScreen()
{
    if (context_ != nullptr) {
        return true;
    }
    if (screen_create_context(&context_, ScreenCodes::ApplicationContext) != 0) {
        context_ = nullptr;
        return false;
    }
    return true;
}

bool QnxScreenPresenter::CreateWindow()
{
    if (window_ != nullptr) {
        return true;
    }
    if (screen_create_window(&window_, context_) != 0) {
        window_ = nullptr;
        return false;
    }
    int display[2] = {width_, height_};
    screen_get_window_property_iv(window_, ScreenCodes::SizeProperty, display);
    const int size[2] = {width_, height_};
    screen_set_window_property_iv(window_, ScreenCodes::SizeProperty, size);
    const int position[2] = {(display[0] - width_) / 2, (display[1] - height_) / 2};
    screen_set_window_property_iv(window_, ScreenCodes::PositionProperty, position);
    screen_set_window_property_iv(window_, ScreenCodes::BufferSizeProperty, size);
    screen_create_window_buffers(window_, 1);
    screen_set_window_property_iv(window_, ScreenCodes::ZOrderProperty, &zOrder_);
    return true;
}

bool QnxScreenPresenter::WindowExists() const
{
    return window_ != nullptr;
}

std::optional<DecodedImage> QnxScreenPresenter::Decode(const std::string& path, ImageStorageType type) const
{
    const std::unique_ptr<QnxEmbeddedFiles::ReadOnlyObject> stream = QnxEmbeddedFiles::OpenBinary(path);
    const auto width = static_cast<std::uint32_t>(width_);
    const auto height = static_cast<std::uint32_t>(height_);
    return PngDecoder::Decode(*stream, type == ImageStorageType::Overlay
                                           ? PngDecoder::SizeLimits::AtMost(width, height)
                                           : PngDecoder::SizeLimits::Exactly(width, height));
}

bool QnxScreenPresenter::LoadPNG(const std::string& path, ImageStorageType type)
{
    // Decoded aside, so that a refused file leaves the image held before whole.
    std::optional<DecodedImage> image = Decode(path, type);
    if (!image) {
        return false;
    }
    (type == ImageStorageType::Overlay ? overlay_ : page_) = std::move(*image);
    return true;
}

std::optional<QnxScreenPresenter::Canvas> QnxScreenPresenter::BufferCanvas()
{
    if (window_ == nullptr) {
        CreateWindow();
    }
    if (window_ == nullptr) {
        return std::nullopt;
    }
    if (buffer_ == nullptr && screen_dequeue_window_render_buffer(&buffer_, window_, 0) != 0) {
        buffer_ = nullptr;
    }
    if (buffer_ == nullptr) {
        return std::nullopt;
    }
    void* pointer = nullptr;
    int stride = 0;
    int bufferSize[2] = {0, 0};
    screen_get_buffer_property_pv(buffer_, ScreenCodes::PointerProperty, &pointer);
    screen_get_buffer_property_iv(buffer_, ScreenCodes::StrideProperty, &stride);
    screen_get_buffer_property_iv(buffer_, ScreenCodes::BufferSizeProperty, bufferSize);
    // Never beyond the buffer, should the compositor have given a smaller one.
    const int columns = std::min({width_, bufferSize[0], stride / 4});
    const int rows = std::min(height_, bufferSize[1]);
    if (pointer == nullptr || columns <= 0 || rows <= 0) {
        return std::nullopt;
    }
    return Canvas{static_cast<unsigned char*>(pointer), static_cast<std::size_t>(stride),
                  static_cast<std::uint32_t>(columns), static_cast<std::uint32_t>(rows)};
}

std::optional<QnxScreenPresenter::Canvas> QnxScreenPresenter::PageCanvas()
{
    if (!page_.Empty()) {
        CopyImageDataToBuffer();
    }
    if (!bufferHoldsPage_) {
        return std::nullopt;
    }
    return BufferCanvas();
}

void QnxScreenPresenter::CopyImageDataToBuffer()
{
    const std::optional<Canvas> canvas = BufferCanvas();
    if (!canvas || page_.Empty()) {
        return;
    }
    for (std::uint32_t y = 0; y < canvas->rows; ++y) {
        std::memcpy(canvas->Row(y), page_.Row(y), static_cast<size_t>(canvas->columns) * DecodedImage::BytesPerPixel);
    }
    // From here on the buffer is the page.
    page_ = DecodedImage();
    bufferHoldsPage_ = true;
}

bool QnxScreenPresenter::Present(const std::string& path)
{
    if (window_ == nullptr) {
        CreateWindow();
    }
    if (!LoadPNG(path, ImageStorageType::Page)) {
        return false;
    }
    CopyImageDataToBuffer();
    PostScreen();
    return true;
}

void QnxScreenPresenter::SetDirtyRectangle(unsigned x, unsigned y, unsigned w, unsigned h)
{
    for (unsigned value : {x, y, w, h}) {
        dirtyRectangles_.push_back(static_cast<std::int32_t>(value));
    }
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
        if (!RectangleIsValid(r[0], r[1], r[2], r[3])) {
            return false;
        }
    }
    if (window_ == nullptr || buffer_ == nullptr) {
        return false;
    }
    return screen_post_window(window_, buffer_, static_cast<int>(count), count == 0 ? nullptr : dirtyRectangles_.data(),
                              0) == 0;
}

void QnxScreenPresenter::PostChangedArea(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h)
{
    // The rectangle rule cannot name an area that reaches the window's right
    // or bottom edge; such an area goes out as a post of the whole window.
    if (RectangleIsValid(x, y, w, h)) {
        SetDirtyRectangle(x, y, w, h);
    } else {
        ClearDirtyRectangle();
    }
    PostScreen();
    ClearDirtyRectangle();
}

ButtonId QnxScreenPresenter::HandleEvents(const std::vector<TouchTarget>& targets)
{
    ButtonId result = ButtonId::NoButton;
    if (screen_create_event(&event_) != 0) {
        event_ = nullptr;
    }
    FlushQueuedEventsInContext();
    bool touched = false;
    while (!touched && !exitRequested_.load()) {
        if (event_ == nullptr || screen_get_event(context_, event_, OneSecondNs) != 0) {
            // Nothing to wait on: pause rather than spin, still noticing an exit request.
            PauseUpToOneSecond(exitRequested_);
            continue;
        }
        int type = ScreenCodes::NoEvent;
        screen_get_event_property_iv(event_, ScreenCodes::TypeProperty, &type);
        if (type != ScreenCodes::TouchDownEvent) {
            continue;
        }
        int touchId = -1;
        screen_get_event_property_iv(event_, ScreenCodes::TouchIdProperty, &touchId);
        if (touchId != 0) {
            continue;
        }
        int position[2] = {-1, -1};
        screen_get_event_property_iv(event_, ScreenCodes::SourcePositionProperty, position);
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
    if (event_ != nullptr) {
        screen_destroy_event(event_);
    }
    event_ = nullptr;
    return result;
}

void QnxScreenPresenter::FlushQueuedEventsInContext()
{
    screen_event_t event = event_;
    if (event == nullptr && screen_create_event(&event) != 0) {
        return;
    }
    for (;;) {
        int type = ScreenCodes::NoEvent;
        if (screen_get_event(context_, event, 0) != 0 ||
            screen_get_event_property_iv(event, ScreenCodes::TypeProperty, &type) != 0 ||
            type == ScreenCodes::NoEvent) {
            break;
        }
    }
    if (event != event_) {
        screen_destroy_event(event);
    }
}

void QnxScreenPresenter::SetExitScreen(bool flag)
{
    exitRequested_.store(flag);
}

std::optional<OverlayBox> QnxScreenPresenter::BoxInWindow(const std::vector<unsigned>& numbers,
                                                          const OverlayBox::Reading& reading) const
{
    return OverlayBox::FromLayout(numbers, reading, static_cast<std::uint32_t>(width_),
                                  static_cast<std::uint32_t>(height_));
}

void QnxScreenPresenter::OverlayProgressBar(const std::vector<unsigned>& box, const std::string& colour,
                                            unsigned char percent)
{
    // The box's left and top border lines stay unpainted.
    const std::optional<OverlayBox> bar = BoxInWindow(box, {1, 1, 0});
    const std::optional<Canvas> canvas = bar ? PageCanvas() : std::nullopt;
    if (!bar || !canvas) {
        return;
    }

    const std::uint32_t rgb = ParseColour(colour);
    // Above 100 the fill would run past the bar and the row.
    const unsigned clamped = std::min<unsigned>(percent, 100);
    const std::uint32_t fillEnd = bar->left + static_cast<std::uint32_t>(static_cast<float>(bar->right - bar->left) *
                                                                         (static_cast<float>(clamped) / 100.0f));
    if (barEnd_ == 0) {
        barEnd_ = bar->left;
    }
    const std::uint32_t start = barEnd_;
    barEnd_ = fillEnd;
    // A bar whose right edge is the window's width fills at most the last column.
    const std::uint32_t last = std::min(fillEnd, static_cast<std::uint32_t>(width_) - 1);
    if (last < start) {
        return;
    }
    const std::uint32_t paintedLast = std::min(last, canvas->columns - 1);
    for (std::uint32_t y = bar->top; y < std::min(bar->bottom, canvas->rows); ++y) {
        unsigned char* row = canvas->Row(y);
        for (std::uint32_t x = start; x <= paintedLast; ++x) {
            unsigned char* pixel = row + DecodedImage::BytesPerPixel * x;
            pixel[0] = static_cast<unsigned char>(rgb & 0xFF);
            pixel[1] = static_cast<unsigned char>((rgb >> 8) & 0xFF);
            pixel[2] = static_cast<unsigned char>((rgb >> 16) & 0xFF);
        }
    }
    PostChangedArea(start, bar->top, last - start + 1, bar->bottom - bar->top);
}

void QnxScreenPresenter::PaintGlyph(const DecodedImage& glyph, std::uint32_t x, const OverlayBox& box,
                                    const Canvas& canvas, bool skipWhite)
{
    const std::uint32_t bottom = std::min(box.bottom, canvas.rows);
    const std::uint32_t right = std::min(box.right, canvas.columns);
    for (std::uint32_t y = box.top; y < bottom && y - box.top < glyph.Height(); ++y) {
        const unsigned char* glyphRow = glyph.Row(y - box.top);
        unsigned char* pageRow = canvas.Row(y);
        for (std::uint32_t column = x; column < right && column - x < glyph.Width(); ++column) {
            const unsigned char* source = glyphRow + DecodedImage::BytesPerPixel * (column - x);
            if (skipWhite && source[0] == 0xFF && source[1] == 0xFF && source[2] == 0xFF) {
                continue;
            }
            std::memcpy(pageRow + DecodedImage::BytesPerPixel * column, source, 3);
        }
    }
}

std::uint32_t QnxScreenPresenter::PaintText(const std::string& text, const OverlayBox& box, const Canvas& canvas,
                                            bool withPercent, bool skipWhite)
{
    std::optional<DecodedImage> zero = Decode(GlyphPath('0', withPercent), ImageStorageType::Overlay);
    std::uint32_t advance = zero ? zero->Width() : 0;
    if (zero) {
        overlay_ = std::move(*zero);
    }
    std::uint32_t x = box.left;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            std::optional<DecodedImage> glyph = Decode(GlyphPath(c, withPercent), ImageStorageType::Overlay);
            if (glyph) {
                advance = glyph->Width();
                PaintGlyph(*glyph, x, box, canvas, skipWhite);
                overlay_ = std::move(*glyph);
            }
        }
        x += advance;
    }
    return x;
}

void QnxScreenPresenter::OverlayPercentageNumber(const std::vector<unsigned>& box, unsigned char percent)
{
    // The glyphs reach two rows below the box.
    const std::optional<OverlayBox> area = BoxInWindow(box, {0, 0, 2});
    const std::optional<Canvas> canvas = area ? PageCanvas() : std::nullopt;
    if (!area || !canvas) {
        return;
    }
    const std::uint32_t end =
        PaintText(" " + std::to_string(static_cast<unsigned>(percent)) + "%", *area, *canvas, true, false);
    PostChangedArea(area->left, area->top, end - area->left, area->bottom - area->top);
}

void QnxScreenPresenter::OverlayVersionNumber(const std::vector<unsigned>& box, const std::string& version)
{
    const std::optional<OverlayBox> area = BoxInWindow(box, {});
    const std::optional<Canvas> canvas = area ? PageCanvas() : std::nullopt;
    if (area && canvas) {
        PaintText(version + ".", *area, *canvas, false, true);
    }
}

void QnxScreenPresenter::DestroyWindow()
{
    page_ = DecodedImage();
    overlay_ = DecodedImage();
    bufferHoldsPage_ = false;
    if (window_ != nullptr) {
        screen_destroy_window(window_);
    }
    window_ = nullptr;
    // The buffer belonged to the window; its handle is released all the same.
    if (buffer_ != nullptr) {
        screen_destroy_buffer(buffer_);
    }
    buffer_ = nullptr;
}
