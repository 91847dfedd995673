// Filter on a category prefix and count, as the main window does on every
// keystroke, against the table's own two statements on a plain connection.
// The prefix alternates between two spellings of the same name, so the count
// cache never answers and both spellings match the same rows.
#include "bench/BenchSupport.h"

#include "core/AsciiCase.h"
#include "store/MLTable.h"

#include <QSet>

#include <optional>

#include <sqlite3.h>

namespace {

enum FilterCase { Largest, Median, Family, Stem, Clustered, CaseCount };

// The largest category (a sixth of the list); the median one of two hundred;
// a name that opens ten categories; three letters that open ten, the
// largest among them; a tenth of the list imported last in one block.
QString prefixFor(int which)
{
    switch (which) {
    case Largest:
        return bench::categoryOfRank(1);
    case Median:
        return bench::categoryOfRank(bench::CategoryCount / 2 + 1);
    case Family:
        return bench::categoryOfRank(bench::CategoryCount / 2);
    case Stem:
        return bench::categoryOfRank(1).left(3);
    default:
        return bench::ClusteredCategory;
    }
}

QVector<qint64> rowidsOf(const QVector<Entry> &entries)
{
    QVector<qint64> ids;
    for (const Entry &e : entries)
        ids << e.rowid;
    return ids;
}

// The table picks its reading by how the matches lie, so its scan and its
// pages are checked, in each ordering, against a plain query of the same view.
bool viewMatchesPlainQuery(MLTable &table, bench::RawDb &raw, const QString &prefix)
{
    static const char *const orderings[][2]
        = {{"", "rowid"}, {"ByItem", "Item, Category, rowid"}, {"ByBounce", "Bounces, rowid"}};
    const int total = table.recordCount();
    bool same = true;
    for (const auto &ordering : orderings) {
        table.setIndexName(QString::fromLatin1(ordering[0]));
        const QByteArray sql = QByteArray("SELECT rowid FROM mailist WHERE Category >= ?1 AND Category < ?2 ORDER BY ")
                               + ordering[1] + " LIMIT ?3 OFFSET ?4";
        auto plain = [&](int offset, int limit) {
            sqlite3_stmt *s = raw.prepare(sql.constData());
            raw.bind(s, 1, bench::prefixLow(prefix));
            raw.bind(s, 2, bench::prefixHigh(prefix));
            sqlite3_bind_int(s, 3, limit);
            sqlite3_bind_int(s, 4, offset);
            QVector<qint64> ids;
            while (raw.step(s))
                ids << sqlite3_column_int64(s, 0);
            return ids;
        };
        QVector<Entry> scanned;
        for (table.first(); !table.eof() && scanned.size() < 600; table.next())
            scanned << table.current();
        same = same && rowidsOf(scanned) == plain(0, int(scanned.size()));
        for (int offset : {0, 300, total / 2, total - 200}) {
            if (offset >= 0)
                same = same && rowidsOf(table.page(offset, 128)) == plain(offset, 128);
        }
    }
    table.setIndexName(QString());
    return same;
}

void BM_FilterCount(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString path = bench::listFile(rows, state.range(1) == Clustered);
    const QString spellings[2] = {prefixFor(int(state.range(1))), upperAZ(prefixFor(int(state.range(1))))};

    MLTable table;
    table.setFilePath(path);
    table.open();
    int matched = 0;
    int turn = 0;
    const auto realStart = bench::Clock::now();
    for (auto _ : state) {
        table.setFilterCategory(spellings[turn++ % 2]);
        table.setFiltered(true);
        matched = table.recordCount();
        benchmark::DoNotOptimize(matched);
    }
    const double iterations = double(state.iterations());
    const double realPerOp = bench::secondsSince(realStart) / iterations;

    bench::RawDb raw(path);
    const auto start = bench::Clock::now();
    qint64 rawMatched = 0;
    for (int i = 0; i < state.iterations(); ++i)
        rawMatched = bench::rawFilteredView(raw, spellings[i % 2], {256});
    const double rawPerOp = bench::secondsSince(start) / iterations;
    if (rawMatched != matched)
        state.SkipWithError("the table and the raw count differ");
    static QSet<QString> checked;
    const QString checkKey = path + spellings[0];
    if (!checked.contains(checkKey)) {
        checked.insert(checkKey);
        if (!viewMatchesPlainQuery(table, raw, spellings[0]))
            state.SkipWithError("the filtered view differs from a plain query");
    }

    // The count alone, to show what the first rows of the view cost.
    const auto countStart = bench::Clock::now();
    for (int i = 0; i < state.iterations(); ++i) {
        sqlite3_stmt *count = raw.prepare("SELECT count(*) FROM mailist WHERE Category >= ? AND Category < ?");
        raw.bind(count, 1, bench::prefixLow(spellings[i % 2]));
        raw.bind(count, 2, bench::prefixHigh(spellings[i % 2]));
        raw.step(count);
        sqlite3_reset(count);
    }
    const double countPerOp = bench::secondsSince(countStart) / iterations;

    state.SetItemsProcessed(state.iterations());
    state.SetLabel(spellings[0].toStdString());
    state.counters["matched"] = matched;
    state.counters["raw_ms"] = rawPerOp * 1e3;
    state.counters["count_only_ms"] = countPerOp * 1e3;
    state.counters["x_raw"] = realPerOp / rawPerOp;
}

void cases(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"rows", "case"})->Unit(benchmark::kMillisecond)->MinTime(0.3);
    for (int64_t n : bench::ListSizes) {
        for (int c = 0; c < CaseCount; ++c)
            b->Args({n, c});
    }
}

