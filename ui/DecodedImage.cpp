#include "DecodedImage.h"

#include <sys/mman.h>

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

std::unique_ptr<unsigned char[], DecodedImage::Release> DecodedImage::Allocate(std::size_t bytes)
{
    if (bytes < OwnMappingBytes) {
        // Not value-initialised: the decoder writes every byte, and clearing
        // first would add a write of the whole image.
        return std::unique_ptr<unsigned char[], Release>(new unsigned char[bytes]);
    }
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANON, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    return std::unique_ptr<unsigned char[], Release>(static_cast<unsigned char*>(mapped), Release{bytes});
}

void DecodedImage::Release::operator()(unsigned char* pixels) const
{
    if (mappedBytes > 0) {
        munmap(pixels, mappedBytes);
    } else {
        delete[] pixels;
    }
}

DecodedImage::DecodedImage(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), pixels_(Allocate(PixelBytes(width, height))), rows_(height)
{
    for (std::uint32_t y = 0; y < height; ++y) {
        rows_[y] = pixels_.get() + static_cast<std::size_t>(y) * RowBytes();
    }
}
