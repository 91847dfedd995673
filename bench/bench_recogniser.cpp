// What recognising one message costs, with delivery reports read and not,
// apart from reading, storing and moving it: over the folder check's own
// messages, and over a folder where half the messages are notices of many
// mail systems without a standard report. The messages are read once,
// untimed, as the check reads them.
#include "bench/BenchSupport.h"
#include "bench/FolderBench.h"
#include "intake/MessageCommands.h"
#include "platform/outlook/LocalOutlook.h"
#include "tests/testlib/MaildirWriter.h"

#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

using platform::outlook::OleVariant;

QByteArray notice(const QByteArray &from, const QByteArray &subject, const QByteArray &body,
                  const QByteArray &extra = {})
{
    return "Return-Path: <>\r\nReceived: from mx.example.org by mail.example.net; Tue, 12 Mar 2024 09:15:05 +0100\r\n"
           "Date: Tue, 12 Mar 2024 09:15:00 +0100\r\nFrom: "
           + from + "\r\nTo: lists@example.net\r\nSubject: " + subject + "\r\nMessage-ID: <"
           + QByteArray::number(qHash(subject + body)) + "@mx.example.org>\r\n" + extra
           + "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + body;
}

QByteArray returned(const QByteArray &to)
{
    return "From: lists@example.net\r\nTo: " + to
           + "\r\nSubject: News\r\nMessage-ID: <n1@example.net>\r\n\r\nThis month's news.\r\n";
}

// Notices in the shapes mail systems write them, and what passes for one.
QByteArray noticeAt(qint64 i)
{
    const QByteArray a = bench::address(i % bench::folder::ListRows).toUtf8();
    switch (i % 8) {
    case 0:
        return notice("Mail Delivery System <Mailer-Daemon@mx.example.org>", "Mail delivery failed",
                      "This message was created automatically by mail delivery software.\r\n\r\n"
                      "A message that you sent could not be delivered to one or more of its\r\n"
                      "recipients. This is a permanent error. The following address(es) failed:\r\n\r\n  "
                          + a
                          + "\r\n    host mx.example.org [192.0.2.7]\r\n    SMTP error from remote mail "
                            "server after RCPT TO:<"
                          + a
                          + ">:\r\n    550 5.1.1 User unknown\r\n\r\n------ This is a copy of the message, "
                            "including all the headers. ------\r\n\r\n"
                          + returned(a),
                      "X-Failed-Recipients: " + a + "\r\n");
    case 1:
        return notice("MAILER-DAEMON@mx.example.org", "failure notice",
                      "Hi. This is the qmail-send program at mx.example.org.\r\nI'm afraid I wasn't able to "
                      "deliver your message to the following addresses.\r\nThis is a permanent error; I've given "
                      "up. Sorry it didn't work out.\r\n\r\n<"
                          + a
                          + ">:\r\nSorry, no mailbox here by that name. (#5.1.1)\r\n\r\n--- Below this line is "
                            "a copy of the message.\r\n\r\n"
                          + returned(a));
    case 2:
        return notice("Mail Delivery Subsystem <mailer-daemon@googlemail.example.com>",
                      "Delivery Status Notification (Failure)",
                      "** Address not found **\r\n\r\nYour message wasn't delivered to " + a
                          + " because the address couldn't be found.\r\n\r\nDelivery to the following recipient "
                            "failed permanently:\r\n\r\n     "
                          + a
                          + "\r\n\r\nTechnical details of permanent failure:\r\nThe email account that you tried "
                            "to reach does not exist.\r\n\r\n----- Original message -----\r\n\r\n"
                          + returned(a));
    case 3:
        return notice("Mail Delivery Subsystem <MAILER-DAEMON@mx.example.org>", "Returned mail: see transcript",
                      "The original message was received at Tue, 12 Mar 2024 09:14:00 +0100\r\nfrom "
                      "lists.example.net [192.0.2.1]\r\n\r\n   ----- The following addresses had permanent "
                      "fatal errors -----\r\n"
                          + a
                          + "\r\n    (reason: 550 5.1.1 User unknown)\r\n\r\n   ----- Transcript of session "
                            "follows -----\r\n... while talking to mx.example.org.:\r\n>>> RCPT To:<"
                          + a + ">\r\n<<< 550 5.1.1 <" + a + ">... User unknown\r\n550 5.1.1 " + a
                          + "... User unknown\r\n\r\n   ----- Original message follows -----\r\n\r\n" + returned(a));
    case 4:
        return notice("postmaster@outlook.example.com", "Undeliverable: News",
                      "Your message to " + a
                          + " couldn't be delivered.\r\n\r\nThe address wasn't found at the destination "
                            "domain.\r\n\r\nOriginal message headers:\r\n\r\n"
                          + returned(a));
    case 5:
        return notice("Reader <" + a + ">", "Automatic reply: News",
                      "I am out of the office until Monday and will answer your mail then.\r\n",
                      "Auto-Submitted: auto-replied\r\n");
    case 6:
        return notice("Mail Delivery System <MAILER-DAEMON@mx.example.org>", "Warning: message delayed",
                      "This message was created automatically by mail delivery software.\r\nA message that you "
                      "sent has not yet been delivered to one or more of its\r\nrecipients after more than 24 "
                      "hours on the queue. No action is required\r\non your part; delivery attempts will "
                      "continue.\r\n\r\n  "
                          + a + "\r\n    Delay reason: mailbox is full\r\n");
    default:
        return notice("Mail Administrator <postmaster@mail.example.org>", "Problem delivering your mail",
                      "There was an error delivering your mail to <" + a
                          + ">.\r\n\r\nThe recipient's mailbox is over quota.\r\n");
    }
}

