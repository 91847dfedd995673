// Sending to the list: the unique recipient list beside a plain ordered read
// and the same sort, the send dialog's whole loop beside the mail component
// alone writing the same messages, each in the same run, and how soon the
// loop answers a Cancel.
#include "bench/BenchSupport.h"

#include "core/Settings.h"
#include "dialogs/addrecip.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"
#include "platform/mapi/MapiSetup.h"
#include "store/UniqueRecipients.h"

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace {

// A generated list with every twentieth entry the one before it again, in
// capitals and between blanks.
QString listWithDuplicates(qint64 rows)
{
    const QString path = bench::scratchPath(QStringLiteral("dups-%1.DAT").arg(rows));
    if (QFile::exists(path))
        return path;
    QFile::copy(bench::listFile(rows), path);
    bench::RawDb raw(path);
    raw.exec("UPDATE mailist SET Item = ' ' || upper((SELECT m.Item FROM mailist m WHERE m.rowid = mailist.rowid - 1))"
             " || '  ' WHERE rowid % 20 = 0");
    return path;
}

// The figure to beat: the ordered read of Item and a locale-aware,
// case-insensitive sort-unique of the same strings.
qsizetype rawUnique(bench::RawDb &raw, qint64 *stringBytes)
{
    QStringList items;
    sqlite3_stmt *s = raw.prepare("SELECT Item FROM mailist ORDER BY rowid");
    while (raw.step(s))
        items.append(
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)), sqlite3_column_bytes(s, 0))
                .trimmed());
    sqlite3_reset(s);
    *stringBytes = 0;
    for (const QString &item : std::as_const(items))
        *stringBytes += qint64(sizeof(QString)) + 16 + 2 * (item.size() + 1);
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(items.size()));
    const bool fold = collator.locale().language() == QLocale::C;
    for (const QString &item : std::as_const(items))
        keys.push_back(collator.sortKey(fold ? item.toCaseFolded() : item));
    std::vector<int> order(size_t(items.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    const auto end = std::unique(order.begin(), order.end(),
                                 [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) == 0; });
    return end - order.begin();
}

// The byte-level floor: the same ordered read, each address kept as its
// bytes with blanks cut and A to Z folded, then a byte sort and unique. No
// locale, no UTF-16: what the work costs before the user's language has a say.
qsizetype byteUnique(bench::RawDb &raw)
{
    std::vector<std::string> items;
    sqlite3_stmt *s = raw.prepare("SELECT Item FROM mailist ORDER BY rowid");
    while (raw.step(s)) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        int begin = 0;
        int end = sqlite3_column_bytes(s, 0);
        while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
            ++begin;
        while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
            --end;
        std::string item(text + begin, size_t(end - begin));
        for (char &c : item)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        items.push_back(std::move(item));
    }
    sqlite3_reset(s);
    std::sort(items.begin(), items.end());
    return std::unique(items.begin(), items.end()) - items.begin();
}

void BM_UniqueRecipients(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const QString path = listWithDuplicates(rows);
    bench::Store store(path);
    bench::RawDb raw(path);
    double mine = 0;
    double theirs = 0;
    double bytes = 0;
    double peakMiB = 0;
    qint64 stringBytes = 0;
    for (auto _ : state) {
        // What the last repetition freed goes back to the system first, or
        // this one would grow into it and show no peak at all.
        malloc_trim(0);
        bench::resetPeakResident();
        const double before = bench::residentMiB();
        auto start = bench::Clock::now();
        int reported = 0;
        const QStringList unique
            = uniqueRecipients(store.table(), QString(), [&](int, const QString &) { ++reported; });
        mine += bench::secondsSince(start);
        peakMiB = std::max(peakMiB, bench::peakResidentMiB() - before);
        state.PauseTiming();
        start = bench::Clock::now();
        const qsizetype expected = rawUnique(raw, &stringBytes);
        theirs += bench::secondsSince(start);
        start = bench::Clock::now();
        const qsizetype byteCount = byteUnique(raw);
        bytes += bench::secondsSince(start);
        // A to Z folding and the locale's case folding agree on these lists.
        if (byteCount != unique.size())
            state.SkipWithError("the byte-level list differs");
        if (expected != unique.size() || reported != rows)
            state.SkipWithError("the lists differ");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(rows * state.iterations());
    state.counters["raw_ms"] = theirs * 1e3 / double(state.iterations());
    state.counters["x_raw"] = mine / theirs;
    state.counters["bytes_ms"] = bytes * 1e3 / double(state.iterations());
    state.counters["x_bytes"] = mine / bytes;
    state.counters["peak_MiB"] = peakMiB;
    state.counters["x_strings_mem"] = peakMiB * 1024 * 1024 / double(stringBytes);
}

struct MailSetup
{
    MailSetup()
    {
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
        store = dir.path() + QStringLiteral("/Maildir");
        QDir().mkpath(store);
        QString error;
        if (!registerMapiStandIn(store, QStringLiteral("bench@example.org"), &error))
            qFatal("%s", qPrintable(error));
        mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
        if (!mapi->MapiAvailable())
            qFatal("libmapi32 not found in %s", MAPI_LIBRARY_DIR);
    }
    int clearOutbox() const
    {
        QDir out(store + QStringLiteral("/.Outbox/new"));
        const QStringList files = out.entryList(QDir::Files);
        for (const QString &name : files)
            out.remove(name);
        return int(files.size());
    }

    QTemporaryDir dir;
    QString store;
    std::unique_ptr<SMapi> mapi;
};

MailSetup &mailSetup()
{
    static MailSetup s;
    return s;
}

const QString Subject = QStringLiteral("News for the members");
const QString Body = QStringLiteral("This month's news for the members of the list.\n").repeated(40);

// The dialog's send loop, progress and event handling included, in turns
// with the mail component alone sending the same batches.
void BM_SendLoop(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    const int maximum = int(state.range(1));
    MailSetup &mail = mailSetup();
    bench::Store store(bench::listFile(rows));
    store.settings.SendCount = maximum;
    bench::CountingPrompts prompts;
    double mine = 0;
    double theirs = 0;
    int messages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TdlgAddRecip addRecip(prompts);
        TdlgSendMail dialog(store.table(), *mail.mapi, store.settings, prompts, {}, addRecip);
        addRecip.setSendDialog(&dialog);
        dialog.FormCreate();
        dialog.FormShow();
        dialog.edtMessageSubject->setText(Subject);
        dialog.edtMessageText->setPlainText(Body);
        dialog.btnrecalcClick();
        const QStringList unique = dialog.uniqueList();
        state.ResumeTiming();

        auto start = bench::Clock::now();
        dialog.Button2Click();
        mine += bench::secondsSince(start);

        state.PauseTiming();
        messages = mail.clearOutbox();
        TEmail email(*mail.mapi);
        email.setUseDefProfile(true);
        email.Logon();
        start = bench::Clock::now();
        for (qsizetype i = 0; i < unique.size(); i += maximum) {
            const QStringList batch = unique.mid(i, maximum);
            if (maximum == 1)
                email.setRecipient(batch);
            else
                email.setBcc(batch);
            email.SetLongText(Body);
            email.setSubject(Subject);
            email.SendMail();
            email.Reset();
        }
        theirs += bench::secondsSince(start);
        email.Logoff();
        if (mail.clearOutbox() != messages)
            state.SkipWithError("the loop and the component sent different messages");
        state.ResumeTiming();
    }
    state.counters["messages"] = messages;
    state.counters["msgs_per_s"] = double(messages) * double(state.iterations()) / mine;
    state.counters["raw_ms"] = theirs * 1e3 / double(state.iterations());
    state.counters["x_raw"] = mine / theirs;
}

