#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A PNG decoded with libpng to 8-bit RGB, with the header facts the
// presenter relies on.
struct DecodedPng
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colorType = -1;
    int bitDepth = 0;
    int interlace = -1;
    bool hasTransparency = false;
    std::vector<unsigned char> rgb; // width * height * 3 bytes, row by row

    struct Rgb
    {
        unsigned char r, g, b;
        bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
    };
    Rgb At(std::uint32_t x, std::uint32_t y) const;
};

// False when the bytes are not a PNG that libpng decodes completely.
bool DecodePng(const unsigned char* data, std::size_t size, DecodedPng& out);
