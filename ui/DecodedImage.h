#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A decoded picture in the window buffer's pixel order: 4 bytes per pixel,
// blue, green, red, alpha, rows top to bottom without padding. Owns its
// pixels; moves, never copies (a page is 2.4 MB). An empty image (the
// default) has no rows.
class DecodedImage
{
public:
    static constexpr std::size_t BytesPerPixel = 4;

    DecodedImage() = default;
    // Room for width x height pixels, left uninitialised for the decoder to
    // fill. Throws std::bad_alloc when that much memory cannot be had.
    DecodedImage(std::uint32_t width, std::uint32_t height);

    DecodedImage(DecodedImage&&) noexcept = default;
    DecodedImage& operator=(DecodedImage&&) noexcept = default;
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    bool Empty() const { return rows_.empty(); }
    std::size_t RowBytes() const { return static_cast<std::size_t>(width_) * BytesPerPixel; }

    // Row y, for y below Height().
    unsigned char* Row(std::uint32_t y) { return rows_[y]; }
    const unsigned char* Row(std::uint32_t y) const { return rows_[y]; }
    // One pointer per row, the form libpng fills.
    unsigned char** Rows() { return rows_.data(); }

private:
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<unsigned char[]> pixels_;
    std::vector<unsigned char*> rows_;
};
