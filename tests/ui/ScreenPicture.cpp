#include "ScreenPicture.h"

#include <screen/host_display.h>

#include <png.h>

#include <cstdio>
#include <cstring>

namespace {
std::string GlyphFile(const std::string& folder, char c)
{
    if (c == '%') {
        return folder + "/percent.png";
    }
    if (c == '.') {
        return folder + "/period.png";
    }
    return folder + "/" + std::string(1, c) + ".png";
}
} // namespace

ScreenPicture ScreenPicture::FromFile(const std::string& path)
{
    ScreenPicture picture;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
        return picture;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.reserve(bytes.size() / 3);
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
        picture.rgb.push_back((std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2]);
    }
    return picture;
}

ScreenPicture ScreenPicture::Displayed()
{
    ScreenPicture picture;
    host_screen_display_size(&picture.width, &picture.height);
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height));
    host_screen_read_display(0, 0, picture.width, picture.height, picture.rgb.data());
    return picture;
}

std::uint32_t ScreenPicture::At(int x, int y) const
{
    return rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

void ScreenPicture::Set(int x, int y, std::uint32_t colour)
{
    rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = colour;
}

void ScreenPicture::Fill(int left, int top, int right, int bottom, std::uint32_t colour)
{
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            Set(x, y, colour);
        }
    }
}

void ScreenPicture::DrawText(const std::string& glyphFolder, int left, int top, int right, int bottom,
                             const std::string& text, bool skipWhite)
{
    int x = left;
    for (const char c : text) {
        const ScreenPicture glyph = FromFile(GlyphFile(glyphFolder, c == ' ' ? '0' : c));
        if (c != ' ') {
            for (int y = top; y < bottom && y - top < glyph.height; ++y) {
                for (int column = x; column < right && column - x < glyph.width; ++column) {
                    const std::uint32_t colour = glyph.At(column - x, y - top);
                    if (!skipWhite || colour != 0xFFFFFF) {
                        Set(column, y, colour);
                    }
                }
            }
        }
        x += glyph.width;
    }
}

std::string ScreenPicture::FirstDifference(const ScreenPicture& other) const
{
    if (width != other.width || height != other.height) {
        return "sizes " + std::to_string(width) + "x" + std::to_string(height) + " and " + std::to_string(other.width) +
               "x" + std::to_string(other.height);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (At(x, y) != other.At(x, y)) {
                char text[96];
                std::snprintf(text, sizeof text, "(%d, %d): 0x%06X and 0x%06X", x, y, At(x, y), other.At(x, y));
                return text;
            }
        }
    }
    return {};
}
