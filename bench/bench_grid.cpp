// The list grid over a long list: first paint, a jump to the last row and a
// repaint after the filter changes, each beside the statements that feed it
// on a plain connection, with this process's peak memory for each size.
#include "bench/BenchSupport.h"

#include "core/AsciiCase.h"
#include "grid/EntryGrid.h"
#include "grid/EntryTableModel.h"
#include "store/MLTable.h"

#include <QApplication>
#include <QPixmap>

#include <sqlite3.h>

namespace {

// Resident size once the application stands, before any list is opened.

struct Grid
{
    explicit Grid(const QString &path, const QString &filter = {})
    {
        table.setFilePath(path);
        table.open();
        if (!filter.isEmpty()) {
            table.setFilterCategory(filter);
            table.setFiltered(true);
        }
        model = std::make_unique<EntryTableModel>(table);
        view.resize(600, 400);
        view.setEntryModel(model.get());
        view.show();
    }

    // One turn of the event loop (deferred layout and model refresh), then a paint.
    void paint()
    {
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view.grab());
    }

    // The cell at the top left of the viewport holds text, so rows were read.
    bool showsRows() const
    {
        const QModelIndex top = view.indexAt(QPoint(2, 2));
        return top.isValid() && !top.data().toString().isEmpty();
    }

    MLTable table;
    std::unique_ptr<EntryTableModel> model;
    TEntryGrid view;
};

void readRows(bench::RawDb &raw, sqlite3_stmt *s)
{
    while (raw.step(s))
        benchmark::DoNotOptimize(sqlite3_column_text(s, 1));
}

// A repaint with every visible row cached: what drawing alone costs.
double paintOnlyMs(Grid &grid)
{
    grid.paint();
    constexpr int Rounds = 20;
    const auto start = bench::Clock::now();
    for (int i = 0; i < Rounds; ++i)
        benchmark::DoNotOptimize(grid.view.grab());
    return bench::secondsSince(start) * 1e3 / Rounds;
}

void reportRaw(benchmark::State &state, double realSeconds, double rawSeconds)
{
    state.SetItemsProcessed(state.iterations());
    state.counters["raw_ms"] = rawSeconds * 1e3 / double(state.iterations());
    state.counters["x_raw"] = realSeconds / rawSeconds;
}

