#include "OverlayBox.h"

std::optional<OverlayBox> OverlayBox::FromLayout(const std::vector<unsigned>& numbers, const Reading& reading,
                                                 std::uint32_t windowWidth, std::uint32_t windowHeight)
{
    if (numbers.size() < 4) {
        return std::nullopt;
    }
    // 64 bits: a layout number near the 32-bit limit must not wrap into the window.
    const std::uint64_t left = std::uint64_t{numbers[0]} + reading.skipLeft;
    const std::uint64_t top = std::uint64_t{numbers[1]} + reading.skipTop;
    const std::uint64_t right = numbers[2];
    const std::uint64_t bottom = std::uint64_t{numbers[3]} + reading.extraBottom;
    if (!(left < right && right <= windowWidth && top < bottom && bottom <= windowHeight)) {
        return std::nullopt;
    }
    return OverlayBox{static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                      static_cast<std::uint32_t>(right), static_cast<std::uint32_t>(bottom)};
}
