// insertentry (add a new address, remove one) and processbounce against the
// plain SQLite statements each one needs: look-up and change in one
// IMMEDIATE transaction. The table is left as it was found after every run.
#include "bench/BenchSupport.h"

#include "core/Settings.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr int Operations = 2000;

// Fresh addresses for the program and for the raw run, apart from each other.
QString freshAddress(qint64 rows, int which, int i)
{
    return bench::address(rows + qint64(which) * Operations + i);
}

void reportAgainstRaw(benchmark::State &state, double realSeconds, double rawSeconds, int operations)
{
    state.SetItemsProcessed(operations * state.iterations());
    state.counters["raw_per_s"] = benchmark::Counter(double(operations * state.iterations()) / rawSeconds);
    state.counters["x_raw"] = benchmark::Counter(realSeconds / rawSeconds);
}

// Counts the log lines that do not end in the expected result.
int unexpected(const LineList &log, const QString &result)
{
    int n = 0;
    for (const QString &line : log.lines())
        n += line.endsWith(result) ? 0 : 1;
    return n;
}

// Runs the program and the raw statements in turns of a few hundred, so
// neither gets the warmer cache or the quieter moment.
template<class Program, class Raw>
void alternate(int operations, Program &&program, Raw &&raw, double &programSeconds, double &rawSeconds)
{
    constexpr int Turn = 200;
    for (int begin = 0; begin < operations; begin += Turn) {
        const int end = std::min(operations, begin + Turn);
        auto start = bench::Clock::now();
        for (int i = begin; i < end; ++i)
            program(i);
        programSeconds += bench::secondsSince(start);
        start = bench::Clock::now();
        for (int i = begin; i < end; ++i)
            raw(i);
        rawSeconds += bench::secondsSince(start);
    }
}

constexpr const char *FindSql = "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                "WHERE Item = ?1 ORDER BY rowid LIMIT 1";

void BM_InsertentryAdd(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString path = bench::listFile(rows);
    const QByteArray category = Settings().defaultcategory.toUtf8();
    double programSeconds = 0;
    double rawSeconds = 0;
    int bad = 0;
    for (auto _ : state) {
        const double before = programSeconds;
        {
            bench::Store store(path);
            bench::RawDb raw(path);
            const QString none;
            alternate(
                Operations, [&](int i) { store.rules.insertentry(true, freshAddress(rows, 0, i), none, none); },
                [&](int i) {
                    const QByteArray item = freshAddress(rows, 1, i).toUtf8();
                    raw.exec("BEGIN IMMEDIATE");
                    sqlite3_stmt *find = raw.prepare(FindSql);
                    raw.bind(find, 1, item);
                    if (!raw.step(find)) {
                        sqlite3_stmt *insert = raw.prepare(
                            "INSERT INTO mailist (Item, Category, Bounces, Comments) VALUES (?1, ?2, 0, '')");
                        raw.bind(insert, 1, item);
                        raw.bind(insert, 2, category);
                        raw.step(insert);
                    }
                    sqlite3_reset(find);
                    raw.exec("COMMIT");
                },
                programSeconds, rawSeconds);
            bad += unexpected(store.log, QStringLiteral("Entered Successfully"));
        }
        state.SetIterationTime(programSeconds - before);
        bench::RawDb raw(path);
        if (raw.scalar("SELECT count(*) FROM mailist") - rows != 2 * Operations)
            bad += 1;
        sqlite3_stmt *undo = raw.prepare("DELETE FROM mailist WHERE rowid > ?1");
        sqlite3_bind_int64(undo, 1, rows);
        raw.step(undo);
    }
    if (bad)
        state.SkipWithError("not every address was entered");
    reportAgainstRaw(state, programSeconds, rawSeconds, Operations);
}

