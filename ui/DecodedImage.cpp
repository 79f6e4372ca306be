#include "DecodedImage.h"

#include <limits>
#include <new>

namespace {
std::size_t PixelBytes(std::uint32_t width, std::uint32_t height)
{
    // size_t is 32 bits on the printer: a size that does not fit is memory
    // that cannot be had.
    const std::size_t maximum = std::numeric_limits<std::size_t>::max() / DecodedImage::BytesPerPixel;
    if (width != 0 && height > maximum / width) {
        throw std::bad_alloc();
    }
    return static_cast<std::size_t>(width) * height * DecodedImage::BytesPerPixel;
}
} // namespace

DecodedImage::DecodedImage(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height),
      // Not value-initialised: the decoder writes every byte, and clearing
      // first would add a page-sized write to every page load.
      pixels_(new unsigned char[PixelBytes(width, height)]), rows_(height)
{
    for (std::uint32_t y = 0; y < height; ++y) {
        rows_[y] = pixels_.get() + static_cast<std::size_t>(y) * RowBytes();
    }
}
