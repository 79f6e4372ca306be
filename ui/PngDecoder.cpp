#include "PngDecoder.h"

#include <png.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <utility>

namespace {
// The libpng release the program is built against on the printer; any 1.6
// release accepts it.
constexpr const char* LibpngVersion = "1.6.37";

// libpng's default handlers print to standard error before they give up,
// and the program writes nothing: errors only jump back to the decoder's
// setjmp, warnings are dropped.
void SilentError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void SilentWarning(png_structp, png_const_charp)
{}

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
        if (got <= 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    if (done < length) {
        png_error(png, "image data ends early");
    }
}

// libpng's read and info structures, released together.
class ReadStructures
{
public:
    ReadStructures()
        : png_(png_create_read_struct(LibpngVersion, nullptr, SilentError, SilentWarning)),
          info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr)
    {}
    ~ReadStructures()
    {
        if (png_ != nullptr) {
            png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
        }
    }
    ReadStructures(const ReadStructures&) = delete;
    ReadStructures& operator=(const ReadStructures&) = delete;

    bool Usable() const { return info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

private:
    png_structp png_;
    png_infop info_;
};

struct Header
{
    png_uint_32 width;
    png_uint_32 height;
    size_t rowBytes;
};

// The decoding steps run in frames that hold plain data only, so that
// libpng's longjmp on an error skips no destructor.
bool ReadHeader(png_structp png, png_infop info, Header* header)
{
    // NOLINTNEXTLINE(cert-err52-cpp): libpng reports errors only by longjmp to this point
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(png);
    } else {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_bgr(png);
    // No pixel transformation: lets png_read_image fill the rows of an
    // interlaced file correctly.
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadRows(png_structp png, png_bytepp rows)
{
    // NOLINTNEXTLINE(cert-err52-cpp): libpng reports errors only by longjmp to this point
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}
} // namespace

std::optional<DecodedImage> PngDecoder::Decode(QnxEmbeddedFiles::ReadOnlyObject& stream, const SizeLimits& limits)
{
    if (!stream.IsGood()) {
        return std::nullopt;
    }
    const ReadStructures decoder;
    if (!decoder.Usable()) {
        return std::nullopt;
    }
    png_set_read_fn(decoder.Png(), &stream, user_read_data);

    Header header{};
    if (!ReadHeader(decoder.Png(), decoder.Info(), &header) || !limits.Admit(header.width, header.height) ||
        header.rowBytes != static_cast<size_t>(header.width) * DecodedImage::BytesPerPixel) {
        return std::nullopt;
    }

    // The rows are allocated here, outside the frame that libpng may jump to.
    DecodedImage image(header.width, header.height);
    if (!ReadRows(decoder.Png(), image.Rows())) {
        return std::nullopt;
    }
    return std::optional<DecodedImage>(std::move(image));
}
