// One page through the presenter (decode, copy, post) against a bare libpng
// decode of the same bytes, and the cost of one progress-bar step. The
// presenter's cases split their time into the program's own work and the
// screen stand-in's post (StandInPostShare); the ratios printed at the end
// set the program's share against the baselines.
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"
#include "RatioBenchmarks.h"
#include "StandInPostShare.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {
const std::string PageKey = "/bench/16.png";

const std::vector<unsigned char>& PageBytes()
{
    static const std::vector<unsigned char> bytes = [] {
        std::ifstream file(UI_BENCH_PAGE, std::ios::binary);
        return std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

void RegisterPage()
{
    static const bool registered = [] {
        const QnxEmbeddedFiles::KeyAndResource row{PageKey,
                                                   {PageBytes().data(), static_cast<std::int32_t>(PageBytes().size())}};
        QnxEmbeddedFiles::AddResources(&row, 1);
        return true;
    }();
    (void)registered;
}

struct MemoryReader
{
    const unsigned char* data;
    size_t size;
    size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->size - reader->position < length) {
        png_error(png, "short");
    }
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
}

// The same transformations as the presenter, into rows allocated once.
bool BareDecode(MemoryReader* reader, png_bytepp rows)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, reader, ReadFromMemory);
    png_read_info(png, info);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(png);
    } else {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_bgr(png);
    png_read_update_info(png, info);
    png_read_image(png, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// One iteration of each case, kept out of line so that an instruction count
// can name it (bench/count-instructions).
[[gnu::noinline]] bool BareDecodeOnce(png_bytepp rows)
{
    MemoryReader reader{PageBytes().data(), PageBytes().size(), 0};
    return BareDecode(&reader, rows);
}

[[gnu::noinline]] bool LoadPageOnce(QnxScreenPresenter& presenter)
{
    return presenter.LoadPNG(PageKey, ImageStorageType::Page);
}

[[gnu::noinline]] bool ShowPageOnce(QnxScreenPresenter& presenter)
{
    const bool loaded = presenter.LoadPNG(PageKey, ImageStorageType::Page);
    presenter.CopyImageDataToBuffer();
    return presenter.PostScreen() && loaded;
}

[[gnu::noinline]] void ProgressStepOnce(QnxScreenPresenter& presenter, unsigned percent)
{
    static const std::vector<unsigned> box = {182, 238, 842, 263};
    presenter.OverlayProgressBar(box, "#043F8D", static_cast<unsigned char>(percent));
}

void BareLibpngDecode(benchmark::State& state)
{
    std::vector<unsigned char> pixels(1024 * 600 * 4);
    std::vector<png_bytep> rows(600);
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * 1024 * 4;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(BareDecodeOnce(rows.data()));
        benchmark::ClobberMemory();
    }
}

void PresenterShowsPage(benchmark::State& state)
{
    RegisterPage();
    QnxScreenPresenter presenter(2);
    presenter.CreateWindow();
    StandInPostShare share;
    share.Resume();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ShowPageOnce(presenter));
    }
    share.Pause();
    share.Report(state);
}

// The decode alone, as the presenter does it: into a page of its own, the
// previous page released only once the new one is complete.
void PresenterLoadsPage(benchmark::State& state)
{
    RegisterPage();
    QnxScreenPresenter presenter(2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadPageOnce(presenter));
    }
}

// One percent of the bar: paint the new columns, copy the page, post the area.
void ProgressBarStep(benchmark::State& state)
{
    RegisterPage();
    auto presenter = std::make_unique<QnxScreenPresenter>(2);
    presenter->Present(PageKey);
    unsigned percent = 0;
    StandInPostShare share;
    share.Resume();
    for (auto _ : state) {
        if (percent > 100) {
            // The bar only grows: start again on a fresh presenter.
            share.Pause();
            state.PauseTiming();
            presenter.reset();
            presenter = std::make_unique<QnxScreenPresenter>(2);
            presenter->Present(PageKey);
            percent = 0;
            state.ResumeTiming();
            share.Resume();
        }
        ProgressStepOnce(*presenter, percent++);
    }
    share.Pause();
    share.Report(state);
}

// What a step's page copy alone costs: one page-sized copy.
void PageSizedCopy(benchmark::State& state)
{
    std::vector<unsigned char> from(1024 * 600 * 4, 0xFF);
    std::vector<unsigned char> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
}
} // namespace

int main(int argc, char** argv)
{
    return RatioBenchmarks::Main(
        argc, argv,
        {{"BareLibpngDecode", BareLibpngDecode, benchmark::kMillisecond},
         {"PresenterLoadsPage", PresenterLoadsPage, benchmark::kMillisecond},
         {"PresenterShowsPage", PresenterShowsPage, benchmark::kMillisecond},
         {"ProgressBarStep", ProgressBarStep, benchmark::kMicrosecond},
         {"PageSizedCopy", PageSizedCopy, benchmark::kMicrosecond}},
        {{"page shown, the program's work (load, copy, post call) / bare decode (goal <= 1.2)",
          "PresenterShowsPage:product", "BareLibpngDecode"},
         {"the presenter's decode alone (LoadPNG) / bare decode", "PresenterLoadsPage", "BareLibpngDecode"},
         {"page shown with the stand-in's post / bare decode", "PresenterShowsPage", "BareLibpngDecode"},
         {"the stand-in's post of a whole page / one page-sized copy", "PresenterShowsPage:standin_post",
          "PageSizedCopy"},
         {"progress step, the program's work / one page-sized copy", "ProgressBarStep:product", "PageSizedCopy"},
         {"progress step / page shown, the program's work of each", "ProgressBarStep:product",
          "PresenterShowsPage:product"}});
}
