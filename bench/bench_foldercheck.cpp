// The mailing-list folder check per message against a list of 100k
// entries, over a folder of subscribes, unsubscribes, delivery-failure
// notices and other mail, beside its raw floor in the same run; the reading
// half beside GMime's own parse; and address extraction over large bodies.
// The store and the list are made afresh, untimed, for every iteration,
// since the check deletes what it recognises.
#include "bench/BenchSupport.h"
#include "bench/FolderBench.h"
#include "bench/GMimeParse.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "intake/FolderCheck.h"
#include "intake/extractemailaddresses.h"
#include "platform/outlook/LocalOutlook.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"
#include "store/Validation.h"
#include "tests/testlib/MaildirWriter.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <fcntl.h>

#include <memory>

namespace {

using bench::folder::Round;

// The check without its window, then its raw floor on a second copy of the
// same store and list, alternated in every iteration. Run with
// --benchmark_repetitions=5 for medians; the 100k-message case only with
// QUILLMAR_BENCH_LONG=1 set.
void BM_FolderCheck(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    const bool readReports = state.range(1) != 0;
    QTemporaryDir work;
    const QList<QByteArray> mail = bench::folder::messages(messages);
    const bench::PeakMeter memory;
    bench::folder::Spent floor;
    bench::folder::Spent checked;
    int round = 0;
    for (auto _ : state) {
        bench::folder::Spent spent;
        {
            const Round r(work.path() + QStringLiteral("/check%1").arg(++round), mail);
            bench::folder::CheckStore list(r, readReports);
            bench::CountingPrompts prompts;
            FolderCheck check(list.settings, list.lists, list.rules, prompts);
            check.setApplicationFactory(list.application());
            const bench::folder::Stopwatch clock;
            check.run({});
            spent = clock.spent();
            if (list.log.size() != bench::folder::expectedLogLines(messages, readReports) || prompts.asked) {
                const std::string why = "the check made " + std::to_string(list.log.size()) + " log lines, not "
                                        + std::to_string(bench::folder::expectedLogLines(messages, readReports));
                state.SkipWithError(why.c_str());
                break;
            }
        }
        checked += spent;
        {
            const Round r(work.path() + QStringLiteral("/floor%1").arg(round), mail);
            floor += bench::folder::rawFloor(r);
        }
        state.SetIterationTime(spent.wall);
    }
    bench::folder::reportAgainstFloor(state, checked, floor, messages);
    memory.report(state);
}

// The reading half of the check alone: what it asks of every item, through
// a fresh application each time, beside GMime's parse of the same files.
void BM_ReadFolder(benchmark::State &state)
{
    using platform::outlook::OleVariant;
    const qint64 messages = state.range(0);
    QTemporaryDir work;
    testmail::Store store(work.path() + QStringLiteral("/Maildir"));
    store.create();
    store.addFolder(QStringLiteral("VMailingList"));
    QStringList files;
    for (qint64 i = 0; i < messages; ++i)
        files << store.deliver(QStringLiteral("VMailingList"), bench::folder::message(i), 1700000000 + i);
    double gmimeSeconds = 0;
    double readSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        gmimeSeconds += bench::gmimeParseSeconds(files);
        state.ResumeTiming();
        const auto start = bench::Clock::now();
        const OleVariant folder = OleVariant(platform::outlook::createLocalApplication(store.root()))
                                      .call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
                                      .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")})
                                      .call(QStringLiteral("Folders"), {QStringLiteral("VMailingList")});
        const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
        for (int i = count; i >= 1; --i) {
            const OleVariant item = folder.call(QStringLiteral("Items"), {i});
            benchmark::DoNotOptimize(item.call(QStringLiteral("subject")).toText().size());
            benchmark::DoNotOptimize(item.call(QStringLiteral("body")).toText().size());
            benchmark::DoNotOptimize(item.call(QStringLiteral("senton")).toDateTime());
            benchmark::DoNotOptimize(item.call(QStringLiteral("Reply"))
                                         .call(QStringLiteral("Recipients"), {1})
                                         .call(QStringLiteral("Address"))
                                         .toText()
                                         .size());
        }
        readSeconds += bench::secondsSince(start);
    }
    const double n = double(messages) * double(state.iterations());
    state.SetItemsProcessed(qint64(n));
    state.counters["read_us_per_msg"] = benchmark::Counter(readSeconds * 1e6 / n);
    state.counters["gmime_us_per_msg"] = benchmark::Counter(gmimeSeconds * 1e6 / n);
    state.counters["x_gmime"] = benchmark::Counter(readSeconds / gmimeSeconds);
}

// A notice's body: text lines with an address now and then.
QStringList bodyLines(qint64 megabytes)
{
    QStringList lines;
    qint64 size = 0;
    for (qint64 i = 0; size < megabytes << 20; ++i) {
        const QString line
            = i % 20 == 0
                  ? QStringLiteral("<%1>: host mx.example.org said: 550 5.1.1 User unknown").arg(bench::address(i))
                  : QStringLiteral("Reporting-MTA: dns; mx.example.net; arrival %1 from relay.example.org [192.0.2.%2]")
                        .arg(i)
                        .arg(i % 250);
        size += line.size() + 2;
        lines << line;
    }
    return lines;
}

void BM_Extract(benchmark::State &state)
{
    const QStringList lines = bodyLines(state.range(0));
    Settings settings;
    RuleLists lists;
    QStringList found;
    qint64 bytes = 0;
    for (const QString &l : lines)
        bytes += l.size() + 2;
    for (auto _ : state) {
        extractemailaddresses(lines, found, [&](const QString &a) { return validemailaddress(a, settings, lists); });
        benchmark::DoNotOptimize(found.size());
    }
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["addresses"] = benchmark::Counter(double(found.size()));
}

// The same text as one line, as a body without line breaks arrives.
void BM_ExtractOneLine(benchmark::State &state)
{
    const QStringList line{bodyLines(state.range(0)).join(QLatin1Char(' '))};
    Settings settings;
    RuleLists lists;
    QStringList found;
    for (auto _ : state) {
        extractemailaddresses(line, found, [&](const QString &a) { return validemailaddress(a, settings, lists); });
        benchmark::DoNotOptimize(found.size());
    }
    state.SetBytesProcessed(line.first().size() * state.iterations());
}

void checkSizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"messages", "reports"})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    std::vector<int64_t> sizes{1000, 10000};
    if (qEnvironmentVariableIntValue("QUILLMAR_BENCH_LONG"))
        sizes.push_back(100000);
    b->ArgsProduct({sizes, {0, 1}});
}

BENCHMARK(BM_FolderCheck)->Apply(checkSizes);
BENCHMARK(BM_ReadFolder)->ArgName("messages")->Arg(1000)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract)->ArgName("MB")->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractOneLine)->ArgName("MB")->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return bench::folder::runWithApplication<QGuiApplication>(argc, argv);
}
