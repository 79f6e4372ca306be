#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A PNG decoded with libpng, with the header facts the presenter relies on.
// Indexed-colour images keep their indices (one byte a pixel) and palette,
// which is much cheaper than expanding them; At() looks colours up.
struct DecodedPng
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colorType = -1;
    int bitDepth = 0;
    int interlace = -1;
    bool hasTransparency = false;
    std::vector<unsigned char> pixels;  // row by row: an index, or 3 bytes of RGB
    std::vector<unsigned char> palette; // 3 bytes per entry for indexed images

    struct Rgb
    {
        unsigned char r, g, b;
        bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
    };
    Rgb At(std::uint32_t x, std::uint32_t y) const;
};

// False when the bytes are not a PNG that libpng decodes completely (or,
// with headerOnly, whose header it cannot read).
bool DecodePng(const unsigned char* data, std::size_t size, DecodedPng& out, bool headerOnly = false);
