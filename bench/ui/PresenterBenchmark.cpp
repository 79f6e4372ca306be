// One page through the presenter (decode, copy, post) against a bare libpng
// decode of the same bytes into memory of its own for each page, as the
// presenter's (and, for the price of that, into rows allocated once), and
// the cost of one progress-bar step. The presenter's cases split their time
// into the program's own work and the screen stand-in's post
// (StandInPostShare); the ratios printed at the end set the program's share
// against the baselines.
#include "BarePngDecode.h"
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"
#include "RatioBenchmarks.h"
#include "StandInPostShare.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/mman.h>

#include <algorithm>
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

// One iteration of each case, kept out of line so that an instruction count
// can name it (bench/count-instructions).
[[gnu::noinline]] bool BareDecodeOnce(png_bytepp rows)
{
    return BarePngDecode(PageBytes().data(), PageBytes().size(), rows);
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

// The same decode into memory of its own for each page, taken from the
// system and given back after it, as the presenter treats every page.
void BareLibpngDecodeFreshMemory(benchmark::State& state)
{
    const std::size_t bytes = 1024 * 600 * 4;
    std::vector<png_bytep> rows(600);
    for (auto _ : state) {
        void* pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANON, -1, 0);
        if (pixels == MAP_FAILED) {
            state.SkipWithError("no memory for the page");
            break;
        }
        for (size_t y = 0; y < rows.size(); ++y) {
            rows[y] = static_cast<png_bytep>(pixels) + y * 1024 * 4;
        }
        benchmark::DoNotOptimize(BareDecodeOnce(rows.data()));
        benchmark::ClobberMemory();
        munmap(pixels, bytes);
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
// page decoded before released only once the new one is complete.
void PresenterLoadsPage(benchmark::State& state)
{
    RegisterPage();
    QnxScreenPresenter presenter(2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadPageOnce(presenter));
    }
}

// One percent of the bar: paint the new columns into the window's buffer, post the area.
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

// What copying a page costs: one page-sized copy. Both buffers escape to the
// compiler, so that no build can drop the copy or turn it into a fill: the
// source may have changed before each copy, and the copy may be read after.
void PageSizedCopy(benchmark::State& state)
{
    std::vector<unsigned char> from(1024 * 600 * 4, 0xFF);
    std::vector<unsigned char> to(from.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(from.data());
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
} // namespace

int main(int argc, char** argv)
{
    return RatioBenchmarks::Main(
        argc, argv,
        {{"BareLibpngDecode", BareLibpngDecode, benchmark::kMillisecond},
         {"BareLibpngDecodeFreshMemory", BareLibpngDecodeFreshMemory, benchmark::kMillisecond},
         {"PresenterLoadsPage", PresenterLoadsPage, benchmark::kMillisecond},
         {"PresenterShowsPage", PresenterShowsPage, benchmark::kMillisecond},
         // A step takes microseconds, the fresh presenter after every 101 steps
         // tens of milliseconds: 100 bars a repetition.
         {"ProgressBarStep", ProgressBarStep, benchmark::kMicrosecond, 101 * 100},
         {"PageSizedCopy", PageSizedCopy, benchmark::kMicrosecond}},
        {{"page shown, the program's work (load, copy, post call) / bare decode into fresh memory (goal <= 1.2)",
          "PresenterShowsPage:product", "BareLibpngDecodeFreshMemory"},
         {"the presenter's decode alone (LoadPNG) / bare decode into fresh memory", "PresenterLoadsPage",
          "BareLibpngDecodeFreshMemory"},
         {"page shown with the stand-in's post / bare decode into fresh memory", "PresenterShowsPage",
          "BareLibpngDecodeFreshMemory"},
         {"page shown, the program's work / bare decode into rows allocated once", "PresenterShowsPage:product",
          "BareLibpngDecode"},
         {"the price of fresh memory: bare decode into fresh memory / into rows allocated once",
          "BareLibpngDecodeFreshMemory", "BareLibpngDecode"},
         {"the stand-in's post of a whole page / one page-sized copy", "PresenterShowsPage:standin_post",
          "PageSizedCopy"},
         {"progress step, the program's work / one page-sized copy", "ProgressBarStep:product", "PageSizedCopy"},
         {"progress step / page shown, the program's work of each", "ProgressBarStep:product",
          "PresenterShowsPage:product"}});
}
