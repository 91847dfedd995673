// Large input. A message read whole (ms), beside GMime parsing the same file
// and decoding its body (gmime_ms, x_gmime); its peak memory (peak_MiB) over
// its size (x_size).
// Registry exports full of deletions and contact files full of soft breaks,
// beside splitting the same bytes into lines (x_raw).
#include "bench/BenchSupport.h"

#include "platform/outlook/MailMessage.h"
#include "platform/registry/Registry.h"
#include "platform/vcard/VCard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gmime/gmime.h>

#include <ctime>

namespace {

// Processor time of both sides: on a shared machine the wall clock of one
// run says more about the neighbours than about the code.
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write a benchmark file");
}

// A text body of about `mib` MiB in lines of 72 characters.
QString plainMessage(int mib)
{
    const QString path = bench::scratchPath(QStringLiteral("plain-%1.eml").arg(mib));
    if (QFile::exists(path))
        return path;
    QByteArray raw = "From: a@example.org\nSubject: large\nContent-Type: text/plain; charset=utf-8\n\n";
    const QByteArray line = QByteArray(71, 'x') + '\n';
    raw.reserve(raw.size() + qsizetype(mib) * 1024 * 1024);
    while (raw.size() < qsizetype(mib) * 1024 * 1024)
        raw += line;
    writeFile(path, raw);
    return path;
}

QString htmlMessage(int mib)
{
    const QString path = bench::scratchPath(QStringLiteral("html-%1.eml").arg(mib));
    if (QFile::exists(path))
        return path;
    QByteArray raw = "From: a@example.org\nSubject: large\nContent-Type: text/html; charset=utf-8\n\n"
                     "<html><head><style>p { color: red; }</style></head><body>\n";
    const QByteArray para = "<p class=\"x\"><b>Bold</b> text &amp; more&nbsp;text <a href=\"http://example.org/\">"
                            "a link</a><br>second line &#8217; done</p>\n<table><tr><td>cell</td><td>cell</td>"
                            "</tr></table>\n";
    while (raw.size() < qsizetype(mib) * 1024 * 1024)
        raw += para;
    raw += "</body></html>\n";
    writeFile(path, raw);
    return path;
}

// GMime alone: read the file, parse it, decode the body to nowhere.
void gmimeParse(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read a benchmark file");
    const QByteArray bytes = f.readAll();
    GByteArray *array = g_byte_array_sized_new(guint(bytes.size()));
    g_byte_array_append(array, reinterpret_cast<const guint8 *>(bytes.constData()), guint(bytes.size()));
    GMimeStream *stream = g_mime_stream_mem_new_with_byte_array(array);
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeObject *root = g_mime_parser_construct_part(parser, nullptr);
    if (root && GMIME_IS_PART(root)) {
        GMimeStream *sink = g_mime_stream_null_new();
        g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(root)), sink);
        g_object_unref(sink);
    }
    if (root)
        g_object_unref(root);
    g_object_unref(parser);
    g_object_unref(stream);
}

void readMessage(benchmark::State &state, const QString &path)
{
    g_mime_init();
    const double fileMiB = double(QFile(path).size()) / (1024.0 * 1024.0);
    double ours = 0, theirs = 0, peak = 0;
    for (auto _ : state) {
        bench::resetPeakResident();
        const double before = bench::residentMiB();
        double start = cpuSeconds();
        {
            const platform::outlook::MailMessage m = platform::outlook::MailMessage::fromFile(path);
            benchmark::DoNotOptimize(m.body().size());
            ours += cpuSeconds() - start;
            peak = std::max(peak, bench::peakResidentMiB() - before);
        }
        start = cpuSeconds();
        gmimeParse(path);
        theirs += cpuSeconds() - start;
    }
    const double n = double(state.iterations());
    state.counters["ms"] = ours / n * 1000;
    state.counters["gmime_ms"] = theirs / n * 1000;
    state.counters["x_gmime"] = ours / theirs;
    state.counters["peak_MiB"] = peak;
    state.counters["x_size"] = peak / fileMiB;
}

void BM_PlainMessage(benchmark::State &state)
{
    readMessage(state, plainMessage(int(state.range(0))));
}
// The memory figure: peak over size of a 200 MiB text message.
BENCHMARK(BM_PlainMessage)->ArgName("MiB")->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_HtmlMessage(benchmark::State &state)
{
    readMessage(state, htmlMessage(int(state.range(0))));
}
// The time figure: a 19 MiB HTML body as text, against GMime on the same file.
BENCHMARK(BM_HtmlMessage)->ArgName("MiB")->Arg(2)->Arg(19)->Unit(benchmark::kMillisecond)->Iterations(3);

double splitLines(const QByteArray &bytes)
{
    const auto start = bench::Clock::now();
    benchmark::DoNotOptimize(bytes.split('\n').size());
    return bench::secondsSince(start);
}

void BM_RegistryDeletions(benchmark::State &state)
{
    const int n = int(state.range(0));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(bench::scratchPath(QStringLiteral("config"))));
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 0; i < n; ++i)
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K" + QByteArray::number(i) + "]\r\n\"v\"=\"1\"\r\n";
    for (int i = 0; i < n; ++i)
        text += "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K" + QByteArray::number(i) + "]\r\n";
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel]\r\n";
    for (int i = 0; i < n; ++i)
        text += "\"V" + QByteArray::number(i) + "\"=\"x\"\r\n";
    for (int i = 0; i < n; ++i)
        text += "\"V" + QByteArray::number(i) + "\"=-\r\n";
    const QString hive = platform::Registry::hiveFilePath(platform::RootKey::LocalMachine);
    QDir().mkpath(QFileInfo(hive).path());
    writeFile(hive, text);
    double ours = 0, raw = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        platform::Registry reg;
        if (!reg.openKey(QStringLiteral("SOFTWARE\\Varnel"), false) || !reg.valueNames().isEmpty())
            state.SkipWithError("the export was not read right");
        ours += bench::secondsSince(start);
        raw += splitLines(text);
    }
    state.counters["x_raw"] = ours / raw;
}
BENCHMARK(BM_RegistryDeletions)->ArgName("deletions")->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_VCardSoftBreaks(benchmark::State &state)
{
    QByteArray text = "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:";
    for (int i = 0; i < state.range(0); ++i)
        text += "some text=\r\n";
    text += "end\r\nEMAIL:a@example.org\r\nEND:VCARD\r\n";
    double ours = 0, raw = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        benchmark::DoNotOptimize(platform::vcard::readVCards(text).size());
        ours += bench::secondsSince(start);
        raw += splitLines(text);
    }
    state.counters["x_raw"] = ours / raw;
}
BENCHMARK(BM_VCardSoftBreaks)->ArgName("breaks")->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> code = bench::helperMode(argc, argv))
        return *code;
    return bench::runBenchmarks(argc, argv);
}
