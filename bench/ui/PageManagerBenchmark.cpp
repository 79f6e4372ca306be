// The page manager's overhead over the presenter: a Wi-Fi result page shown
// through the page manager (layout lookup, load, copy, post; the touch wait
// ends at once) against Present of the same page, and one percent of
// progress through the page manager (two layout lookups, bar and
// percentage) against one bar step of the presenter alone and against the
// presenter's bar step and percentage number together.
#include "EmbeddedResourceTable.h"
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"
#include "QnxUpgradeUIPageManager.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{
const std::string SuccessPage = "/Upgrade/qnxupgrade/english/15.png";
const std::string InProgressPage = "/Upgrade/qnxupgrade/english/16.png";

void RegisterResources()
{
    static const bool registered = [] {
        QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
        return true;
    }();
    (void)registered;
}

std::unique_ptr<QnxUpgradeUIPageManager> InProgressManager()
{
    auto manager = std::make_unique<QnxUpgradeUIPageManager>(false, 2, false);
    manager->InitLanguage();
    manager->WifiUpgradeInProgress();
    return manager;
}

void BM_PageManagerShowsWifiSuccessPage(benchmark::State& state)
{
    RegisterResources();
    QnxUpgradeUIPageManager manager(false, 2, false);
    manager.InitLanguage();
    for (auto _ : state) {
        manager.ExitScreen();
        benchmark::DoNotOptimize(manager.WifiUpgradeSuccessful());
    }
}
BENCHMARK(BM_PageManagerShowsWifiSuccessPage)->Unit(benchmark::kMillisecond);

void BM_PresenterPresentsWifiSuccessPage(benchmark::State& state)
{
    RegisterResources();
    QnxScreenPresenter presenter(2);
    for (auto _ : state)
        benchmark::DoNotOptimize(presenter.Present(SuccessPage));
}
BENCHMARK(BM_PresenterPresentsWifiSuccessPage)->Unit(benchmark::kMillisecond);

void BM_PageManagerProgressPercent(benchmark::State& state)
{
    RegisterResources();
    auto manager = InProgressManager();
    unsigned percent = 0;
    for (auto _ : state) {
        if (percent > 100) {
            // The bar only grows: start again with a fresh page manager.
            state.PauseTiming();
            manager.reset();
            manager = InProgressManager();
            percent = 0;
            state.ResumeTiming();
        }
        manager->UpdateProgressBar(static_cast<unsigned char>(percent++));
    }
}
BENCHMARK(BM_PageManagerProgressPercent)->Unit(benchmark::kMicrosecond);

void BM_PresenterBarStep(benchmark::State& state)
{
    RegisterResources();
    const std::vector<unsigned> box = {182, 238, 842, 263};
    auto presenter = std::make_unique<QnxScreenPresenter>(2);
    presenter->Present(InProgressPage);
    unsigned percent = 0;
    for (auto _ : state) {
        if (percent > 100) {
            state.PauseTiming();
            presenter.reset();
            presenter = std::make_unique<QnxScreenPresenter>(2);
            presenter->Present(InProgressPage);
            percent = 0;
            state.ResumeTiming();
        }
        presenter->OverlayProgressBar(box, progressColor, static_cast<unsigned char>(percent++));
    }
}
BENCHMARK(BM_PresenterBarStep)->Unit(benchmark::kMicrosecond);
// The other half of a percent: the number, drawn from its glyphs and posted.
void BM_PresenterPercentageNumber(benchmark::State& state)
{
    RegisterResources();
    const std::vector<unsigned> box = {343, 198, 1004, 218};
    QnxScreenPresenter presenter(2);
    presenter.Present(InProgressPage);
    unsigned percent = 0;
    for (auto _ : state)
        presenter.OverlayPercentageNumber(box, static_cast<unsigned char>(percent++ % 101));
}
BENCHMARK(BM_PresenterPercentageNumber)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
