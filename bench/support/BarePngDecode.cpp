#include "BarePngDecode.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct MemoryReader
{
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, std::size_t length)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->size - reader->position < length) {
        png_error(png, "short");
    }
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
}

} // namespace

// Only plain data lives in this frame, so libpng's longjmp skips no destructor.
bool BarePngDecode(const unsigned char* bytes, std::size_t size, unsigned char* const* rows)
{
    MemoryReader reader{bytes, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(png);
    } else {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_bgr(png);
    png_read_update_info(png, info);
    png_read_image(png, const_cast<png_bytepp>(rows));
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
