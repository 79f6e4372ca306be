#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A decoded picture in the window buffer's pixel order: 4 bytes per pixel,
// blue, green, red, alpha, rows top to bottom without padding. Owns its
// pixels; moves, never copies (a page is 2.4 MB). An empty image (the
// default) has no rows.
//
// The pixels of a large image (a page) live in a mapping of their own, so
// that releasing the image gives its memory back to the system at once,
// whatever the allocator would keep for reuse; small ones (glyphs) come from
// the heap, where a mapping would waste most of its memory page.
class DecodedImage
{
public:
    static constexpr std::size_t BytesPerPixel = 4;
    // Images of at least this many bytes of pixels get a mapping of their own.
    static constexpr std::size_t OwnMappingBytes = std::size_t{64} * 1024;

    DecodedImage() = default;
    // Room for width x height pixels for the decoder to fill (not cleared
    // where they come from the heap). Throws std::bad_alloc when that much
    // memory cannot be had.
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
    // Frees pixels of either kind: unmaps mappedBytes, or deletes when 0.
    struct Release
    {
        std::size_t mappedBytes; // 0 in a default (value-initialised) one
        void operator()(unsigned char* pixels) const;
    };

    static std::unique_ptr<unsigned char[], Release> Allocate(std::size_t bytes);

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<unsigned char[], Release> pixels_;
    std::vector<unsigned char*> rows_;
};
