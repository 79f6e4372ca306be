#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture as the display shows it, 0xRRGGBB per pixel: decoded from a PNG
// file, or read from the virtual display. Tests build the picture they
// expect from the page files and the glyphs, and compare.
struct ScreenPicture
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;

    // Empty (0 x 0) when the file is missing or not a PNG.
    static ScreenPicture FromFile(const std::string& path);
    // The whole virtual display.
    static ScreenPicture Displayed();

    std::uint32_t At(int x, int y) const;
    void Set(int x, int y, std::uint32_t colour);
    // Fills columns left .. right and rows top .. bottom (inclusive).
    void Fill(int left, int top, int right, int bottom, std::uint32_t colour);

    // Draws text with the glyph files of glyphFolder ("0.png" .. "9.png",
    // "percent.png", "period.png") from x = left over rows top .. bottom - 1,
    // columns up to right - 1, as the presenter's overlays do: a blank
    // advances by the width of the 0 glyph, every glyph by its own width;
    // skipWhite leaves the page under the glyphs' white pixels.
    void DrawText(const std::string& glyphFolder, int left, int top, int right, int bottom, const std::string& text,
                  bool skipWhite);

    // "" when both are equal, else where they first differ.
    std::string FirstDifference(const ScreenPicture& other) const;
};
