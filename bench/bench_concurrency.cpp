// Reads and insertentry while a second process runs insertentry and
// processbounce on the same file in a tight loop: none may fail, and the
// median latency is the figure. Each operation is then repeated with plain
// statements on a plain connection beside the same writer.
#include "bench/BenchSupport.h"

#include "core/Settings.h"

#include <sqlite3.h>

#include <thread>

namespace {

enum Operation { Locate, RecordCount, Page, Insertentry, OperationCount };
constexpr int Samples = 300;
constexpr int PageRows = 128;
// Untimed pause before each sample, so the writer commits between samples
// and a cached count or page is the exception, as in a program waiting for input.
constexpr std::chrono::microseconds Gap(1000);

qint64 spreadRow(qint64 rows, int i)
{
    return (qint64(i) * 7919 + 13) % rows;
}

// Ours alone: neither the list nor the writer uses these.
QString ownAddress(qint64 rows, int i)
{
    return bench::address(rows * 4 + i);
}

// Even samples add an address, odd ones remove it again.
bool programOperation(bench::Store &store, Operation op, qint64 rows, int i)
{
    try {
        switch (op) {
        case Locate:
            return store.table().locate(bench::address(spreadRow(rows, i)));
        case RecordCount:
            return store.table().recordCount() > 0;
        case Page: {
            const int offset = int(spreadRow(rows - PageRows, i));
            return store.table().page(offset, PageRows).size() == PageRows;
        }
        default: {
            const bool add = i % 2 == 0;
            store.rules.insertentry(add, ownAddress(rows, i / 2), QString(), QString());
            return store.log.last().endsWith(add ? QStringLiteral("Entered Successfully")
                                                 : QStringLiteral("Entry successfully deleted!"));
        }
        }
    } catch (const TableError &) {
        return false;
    }
}

constexpr const char *FindSql = "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                "WHERE Item = ?1 ORDER BY rowid LIMIT 1";

bool rawOperation(bench::RawDb &raw, Operation op, qint64 rows, int i)
{
    try {
        switch (op) {
        case Locate: {
            sqlite3_stmt *find = raw.prepare(FindSql);
            raw.bind(find, 1, bench::address(spreadRow(rows, i)).toUtf8());
            return raw.step(find);
        }
        case RecordCount:
            raw.scalar("PRAGMA data_version");
            return raw.scalar("SELECT count(*) FROM mailist") > 0;
        case Page: {
            raw.scalar("PRAGMA data_version");
            const qint64 total = raw.scalar("SELECT count(*) FROM mailist");
            const qint64 offset = spreadRow(rows - PageRows, i);
            const bool fromEnd = offset > total / 2;
            sqlite3_stmt *s = raw.prepare(fromEnd ? "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                                    "ORDER BY rowid DESC LIMIT ?1 OFFSET ?2"
                                                  : "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                                    "ORDER BY rowid LIMIT ?1 OFFSET ?2");
            sqlite3_bind_int(s, 1, PageRows);
            sqlite3_bind_int64(s, 2, fromEnd ? total - offset - PageRows : offset);
            int n = 0;
            while (raw.step(s))
                ++n;
            return n == PageRows;
        }
        default: {
            const QByteArray item = ownAddress(rows, Samples + i / 2).toUtf8();
            raw.exec("BEGIN IMMEDIATE");
            sqlite3_stmt *find = raw.prepare(FindSql);
            raw.bind(find, 1, item);
            const bool found = raw.step(find);
            const qint64 rowid = found ? sqlite3_column_int64(find, 0) : 0;
            sqlite3_reset(find);
            if (i % 2 == 0 && !found) {
                sqlite3_stmt *insert = raw.prepare(
                    "INSERT INTO mailist (Item, Category, Bounces, Comments) VALUES (?1, 'Default', 0, '')");
                raw.bind(insert, 1, item);
                raw.step(insert);
            } else if (i % 2 == 1 && found) {
                sqlite3_stmt *del = raw.prepare("DELETE FROM mailist WHERE rowid = ?1");
                sqlite3_bind_int64(del, 1, rowid);
                raw.step(del);
            }
            raw.exec("COMMIT");
            return true;
        }
        }
    } catch (const std::exception &) {
        sqlite3_exec(raw.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
}

void BM_Concurrent(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const auto op = Operation(state.range(1));
    const QString path = bench::listFile(rows);
    bench::Writer &writer = bench::writerFor(path);
    const qint64 writerOps = writer.operations();
    const qint64 writerFailures = writer.failures();
    const auto wallStart = bench::Clock::now();

    std::vector<double> real;
    int failures = 0;
    {
        bench::Store store(path);
        int i = 0;
        for (auto _ : state) {
            std::this_thread::sleep_for(Gap);
            const auto start = bench::Clock::now();
            const bool ok = programOperation(store, op, rows, i++);
            const double seconds = bench::secondsSince(start);
            state.SetIterationTime(seconds);
            real.push_back(seconds);
            failures += ok ? 0 : 1;
        }
    }
    std::vector<double> plain;
    int rawFailures = 0;
    {
        bench::RawDb raw(path);
        for (int i = 0; i < int(real.size()); ++i) {
            std::this_thread::sleep_for(Gap);
            const auto start = bench::Clock::now();
            rawFailures += rawOperation(raw, op, rows, i) ? 0 : 1;
            plain.push_back(bench::secondsSince(start));
        }
    }
    const double wall = bench::secondsSince(wallStart);
    const double median = bench::percentile(real, 0.5);
    const double rawMedian = bench::percentile(plain, 0.5);

    static const char *const names[OperationCount] = {"locate", "recordCount", "page", "insertentry add/remove"};
    state.SetLabel(names[op]);
    state.SetItemsProcessed(state.iterations());
    state.counters["median_ms"] = median * 1e3;
    state.counters["p90_ms"] = bench::percentile(real, 0.9) * 1e3;
    state.counters["max_ms"] = bench::percentile(real, 1.0) * 1e3;
    state.counters["failed"] = failures;
    state.counters["raw_median_ms"] = rawMedian * 1e3;
    state.counters["raw_failed"] = rawFailures;
    state.counters["x_raw"] = median / rawMedian;
    state.counters["writer_ops_s"] = double(writer.operations() - writerOps) / wall;
    state.counters["writer_failed"] = double(writer.failures() - writerFailures);
    if (failures)
        state.SkipWithError("an operation failed beside the writer");
}

void cases(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"rows", "op"})->Iterations(Samples)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (int64_t n : bench::ListSizes) {
        for (int op = 0; op < OperationCount; ++op)
            b->Args({n, op});
    }
}

BENCHMARK(BM_Concurrent)->Apply(cases);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    return bench::runBenchmarks(argc, argv);
}