// Open the table, build model and view, show and paint.
void BM_GridFirstPaint(benchmark::State &state)
{
    const QString path = bench::listFile(state.range(0));
    const bench::PeakMeter memory;
    double realSeconds = 0;
    bool shown = true;
    double paintMs = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        Grid grid(path);
        grid.paint();
        const double seconds = bench::secondsSince(start);
        state.SetIterationTime(seconds);
        realSeconds += seconds;
        shown = shown && grid.showsRows();
        if (paintMs == 0)
            paintMs = paintOnlyMs(grid);
    }
    state.counters["paint_only_ms"] = paintMs;
    memory.report(state);
    if (!shown)
        state.SkipWithError("the grid showed no rows");

    const auto start = bench::Clock::now();
    for (int i = 0; i < state.iterations(); ++i) {
        bench::RawDb raw(path);
        raw.scalar("SELECT count(*) FROM mailist");
        readRows(raw, raw.prepare("SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                  "ORDER BY rowid LIMIT 128"));
    }
    reportRaw(state, realSeconds, bench::secondsSince(start));
}

// From the top to the last row; the pages at the end are not cached.
void BM_GridJumpToEnd(benchmark::State &state)
{
    const QString path = bench::listFile(state.range(0));
    const bench::PeakMeter memory;
    Grid grid(path);
    grid.paint();
    double realSeconds = 0;
    bool shown = true;
    for (auto _ : state) {
        state.PauseTiming();
        grid.model->refresh();
        grid.view.scrollToTop();
        grid.paint();
        state.ResumeTiming();
        const auto start = bench::Clock::now();
        grid.view.scrollToBottom();
        grid.paint();
        const double seconds = bench::secondsSince(start);
        state.SetIterationTime(seconds);
        realSeconds += seconds;
        shown = shown && grid.showsRows()
                && grid.view.indexAt(QPoint(2, grid.view.viewport()->height() - 3)).row() == grid.model->rowCount() - 1;
    }
    state.counters["paint_only_ms"] = paintOnlyMs(grid);
    memory.report(state);
    if (!shown)
        state.SkipWithError("the grid did not show the last row");

    bench::RawDb raw(path);
    const auto start = bench::Clock::now();
    for (int i = 0; i < state.iterations(); ++i) {
        raw.scalar("PRAGMA data_version");
        readRows(raw, raw.prepare("SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                  "ORDER BY rowid DESC LIMIT 128"));
    }
    reportRaw(state, realSeconds, bench::secondsSince(start));
}

enum FilterCase { Median, Largest, Clustered, PrefixAndAll };

// The statements of the whole list's view: the data version, the count and
// the first rows per limit.
void rawWholeView(bench::RawDb &raw, std::initializer_list<int> limits)
{
    raw.scalar("PRAGMA data_version");
    raw.scalar("SELECT count(*) FROM mailist");
    for (int limit : limits) {
        sqlite3_stmt *rows = raw.prepare("SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                         "ORDER BY rowid LIMIT ?1");
        sqlite3_bind_int(rows, 1, limit);
        readRows(raw, rows);
    }
}

// Another filter prefix: the table re-reads its first rows, the main
// window counts, the model resets on the next turn of the loop, the grid
// paints. The median category, the largest, a tenth of the list imported
// last in one block, and the median category and back to the whole list.
void BM_GridRefilter(benchmark::State &state)
{
    const int which = int(state.range(1));
    const QString path = bench::listFile(state.range(0), which == Clustered);
    const QString name = which == Clustered
                             ? bench::ClusteredCategory
                             : bench::categoryOfRank(which == Largest ? 1 : bench::CategoryCount / 2 + 1);
    const QString spellings[2] = {name, upperAZ(name)};
    const bool backToAll = which == PrefixAndAll;
    const bench::PeakMeter memory;
    Grid grid(path, spellings[1]);
    grid.paint();
    double realSeconds = 0;
    int turn = 0;
    bool shown = true;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const bool whole = backToAll && turn % 2 == 1;
        grid.table.setFilterCategory(spellings[turn++ % 2]);
        grid.table.setFiltered(!whole);
        benchmark::DoNotOptimize(grid.table.recordCount());
        grid.paint();
        const double seconds = bench::secondsSince(start);
        state.SetIterationTime(seconds);
        realSeconds += seconds;
        shown = shown && grid.showsRows();
    }
    state.counters["paint_only_ms"] = paintOnlyMs(grid);
    memory.report(state);
    state.counters["matched"] = grid.model->rowCount();
    state.SetLabel(name.toStdString());
    if (!shown)
        state.SkipWithError("the grid showed no rows");

    // The table's first 256 rows, then the model's first page.
    bench::RawDb raw(path);
    const auto start = bench::Clock::now();
    for (int i = 0; i < state.iterations(); ++i) {
        if (backToAll && i % 2 == 1)
            rawWholeView(raw, {256, 128});
        else
            bench::rawFilteredView(raw, spellings[i % 2], {256, 128});
    }
    reportRaw(state, realSeconds, bench::secondsSince(start));
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("rows")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    for (int64_t n : bench::ListSizes)
        b->Arg(n);
}

void filterCases(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"rows", "case"})->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    for (int64_t n : bench::ListSizes) {
        for (int c : {Median, Largest, Clustered, PrefixAndAll})
            b->Args({n, c});
    }
}

BENCHMARK(BM_GridFirstPaint)->Apply(sizes);
BENCHMARK(BM_GridJumpToEnd)->Apply(sizes);
BENCHMARK(BM_GridRefilter)->Apply(filterCases);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
