// The folder check on an IMAP account served by Dovecot on loopback, beside
// its raw floor measured in the same run: the same library fetching the same
// messages in the same batches, plus the table statements of each change,
// plus the moves. Every iteration delivers a fresh folder of subscribes,
// untimed, since the check moves what it recognises. Beside it: the check
// through a relay that adds network latency, and its peak memory by folder
// size (100k messages only with QUILLMAR_BENCH_LONG=1 set).
#include "bench/BenchSupport.h"
#include "bench/LatencyRelay.h"
#include "core/MailAccountSetting.h"
#include "core/Settings.h"
#include "intake/FolderCheck.h"
#include "platform/imap/ImapSession.h"
#include "store/MLSchema.h"
#include "tests/testlib/DovecotServer.h"
#include "tests/testlib/MaildirWriter.h"

#include <QCoreApplication>
#include <QDir>

#include <sqlite3.h>

using platform::imap::MessageSummary;
using platform::imap::Session;

namespace {

const QString List = QStringLiteral("VMailingList");

testmail::DovecotServer &server()
{
    static testmail::DovecotServer *s = [] {
        auto *d = new testmail::DovecotServer;
        if (!d->prepare() || (testmail::Store(d->mailRoot()).addFolder(QStringLiteral("Trash")), !d->start()))
            qFatal("%s", qPrintable(d->error()));
        return d;
    }();
    return *s;
}

// A fresh folder of subscribes from new addresses, delivered as files. The
// names vary near their end, as a delivery agent's do: Dovecot hashes only
// the last characters well, and names that differ early only (as the tests'
// do) fill a few of its buckets, making each look-up cost the folder's size.
void deliver(qint64 messages)
{
    const testmail::Store store(server().mailRoot());
    QDir(store.folderDir(List)).removeRecursively();
    store.addFolder(List);
    const QString dir = store.folderDir(List) + QStringLiteral("/new/");
    for (qint64 i = 0; i < messages; ++i) {
        const QByteArray bytes
            = testmail::message(bench::address(1'000'000 + i).toUtf8(), "subscribe", "Please add me.\r\n");
        QFile file(dir
                   + QStringLiteral("%1.M%2P4242Q%3.bench,S=%4")
                         .arg(1700000000 + i)
                         .arg(i * 7919 % 1000000)
                         .arg(i)
                         .arg(bytes.size()));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot deliver into %s", qPrintable(dir));
    }
    server().handOverStore();
}

platform::imap::ServerConfig config()
{
    platform::imap::ServerConfig c;
    c.host = server().host();
    c.port = server().imapPort();
    c.security = platform::imap::Security::None;
    c.user = server().user();
    c.password = server().password();
    return c;
}

// A new list file and the account reached at port (the server's or a relay's).
struct CheckRig
{
    bench::Store store;
    bench::CountingPrompts prompts;

