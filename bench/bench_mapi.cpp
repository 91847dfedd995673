// Sending a mailing list as the send dialog does: every address resolved
// through the mail component when it enters the BCC list, then the batch of
// 500 handed to the stand-in library, which resolves each again, builds the
// message and files it in the Outbox. The same messages built and filed by
// GMime directly run in turns beside it, so every figure is also a ratio.
#include "mail/Email.h"
#include "platform/mapi/Contacts.h"
#include "platform/mapi/MapiSetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

#include <chrono>
#include <ctime>
#include <memory>

#include <fcntl.h>
#include <unistd.h>
#include <utime.h>

namespace {

constexpr int PerMessage = 500;
constexpr int Contacts = 1000;

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The disk's flushes make wall times wander; processor time does not.
double cpuSeconds()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

QString address(int i)
{
    return QStringLiteral("member%1@list%2.example.org").arg(i).arg(i % 97);
}

QString body()
{
    QString text;
    while (text.size() < 2000)
        text += QStringLiteral("This month's news for the members of the list, with the dates of the meetings.\n");
    return text;
}

struct Setup
{
    Setup()
    {
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
        store = dir.path() + QStringLiteral("/Maildir");
        QDir().mkpath(store + QStringLiteral("/.Contacts/cur"));
        QDir().mkpath(store + QStringLiteral("/.Contacts/new"));
        for (int i = 0; i < Contacts; ++i) {
            QFile card(store + QStringLiteral("/.Contacts/cur/%1.vcf").arg(i));
            card.open(QIODevice::WriteOnly);
            card.write(QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Member Number %1\r\nNICKNAME:nick%1\r\n"
                                      "EMAIL;TYPE=INTERNET:contact%1@example.org\r\nEND:VCARD\r\n")
                           .arg(i)
                           .toUtf8());
        }
        // Contacts kept for a while, so the library trusts its cached copy at once.
        const struct utimbuf old
        {
            ::time(nullptr) - 60, ::time(nullptr) - 60
        };
        for (const char *sub : {"", "/cur", "/new"})
            ::utime(QFile::encodeName(store + QStringLiteral("/.Contacts") + QLatin1String(sub)).constData(), &old);
        QString error;
        if (!registerMapiStandIn(store, QStringLiteral("bench@example.org"), &error))
            qFatal("%s", qPrintable(error));
        mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
        if (!mapi->MapiAvailable())
            qFatal("libmapi32 not found in %s", MAPI_LIBRARY_DIR);
        g_mime_init();
    }

    void clear(const QString &folder) const
    {
        QDir dir(store + QLatin1Char('/') + folder + QStringLiteral("/new"));
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
    }

    QTemporaryDir dir;
    QString store;
    std::unique_ptr<SMapi> mapi;
};

Setup &setup()
{
    static Setup s;
    return s;
}

// What the library does for one message, minus everything MAPI: the
// addresses are already known, the text is already UTF-8.
void sendDirect(const QString &folder, int first, const QByteArray &subject, const QByteArray &text)
{
    GMimeMessage *message = g_mime_message_new(TRUE);
    g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_FROM, nullptr, "bench@example.org");
    InternetAddressList *bcc = internet_address_list_new();
    for (int i = first; i < first + PerMessage; ++i) {
        InternetAddress *ia = internet_address_mailbox_new(nullptr, address(i).toUtf8().constData());
        internet_address_list_add(bcc, ia);
        g_object_unref(ia);
    }
    internet_address_list_append(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_BCC), bcc);
    g_object_unref(bcc);
    g_mime_message_set_subject(message, subject.constData(), "utf-8");
    GDateTime *now = g_date_time_new_now_local();
    g_mime_message_set_date(message, now);
    g_date_time_unref(now);
    char *id = g_mime_utils_generate_message_id("example.org");
    g_mime_message_set_message_id(message, id);
    g_free(id);
    GMimeTextPart *part = g_mime_text_part_new_with_subtype("plain");
    g_mime_text_part_set_text(part, text.constData());
    g_mime_text_part_set_charset(part, "utf-8");
    g_mime_part_set_content_encoding(
        GMIME_PART(part), g_mime_part_get_best_content_encoding(GMIME_PART(part), GMIME_ENCODING_CONSTRAINT_7BIT));
    g_mime_message_set_mime_part(message, GMIME_OBJECT(part));
    g_object_unref(part);

    static int sequence = 0;
    const QByteArray name = QByteArray::number(qint64(::getpid())) + ".direct" + QByteArray::number(++sequence);
    const QByteArray tmp = QFile::encodeName(folder) + "/tmp/" + name;
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    GMimeStream *file = g_mime_stream_fs_new(fd);
    g_mime_stream_fs_set_owner(GMIME_STREAM_FS(file), FALSE);
    GMimeStream *buffered = g_mime_stream_buffer_new(file, GMIME_STREAM_BUFFER_BLOCK_WRITE);
    g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, buffered);
    g_mime_stream_flush(buffered);
    g_object_unref(buffered);
    g_object_unref(file);
    ::fsync(fd);
    ::close(fd);
    ::rename(tmp.constData(), (QFile::encodeName(folder) + "/new/" + name).constData());
    g_object_unref(message);
}

