// Import per line into a list of the same size (half the lines new, half on
// the list already) beside the same look-ups and inserts in plain SQLite in
// one transaction, and optionally beside bare insertentry calls for the same
// addresses in the same run; the reading of import files with each kind of line end; and
// the folder scan beside GMime's own parse of the same files plus the
// extraction routine over their bodies.
#include "bench/BenchSupport.h"
#include "bench/GMimeParse.h"
#include "core/DateTimeText.h"
#include "intake/FolderScan.h"
#include "intake/StrToStringlist.h"
#include "intake/extractemailaddresses.h"
#include "platform/outlook/LocalOutlook.h"
#include "store/Importfile.h"
#include "store/Validation.h"
#include "tests/testlib/MaildirWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <ctime>

#include <gmime/gmime.h>
#include <sqlite3.h>

namespace {

const QString Comment = QStringLiteral("Import of entries from file, members.csv");

// Even lines are on the list, odd lines are new.
QString lineAddress(qint64 rows, qint64 i)
{
    return i % 2 ? bench::address(rows + i) : bench::address(i);
}

// The line ends of an import file: 0 CR LF, 1 LF, 2 CR.
const char *const LineEnds[] = {"\r\n", "\n", "\r"};
const char *const LineEndNames[] = {"crlf", "lf", "cr"};

QString importFile(qint64 rows, int ending = 0)
{
    const QString name = QStringLiteral("import-%1-%2.csv").arg(rows).arg(QLatin1String(LineEndNames[ending]));
    const QString path = bench::scratchPath(name);
    if (QFile::exists(path))
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the import file");
    QByteArray block;
    for (qint64 i = 0; i < rows; ++i) {
        block += lineAddress(rows, i).toUtf8() + LineEnds[ending];
        if (block.size() > (1 << 16)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    return path;
}

QString freshCopy(qint64 rows)
{
    const QString copy = bench::scratchPath(QStringLiteral("import-list.DAT"));
    QFile::remove(copy);
    QFile::remove(copy + QStringLiteral("-wal"));
    QFile::remove(copy + QStringLiteral("-shm"));
    if (!QFile::copy(bench::listFile(rows), copy))
        throw std::runtime_error("cannot copy the list");
    return copy;
}

// Processor time of this process: on a busy machine it keeps the ratio of
// two runs in one process steadier than wall time does.
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The floor: the file read and cut into lines, then the same look-up per
// line and insert per new address on a plain connection, in one
// transaction.
double rawImportSeconds(const QString &file, const QString &list)
{
    const auto start = bench::Clock::now();
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the import file");
    const QByteArray bytes = in.readAll();
    bench::RawDb raw(list);
    const QByteArray comment = (Comment + QLatin1Char(' ') + getdatetimestring()).toUtf8();
    raw.exec("BEGIN IMMEDIATE");
    sqlite3_stmt *find = raw.prepare("SELECT rowid, Item, Category, Bounces, Comments FROM mailist WHERE Item = ?1 "
                                     "ORDER BY rowid LIMIT 1");
    sqlite3_stmt *add = raw.prepare("INSERT INTO mailist (Item, Category, Bounces, Comments) VALUES (?1, ?2, 0, ?3)");
    const QByteArrayView all(bytes);
    for (qsizetype at = 0; at < all.size();) {
        qsizetype end = all.indexOf('\n', at);
        if (end < 0)
            end = all.size();
        const QByteArrayView line = all.sliced(at, end - at).trimmed();
        at = end + 1;
        if (line.isEmpty())
            continue;
        sqlite3_reset(find);
        sqlite3_bind_text(find, 1, line.data(), int(line.size()), SQLITE_STATIC);
        if (raw.step(find))
            continue;
        sqlite3_reset(add);
        sqlite3_bind_text(add, 1, line.data(), int(line.size()), SQLITE_STATIC);
        sqlite3_bind_text(add, 2, "news", 4, SQLITE_STATIC);
        sqlite3_bind_text(add, 3, comment.constData(), int(comment.size()), SQLITE_STATIC);
        raw.step(add);
    }
    sqlite3_reset(find);
    sqlite3_reset(add);
    raw.exec("COMMIT");
    return bench::secondsSince(start);
}

void BM_Import(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString file = importFile(rows, int(state.range(1)));
    const double fileMiB = double(QFile(file).size()) / (1024.0 * 1024.0);
    double seconds = 0;
    double bareSeconds = 0;
    double rawSeconds = 0;
    double cpu = 0;
    double rawCpu = 0;
    double linesMiB = 0;
    bool same = true;
    for (auto _ : state) {
        state.PauseTiming();
        qint64 importedRows = 0;
        {
            bench::Store store(freshCopy(rows));
            store.settings.defaultcategory = QStringLiteral("news");
            bench::CountingPrompts prompts;
            const ImportServices services{
                store.rules, prompts, [](bool, int, int, const QString &) {}, &StrToStringlist, {}};
            const double before = bench::residentMiB();
            bench::resetPeakResident();
            state.ResumeTiming();
            const auto start = bench::Clock::now();
            const double cpuStart = cpuSeconds();
            {
                QString why;
                const auto lines = ImportLines::fromFile(file, &why);
                linesMiB = bench::peakResidentMiB() - before;
                if (!lines
                    || Importfile(services, *lines, true, false, false, QStringLiteral("news"), false, {}, Comment)
                               .processed()
                           != rows)
                    same = false;
            }
            const double s = bench::secondsSince(start);
            cpu += cpuSeconds() - cpuStart;
            state.SetIterationTime(s);
            seconds += s;
            state.PauseTiming();
            same = same && prompts.asked == prompts.informed;
            importedRows = bench::RawDb(store.table().filePath()).scalar("SELECT count(*) FROM mailist");
        }
        // Bare entry calls, each its own commit, as the import stored lines
        // before it used batches; a million-line list takes most of an hour.
        if (state.range(2)) {
            bench::Store store(freshCopy(rows));
            store.settings.defaultcategory = QStringLiteral("news");
            QStringList addresses;
            addresses.reserve(rows);
            for (qint64 i = 0; i < rows; ++i)
                addresses << lineAddress(rows, i);
            const QString comment = Comment + QLatin1Char(' ') + getdatetimestring();
            const auto start = bench::Clock::now();
            for (const QString &a : std::as_const(addresses))
                store.rules.insertentry(true, a, QStringLiteral("news"), comment);
            bareSeconds += bench::secondsSince(start);
            same
                = same && importedRows == bench::RawDb(store.table().filePath()).scalar("SELECT count(*) FROM mailist");
        }
        {
            const QString list = freshCopy(rows);
            const double cpuStart = cpuSeconds();
            rawSeconds += rawImportSeconds(file, list);
            rawCpu += cpuSeconds() - cpuStart;
            same = same && importedRows == bench::RawDb(list).scalar("SELECT count(*) FROM mailist");
        }
        state.ResumeTiming();
    }
    if (!same)
        state.SkipWithError("the import did not do what bare insertentry calls do");
    state.SetItemsProcessed(rows * state.iterations());
    if (bareSeconds > 0) {
        state.counters["bare_ms"] = bareSeconds * 1e3 / double(state.iterations());
        state.counters["x_bare"] = seconds / bareSeconds;
    }
    state.counters["raw_ms"] = rawSeconds * 1e3 / double(state.iterations());
    state.counters["x_raw"] = seconds / rawSeconds;
    state.counters["x_raw_cpu"] = cpu / rawCpu;
    state.counters["file_MB"] = fileMiB;
    state.counters["lines_x_file"] = linesMiB / fileMiB;
}

// Reading the file into lines alone, by line end: the time per line stays
// the same whatever the file's size and its line ends.
void BM_ReadImportFile(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString file = importFile(rows, int(state.range(1)));
    qsizetype lines = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const auto read = ImportLines::fromFile(file, nullptr);
        seconds += bench::secondsSince(start);
        lines = read ? read->size() : -1;
    }
    if (lines != rows)
        state.SkipWithError("the file did not read as one line per address");
    state.SetLabel(LineEndNames[state.range(1)]);
    state.SetItemsProcessed(rows * state.iterations());
    state.counters["ns_per_line"] = seconds * 1e9 / double(rows * state.iterations());
}

QByteArray scanMessage(qint64 i)
{
    const QByteArray who = bench::address(i).toUtf8();
    return testmail::message("Reader <" + who + ">", "Meeting notes",
                             "Thanks for the notes.\r\nPlease copy <" + bench::address(i + 1).toUtf8()
                                 + "> and the committee.\r\nBest regards\r\n",
                             "Cc: Board <board@example.org>, " + bench::address(i + 2).toUtf8() + "\r\n");
}

void BM_FolderScan(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    QTemporaryDir work;
    testmail::Store store(work.path() + QStringLiteral("/Maildir"));
    store.create();
    store.addFolder(QStringLiteral("Archive"));
    QStringList files;
    QList<QStringList> bodies;
    for (qint64 i = 0; i < messages; ++i) {
        const QByteArray m = scanMessage(i);
        files << store.deliver(QStringLiteral("Archive"), m, 1700000000 + i);
        bodies << QString::fromUtf8(m.mid(m.indexOf("\r\n\r\n") + 4)).split(QStringLiteral("\r\n"));
    }
    Settings settings;
    RuleLists lists;
    const AddressTest valid = [&](const QString &a) { return validemailaddress(a, settings, lists); };
    FolderScan scan(valid);
    scan.setApplicationFactory([root = store.root()] {
        return platform::outlook::OleVariant(platform::outlook::createLocalApplication(root));
    });
    FolderScan::Fields all;
    all.recipients = all.body = true;
    double scanSeconds = 0;
    double rawSeconds = 0;
    qsizetype found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto start = bench::Clock::now();
        bench::gmimeParseSeconds(files);
        QStringList addresses;
        for (const QStringList &body : std::as_const(bodies))
            extractemailaddresses(body, addresses, valid);
        rawSeconds += bench::secondsSince(start);
        state.ResumeTiming();
        start = bench::Clock::now();
        QStringList list;
        scan.scan(QStringLiteral("Archive"), FolderScan::Kind::Messages, all, list);
        scanSeconds += bench::secondsSince(start);
        found = list.size();
    }
    // Message i names addresses i, i + 1 and i + 2, the list and the
    // board: each is listed once.
    if (found != messages + 4)
        state.SkipWithError("the scan did not list each address once");
    const double n = double(messages) * double(state.iterations());
    state.SetItemsProcessed(qint64(n));
    state.counters["scan_us_per_msg"] = scanSeconds * 1e6 / n;
    state.counters["raw_us_per_msg"] = rawSeconds * 1e6 / n;
    state.counters["x_raw"] = scanSeconds / rawSeconds;
}

BENCHMARK(BM_Import)
    ->ArgNames({"lines", "ending", "bare"})
    ->Args({100'000, 0, 1})
    ->Args({100'000, 0, 0})
    ->Args({100'000, 1, 0})
    ->Args({1'000'000, 0, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadImportFile)
    ->ArgNames({"lines", "ending"})
    ->ArgsProduct({{200'000, 400'000, 1'600'000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderScan)->ArgName("messages")->Arg(1000)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_mime_init();
    return bench::runBenchmarks(argc, argv);
}
