#include "bench/FolderBench.h"

#include "bench/GMimeParse.h"
#include "platform/outlook/LocalOutlook.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"
#include "tests/testlib/MaildirWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <gmime/gmime.h>
#include <sqlite3.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace bench::folder {

namespace {

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
QByteArray folderMessageAt(qint64 i)
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

QString templateListPath()
{
    static const QString path = [] {
        const QString p = scratchPath(QStringLiteral("foldercheck-template.DAT"));
        createMailingListFile(p);
        MLTable table;
        table.setFilePath(p);
        table.open();
        MLTable::Transaction t(table);
        for (qint64 i = 0; i < ListRows; ++i)
            table.append(bench::address(i), QStringLiteral("news"), int(i % 3), QStringLiteral("Imported"));
        t.commit();
        return p;
    }();
    return path;
}

// The address a message's request names, as the floor looks it up.
QByteArray requestAddress(qint64 i)
{
    const QByteArray listed = bench::address(i % ListRows).toUtf8();
    const qint64 kind = i % 10;
    return kind < 4 && i % 2 ? bench::address(ListRows + i).toUtf8() : listed;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

} // namespace

QByteArray message(qint64 i)
{
    return folderMessageAt(i);
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

QList<QByteArray> messages(qint64 count)
{
    QList<QByteArray> mail;
    mail.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        mail << folderMessageAt(i);
    return mail;
}

Round::Round(const QString &d, const QList<QByteArray> &mail)
    : dir(d)
    , storeRoot(d + QStringLiteral("/Maildir"))
    , listPath(d + QStringLiteral("/mailist.DAT"))
{
    testmail::Store store(storeRoot);
    store.create();
    store.addFolder(QStringLiteral("VMailingList"));
    binDir = store.addFolder(QStringLiteral("Deleted Items")) + QStringLiteral("/cur");
    files.reserve(mail.size());
    for (qsizetype i = 0; i < mail.size(); ++i)
        files << store.deliver(QStringLiteral("VMailingList"), mail[i], 1700000000 + i);
    QFile::copy(templateListPath(), listPath);
    // The files just written go to the disk now, not while a side is timed.
    ::sync();
}

Round::~Round()
{
    QDir(dir).removeRecursively();
}

CheckStore::CheckStore(const Round &round, bool readReports)
    : Store(round.listPath)
    , root(round.storeRoot)
{
    settings.FailedMail = true;
    settings.ReadDeliveryReports = readReports;
    settings.ScanAllEmailLines = false;
    settings.MultipleCategorySupport = true;
}

std::function<platform::outlook::OleVariant()> CheckStore::application() const
{
    return [root = root] { return platform::outlook::OleVariant(platform::outlook::createLocalApplication(root)); };
}

namespace {

double processorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double kernelSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
}

} // namespace

Stopwatch::Stopwatch()
    : m_start(Clock::now())
    , m_cpu(processorSeconds())
    , m_kernel(kernelSeconds())
{
}

Spent Stopwatch::spent() const
{
    return {secondsSince(m_start), processorSeconds() - m_cpu, kernelSeconds() - m_kernel};
}

void reportAgainstFloor(benchmark::State &state, const Spent &checked, const Spent &floor, qint64 messages)
{
    const double n = double(messages) * double(state.iterations());
    state.SetItemsProcessed(qint64(n));
    state.counters["check_us_per_msg"] = benchmark::Counter(checked.wall * 1e6 / n);
    state.counters["floor_us_per_msg"] = benchmark::Counter(floor.wall * 1e6 / n);
    state.counters["x_floor"] = benchmark::Counter(checked.wall / floor.wall);
    state.counters["check_cpu_us_per_msg"] = benchmark::Counter(checked.cpu * 1e6 / n);
    state.counters["floor_cpu_us_per_msg"] = benchmark::Counter(floor.cpu * 1e6 / n);
    state.counters["x_floor_cpu"] = benchmark::Counter(checked.cpu / floor.cpu);
    state.counters["check_kernel_us_per_msg"] = benchmark::Counter(checked.kernel * 1e6 / n);
    state.counters["floor_kernel_us_per_msg"] = benchmark::Counter(floor.kernel * 1e6 / n);
}

Spent rawFloor(const Round &round)
{
    RawDb raw(round.listPath);
    raw.exec("CREATE TABLE IF NOT EXISTS HandledMessages (Identity BLOB NOT NULL PRIMARY KEY,"
             " HandledAt INTEGER NOT NULL)");
    const Stopwatch clock;
    for (qsizetype i = 0; i < round.files.size(); ++i) {
        const QString &path = round.files[i];
        QByteArray bytes = readAll(path);
        GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
        GMimeParser *parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage *parsed = g_mime_parser_construct_message(parser, nullptr);
        benchmark::DoNotOptimize(parsed);
        if (parsed)
            g_object_unref(parsed);
        g_object_unref(parser);
        g_object_unref(stream);

        // Whether an earlier check handled it already.
        const QByteArray identity = QByteArray::number(i).leftJustified(16, '.');
        sqlite3_stmt *handled = raw.prepare("SELECT 1 FROM HandledMessages WHERE Identity = ?1");
        sqlite3_bind_blob(handled, 1, identity.constData(), int(identity.size()), SQLITE_TRANSIENT);
        benchmark::DoNotOptimize(raw.step(handled));
        sqlite3_reset(handled);

        const qint64 kind = i % 10;
        if (kind >= 8)
            continue;
        raw.exec("BEGIN IMMEDIATE");
        sqlite3_stmt *find = raw.prepare("SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                         "WHERE Item = ?1 ORDER BY rowid LIMIT 1");
        raw.bind(find, 1, requestAddress(i));
        const bool found = raw.step(find);
        const qint64 rowid = found ? sqlite3_column_int64(find, 0) : 0;
        const int bounces = found ? sqlite3_column_int(find, 3) : 0;
        sqlite3_reset(find);
        if (kind < 4 && !found) {
            sqlite3_stmt *s = raw.prepare("INSERT INTO mailist (Item, Category, Bounces, Comments) "
                                          "VALUES (?1, 'news', 0, 'Subscribed')");
            raw.bind(s, 1, requestAddress(i));
            raw.step(s);
        } else if ((kind == 4 || kind == 5) && found) {
            sqlite3_stmt *s = raw.prepare("DELETE FROM mailist WHERE rowid = ?1");
            sqlite3_bind_int64(s, 1, rowid);
            raw.step(s);
        } else if (kind >= 6 && found) {
            sqlite3_stmt *s = raw.prepare("UPDATE mailist SET Bounces = ?1 WHERE rowid = ?2");
            sqlite3_bind_int(s, 1, bounces + 1);
            sqlite3_bind_int64(s, 2, rowid);
            raw.step(s);
        }
        sqlite3_stmt *s = raw.prepare("INSERT OR REPLACE INTO HandledMessages (Identity, HandledAt) VALUES (?1, ?2)");
        sqlite3_bind_blob(s, 1, identity.constData(), int(identity.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, QDateTime::currentSecsSinceEpoch());
        raw.step(s);
        raw.exec("COMMIT");
        const QByteArray from = QFile::encodeName(path);
        const QByteArray to = QFile::encodeName(round.binDir + QLatin1Char('/') + path.section(QLatin1Char('/'), -1));
        if (std::rename(from.constData(), to.constData()) != 0)
            throw std::runtime_error("cannot move " + path.toStdString());
    }
    return clock.spent();
}

} // namespace bench::folder
