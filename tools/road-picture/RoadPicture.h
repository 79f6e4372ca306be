#pragma once

#include "DecodedImage.h"

#include <cstdint>
#include <string>
#include <vector>

// The picture of one upgrade's road: the pages in the order they were shown,
// each scaled down by Scale, side by side on white, with the time it
// was shown under it, drawn with the program's compiled-in digit glyphs
// (digits and the period; other characters leave a gap).
class RoadPicture
{
public:
    static constexpr std::uint32_t Scale = 4;

    RoadPicture();

    // Adds the frame (a PNG file, e.g. a filmed frame) with its time text.
    // False, and nothing added, when the file cannot be decoded.
    bool AddPage(const std::string& framePath, const std::string& time);
    // Writes the picture as an 8-bit RGB PNG. False when there is no page or
    // the file cannot be written.
    bool Write(const std::string& path) const;

private:
    struct Stop
    {
        DecodedImage frame;
        std::string time;
    };

    // The glyph of a digit or the period; null for any other character.
    const DecodedImage* Glyph(char c) const;
    // Pixels 0xRRGGBB, row by row.
    std::vector<std::uint32_t> Compose(std::uint32_t& width, std::uint32_t& height) const;

    std::vector<Stop> stops_;
    // Glyphs '0'..'9' then '.'.
    std::vector<DecodedImage> glyphs_;
};
