#include "DecodedPng.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {
struct MemoryInput
{
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep target, png_size_t length)
{
    auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (input->size - input->position < length) {
        png_error(png, "read past the end");
    }
    std::memcpy(target, input->data + input->position, length);
    input->position += length;
}

// Only trivially destructible objects live in this frame besides the output,
// which the caller owns, so libpng's longjmp skips no destructor.
bool Decode(const unsigned char* data, std::size_t size, DecodedPng& out, std::vector<png_bytep>& rows, bool headerOnly)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    MemoryInput input{data, size, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &input, ReadFromMemory);
    png_read_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.colorType = png_get_color_type(png, info);
    out.bitDepth = png_get_bit_depth(png, info);
    out.interlace = png_get_interlace_type(png, info);
    out.hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (headerOnly) {
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }
    std::size_t bytesPerPixel = 3;
    if (out.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        for (int i = 0; i < count; ++i) {
            out.palette.insert(out.palette.end(), {entries[i].red, entries[i].green, entries[i].blue});
        }
        out.palette.resize(256U * 3U, 0);
        png_set_packing(png);
        bytesPerPixel = 1;
    } else {
        if (out.bitDepth == 16) {
            png_set_strip_16(png);
        }
        if ((out.colorType & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_gray_to_rgb(png);
        }
        png_set_strip_alpha(png);
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(out.width) * bytesPerPixel) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height * bytesPerPixel, 0);
    rows.resize(out.height);
    for (std::uint32_t y = 0; y < out.height; ++y) {
        rows[y] = out.pixels.data() + static_cast<std::size_t>(y) * out.width * bytesPerPixel;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
} // namespace

DecodedPng::Rgb DecodedPng::At(std::uint32_t x, std::uint32_t y) const
{
    const std::size_t pixel = static_cast<std::size_t>(y) * width + x;
    if (!palette.empty()) {
        const std::size_t entry = pixels[pixel] * 3U;
        return Rgb{palette[entry], palette[entry + 1], palette[entry + 2]};
    }
    return Rgb{pixels[pixel * 3U], pixels[pixel * 3U + 1], pixels[pixel * 3U + 2]};
}

bool DecodePng(const unsigned char* data, std::size_t size, DecodedPng& out, bool headerOnly)
{
    std::vector<png_bytep> rows;
    return Decode(data, size, out, rows, headerOnly);
}