void BM_SendListInBcc(benchmark::State &state)
{
    Setup &s = setup();
    const int addresses = int(state.range(0));
    const int messages = addresses / PerMessage;
    const QString text = body();
    const QString subject = QStringLiteral("News for the list");
    const QString direct = s.store + QStringLiteral("/.Direct");
    for (const char *sub : {"/tmp", "/new", "/cur"})
        QDir().mkpath(direct + QLatin1String(sub));
    double programSeconds = 0, directSeconds = 0, programCpu = 0, directCpu = 0;
    for (auto _ : state) {
        double iterationSeconds = 0;
        TEmail email(*s.mapi);
        email.setUseDefProfile(true);
        email.setDownLoadFirst(true);
        if (email.Logon() != 0) {
            state.SkipWithError("logon failed");
            return;
        }
        for (int m = 0; m < messages; ++m) {
            auto start = Clock::now();
            double cpu = cpuSeconds();
            QStringList bcc;
            for (int i = m * PerMessage; i < (m + 1) * PerMessage; ++i) {
                const QString kept = email.ResolveRecipient(address(i));
                if (!kept.isEmpty())
                    bcc.append(kept);
            }
            email.setBcc(bcc);
            email.setSubject(subject);
            email.SetLongText(text);
            if (bcc.size() != PerMessage || email.SendMail() != 0) {
                state.SkipWithError("sending failed");
                return;
            }
            email.Reset();
            iterationSeconds += secondsSince(start);
            programCpu += cpuSeconds() - cpu;

            start = Clock::now();
            cpu = cpuSeconds();
            sendDirect(direct, m * PerMessage, subject.toUtf8(), text.toUtf8());
            directSeconds += secondsSince(start);
            directCpu += cpuSeconds() - cpu;
        }
        email.Logoff();
        programSeconds += iterationSeconds;
        state.SetIterationTime(iterationSeconds);
        state.PauseTiming();
        s.clear(QStringLiteral(".Outbox"));
        s.clear(QStringLiteral(".Direct"));
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.SetComplexityN(addresses);
    state.counters["messages_per_s"] = benchmark::Counter(messages * n / programSeconds);
    state.counters["gmime_messages_per_s"] = benchmark::Counter(messages * n / directSeconds);
    state.counters["x_gmime"] = benchmark::Counter(programSeconds / directSeconds);
    state.counters["x_gmime_cpu"] = benchmark::Counter(programCpu / directCpu);
    state.counters["us_per_address"] = benchmark::Counter(programSeconds * 1e6 / (addresses * n));
}
BENCHMARK(BM_SendListInBcc)
    ->Arg(10'000)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Names that are not addresses resolve against the contacts; one read of
// all the vCards is the figure a resolution must stay far below.
void BM_ResolveContactNames(benchmark::State &state)
{
    Setup &s = setup();
    const int names = int(state.range(0));
    auto start = Clock::now();
    int cards = 0;
    for (const QString &name : QDir(s.store + QStringLiteral("/.Contacts/cur")).entryList(QDir::Files)) {
        QFile f(s.store + QStringLiteral("/.Contacts/cur/") + name);
        f.open(QIODevice::ReadOnly);
        cards += int(mapistandin::parseVCards(f.readAll()).size());
    }
    const double readSeconds = secondsSince(start);
    if (cards != Contacts)
        state.SkipWithError("contacts not read");

    TEmail email(*s.mapi);
    email.setUseDefProfile(true);
    email.Logon();
    double seconds = 0;
    for (auto _ : state) {
        start = Clock::now();
        for (int i = 0; i < names; ++i) {
            if (email.ResolveRecipient(QStringLiteral("NICK%1").arg(i % Contacts)).isEmpty()) {
                state.SkipWithError("a name did not resolve");
                return;
            }
        }
        const double t = secondsSince(start);
        seconds += t;
        state.SetIterationTime(t);
    }
    email.Logoff();
    const double perName = seconds / (double(names) * double(state.iterations()));
    state.SetComplexityN(names);
    state.counters["us_per_name"] = benchmark::Counter(perName * 1e6);
    state.counters["contacts_read_ms"] = benchmark::Counter(readSeconds * 1e3);
    state.counters["names_per_read"] = benchmark::Counter(readSeconds / perName);
}
BENCHMARK(BM_ResolveContactNames)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
