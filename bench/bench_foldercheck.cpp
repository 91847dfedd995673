// The mailing-list folder check per message, over a folder of subscribes,
// unsubscribes, delivery-failure notices and other mail, beside GMime's own
// parse of the same files in the same run; and address extraction over
// large bodies. The store and the list are made afresh, untimed, for every
// iteration, since the check deletes what it recognises.
#include "bench/BenchSupport.h"
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

#include <gmime/gmime.h>

#include <fcntl.h>

#include <memory>

namespace {

constexpr qint64 ListRows = 10'000;


QByteArray paragraph(qint64 i)
{
    static const char *const sentences[] = {
        "Thanks for the meeting notes, they were very helpful.",
        "Could you send me the agenda for next week as well?",
        "I have attached the photos from the excursion last Saturday.",
        "Please let me know whether the dates still work for you.",
        "The committee will discuss the proposal at its next session.",
    };
    QByteArray p;
    for (int s = 0; s < 4; ++s)
        p += QByteArray(sentences[(i + s) % 5]) + (s % 2 ? "\r\n" : " ");
    return p;
}

// A standard delivery report whose text for people names the address twice.
QByteArray deliveryReport(const QByteArray &address, const QByteArray &returned)
{
    return "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\r\nTo: lists@example.net\r\n"
           "Subject: Delivery Status Notification (Failure)\r\nDate: Tue, 12 Mar 2024 09:15:00 +0100\r\n"
           "Message-ID: <"
           + QByteArray::number(qHash(address + returned))
           + "@mx.example.net>\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/report; report-type=delivery-status; boundary=\"r1\"\r\n\r\n"
             "--r1\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nDelivery to "
           + address + " failed permanently.\r\n<" + address
           + ">: 550 5.1.1 User unknown\r\n\r\n"
             "--r1\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx.example.net\r\n\r\n"
             "Final-Recipient: rfc822; "
           + address
           + "\r\nAction: failed\r\nStatus: 5.1.1\r\n\r\n"
             "--r1\r\nContent-Type: message/rfc822\r\n\r\nFrom: lists@example.net\r\nTo: "
           + address + "\r\nSubject: News\r\n\r\n" + returned + "\r\n--r1--\r\n";
}

// Four in ten subscribe, two unsubscribe, two are failure notices (one a
// standard report), two are other mail that stays; every fifth command sits
// on the first body line.
QByteArray folderMessage(qint64 i)
{
    const QByteArray listed = bench::address(i % ListRows).toUtf8();
    // Half the subscribers are on the list already, whatever the folder's size.
    const QByteArray who = i % 2 ? bench::address(ListRows + i).toUtf8() : listed;
    switch (i % 10) {
    case 0:
    case 1:
    case 2:
    case 3:
        return i % 5 == 0
                   ? testmail::message("Reader <" + who + ">", "Re: list", "subscribe news\r\n\r\n" + paragraph(i))
                   : testmail::message("Reader <" + who + ">", "subscribe news", paragraph(i));
    case 4:
    case 5:
        return testmail::message(listed, i % 2 ? "unsubscribe all" : "unsubscribe news",
                                 "Please take me off the list.\r\n" + paragraph(i));
    case 6:
        return testmail::message(
            "Mail Delivery System <MAILER-DAEMON@mx.example.net>", "Undelivered Mail Returned to Sender",
            "This is the mail system at host mx.example.net.\r\n\r\nI'm sorry to have to inform you that your message "
            "could not\r\nbe delivered to one or more recipients.\r\n\r\n<"
                + listed + ">: host mx.example.org said: 550 5.1.1 User unknown\r\n\r\nFinal-Recipient: rfc822; "
                + listed + "\r\nAction: failed\r\nStatus: 5.1.1\r\n\r\n" + paragraph(i) + paragraph(i + 1));
    case 7:
        return deliveryReport(listed, paragraph(i));
    default:
        return testmail::message("Friend <" + who + ">", "Meeting on Friday",
                                 paragraph(i) + "\r\n" + paragraph(i + 2) + "\r\nBest regards\r\n");
    }
}

// A notice names its address twice, counted once when reports are read;
// the report's subject holds no failure phrase.
int expectedLogLines(qint64 messages, bool readReports)
{
    int n = 0;
    for (qint64 i = 0; i < messages; ++i) {
        const qint64 kind = i % 10;
        if (kind < 6)
            n += 1;
        else if (kind == 6)
            n += readReports ? 1 : 2;
        else if (kind == 7)
            n += readReports ? 1 : 0;
    }
    return n;
}

// A list of ListRows entries, made once; each iteration works on a copy.
QString templateList(const QString &dir)
{
    const QString path = dir + QStringLiteral("/template.DAT");
    if (QFile::exists(path))
        return path;
    createMailingListFile(path);
    MLTable table;
    table.setFilePath(path);
    table.open();
    MLTable::Transaction t(table);
    for (qint64 i = 0; i < ListRows; ++i)
        table.append(bench::address(i), QStringLiteral("news"), int(i % 3), QStringLiteral("Imported"));
    t.commit();
    return path;
}


void BM_FolderCheck(benchmark::State &state)
{
    const qint64 messages = state.range(0);
    const bool readReports = state.range(1) != 0;
    QTemporaryDir work;
    QList<QByteArray> mail;
    for (qint64 i = 0; i < messages; ++i)
        mail << folderMessage(i);
    const QString list = templateList(work.path());
    double gmimeSeconds = 0;
    double checkSeconds = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString home = work.path() + QStringLiteral("/round%1").arg(++round);
        testmail::Store store(home + QStringLiteral("/Maildir"));
        store.create();
        store.addFolder(QStringLiteral("VMailingList"));
        QStringList files;
        for (qint64 i = 0; i < messages; ++i)
            files << store.deliver(QStringLiteral("VMailingList"), mail[i], 1700000000 + i);
        const QString listFile = home + QStringLiteral("/mailist.DAT");
        QFile::copy(list, listFile);
        bench::Store list(listFile);
        list.settings.FailedMail = true;
        list.settings.ReadDeliveryReports = readReports;
        list.settings.ScanAllEmailLines = false;
        list.settings.MultipleCategorySupport = true;
        bench::CountingPrompts prompts;
        FolderCheck check(list.settings, list.lists, list.rules, prompts);
        check.setApplicationFactory([root = store.root()] {
            return platform::outlook::OleVariant(platform::outlook::createLocalApplication(root));
        });
        gmimeSeconds += bench::gmimeParseSeconds(files);
        state.ResumeTiming();

        const auto start = bench::Clock::now();
        check.run({});
        checkSeconds += bench::secondsSince(start);

        state.PauseTiming();
        if (list.log.size() != expectedLogLines(messages, readReports)) {
            const std::string why = "the check made " + std::to_string(list.log.size()) + " log lines, not "
                                    + std::to_string(expectedLogLines(messages, readReports));
            state.SkipWithError(why.c_str());
            break;
        }
        list.table().close();
        QDir(home).removeRecursively();
        state.ResumeTiming();
    }
    const double n = double(messages) * double(state.iterations());
    state.SetItemsProcessed(qint64(n));
    state.counters["check_us_per_msg"] = benchmark::Counter(checkSeconds * 1e6 / n);
    state.counters["gmime_us_per_msg"] = benchmark::Counter(gmimeSeconds * 1e6 / n);
    state.counters["x_gmime"] = benchmark::Counter(checkSeconds / gmimeSeconds);
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
        files << store.deliver(QStringLiteral("VMailingList"), folderMessage(i), 1700000000 + i);
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

BENCHMARK(BM_FolderCheck)
    ->ArgNames({"messages", "reports"})
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFolder)->ArgName("messages")->Arg(1000)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract)->ArgName("MB")->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractOneLine)->ArgName("MB")->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // HTML bodies are rendered as text, which needs a GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_mime_init();
    return bench::runBenchmarks(argc, argv);
}
