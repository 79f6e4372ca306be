#pragma once

#include "DecodedImage.h"
#include "QnxEmbeddedFiles.h"

#include <cstdint>
#include <optional>

// Turns the bytes of a PNG file into a DecodedImage (blue, green, red, alpha).
// Indexed-colour images take their palette, transparency becomes the alpha
// byte and images without it get an opaque one; interlaced files decode like
// plain ones. Stateless; any thread may decode, each with its own stream.
class PngDecoder
{
public:
    // The image sizes a caller takes (bounds inclusive).
    struct SizeLimits
    {
        std::uint32_t minWidth;
        std::uint32_t minHeight;
        std::uint32_t maxWidth;
        std::uint32_t maxHeight;

        static SizeLimits Exactly(std::uint32_t width, std::uint32_t height) { return {width, height, width, height}; }
        static SizeLimits AtMost(std::uint32_t width, std::uint32_t height) { return {1, 1, width, height}; }
        bool Admit(std::uint32_t width, std::uint32_t height) const
        {
            return width >= minWidth && width <= maxWidth && height >= minHeight && height <= maxHeight;
        }
    };

    PngDecoder() = delete;

    // Decodes the whole image that stream delivers. Nothing when the stream
    // is not good, when its bytes are not a PNG that decodes without error
    // (not a PNG, corrupt, ending early), when the image's size is outside
    // limits (refused before any row is allocated), or when it does not come
    // to 4 bytes per pixel (grey, 16-bit channels). Writes nothing anywhere;
    // throws only std::bad_alloc.
    static std::optional<DecodedImage> Decode(QnxEmbeddedFiles::ReadOnlyObject& stream, const SizeLimits& limits);
};
