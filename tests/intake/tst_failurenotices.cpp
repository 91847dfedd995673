// Notices of failed delivery as the mail systems write them, through the real
// folder check with delivery reports read: whom each one counts, and that
// auto-replies, delay warnings and spam complaints count no one.
#include "intake/FolderCheck.h"
#include "store/ListWorkspace.h"
#include "store/MLSchema.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QTest>

namespace {

const QString List = QStringLiteral("VMailingList");

// A notice to the owner; `headers` name at least From and Subject.
QByteArray mail(const QByteArray &headers, const QByteArray &body, const QByteArray &type = "text/plain; charset=utf-8")
{
    return "Date: Tue, 12 Mar 2024 09:15:00 +0100\nMessage-ID: <" + QByteArray::number(qHash(headers + body))
           + ".bounce@mx.example.com>\n" + headers + "\nMIME-Version: 1.0\nContent-Type: " + type + "\n\n" + body;
}

QByteArray daemon(const QByteArray &subject, const QByteArray &more = {})
{
    return "Return-Path: <>\nFrom: Mail Delivery System <MAILER-DAEMON@mx.example.com>\nTo: lists@example.net\n"
           "Subject: "
           + subject + more;
}

// The sent message as returned, in a part of its own after the text.
QByteArray withReturned(const QByteArray &headers, const QByteArray &text, const QByteArray &to,
                        const QByteArray &partType = "message/rfc822")
{
    return mail(headers,
                "--b\nContent-Type: text/plain\n\n" + text + "\n--b\nContent-Type: " + partType
                    + "\n\nFrom: Lists <lists@example.net>\nTo: " + to
                    + "\nSubject: News\nMessage-ID: <n1.lists@example.net>\n\nHello\n--b--\n",
                "multipart/mixed; boundary=b");
}

QByteArray complaint(const QByteArray &fields)
{
    return mail("From: abuse@example.com\nTo: lists@example.net\nSubject: Complaint about message",
                "--b\nContent-Type: text/plain\n\nThis is an abuse report.\n--b\n"
                "Content-Type: message/feedback-report\n\nFeedback-Type: abuse\nUser-Agent: ReportBot/1.0\n"
                "Version: 1\n"
                    + fields
                    + "\n--b\nContent-Type: message/rfc822-headers\n\nFrom: lists@example.net\n"
                      "To: dan@example.net\nSubject: News\n\n--b--\n",
                "multipart/report; report-type=feedback-report; boundary=b");
}

} // namespace

