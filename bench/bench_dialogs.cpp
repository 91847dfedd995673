// The long-lived windows over large records: the log window over a 50 MB
// log, deleting many selected lines of the error window, and the options'
// OK with six long lists. Each beside the plain file or list operation it
// stands on, measured in the same run.
#include "bench/BenchSupport.h"

#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "core/TextFile.h"
#include "dialogs/errors.h"
#include "dialogs/logunit.h"
#include "dialogs/options.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListView>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString logLine(int i)
{
    return QStringLiteral("ADD %1 %2 [Changed enacted by e-mail sent 01/02/2024 10:11:12 by x] -> Entered "
                          "Successfully")
        .arg(bench::address(i), bench::categoryOfRank(1 + i % bench::CategoryCount));
}

// A log of about the given size in bytes, written once per run.
QString logFile(qint64 bytes, qint64 *lines)
{
    static QString path;
    static qint64 count = 0;
    if (path.isEmpty()) {
        QStringList all = LineList::logHeader();
        qint64 size = 0;
        while (size < bytes) {
            all.append(logLine(int(all.size())));
            size += all.constLast().size() + 2;
        }
        path = bench::scratchPath(QStringLiteral("log.txt"));
        if (!textfile::writeLines(path, all))
            throw std::runtime_error("cannot write the log");
        count = all.size();
    }
    *lines = count;
    return path;
}

QByteArray rawRead(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read");
    return f.readAll();
}

void rawWrite(const QString &path, const QByteArray &bytes)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        throw std::runtime_error("cannot write");
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    std::fclose(file);
}

// Load the log as at start-up, open its window, write it back as at close.
void BM_LogWindow(benchmark::State &state)
{
    qint64 lines = 0;
    const QString path = logFile(state.range(0) * 1024 * 1024, &lines);
    const double fileMiB = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    const QString out = bench::scratchPath(QStringLiteral("log-out.txt"));
    bench::CountingPrompts prompts;
    double raw = 0, load = 0, open = 0, save = 0, rawSave = 0, grownMiB = 0;
    for (auto _ : state) {
        auto t = bench::Clock::now();
        const QByteArray bytes = rawRead(path);
        raw += bench::secondsSince(t);

        const double before = bench::residentMiB();
        t = bench::Clock::now();
        QStringList read;
        if (!textfile::readLines(path, &read))
            state.SkipWithError("log not read");
        LineList log(read);
        read.clear();
        load += bench::secondsSince(t);

        t = bench::Clock::now();
        {
            Tdlglog window(log, prompts);
            window.show();
            QCoreApplication::processEvents();
            window.grab();
            open += bench::secondsSince(t);
            grownMiB = std::max(grownMiB, bench::residentMiB() - before);
        }

        t = bench::Clock::now();
        textfile::writeLines(out, log.lines());
        const double saved = bench::secondsSince(t);
        save += saved;
        t = bench::Clock::now();
        rawWrite(out, bytes);
        rawSave += bench::secondsSince(t);
        state.SetIterationTime(saved);
    }
    const double n = double(state.iterations());
    state.counters["lines"] = double(lines);
    state.counters["raw_read_ms"] = raw * 1e3 / n;
    state.counters["load_ms"] = load * 1e3 / n;
    state.counters["open_ms"] = open * 1e3 / n;
    state.counters["save_ms"] = save * 1e3 / n;
    state.counters["raw_write_ms"] = rawSave * 1e3 / n;
    state.counters["load_x_raw"] = load / raw;
    state.counters["open_x_raw"] = open / raw;
    state.counters["save_x_raw"] = save / rawSave;
    state.counters["mem_x_file"] = grownMiB / fileMiB;
}

// Every tenth of 100k error lines selected, then "Delete Entry".
void BM_ErrorsDelete(benchmark::State &state)
{
    const int total = int(state.range(0));
    QStringList all;
    for (int i = 0; i < total; ++i)
        all.append(QStringLiteral("ADD %1 %2").arg(bench::address(i), bench::categoryOfRank(1 + i % 50)));
    bench::CountingPrompts prompts;
    bench::Store store(bench::listFile(10'000));
    double raw = 0, real = 0;
    for (auto _ : state) {
        // The plain operation: the list without the selected lines.
        auto t = bench::Clock::now();
        QStringList kept;
        kept.reserve(all.size());
        for (int i = 0; i < all.size(); ++i) {
            if (i % 10 != 0)
                kept.append(all.at(i));
        }
        raw += bench::secondsSince(t);

        store.errors.setLines(all);
        Tdlgerrors window(store.errors, store.rules, prompts);
        window.show();
        QCoreApplication::processEvents();
        QItemSelection selection;
        for (int i = 0; i < total; i += 10)
            selection.select(window.lbxerrors->model()->index(i, 0), window.lbxerrors->model()->index(i, 0));
        window.lbxerrors->selectionModel()->select(selection, QItemSelectionModel::Select);
        t = bench::Clock::now();
        window.btndeleteentryClick();
        QCoreApplication::processEvents();
        const double s = bench::secondsSince(t);
        real += s;
        state.SetIterationTime(s);
        if (store.errors.lines() != kept)
            state.SkipWithError("wrong lines left");
    }
    state.counters["raw_ms"] = raw * 1e3 / double(state.iterations());
    state.counters["x_raw"] = real / raw;
}

// OK with six lists of 10k entries: every list file and the registry written.
void BM_OptionsOk(benchmark::State &state)
{
    const int size = int(state.range(0));
    QTemporaryDir dir;
    const QString programDir = dir.path() + QLatin1Char('/');
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    Settings settings;
    RuleLists lists;
    QStringList entries;
    for (int i = 0; i < size; ++i)
        entries.append(bench::address(i));
    for (const RuleLists::FileBinding &b : RuleLists::files)
        (lists.*b.list).setItems(entries);
    bench::CountingPrompts prompts;
    Tdlgoptions options(settings, lists, prompts);
    options.setProgramDir(programDir);
    options.show();
    QCoreApplication::processEvents();
    double raw = 0, real = 0;
    for (auto _ : state) {
        auto t = bench::Clock::now();
        for (const RuleLists::FileBinding &b : RuleLists::files) {
            QByteArray bytes = (lists.*b.list).items().join(QStringLiteral("\r\n")).toUtf8();
            rawWrite(programDir + QStringLiteral("raw-") + QLatin1String(b.fileName), bytes.append("\r\n"));
        }
        raw += bench::secondsSince(t);
        t = bench::Clock::now();
        options.BitBtn1Click();
        const double s = bench::secondsSince(t);
        real += s;
        state.SetIterationTime(s);
        options.show();
        QCoreApplication::processEvents();
    }
    if (prompts.asked)
        state.SkipWithError("a message was shown");
    state.counters["raw_ms"] = raw * 1e3 / double(state.iterations());
    state.counters["x_raw"] = real / raw;
}

BENCHMARK(BM_LogWindow)->ArgName("MiB")->Arg(50)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ErrorsDelete)
    ->ArgName("lines")
    ->Arg(100'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_OptionsOk)
    ->ArgName("entries")
    ->Arg(10'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

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
