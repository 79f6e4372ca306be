#include "PngDecoder.h"

#include "PngFixtures.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
using Limits = PngDecoder::SizeLimits;

const Limits Window = Limits::AtMost(1024, 600);

std::optional<DecodedImage> DecodeBytes(const std::vector<unsigned char>& bytes, const Limits& limits = Window)
{
    QnxEmbeddedFiles::ReadOnlyMemory stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return PngDecoder::Decode(stream, limits);
}

std::vector<unsigned char> RowBytes(const DecodedImage& image, std::uint32_t y)
{
    return std::vector<unsigned char>(image.Row(y), image.Row(y) + image.RowBytes());
}

// Hands out at most 7 bytes a read, as a pipe or a slow file may.
class TricklingStream : public QnxEmbeddedFiles::ReadOnlyObject
{
public:
    explicit TricklingStream(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
    int Read(void* buffer, int count) override
    {
        const int n = std::min({count, 7, static_cast<int>(bytes_.size() - position_)});
        if (n <= 0) {
            return 0;
        }
        std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
        position_ += static_cast<size_t>(n);
        return n;
    }
    bool IsGood() const override { return position_ < bytes_.size(); }
    const unsigned char* GetBuffer() const override { return nullptr; }
    int GetSize() const override { return -1; }

private:
    std::vector<unsigned char> bytes_;
    size_t position_ = 0;
};

TEST(PngDecoder, RgbAndIndexedImagesBecomeBlueGreenRedAlphaRows)
{
    const auto rgb = DecodeBytes(PngFixtures::Rgb8(3, 2, [](int x, int y) {
        return 0x102030u * static_cast<std::uint32_t>(x + 1) + 0x010000u * static_cast<std::uint32_t>(y);
    }));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(3u, rgb->Width());
    EXPECT_EQ(2u, rgb->Height());
    EXPECT_EQ((std::vector<unsigned char>{0x30, 0x20, 0x10, 0xFF, 0x60, 0x40, 0x20, 0xFF, 0x90, 0x60, 0x30, 0xFF}),
              RowBytes(*rgb, 0));
    EXPECT_EQ((std::vector<unsigned char>{0x30, 0x20, 0x11, 0xFF, 0x60, 0x40, 0x21, 0xFF, 0x90, 0x60, 0x31, 0xFF}),
              RowBytes(*rgb, 1));

    const auto indexed = DecodeBytes(PngFixtures::Indexed(2, 1, {0x043F8D, 0x666666}, {0x80, 0x00},
                                                          [](int x, int) { return static_cast<unsigned char>(x); }));
    ASSERT_TRUE(indexed);
    EXPECT_EQ((std::vector<unsigned char>{0x8D, 0x3F, 0x04, 0x80, 0x66, 0x66, 0x66, 0x00}), RowBytes(*indexed, 0));
}

TEST(PngDecoder, StreamDeliveringShortReadsDecodesWhole)
{
    TricklingStream stream(
        PngFixtures::Rgb8(40, 30, [](int x, int y) { return static_cast<std::uint32_t>(x * 5 + y); }));
    const auto image = PngDecoder::Decode(stream, Window);
    ASSERT_TRUE(image);
    EXPECT_EQ(40u, image->Width());
    EXPECT_EQ((std::vector<unsigned char>{39 * 5 + 29, 0, 0, 0xFF}),
              std::vector<unsigned char>(image->Row(29) + 39 * 4, image->Row(29) + 40 * 4));
}

// A header claiming a million by a million pixels, followed by the data of
// one pixel: the size is refused from the header, before memory for the
// rows is sought.
TEST(PngDecoder, ImageOutsideTheLimitsIsRefusedFromItsHeader)
{
    std::vector<unsigned char> bytes = PngFixtures::Rgb8(1, 1, [](int, int) { return 0u; });
    const unsigned char million[4] = {0x00, 0x0F, 0x42, 0x40};
    std::copy(million, million + 4, bytes.begin() + 16); // IHDR width
    std::copy(million, million + 4, bytes.begin() + 20); // IHDR height
    const uLong crc = crc32(crc32(0L, nullptr, 0), bytes.data() + 12, 17);
    for (int i = 0; i < 4; ++i) {
        bytes[29 + static_cast<size_t>(i)] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    }
    EXPECT_FALSE(DecodeBytes(bytes, Limits::AtMost(1000000, 1000000 - 1)));
    EXPECT_FALSE(DecodeBytes(bytes, Limits::Exactly(1024, 600)));
}
} // namespace