class TestFailureNotices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notices_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("removeComplainers");
        QTest::addColumn<QStringList>("acted"); // "bounce a" and "remove a", in order
        QTest::addColumn<bool>("stays");
        QTest::addColumn<bool>("reported"); // an error line asks the owner to look
        const QStringList ann{u8("bounce ann@example.net")};
        const QStringList none;

        QTest::newRow("Exim, failed recipients named in a header")
            << mail(daemon("Mail delivery failed: returning message to sender",
                           "\nX-Failed-Recipients: ann@example.net\nAuto-Submitted: auto-replied"),
                    "This message was created automatically by mail delivery software.\n\n"
                    "A message that you sent could not be delivered to one or more of its\n"
                    "recipients. This is a permanent error. The following address(es) failed:\n\n"
                    "  ann@example.net\n    host mx.example.net [192.0.2.7]\n"
                    "    SMTP error from remote mail server after RCPT TO:<ann@example.net>:\n"
                    "    550 5.1.1 User unknown\n\n------ This is a copy of the message, including all the headers.\n"
                    "Return-path: <lists@example.net>\nFrom: lists@example.net\nTo: ann@example.net\n")
            << true << ann << false << false;
        QTest::newRow("Exim relative, two addresses, no header")
            << mail(daemon("Mail delivery failed"),
                    "The following addresses failed:\n\n  <ann@example.net>\n  quota exceeded\n"
                    "  bob@example.net\n    550 no mailbox\n")
            << true << QStringList{u8("bounce ann@example.net"), u8("bounce bob@example.net")} << false << false;
        QTest::newRow("qmail") << mail(daemon("failure notice"),
                                       "Hi. This is the qmail-send program at mx.example.com.\n"
                                       "I'm afraid I wasn't able to deliver your message to the following addresses.\n"
                                       "This is a permanent error; I've given up. Sorry it didn't work out.\n\n"
                                       "<ann@example.net>:\n192.0.2.7 does not like recipient.\n"
                                       "Remote host said: 550 5.1.1 unknown user\n\n"
                                       "--- Below this line is a copy of the message.\n\n"
                                       "Return-Path: <lists@example.net>\nTo: dan@example.net\n")
                               << true << ann << false << false;
        QTest::newRow("Gmail, address not found")
            << mail("From: Mail Delivery Subsystem <mailer-daemon@googlemail.com>\nTo: lists@example.net\n"
                    "Subject: Delivery Status Notification (Failure)",
                    "** Address not found **\n\nYour message wasn't delivered to ann@example.net because the address "
                    "couldn't be found, or is unable to receive mail.\n\nThe response from the remote server was:\n"
                    "550 5.1.1 The email account that you tried to reach does not exist. 20240312.x@mx.google.com\n")
            << true << ann << false << false;
        QTest::newRow("Gmail, older text")
            << mail("From: Mail Delivery Subsystem <mailer-daemon@googlemail.com>\nTo: lists@example.net\n"
                    "Subject: Delivery Status Notification",
                    "Delivery to the following recipient failed permanently:\n\n     ann@example.net\n\n"
                    "Technical details of permanent failure:\nThe email account that you tried to reach does not "
                    "exist.\n")
            << true << ann << false << false;
        QTest::newRow("Google Groups: the returned message's recipient")
            << withReturned("From: Mail Delivery Subsystem <mailer-daemon@googlemail.com>\nTo: lists@example.net\n"
                            "Subject: Address not found",
                            "We're writing to let you know that the group you tried to contact (team) may not exist, "
                            "or you may not have permission to post messages to the group.",
                            "Team <team@example.net>, Cid <cid@example.net>")
            << true << QStringList{u8("bounce team@example.net")} << false << false;
        QTest::newRow("sendmail") << mail(
            daemon("Returned mail: see transcript for details"),
            "The original message was received at Tue, 12 Mar 2024 from lists@example.net\n\n"
            "   ----- The following addresses had permanent fatal errors -----\n<ann@example.net>\n"
            "    (reason: 550 5.1.1 <ann@example.net>... User unknown)\n\n"
            "   ----- Transcript of session follows -----\n... while talking to mx.example.net.:\n"
            ">>> RCPT To:<ann@example.net>\n<<< 550 5.1.1 <ann@example.net>... User unknown\n")
                                  << true << ann << false << false;
        QTest::newRow("Postfix without a report")
            << mail(daemon("Undelivered Mail Returned to Sender"),
                    "This is the mail system at host mx.example.com.\n\nI'm sorry to have to inform you that your "
                    "message could not\nbe delivered to one or more recipients.\n\nFor further assistance, please "
                    "send mail to postmaster.\n\n                   The mail system\n\n"
                    "<ann@example.net>: host mx.example.net[192.0.2.7] said: 550 5.1.1\n    <ann@example.net>: "
                    "Recipient address rejected: User unknown (in reply to RCPT TO\n    command)\n")
            << true << ann << false << false;
        QTest::newRow("Exchange") << mail(
            "From: postmaster@example.com\nTo: lists@example.net\nSubject: Undeliverable: News",
            "Delivery has failed to these recipients or groups:\n\nAnn Example (ann@example.net)\n"
            "The email address you entered couldn't be found.\n\nDiagnostic information for administrators:\n"
            "\nGenerating server: EX1.example.com\n\nann@example.net\nRemote Server returned '550 5.1.10 "
            "RESOLVER.ADR.RecipientNotFound'\n\nOriginal message headers:\n\nFrom: lists@example.net\n")
                                  << true << ann << false << false;
        QTest::newRow("Office 365") << mail(
            "From: Microsoft Outlook <postmaster@example.com>\nTo: lists@example.net\nSubject: Undeliverable: "
            "News",
            "Your message to ann@example.net couldn't be delivered.\nann wasn't found at example.net.\n")
                                    << true << ann << false << false;
        QTest::newRow("error delivering your mail to")
            << mail(daemon("Returned mail"), "There was an error delivering your mail to <ann@example.net>.\n") << true
            << ann << false << false;
        QTest::newRow("Amazon SES") << mail(
            "From: MAILER-DAEMON@amazonses.com\nTo: lists@example.net\nSubject: Delivery Status Notification "
            "(Failure)",
            "An error occurred while trying to deliver the mail to the following recipients:\n"
            "ann@example.net\n") << true
                                    << ann << false << false;
        QTest::newRow("mail.ru, in Russian")
            << mail("From: mailer-daemon@corp.mail.ru\nTo: lists@example.net\nSubject: "
                    "=?UTF-8?B?0J3QtdC00L7RgdGC0LDQstC70LXQvdC90L7QtSDRgdC+0L7QsdGJ0LXQvdC40LU=?=",
                    "К сожалению, Ваше письмо не может\nбыть доставлено одному или нескольким получателям:\n\n"
                    "ann@example.net\n\nРекомендуем Вам проверить корректность указания адресов получателей.\n")
            << true << ann << false << false;
        QTest::newRow("GMX, in German") << mail(
            "From: mailer-daemon@gmx.net\nTo: lists@example.net\nSubject: Mail delivery failed",
            "Die Nachricht konnte nicht zugestellt werden an:\nann@example.net\n\nGrund: Benutzer unbekannt\n")
                                        << true << ann << false << false;
        QTest::newRow("Zoho") << mail(
            daemon("Undelivered Mail Returned to Sender"),
            "ann@example.net, ERROR CODE :550 - The mail server could not deliver mail to ann@example.net. "
            "The account or domain may not exist.\n")
                              << true << ann << false << false;
        QTest::newRow("OpenSMTPD") << mail(
            daemon("Delivery status notification: error"),
            "Hi!\n\nThis is the MAILER-DAEMON, please DO NOT REPLY to this e-mail.\n\nAn error has occurred "
            "while attempting to deliver a message for\nthe following list of recipients:\n\n"
            "ann@example.net: 550 5.1.1 User unknown\n\nBelow is a copy of the original message:\n\n"
            "To: dan@example.net\n")
                                   << true << ann << false << false;
        QTest::newRow("Lotus Notes") << mail(
            "From: Postmaster@example.com\nTo: lists@example.net\nSubject: DELIVERY FAILURE: User ann not "
            "listed",
            "Your message\n\n  Subject: News\n\nwas not delivered to:\n\n  ann@example.net\n\nbecause:\n\n"
            "  User ann (ann@example.net) not listed in Domino Directory\n")
                                     << true << ann << false << false;
        QTest::newRow("Japanese carrier")
            << mail(daemon("=?UTF-8?B?6YWN5L+h44Ko44Op44O8?="),
                    "以下のアドレスへのメールは配信できませんでした。\n\nann@example.net\n")
            << true << ann << false << false;
        QTest::newRow("last resort: the returned headers' recipient")
            << withReturned(daemon("Undelivered mail"), "Your message could not be delivered.", "ann@example.net",
                            "text/rfc822-headers")
            << true << ann << false << false;
        QTest::newRow("return address naming the recipient, whatever the text")
            << mail("Return-Path: <>\nFrom: MAILER-DAEMON@mx.example.com\nTo: list+ann=example.net@example.org\n"
                    "Delivered-To: list+ann=example.net@example.org\nSubject: failure notice",
                    "<dan@example.net>:\nmailbox unavailable\n")
            << true << ann << false << false;
        QTest::newRow("only bystanders in the text: left for the owner")
            << mail(daemon("Undelivered Mail Returned to Sender"),
                    "Your message from lists@example.net could not be delivered.\n"
                    "Contact postmaster@mx.example.com about <20240312.ab@mx.example.com>.\n")
            << true << none << true << true;
        QTest::newRow("auto-reply") << mail(
            "Return-Path: <>\nFrom: Ann <ann@example.net>\nTo: lists@example.net\nAuto-Submitted: "
            "auto-replied\nSubject: Automatic reply: News",
            "I am out of the office; mail to dan@example.net could not be delivered while I am away.\n")
                                    << true << none << true << false;
        QTest::newRow("out of office, null return path")
            << mail("Return-Path: <>\nFrom: ann@example.net\nTo: lists@example.net\nSubject: Out of Office: News",
                    "I will be back on Monday.\n")
            << true << none << true << false;
        QTest::newRow("delay warning") << mail(
            daemon("Delayed Mail (still being retried)"),
            "####### THIS IS A WARNING ONLY.  YOU DO NOT NEED TO RESEND YOUR MESSAGE. #######\n\n"
            "<ann@example.net>: host mx.example.net[192.0.2.7] said: 452 4.2.2 Mailbox full\n")
                                       << true << none << true << false;
        QTest::newRow("report without a usable failed recipient: the text decides")
            << mail(daemon("Undelivered Mail Returned to Sender"),
                    "--b\nContent-Type: text/plain\n\n<ann@example.net>: host mx.example.net[192.0.2.7] said: 550 "
                    "no such user\n--b\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; "
                    "mx.example.com\n\nFinal-Recipient : rfc822; ann@example.net\nAction: expired\n\n--b--\n",
                    "multipart/report; report-type=delivery-status; boundary=b")
            << true << ann << false << false;
        QTest::newRow("report of a delivery")
            << mail(daemon("Delivery Status Notification (Relay)"),
                    "--b\nContent-Type: text/plain\n\nYour message was delivered to ann@example.net.\n--b\n"
                    "Content-Type: message/delivery-status\n\nReporting-MTA: dns; mx.example.com\n\n"
                    "Final-Recipient: rfc822; ann@example.net\nAction: relayed\nStatus: 2.0.0\n\n--b--\n",
                    "multipart/report; report-type=delivery-status; boundary=b")
            << true << none << true << false;
        QTest::newRow("read receipt with a null return path")
            << mail("Return-Path: <>\nFrom: ann@example.net\nTo: lists@example.net\nSubject: Read: News",
                    "--b\nContent-Type: text/plain\n\nYour message to ann@example.net was read.\n--b\n"
                    "Content-Type: message/disposition-notification\n\nFinal-Recipient: rfc822; ann@example.net\n"
                    "Disposition: manual-action/MDN-sent-manually; displayed\n\n--b--\n",
                    "multipart/report; report-type=disposition-notification; boundary=b")
            << true << none << true << false;
        QTest::newRow("spam complaint, removal on") << complaint("Original-Rcpt-To: ann@example.net\n") << true
                                                    << QStringList{u8("remove ann@example.net")} << false << false;
        QTest::newRow("spam complaint without a recipient field: the returned message's")
            << complaint("") << true << QStringList{u8("remove dan@example.net")} << false << false;
        QTest::newRow("spam complaint, removal off")
            << complaint("Original-Rcpt-To: ann@example.net\n") << false << none << true << false;
    }

    void notices()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, removeComplainers);
        QFETCH(QStringList, acted);
        QFETCH(bool, stays);
        QFETCH(bool, reported);
        TestEnv env;
        testmail::Store store(env.home() + u8("/Maildir"));
        store.create();
        store.addFolder(List);
        const QString file = env.programDir() + MLTable::defaultFileName();
        createMailingListFile(file);
        ListWorkspace work{QStringList()};
        work.openList(file);
        work.settings.FailedMail = true;
        work.settings.ReadDeliveryReports = true;
        work.settings.RemoveComplainers = removeComplainers;
        work.settings.DefaultToAddress = u8("lists@example.net");
        work.settings.SmtpSender = u8("list@example.org");
        for (const char *member : {"ann@example.net", "dan@example.net"})
            work.table().append(QString::fromUtf8(member), u8("Default"), 0, u8("old"));
        const QString path = store.deliver(List, raw, 1000);
        ScriptedPrompts prompts;
        FolderCheck(work.settings, work.lists, work.rules, prompts).run({});

        QStringList done;
        for (const QString &line : work.log.lines()) {
            if (line.startsWith(u8("Update Undeliverable ")))
                done << u8("bounce ") + line.section(u' ', 2, 2);
            else if (line.startsWith(u8("REMOVE ")))
                done << u8("remove ") + line.section(u' ', 1, 1);
        }
        QCOMPARE(done, acted);
        QCOMPARE(QFileInfo::exists(path), stays);
        QCOMPARE(work.errors.lines(),
                 reported ? QStringList{u8("Delivery failure: no failed address found in 'Undelivered Mail Returned "
                                           "to Sender'")}
                          : QStringList{});
    }
};

QTEST_MAIN(TestFailureNotices)
#include "tst_failurenotices.moc"