// Every other message one of the above, the rest as the check's folder.
QByteArray noticeMixAt(qint64 i)
{
    return i % 2 ? noticeAt(i / 2) : bench::folder::message(i / 2);
}

QList<HeldMessage> readAll(const QList<QByteArray> &mail, const QString &root)
{
    testmail::Store store(root);
    store.create();
    store.addFolder(QStringLiteral("VMailingList"));
    for (qsizetype i = 0; i < mail.size(); ++i)
        store.deliver(QStringLiteral("VMailingList"), mail[i], 1700000000 + i);
    const OleVariant folder = OleVariant(platform::outlook::createLocalApplication(root))
                                  .call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
                                  .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")})
                                  .call(QStringLiteral("Folders"), {QStringLiteral("VMailingList")});
    const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
    QList<HeldMessage> held;
    for (int i = 1; i <= count; ++i) {
        const OleVariant item = folder.call(QStringLiteral("Items"), {i});
        HeldMessage m;
        m.Memo1 = MessageCommands::memoLines(item.call(QStringLiteral("subject")).toText(),
                                             item.call(QStringLiteral("body")).toText());
        m.edtsender = item.call(QStringLiteral("Reply"))
                          .call(QStringLiteral("Recipients"), {1})
                          .call(QStringLiteral("Address"))
                          .toText();
        m.deliveryStatus = item.call(QStringLiteral("DeliveryStatus")).toText();
        m.headers = item.call(QStringLiteral("HeaderText")).toText();
        m.returnedHeaders = item.call(QStringLiteral("ReturnedHeaders")).toText();
        held << m;
    }
    return held;
}

void BM_Recognise(benchmark::State &state)
{
    constexpr qint64 Messages = 2000;
    const bool notices = state.range(0) != 0;
    QList<QByteArray> mail;
    for (qint64 i = 0; i < Messages; ++i)
        mail << (notices ? noticeMixAt(i) : bench::folder::message(i));
    QTemporaryDir work;
    const QList<HeldMessage> held = readAll(mail, work.path() + QStringLiteral("/Maildir"));
    ListWorkspace list(QStringList{});
    list.settings.FailedMail = true;
    list.settings.ReadDeliveryReports = state.range(1) != 0;
    list.settings.ScanAllEmailLines = false;
    const MessageCommands commands(list.settings, list.lists, list.rules);
    qint64 recognised = 0;
    for (auto _ : state) {
        recognised = 0;
        for (const HeldMessage &m : held) {
            HeldMessage copy = m;
            recognised += commands.recognise(copy).has_value();
        }
    }
    state.SetItemsProcessed(qint64(held.size()) * state.iterations());
    state.counters["recognised"] = benchmark::Counter(double(recognised));
    state.counters["us_per_msg"] = benchmark::Counter(double(held.size()) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Recognise)
    ->ArgNames({"notices", "reports"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

} // namespace

int main(int argc, char **argv)
{
    return bench::folder::runWithApplication<QGuiApplication>(argc, argv);
}