    explicit CheckRig(quint16 port)
        : store(newList())
    {
        store.settings.MailAccount = QStringLiteral("IMAP");
        store.settings.ImapServer = server().host();
        store.settings.ImapPort = port;
        store.settings.ImapSecurity = QStringLiteral("None");
        store.settings.ImapUser = server().user();
        mailaccount::keepPassword(store.settings, server().password());
        mailaccount::registerAccount(store.settings, prompts);
    }
    static QString newList()
    {
        const QString path = bench::scratchPath(QStringLiteral("imapcheck.DAT"));
        QFile::remove(path);
        createMailingListFile(path);
        return path;
    }
    void run() { FolderCheck(store.settings, store.lists, store.rules, prompts).run({}); }
    bool addedAll(qint64 messages) { return store.table().recordCount() == messages && !prompts.asked; }
};

void BM_ImapCheck(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    double checkSeconds = 0;
    double rawSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        deliver(messages);
        auto rig = std::make_unique<CheckRig>(server().imapPort());
        state.ResumeTiming();

        auto start = bench::Clock::now();
        rig->run();
        checkSeconds += bench::secondsSince(start);

        state.PauseTiming();
        if (!rig->addedAll(messages)) {
            state.SkipWithError("the check did not add every subscriber");
            break;
        }
        rig.reset();
        deliver(messages);
        const QString rawPath = bench::scratchPath(QStringLiteral("imapraw.DAT"));
        QFile::remove(rawPath);
        createMailingListFile(rawPath);
        {
            // The table the check records handled messages in, made as it does.
            bench::Store made(rawPath);
            made.dmML.tblML.close();
        }
        bench::RawDb raw(rawPath);
        raw.exec("CREATE TABLE IF NOT EXISTS HandledMessages (Identity BLOB PRIMARY KEY, HandledAt INTEGER)");
        state.ResumeTiming();

        start = bench::Clock::now();
        {
            Session s(config());
            s.open();
            const auto opened = s.select(List.toLatin1());
            QList<MessageSummary> summaries;
            s.fetchSummaries(opened.uids, {"MESSAGE-ID", "RECEIVED", "DATE"},
                             [&](MessageSummary m) { summaries.append(m); });
            QList<quint32> done;
            for (qsizetype at = 0; at < summaries.size(); at += Session::BatchMessages) {
                s.fetchMessages(summaries.mid(at, Session::BatchMessages), [&](quint32 uid, QByteArray bytes) {
                    raw.exec("BEGIN");
                    sqlite3_stmt *find = raw.prepare("SELECT rowid FROM mailist WHERE Item = ?1 COLLATE NOCASE");
                    raw.bind(find, 1, bytes.mid(bytes.indexOf("From: ") + 6, 24));
                    raw.step(find);
                    sqlite3_stmt *add = raw.prepare(
                        "INSERT INTO mailist (Item, Category, Bounces, Comments) VALUES (?1, 'Default', 0, ?2)");
                    raw.bind(add, 1, bytes.mid(bytes.indexOf("From: ") + 6, 24));
                    raw.bind(add, 2, "Changed enacted by e-mail");
                    raw.step(add);
                    sqlite3_stmt *record
                        = raw.prepare("INSERT OR REPLACE INTO HandledMessages (Identity, HandledAt) VALUES (?1, 0)");
                    raw.bind(record, 1, QByteArray::number(uid));
                    raw.step(record);
                    raw.exec("COMMIT");
                    done.append(uid);
                    if (done.size() == Session::BatchMessages)
                        s.moveTo(std::exchange(done, {}), "Trash");
                });
            }
            s.moveTo(done, "Trash");
        }
        rawSeconds += bench::secondsSince(start);
    }
    state.counters["x_raw"] = rawSeconds > 0 ? checkSeconds / rawSeconds : 0;
    state.counters["check_s"] = benchmark::Counter(checkSeconds, benchmark::Counter::kAvgIterations);
    state.counters["raw_s"] = benchmark::Counter(rawSeconds, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ImapCheck)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kSecond)->Iterations(1);

// The check through a relay that adds 20 ms to every round trip: its time
// and the round trips it took.
void BM_ImapCheckDistant(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    int roundTrips = 0;
    double seconds = 0;
    for (auto _ : state) {
        deliver(messages);
        bench::LatencyRelay relay(server().imapPort(), std::chrono::milliseconds(10));
        CheckRig rig(relay.port());
        const auto start = bench::Clock::now();
        rig.run();
        seconds += bench::secondsSince(start);
        roundTrips = relay.roundTrips();
        if (!rig.addedAll(messages)) {
            state.SkipWithError("the check did not add every subscriber");
            break;
        }
    }
    state.counters["check_s"] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
    state.counters["round_trips"] = roundTrips;
}
BENCHMARK(BM_ImapCheckDistant)->Arg(1'000)->Unit(benchmark::kSecond)->Iterations(1);

// The check's peak memory with 1k, 10k and (long runs) 100k messages in the
// folder: bodies are read in bounded batches, so it should stay flat.
void BM_ImapCheckMemory(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    for (auto _ : state) {
        deliver(messages);
        CheckRig rig(server().imapPort());
        const bench::PeakMeter meter;
        rig.run();
        meter.report(state);
        if (!rig.addedAll(messages)) {
            state.SkipWithError("the check did not add every subscriber");
            break;
        }
    }
}
void memoryCases(benchmark::internal::Benchmark *b)
{
    b->Arg(1'000)->Arg(10'000);
    if (qEnvironmentVariableIntValue("QUILLMAR_BENCH_LONG"))
        b->Arg(100'000);
}
BENCHMARK(BM_ImapCheckMemory)->Apply(memoryCases)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete &server(); // stops it and removes its folder
    return 0;
}
