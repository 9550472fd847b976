// Loading a 100,000-row results file into the main window and showing it, against loading the
// same file into a result list that no window shows.
#include "bench/ResultsFileFixture.h"
#include "core/SearchOptions.h"
#include "probes/Probe.h"
#include "results/ResultsFile.h"
#include "ui/QtApplication.h"
#include "ui/Unit1.h"

#include <QTableView>

#include <benchmark/benchmark.h>

#include <string>

namespace {

using bench::ResultsFileRows;
using bench::SampleResultsFile;

void BM_LoadWithoutWindow(benchmark::State &state) {
    results::ResultList list;
    for (auto _ : state) {
        results::ReadResultsFile(SampleResultsFile(), list);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * ResultsFileRows);
}
BENCHMARK(BM_LoadWithoutWindow)->Unit(benchmark::kMillisecond);

// The rows are read into the window's own list, which its table shows; the window is then
// painted, so that the table has laid out and drawn the rows it shows.
void BM_LoadIntoWindow(benchmark::State &state) {
    core::SearchOptions options;
    ui::TForm1 form(options, probes::ProbeList(), net::NetworkContext());
    form.show();
    auto *view = form.findChild<QTableView *>("ListView1");
    for (auto _ : state) {
        results::ReadResultsFile(SampleResultsFile(), form.Results());
        QApplication::processEvents();
        benchmark::DoNotOptimize(form.grab());
        if (view->model()->rowCount() != ResultsFileRows)
            state.SkipWithError("the table does not show every row");
    }
    state.SetItemsProcessed(state.iterations() * ResultsFileRows);
}
BENCHMARK(BM_LoadIntoWindow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::QtApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
