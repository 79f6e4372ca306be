#include "PageNames.h"

#include "DecodedImage.h"
#include "EmbeddedResourceTable.h"
#include "PngDecoder.h"
#include "QnxEmbeddedFiles.h"

#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr std::uint32_t LargestImage = 8192;

std::optional<DecodedImage> Decode(const std::string& path)
{
    const std::unique_ptr<QnxEmbeddedFiles::ReadOnlyObject> stream = QnxEmbeddedFiles::OpenBinary(path);
    return PngDecoder::Decode(*stream, PngDecoder::SizeLimits::AtMost(LargestImage, LargestImage));
}

bool SamePixels(const DecodedImage& a, const DecodedImage& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), a.RowBytes()) != 0) {
            return false;
        }
    }
    return true;
}

bool IsBlack(const DecodedImage& image)
{
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const unsigned char* pixel = image.Row(y) + x * DecodedImage::BytesPerPixel;
            if (pixel[0] != 0 || pixel[1] != 0 || pixel[2] != 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

PageNames::PageNames(const std::string& language) : language_(language)
{
    QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
}

std::string PageNames::NameOf(const std::string& framePath) const
{
    const std::optional<DecodedImage> frame = Decode(framePath);
    if (!frame) {
        return "unreadable";
    }
    if (IsBlack(*frame)) {
        return "black";
    }
    for (const char* page : {"16", "15", "17"}) {
        const std::optional<DecodedImage> known = Decode("/Upgrade/qnxupgrade/" + language_ + "/" + page + ".png");
        if (known && SamePixels(*frame, *known)) {
            return page;
        }
    }
    return "other";
}
