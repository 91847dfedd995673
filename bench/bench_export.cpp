// The list commands that touch every entry: export to a delimited file,
// reset every bounce count, delete all entries. Each beside the plain SQLite
// statements that do the same on the same file, in the same run.
#include "bench/BenchSupport.h"

#include "store/MLdata.h"
#include "store/exportlist.h"

#include <QFile>

#include <sqlite3.h>

#include <cstdio>

namespace {

constexpr qsizetype BlockBytes = 64 * 1024;

// The ordered scan on a plain connection, writing the same lines to a file.
void rawExport(bench::RawDb &raw, const char *sql, const QString &out)
{
    std::FILE *file = std::fopen(QFile::encodeName(out).constData(), "wb");
    if (!file)
        throw std::runtime_error("cannot write the raw export");
    QByteArray block;
    block.reserve(BlockBytes + 1024);
    sqlite3_stmt *s = raw.prepare(sql);
    while (raw.step(s)) {
        for (int c = 0; c < 3; ++c) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, c));
            block.append(text, sqlite3_column_bytes(s, c)).append(',');
        }
        block.append("\r\n", 2);
        if (block.size() >= BlockBytes) {
            std::fwrite(block.constData(), 1, size_t(block.size()), file);
            block.resize(0);
        }
    }
    sqlite3_reset(s);
    std::fwrite(block.constData(), 1, size_t(block.size()), file);
    std::fclose(file);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void report(benchmark::State &state, double seconds, double rawSeconds, qint64 rows)
{
    state.SetItemsProcessed(rows * state.iterations());
    state.counters["raw_ms"] = rawSeconds * 1e3 / double(state.iterations());
    state.counters["x_raw"] = seconds / rawSeconds;
}

enum ExportOrder { Natural, ByCategory };

// All three fields with a comma, as the backup does, in turns with the raw
// scan; the two files must be the same bytes.
void BM_Export(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const bool byCategory = state.range(1) == ByCategory;
    const QString path = bench::listFile(rows);
    const QString mine = bench::scratchPath(QStringLiteral("export-mine.csv"));
    const QString theirs = bench::scratchPath(QStringLiteral("export-raw.csv"));
    const char *sql = byCategory ? "SELECT Item, Category, Comments FROM mailist ORDER BY Category, rowid"
                                 : "SELECT Item, Category, Comments FROM mailist ORDER BY rowid";
    bench::Store store(path);
    store.table().setIndexName(byCategory ? QStringLiteral("ByCategory") : QString());
    // The main window's filter, which the export does not apply.
    store.table().setFilterCategory(bench::categoryOfRank(1));
    store.table().setFiltered(true);
    bench::RawDb raw(path);
    bench::CountingPrompts prompts;
    const ProgressFn progress = [](bool, int, int, const QString &) {};
    const double startMiB = bench::residentMiB();
    bench::resetPeakResident();
    double seconds = 0;
    double rawSeconds = 0;
    bool same = true;
    for (auto _ : state) {
        auto start = bench::Clock::now();
        const bool written = exportlist(store.table(), prompts, progress, mine, true, true, true, QStringLiteral(","));
        const double s = bench::secondsSince(start);
        state.SetIterationTime(s);
        seconds += s;
        start = bench::Clock::now();
        rawExport(raw, sql, theirs);
        rawSeconds += bench::secondsSince(start);
        same = same && written;
    }
    state.counters["grown_MB"] = bench::peakResidentMiB() - startMiB;
    state.counters["file_MB"] = double(QFile(mine).size()) / (1024.0 * 1024.0);
    const QByteArray a = fileBytes(mine);
    if (!same || prompts.asked || a.isEmpty() || a != fileBytes(theirs))
        state.SkipWithError("the export differs from the raw scan's file");
    QFile::remove(mine);
    QFile::remove(theirs);
    report(state, seconds, rawSeconds, rows);
}

// A copy of the list that this program may change; one in ten rows bounced.
QString changeableCopy(qint64 rows)
{
    const QString copy = bench::scratchPath(QStringLiteral("changeable-%1.DAT").arg(rows));
    if (!QFile::exists(copy) && !QFile::copy(bench::listFile(rows), copy))
        throw std::runtime_error("cannot copy the list");
    return copy;
}

