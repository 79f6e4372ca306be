// Feeds arbitrary bytes to the PNG decoder, then to the presenter as a page
// and as a glyph that is painted into a page: every input must be decoded or
// refused cleanly, and whatever decodes must paint within the page.
#include "PngDecoder.h"
#include "PngFixtures.h"
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {
const std::string InputKey = "/fuzz/input.png";
const std::string GlyphKey = std::string(NumberImagesPath) + "0.png";

QnxScreenPresenter& Presenter()
{
    static QnxScreenPresenter* const presenter = [] {
        auto* made = new QnxScreenPresenter(2);
        const std::string page =
            PngFixtures::Register(PngFixtures::Rgb8(1024, 600, [](int, int) { return 0xFFFFFFu; }));
        made->Present(page);
        return made;
    }();
    return *presenter;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX));
    QnxEmbeddedFiles::ReadOnlyMemory stream(data, length);
    const std::optional<DecodedImage> image = PngDecoder::Decode(stream, PngDecoder::SizeLimits::AtMost(1024, 600));
    if (image && (image->Width() == 0 || image->Height() == 0 || image->Width() > 1024 || image->Height() > 600)) {
        __builtin_trap();
    }

    QnxScreenPresenter& presenter = Presenter();
    const QnxEmbeddedFiles::BinaryResource input{data, length};
    QnxEmbeddedFiles::embeddedFiles[InputKey] = input;
    QnxEmbeddedFiles::embeddedFiles[GlyphKey] = input;
    // A page that fails to decode keeps the white page for the glyph below.
    presenter.LoadPNG(InputKey, ImageStorageType::Page);
    presenter.OverlayVersionNumber({0, 0, 1024, 600}, "0");
    presenter.OverlayPercentageNumber({900, 500, 1000, 560}, 0);

    QnxEmbeddedFiles::embeddedFiles.erase(InputKey);
    QnxEmbeddedFiles::embeddedFiles.erase(GlyphKey);
    return 0;
}