// Where a row stands in the view, as the grid asks to keep the highlighted
// entry through a change of order or filter: rows near the start, the middle
// and the end, in arrival and address order, beside the plain count of the
// rows before it on the same index.
void BM_ViewPosition(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const bool byItem = state.range(1) != 0;
    const QString path = bench::listFile(rows);
    MLTable table;
    table.setFilePath(path);
    table.open();
    table.setIndexName(byItem ? QStringLiteral("ByItem") : QString());
    bench::RawDb raw(path);
    const qint64 rowids[] = {rows / 100 + 1, rows / 2, rows - rows / 100};
    bool same = true;
    double realSeconds = 0;
    double rawSeconds = 0;
    int turn = 0;
    for (auto _ : state) {
        const qint64 rowid = rowids[turn++ % 3];
        auto start = bench::Clock::now();
        const std::optional<int> position = table.viewPosition(rowid);
        realSeconds += bench::secondsSince(start);

        start = bench::Clock::now();
        qint64 before = 0;
        if (byItem) {
            sqlite3_stmt *s = raw.prepare("SELECT Item, Category FROM mailist WHERE rowid = ?1");
            sqlite3_bind_int64(s, 1, rowid);
            raw.step(s);
            const QByteArray item(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
            const QByteArray category(reinterpret_cast<const char *>(sqlite3_column_text(s, 1)));
            sqlite3_reset(s);
            sqlite3_stmt *c = raw.prepare("SELECT count(*) FROM mailist WHERE (Item, Category, rowid) < (?1, ?2, ?3)");
            raw.bind(c, 1, item);
            raw.bind(c, 2, category);
            sqlite3_bind_int64(c, 3, rowid);
            raw.step(c);
            before = sqlite3_column_int64(c, 0);
            sqlite3_reset(c);
        } else {
            sqlite3_stmt *c = raw.prepare("SELECT count(*) FROM mailist WHERE rowid < ?1");
            sqlite3_bind_int64(c, 1, rowid);
            raw.step(c);
            before = sqlite3_column_int64(c, 0);
            sqlite3_reset(c);
        }
        rawSeconds += bench::secondsSince(start);
        same = same && position && *position == before;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["real_ms"] = realSeconds * 1e3 / double(state.iterations());
    state.counters["raw_ms"] = rawSeconds * 1e3 / double(state.iterations());
    state.counters["x_raw"] = realSeconds / rawSeconds;
    if (!same)
        state.SkipWithError("the position differs from the plain count");
}

BENCHMARK(BM_FilterCount)->Apply(cases);
BENCHMARK(BM_ViewPosition)
    ->ArgNames({"rows", "byItem"})
    ->ArgsProduct({bench::ListSizes, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    return bench::runBenchmarks(argc, argv);
}