void bounceAgain(const QString &path)
{
    bench::RawDb raw(path);
    raw.exec("UPDATE mailist SET Bounces = 1 + rowid % 3 WHERE rowid % 10 = 0");
}

// Each run on a fresh connection to the same checkpointed file.
void BM_ResetAllBounces(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString path = changeableCopy(rows);
    double seconds = 0;
    double rawSeconds = 0;
    double rawEveryRowSeconds = 0;
    bool reset = true;
    auto rawRun = [&](const char *sql) {
        bounceAgain(path);
        bench::RawDb raw(path);
        raw.scalar("SELECT count(*) FROM mailist");
        const auto start = bench::Clock::now();
        raw.exec(sql);
        return bench::secondsSince(start);
    };
    for (auto _ : state) {
        state.PauseTiming();
        bounceAgain(path);
        {
            bench::Store store(path);
            state.ResumeTiming();
            const auto start = bench::Clock::now();
            store.table().resetAllBounces();
            const double s = bench::secondsSince(start);
            state.SetIterationTime(s);
            seconds += s;
            state.PauseTiming();
        }
        reset = reset && bench::RawDb(path).scalar("SELECT count(*) FROM mailist WHERE Bounces <> 0") == 0;
        rawSeconds += rawRun("UPDATE mailist SET Bounces = 0 WHERE Bounces <> 0");
        rawEveryRowSeconds += rawRun("UPDATE mailist SET Bounces = 0");
        state.ResumeTiming();
    }
    if (!reset)
        state.SkipWithError("a bounce count was left");
    // Against the same statement, and against rewriting every row.
    state.counters["every_row_ms"] = rawEveryRowSeconds * 1e3 / double(state.iterations());
    state.counters["x_every_row"] = seconds / rawEveryRowSeconds;
    report(state, seconds, rawSeconds, rows);
}

// Close, reopen exclusively, empty, close, reopen shared: on a fresh copy
// each time, beside the same steps on plain connections.
void BM_EmptyList(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString source = bench::listFile(rows);
    const QString path = bench::scratchPath(QStringLiteral("emptied.DAT"));
    auto freshCopy = [&] {
        QFile::remove(path);
        if (!QFile::copy(source, path))
            throw std::runtime_error("cannot copy the list");
    };
    double seconds = 0;
    double rawSeconds = 0;
    bool emptied = true;
    for (auto _ : state) {
        state.PauseTiming();
        freshCopy();
        {
            TdmML dm;
            dm.tblML.setFilePath(path);
            dm.tblML.open();
            state.ResumeTiming();
            const auto start = bench::Clock::now();
            dm.emptyList();
            const double s = bench::secondsSince(start);
            state.SetIterationTime(s);
            seconds += s;
            state.PauseTiming();
            emptied = emptied && dm.tblML.recordCount() == 0 && !dm.tblML.exclusive();
        }
        freshCopy();
        {
            auto shared = std::make_unique<bench::RawDb>(path);
            shared->scalar("SELECT count(*) FROM mailist");
            const auto start = bench::Clock::now();
            shared.reset();
            {
                bench::RawDb exclusive(path);
                exclusive.exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM mailist; COMMIT");
            }
            shared = std::make_unique<bench::RawDb>(path);
            emptied = emptied && shared->scalar("SELECT count(*) FROM mailist") == 0;
            rawSeconds += bench::secondsSince(start);
        }
        state.ResumeTiming();
    }
    QFile::remove(path);
    if (!emptied)
        state.SkipWithError("the list was not emptied");
    report(state, seconds, rawSeconds, rows);
}

void exportCases(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"rows", "order"})->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
    for (int64_t n : bench::ListSizes) {
        for (int order : {Natural, ByCategory})
            b->Args({n, order});
    }
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("rows")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
    for (int64_t n : bench::ListSizes)
        b->Arg(n);
}

BENCHMARK(BM_Export)->Apply(exportCases);
BENCHMARK(BM_ResetAllBounces)->Apply(sizes);
BENCHMARK(BM_EmptyList)->Apply(sizes);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    return bench::runBenchmarks(argc, argv);
}
