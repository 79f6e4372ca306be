// The page manager's overhead over the presenter: a Wi-Fi result page shown
// through the page manager (layout lookup, load, copy, post; the touch wait
// ends at once) against Present of the same page, and one percent of
// progress through the page manager (two layout lookups, bar and
// percentage) against one bar step of the presenter alone and against the
// presenter's bar step and percentage number together. Every case splits
// its time into the program's own work and the screen stand-in's posts
// (StandInPostShare); the ratios compare the program's work.
#include "EmbeddedResourceTable.h"
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"
#include "QnxUpgradeUIPageManager.h"
#include "RatioBenchmarks.h"
#include "StandInPostShare.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {
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

std::unique_ptr<QnxScreenPresenter> InProgressPresenter()
{
    auto presenter = std::make_unique<QnxScreenPresenter>(2);
    presenter->Present(InProgressPage);
    return presenter;
}

// Runs step(object, percent) for percent 0, 1, ... 100 and again on a fresh
// object from make(), since the bar only grows; the rebuilds are not timed.
template <typename Make, typename Step>
void EveryPercent(benchmark::State& state, Make make, Step step)
{
    RegisterResources();
    auto object = make();
    unsigned percent = 0;
    StandInPostShare share;
    share.Resume();
    for (auto _ : state) {
        if (percent > 100) {
            share.Pause();
            state.PauseTiming();
            object.reset();
            object = make();
            percent = 0;
            state.ResumeTiming();
            share.Resume();
        }
        step(*object, static_cast<unsigned char>(percent++));
    }
    share.Pause();
    share.Report(state);
}

void PageManagerShowsWifiSuccessPage(benchmark::State& state)
{
    RegisterResources();
    QnxUpgradeUIPageManager manager(false, 2, false);
    manager.InitLanguage();
    StandInPostShare share;
    share.Resume();
    for (auto _ : state) {
        manager.ExitScreen();
        benchmark::DoNotOptimize(manager.WifiUpgradeSuccessful());
    }
    share.Pause();
    share.Report(state);
}

void PresenterPresentsWifiSuccessPage(benchmark::State& state)
{
    RegisterResources();
    QnxScreenPresenter presenter(2);
    StandInPostShare share;
    share.Resume();
    for (auto _ : state) {
        benchmark::DoNotOptimize(presenter.Present(SuccessPage));
    }
    share.Pause();
    share.Report(state);
}

void PageManagerProgressPercent(benchmark::State& state)
{
    EveryPercent(state, InProgressManager,
                 [](QnxUpgradeUIPageManager& manager, unsigned char percent) { manager.UpdateProgressBar(percent); });
}

void PresenterBarStep(benchmark::State& state)
{
    const std::vector<unsigned> box = {182, 238, 842, 263};
    EveryPercent(state, InProgressPresenter, [&box](QnxScreenPresenter& presenter, unsigned char percent) {
        presenter.OverlayProgressBar(box, progressColor, percent);
    });
}

// The other half of a percent: the number, drawn from its glyphs and posted.
void PresenterPercentageNumber(benchmark::State& state)
{
    RegisterResources();
    const std::vector<unsigned> box = {343, 198, 1004, 218};
    QnxScreenPresenter presenter(2);
    presenter.Present(InProgressPage);
    unsigned percent = 0;
    StandInPostShare share;
    share.Resume();
    for (auto _ : state) {
        presenter.OverlayPercentageNumber(box, static_cast<unsigned char>(percent++ % 101));
    }
    share.Pause();
    share.Report(state);
}
} // namespace

int main(int argc, char** argv)
{
    return RatioBenchmarks::Main(
        argc, argv,
        {{"PageManagerShowsWifiSuccessPage", PageManagerShowsWifiSuccessPage, benchmark::kMillisecond},
         {"PresenterPresentsWifiSuccessPage", PresenterPresentsWifiSuccessPage, benchmark::kMillisecond},
         // A percent takes microseconds, the fresh object after every 101
         // percent milliseconds: 100 bars a repetition.
         {"PageManagerProgressPercent", PageManagerProgressPercent, benchmark::kMicrosecond, 101 * 100},
         {"PresenterBarStep", PresenterBarStep, benchmark::kMicrosecond, 101 * 100},
         {"PresenterPercentageNumber", PresenterPercentageNumber, benchmark::kMicrosecond}},
        {{"Wi-Fi success page, page manager / the presenter's Present (goal <= 1.1)",
          "PageManagerShowsWifiSuccessPage:product", "PresenterPresentsWifiSuccessPage:product"},
         {"one percent, page manager / the presenter's bar step", "PageManagerProgressPercent:product",
          "PresenterBarStep:product"},
         {"one percent, page manager / the presenter's bar step and percentage number",
          "PageManagerProgressPercent:product", "PresenterBarStep:product+PresenterPercentageNumber:product"}});
}
