#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The window area an overlay paints: columns left .. right - 1, rows
// top .. bottom - 1, never empty and never outside the window.
struct OverlayBox
{
    // How a painter reads its layout box: the progress bar leaves the box's
    // left and top border line, the percentage takes rows below the box.
    struct Reading
    {
        std::uint32_t skipLeft = 0;
        std::uint32_t skipTop = 0;
        std::uint32_t extraBottom = 0;
    };

    std::uint32_t left;
    std::uint32_t top;
    std::uint32_t right;
    std::uint32_t bottom;

    // The box of the layout numbers left, top, right, bottom (further
    // numbers ignored) as read. Nothing when there are fewer than four
    // numbers or the box read is empty or reaches outside a window of
    // windowWidth x windowHeight; no sum wraps around.
    static std::optional<OverlayBox> FromLayout(const std::vector<unsigned>& numbers, const Reading& reading,
                                                std::uint32_t windowWidth, std::uint32_t windowHeight);
};