void BM_InsertentryRemove(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString path = bench::listFile(rows);
    double programSeconds = 0;
    double rawSeconds = 0;
    int bad = 0;
    for (auto _ : state) {
        const double before = programSeconds;
        {
            bench::RawDb raw(path);
            raw.exec("BEGIN");
            for (int which = 0; which < 2; ++which) {
                for (int i = 0; i < Operations; ++i) {
                    sqlite3_stmt *insert = raw.prepare("INSERT INTO mailist (Item, Category) VALUES (?1, 'Default')");
                    raw.bind(insert, 1, freshAddress(rows, which, i).toUtf8());
                    raw.step(insert);
                }
            }
            raw.exec("COMMIT");
        }
        {
            bench::Store store(path);
            bench::RawDb raw(path);
            const QString none;
            alternate(
                Operations, [&](int i) { store.rules.insertentry(false, freshAddress(rows, 0, i), none, none); },
                [&](int i) {
                    const QByteArray item = freshAddress(rows, 1, i).toUtf8();
                    raw.exec("BEGIN IMMEDIATE");
                    // Every copy goes, so the look-up runs once more than there are copies.
                    for (;;) {
                        sqlite3_stmt *find = raw.prepare(FindSql);
                        raw.bind(find, 1, item);
                        if (!raw.step(find))
                            break;
                        const qint64 rowid = sqlite3_column_int64(find, 0);
                        sqlite3_reset(find);
                        sqlite3_stmt *del = raw.prepare("DELETE FROM mailist WHERE rowid = ?1");
                        sqlite3_bind_int64(del, 1, rowid);
                        raw.step(del);
                    }
                    raw.exec("COMMIT");
                },
                programSeconds, rawSeconds);
            bad += unexpected(store.log, QStringLiteral("Entry successfully deleted!"));
        }
        state.SetIterationTime(programSeconds - before);
        bench::RawDb raw(path);
        if (raw.scalar("SELECT count(*) FROM mailist") != rows)
            bad += 1;
    }
    if (bad)
        state.SkipWithError("not every address was removed");
    reportAgainstRaw(state, programSeconds, rawSeconds, Operations);
}

// Addresses spread over the whole list, each bounced once per run.
qint64 bouncedRow(qint64 rows, int i)
{
    return (qint64(i) * 7919 + 13) % rows;
}

void BM_Processbounce(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString path = bench::listFile(rows);
    const int operations = int(std::min<qint64>(Operations, rows / 2));
    double programSeconds = 0;
    double rawSeconds = 0;
    int bad = 0;
    for (auto _ : state) {
        const double before = programSeconds;
        {
            bench::Store store(path);
            bench::RawDb raw(path);
            alternate(
                operations, [&](int i) { store.rules.processbounce(bench::address(bouncedRow(rows, i))); },
                [&](int i) {
                    const QByteArray item = bench::address(bouncedRow(rows, operations + i)).toUtf8();
                    raw.exec("BEGIN IMMEDIATE");
                    sqlite3_stmt *find = raw.prepare(FindSql);
                    raw.bind(find, 1, item);
                    if (raw.step(find)) {
                        const qint64 rowid = sqlite3_column_int64(find, 0);
                        const int bounces = sqlite3_column_int(find, 3);
                        sqlite3_reset(find);
                        sqlite3_stmt *update = raw.prepare("UPDATE mailist SET Bounces = ?1 WHERE rowid = ?2");
                        sqlite3_bind_int(update, 1, bounces + 1);
                        sqlite3_bind_int64(update, 2, rowid);
                        raw.step(update);
                    } else {
                        ++bad;
                    }
                    raw.exec("COMMIT");
                },
                programSeconds, rawSeconds);
            bad += unexpected(store.log, QStringLiteral("Bounce count incremented!"));
        }
        state.SetIterationTime(programSeconds - before);
        bench::RawDb raw(path);
        raw.exec("BEGIN");
        for (int i = 0; i < 2 * operations; ++i) {
            const qint64 row = bouncedRow(rows, i);
            sqlite3_stmt *restore = raw.prepare("UPDATE mailist SET Bounces = ?1 WHERE rowid = ?2");
            sqlite3_bind_int(restore, 1, bench::generatedBounces(row));
            sqlite3_bind_int64(restore, 2, row + 1);
            raw.step(restore);
        }
        raw.exec("COMMIT");
    }
    if (bad)
        state.SkipWithError("not every bounce was counted");
    reportAgainstRaw(state, programSeconds, rawSeconds, operations);
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("rows")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (int64_t n : bench::ListSizes)
        b->Arg(n);
}

BENCHMARK(BM_InsertentryAdd)->Apply(sizes);
BENCHMARK(BM_InsertentryRemove)->Apply(sizes);
BENCHMARK(BM_Processbounce)->Apply(sizes);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    return bench::runBenchmarks(argc, argv);
}
