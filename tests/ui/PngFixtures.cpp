#include "PngFixtures.h"

#include "QnxEmbeddedFiles.h"

#include <png.h>

#include <atomic>
#include <csetjmp>
#include <list>
#include <mutex>

namespace {
void AppendBytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void Flush(png_structp)
{}

struct Image
{
    int width;
    int height;
    int colourType;
    int bitDepth;
    bool interlaced;
    std::vector<std::vector<unsigned char>> rows;
    std::vector<png_color> palette;
    std::vector<unsigned char> alpha;
};

bool Write(Image& image, std::vector<unsigned char>* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    for (auto& row : image.rows) {
        rows.push_back(row.data());
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendBytes, Flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                 image.bitDepth, image.colourType, image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!image.palette.empty()) {
        png_set_PLTE(png, info, image.palette.data(), static_cast<int>(image.palette.size()));
    }
    if (!image.alpha.empty()) {
        png_set_tRNS(png, info, image.alpha.data(), static_cast<int>(image.alpha.size()), nullptr);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::vector<unsigned char> Encode(Image& image)
{
    std::vector<unsigned char> out;
    if (!Write(image, &out)) {
        out.clear();
    }
    return out;
}

std::list<std::vector<unsigned char>>& Keep()
{
    static std::list<std::vector<unsigned char>> kept;
    return kept;
}

std::mutex& KeepMutex()
{
    static std::mutex mutex;
    return mutex;
}

int GlyphBlue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c == '%' ? 0x20 : 0x30;
}
} // namespace

namespace PngFixtures {
std::vector<unsigned char> Rgb8(int width, int height, const Rgb& colour, Options options)
{
    Image image{width, height, PNG_COLOR_TYPE_RGB, options.sixteenBit ? 16 : 8, options.interlaced, {}, {}, {}};
    const int bytesPerSample = options.sixteenBit ? 2 : 1;
    for (int y = 0; y < height; ++y) {
        std::vector<unsigned char> row;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            for (int shift : {16, 8, 0}) {
                for (int b = 0; b < bytesPerSample; ++b) {
                    row.push_back(static_cast<unsigned char>((c >> shift) & 0xFF));
                }
            }
        }
        image.rows.push_back(std::move(row));
    }
    return Encode(image);
}

std::vector<unsigned char> Indexed(int width, int height, const std::vector<std::uint32_t>& palette,
                                   const std::vector<unsigned char>& alpha,
                                   const std::function<unsigned char(int x, int y)>& index)
{
    Image image{width, height, PNG_COLOR_TYPE_PALETTE, 8, false, {}, {}, alpha};
    for (std::uint32_t c : palette) {
        image.palette.push_back(png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>((c >> 8) & 0xFF),
                                          static_cast<png_byte>(c & 0xFF)});
    }
    for (int y = 0; y < height; ++y) {
        std::vector<unsigned char> row;
        for (int x = 0; x < width; ++x) {
            row.push_back(index(x, y));
        }
        image.rows.push_back(std::move(row));
    }
    return Encode(image);
}

std::vector<unsigned char> Grey8(int width, int height, unsigned char level)
{
    Image image{width, height, PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, {}};
    for (int y = 0; y < height; ++y) {
        image.rows.emplace_back(static_cast<size_t>(width), level);
    }
    return Encode(image);
}

void RegisterAt(const std::string& key, std::vector<unsigned char> bytes)
{
    std::lock_guard<std::mutex> lock(KeepMutex());
    Keep().push_back(std::move(bytes));
    const QnxEmbeddedFiles::KeyAndResource row{key,
                                               {Keep().back().data(), static_cast<std::int32_t>(Keep().back().size())}};
    QnxEmbeddedFiles::AddResources(&row, 1);
}

std::string Register(std::vector<unsigned char> bytes)
{
    static std::atomic<unsigned> next{0};
    const std::string key = "/test/fixture-" + std::to_string(next++) + ".png";
    RegisterAt(key, std::move(bytes));
    return key;
}

int GlyphWidth(char c)
{
    switch (c) {
    case '4':
        return 12;
    case '%':
        return 17;
    case '.':
        return 5;
    default:
        return 11;
    }
}

int GlyphHeight(char c)
{
    return (c == '1' || c == '2' || c == '4' || c == '7') ? 22 : 23;
}

std::uint32_t GlyphPixel(char c, int x, int y)
{
    const int blue = GlyphBlue(c);
    return (x + 2 * y + blue) % 3 == 0 ? (0x666600u | static_cast<std::uint32_t>(blue)) : 0xFFFFFFu;
}

void RegisterGlyphs()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char c : std::string("0123456789%.")) {
            const std::string name = c == '%' ? "percent" : c == '.' ? "period" : std::string(1, c);
            RegisterAt("/Upgrade/qnxupgrade/numbers/" + name + ".png",
                       Rgb8(GlyphWidth(c), GlyphHeight(c), [c](int x, int y) { return GlyphPixel(c, x, y); }));
        }
    });
}
} // namespace PngFixtures
