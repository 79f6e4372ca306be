#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// PNG files that the presenter's tests, fuzz seeds and benchmarks make for
// themselves, and their registration as compiled-in resources.
namespace PngFixtures {
using Rgb = std::function<std::uint32_t(int x, int y)>; // 0xRRGGBB

struct Options
{
    bool interlaced = false;
    bool sixteenBit = false; // RGB only
};

std::vector<unsigned char> Rgb8(int width, int height, const Rgb& colour, Options options = {});
// Palette image; alpha has one entry per palette entry (empty: no transparency chunk).
std::vector<unsigned char> Indexed(int width, int height, const std::vector<std::uint32_t>& palette,
                                   const std::vector<unsigned char>& alpha,
                                   const std::function<unsigned char(int x, int y)>& index);
std::vector<unsigned char> Grey8(int width, int height, unsigned char level);

// Registers bytes under a fresh key of its own and returns the key. The
// bytes stay alive for the whole process.
std::string Register(std::vector<unsigned char> bytes);
// Registers bytes under key (the first registration of a key wins).
void RegisterAt(const std::string& key, std::vector<unsigned char> bytes);

// The digit, percent and period glyphs at their compiled-in paths, with the
// product's sizes: white cells with a stroke whose blue byte tells the glyph
// apart. Registered once per process.
void RegisterGlyphs();
int GlyphWidth(char c);
int GlyphHeight(char c);
// The colour of glyph c at (x, y) inside its cell.
std::uint32_t GlyphPixel(char c, int x, int y);
} // namespace PngFixtures
