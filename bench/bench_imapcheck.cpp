// The folder check on an IMAP account served by Dovecot on loopback, beside
// its raw floor measured in the same run: the same library fetching the same
// messages in the same batches, plus the table statements of each change,
// plus the moves. Every iteration delivers a fresh folder of subscribes,
// untimed, since the check moves what it recognises.
#include "bench/BenchSupport.h"
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

// A fresh folder of subscribes from new addresses, delivered as files.
void deliver(qint64 messages)
{
    const testmail::Store store(server().mailRoot());
    QDir(store.folderDir(List)).removeRecursively();
    store.addFolder(List);
    for (qint64 i = 0; i < messages; ++i)
        store.deliver(List,
                      testmail::message(bench::address(1'000'000 + i).toUtf8(), "subscribe", "Please add me.\r\n"),
                      1700000000 + i);
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

void BM_ImapCheck(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    double checkSeconds = 0;
    double rawSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        deliver(messages);
        const QString path = bench::scratchPath(QStringLiteral("imapcheck.DAT"));
        QFile::remove(path);
        createMailingListFile(path);
        bench::Store store(path);
        store.settings.MailAccount = QStringLiteral("IMAP");
        store.settings.ImapServer = server().host();
        store.settings.ImapPort = server().imapPort();
        store.settings.ImapSecurity = QStringLiteral("None");
        store.settings.ImapUser = server().user();
        mailaccount::keepPassword(store.settings, server().password());
        bench::CountingPrompts prompts;
        mailaccount::registerAccount(store.settings, prompts);
        state.ResumeTiming();

        auto start = bench::Clock::now();
        FolderCheck(store.settings, store.lists, store.rules, prompts).run({});
        checkSeconds += bench::secondsSince(start);

        state.PauseTiming();
        if (store.table().recordCount() != messages || prompts.asked) {
            state.SkipWithError("the check did not add every subscriber");
            break;
        }
        store.table().close();
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
                    if (done.size() == 100)
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