// Cancel pressed from outside while the loop runs, as a click arrives from
// the window system: the time until the loop asks whether to stop. Every
// answer but the last is No, so one send gives many samples.
class TimedCancel : public bench::CountingPrompts
{
public:
    static constexpr int Samples = 25;

    Answer confirm(const QString &text) override
    {
        bench::CountingPrompts::confirm(text);
        latencies.push_back(bench::secondsSince(posted.load()));
        answered = true;
        return int(latencies.size()) >= Samples ? Answer::Yes : Answer::No;
    }

    std::atomic<bench::Clock::time_point> posted{};
    std::atomic<bool> answered{false};
    std::vector<double> latencies;
};

void BM_CancelLatency(benchmark::State &state)
{
    const qint64 rows = state.range(0);
    MailSetup &mail = mailSetup();
    bench::Store store(bench::listFile(rows));
    store.settings.SendCount = int(state.range(1));
    TimedCancel prompts;
    int repaints = 0;
    double sending = 0;
    for (auto _ : state) {
        TdlgAddRecip addRecip(prompts);
        TdlgSendMail dialog(
            store.table(), *mail.mapi, store.settings, prompts,
            [&](bool show, int, int, const QString &) { repaints += show; }, addRecip);
        addRecip.setSendDialog(&dialog);
        dialog.FormCreate();
        dialog.FormShow();
        dialog.edtMessageSubject->setText(Subject);
        dialog.edtMessageText->setPlainText(Body);
        dialog.btnrecalcClick();
        repaints = 0;
        std::atomic<bool> finished{false};
        std::thread user([&] {
            for (int i = 0; i < TimedCancel::Samples && !finished; ++i) {
                // Spread over the loop's work: resolving, writing, waiting for the disk.
                std::this_thread::sleep_for(std::chrono::milliseconds(15 + 7 * (i % 5)));
                prompts.answered = false;
                prompts.posted = bench::Clock::now();
                QMetaObject::invokeMethod(dialog.BitBtn1, "click", Qt::QueuedConnection);
                while (!prompts.answered && !finished)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const auto start = bench::Clock::now();
        dialog.Button2Click();
        sending += bench::secondsSince(start);
        finished = true;
        user.join();
        mail.clearOutbox();
    }
    if (prompts.latencies.empty()) {
        state.SkipWithError("no Cancel reached the loop");
        return;
    }
    std::vector<double> ms = prompts.latencies;
    for (double &v : ms)
        v *= 1e3;
    std::sort(ms.begin(), ms.end());
    state.counters["samples"] = double(ms.size());
    state.counters["cancel_mean_ms"] = std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    state.counters["cancel_p90_ms"] = ms[ms.size() * 9 / 10];
    state.counters["cancel_max_ms"] = ms.back();
    state.counters["x_target_100ms"] = ms.back() / 100;
    state.counters["repaints_per_s"] = double(repaints) / sending;
}

BENCHMARK(BM_UniqueRecipients)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SendLoop)->Args({100'000, 500})->Args({10'000, 1})->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CancelLatency)->Args({100'000, 500})->Args({10'000, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    if (const auto code = bench::helperMode(argc, argv))
        return *code;
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
