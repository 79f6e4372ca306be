#include "RoadPicture.h"

#include "EmbeddedResourceTable.h"
#include "PngDecoder.h"
#include "QnxEmbeddedFiles.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>

namespace {

constexpr std::uint32_t Margin = 16;
constexpr std::uint32_t TextGap = 6;
// White, as the pages under the glyphs.
constexpr std::uint32_t Background = 0xFFFFFF;
constexpr std::uint32_t Border = 0x808080;
constexpr std::uint32_t LargestImage = 8192;
constexpr std::size_t PeriodGlyph = 10;

std::uint32_t Rgb(const unsigned char* bgra)
{
    return (std::uint32_t{bgra[2]} << 16) | (std::uint32_t{bgra[1]} << 8) | bgra[0];
}

DecodedImage Decode(const std::string& path)
{
    const std::unique_ptr<QnxEmbeddedFiles::ReadOnlyObject> stream = QnxEmbeddedFiles::OpenBinary(path);
    std::optional<DecodedImage> image =
        PngDecoder::Decode(*stream, PngDecoder::SizeLimits::AtMost(LargestImage, LargestImage));
    return image ? std::move(*image) : DecodedImage();
}

// The mean colour of a Scale x Scale block.
std::uint32_t Shrunk(const DecodedImage& image, std::uint32_t x, std::uint32_t y)
{
    std::uint32_t sums[3] = {0, 0, 0};
    for (std::uint32_t dy = 0; dy < RoadPicture::Scale; ++dy) {
        const unsigned char* row = image.Row(y * RoadPicture::Scale + dy);
        for (std::uint32_t dx = 0; dx < RoadPicture::Scale; ++dx) {
            for (int c = 0; c < 3; ++c) {
                sums[c] += row[(x * RoadPicture::Scale + dx) * DecodedImage::BytesPerPixel + static_cast<unsigned>(c)];
            }
        }
    }
    constexpr std::uint32_t count = RoadPicture::Scale * RoadPicture::Scale;
    return ((sums[2] / count) << 16) | ((sums[1] / count) << 8) | (sums[0] / count);
}

void SilentError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void SilentWarning(png_structp, png_const_charp)
{}

// Only plain data lives in this frame, so libpng's longjmp skips no destructor.
bool WriteRows(std::FILE* file, png_bytepp rows, std::uint32_t width, std::uint32_t height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

RoadPicture::RoadPicture()
{
    QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
    for (const char* name : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "period"}) {
        glyphs_.push_back(Decode(std::string("/Upgrade/qnxupgrade/numbers/") + name + ".png"));
    }
}

bool RoadPicture::AddPage(const std::string& framePath, const std::string& time)
{
    DecodedImage frame = Decode(framePath);
    if (frame.Width() < Scale || frame.Height() < Scale) {
        return false;
    }
    stops_.push_back({std::move(frame), time});
    return true;
}

std::vector<std::uint32_t> RoadPicture::Compose(std::uint32_t& width, std::uint32_t& height) const
{
    std::uint32_t glyphHeight = 0;
    for (const DecodedImage& glyph : glyphs_) {
        glyphHeight = std::max(glyphHeight, glyph.Height());
    }
    std::uint32_t tallest = 0;
    width = Margin;
    for (const Stop& stop : stops_) {
        width += stop.frame.Width() / Scale + 2 + Margin;
        tallest = std::max(tallest, stop.frame.Height() / Scale + 2);
    }
    height = Margin + tallest + TextGap + glyphHeight + Margin;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, Background);
    const auto set = [&](std::uint32_t x, std::uint32_t y, std::uint32_t colour) {
        if (x < width && y < height) {
            pixels[static_cast<std::size_t>(y) * width + x] = colour;
        }
    };

    std::uint32_t left = Margin;
    for (const Stop& stop : stops_) {
        const std::uint32_t w = stop.frame.Width() / Scale;
        const std::uint32_t h = stop.frame.Height() / Scale;
        for (std::uint32_t y = 0; y < h + 2; ++y) {
            for (std::uint32_t x = 0; x < w + 2; ++x) {
                const bool edge = x == 0 || y == 0 || x == w + 1 || y == h + 1;
                set(left + x, Margin + y, edge ? Border : Shrunk(stop.frame, x - 1, y - 1));
            }
        }
        // The time, centred under the page.
        std::uint32_t textWidth = 0;
        for (const char c : stop.time) {
            textWidth += (Glyph(c) != nullptr ? *Glyph(c) : glyphs_[0]).Width();
        }
        std::uint32_t x = left + (w + 2 > textWidth ? (w + 2 - textWidth) / 2 : 0);
        const std::uint32_t top = Margin + tallest + TextGap;
        for (const char c : stop.time) {
            const DecodedImage* glyph = Glyph(c);
            if (glyph != nullptr) {
                for (std::uint32_t gy = 0; gy < glyph->Height(); ++gy) {
                    for (std::uint32_t gx = 0; gx < glyph->Width(); ++gx) {
                        set(x + gx, top + gy, Rgb(glyph->Row(gy) + gx * DecodedImage::BytesPerPixel));
                    }
                }
            }
            x += (glyph != nullptr ? *glyph : glyphs_[0]).Width();
        }
        left += w + 2 + Margin;
    }
    return pixels;
}

const DecodedImage* RoadPicture::Glyph(char c) const
{
    if (c == '.') {
        return &glyphs_[PeriodGlyph];
    }
    if (c >= '0' && c <= '9') {
        return &glyphs_[static_cast<std::size_t>(c - '0')];
    }
    return nullptr;
}

bool RoadPicture::Write(const std::string& path) const
{
    if (stops_.empty()) {
        return false;
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const std::vector<std::uint32_t> pixels = Compose(width, height);
    std::vector<unsigned char> bytes(pixels.size() * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        bytes[3 * i] = static_cast<unsigned char>(pixels[i] >> 16);
        bytes[3 * i + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        bytes[3 * i + 2] = static_cast<unsigned char>(pixels[i]);
    }
    std::vector<png_bytep> rows(height);
    for (std::uint32_t y = 0; y < height; ++y) {
        rows[y] = bytes.data() + static_cast<std::size_t>(y) * width * 3;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = WriteRows(file, rows.data(), width, height);
    return std::fclose(file) == 0 && written;
}
