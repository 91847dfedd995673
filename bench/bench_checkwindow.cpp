// The folder check as a user runs it: through its progress window (the
// offscreen platform unless QT_QPA_PLATFORM is set), against a list of 100k
// entries, beside its raw floor on a second copy of the same store and list
// in the same iteration. Run with --benchmark_repetitions=5 for medians; the
// 100k-message case only with QUILLMAR_BENCH_LONG=1 set.
#include "bench/BenchSupport.h"
#include "bench/FolderBench.h"
#include "dialogs/getlist.h"
#include "intake/FolderCheck.h"

#include <QApplication>
#include <QProgressBar>
#include <QTemporaryDir>

namespace {

using bench::folder::Round;

void BM_CheckWindow(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    QTemporaryDir work;
    const QList<QByteArray> mail = bench::folder::messages(messages);
    const bench::PeakMeter memory;
    bench::folder::Spent floor;
    bench::folder::Spent checked;
    int round = 0;
    bool finished = true;
    for (auto _ : state) {
        bench::folder::Spent spent;
        {
            const Round r(work.path() + QStringLiteral("/check%1").arg(++round), mail);
            bench::folder::CheckStore list(r, true);
            bench::CountingPrompts prompts;
            FolderCheck check(list.settings, list.lists, list.rules, prompts);
            check.setApplicationFactory(list.application());
            TfrmExtractentries window(check);
            window.show();
            QCoreApplication::processEvents();
            // What the window's timer starts once it is painted.
            const bench::folder::Stopwatch clock;
            window.OpenBtnClick();
            QCoreApplication::processEvents();
            spent = clock.spent();
            finished = finished && !window.isVisible() && window.failure().isEmpty()
                       && window.ProgressBar1->value() == int(messages)
                       && list.log.size() == bench::folder::expectedLogLines(messages, true) && !prompts.asked;
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
    if (!finished)
        state.SkipWithError("the check through its window did not finish as expected");
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("messages")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    b->Arg(1000)->Arg(10000);
    if (qEnvironmentVariableIntValue("QUILLMAR_BENCH_LONG"))
        b->Arg(100000);
}

BENCHMARK(BM_CheckWindow)->Apply(sizes);

} // namespace

int main(int argc, char **argv)
{
    return bench::folder::runWithApplication<QApplication>(argc, argv);
}
