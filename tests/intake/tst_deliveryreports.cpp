// Delivery failures read from standard delivery reports: the recipient
// fields alone, reports as mail systems really send them through the folder
// check, and the collection of real notices measured against its own table
// of failed addresses.
#include "intake/DeliveryReport.h"
#include "intake/FolderCheck.h"
#include "platform/outlook/MailMessage.h"
#include "store/ListWorkspace.h"
#include "store/MLSchema.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QString List = QStringLiteral("VMailingList");
const QString Bounce = QStringLiteral("Update Undeliverable ");
const QString Notices = QStringLiteral("/usr/lib/python3/dist-packages/flufl/bounce/tests/data");
const QString NoticeTable = QStringLiteral("/usr/lib/python3/dist-packages/flufl/bounce/testing/helpers.py");

QByteArray recipient(const QByteArray &address, const QByteArray &action)
{
    return "Final-Recipient: rfc822; " + address + "\r\nAction: " + action + "\r\nStatus: 5.1.1\r\n\r\n";
}

// A report as mail systems send it: a part for people that names the list's
// own address, the status fields, the returned headers.
QByteArray report(const QByteArray &subject, const QByteArray &recipients,
                  const QByteArray &contentType = "multipart/report; report-type=delivery-status",
                  const QByteArray &statusType = "message/delivery-status", bool closed = true)
{
    QByteArray m = "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\r\n"
                   "To: lists@example.net\r\nSubject: "
                   + subject
                   + "\r\n"
                     "Date: Tue, 12 Mar 2024 09:15:00 +0100\r\nMessage-ID: <"
                   + QByteArray::number(qHash(subject + recipients))
                   + "@mx.example.net>\r\nMIME-Version: 1.0\r\nContent-Type: " + contentType
                   + "; boundary=\"b1\"\r\n\r\n"
                     "--b1\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                     "Your message from lists@example.net to cid@example.org could not be delivered.\r\n"
                     "Reporting host: postmaster@mx.example.net <20240312.abc@mx.example.net>\r\n\r\n"
                     "--b1\r\nContent-Type: "
                   + statusType
                   + "\r\n\r\n"
                     "Reporting-MTA: dns; mx.example.net\r\nArrival-Date: Tue, 12 Mar 2024 09:15:00 +0100\r\n\r\n"
                   + recipients
                   + "--b1\r\nContent-Type: message/rfc822-headers\r\n\r\n"
                     "From: Lists <lists@example.net>\r\nTo: cid@example.org\r\nMessage-ID: <abc@example.net>\r\n\r\n";
    if (closed)
        m += "--b1--\r\n";
    return m;
}

struct Rig : ListWorkspace
{
    TestEnv env;
    testmail::Store store{env.home() + u8("/Maildir")};
    ScriptedPrompts prompts;
    qint64 arrival = 1000;

    Rig()
        : ListWorkspace(QStringList())
    {
        store.create();
        store.addFolder(List);
        const QString file = env.programDir() + MLTable::defaultFileName();
        createMailingListFile(file);
        openList(file);
        settings.FailedMail = true;
        settings.BounceMax = 0;
    }

    // Checks the folder holding only this message: the addresses it counted,
    // and whether it stayed.
    QStringList check(const QByteArray &raw, bool *stayed = nullptr)
    {
        const qsizetype before = log.lines().size();
        const QString path = store.deliver(List, raw, arrival++);
        FolderCheck(settings, lists, rules, prompts).run({});
        if (stayed)
            *stayed = QFileInfo::exists(path);
        QFile::remove(path);
        QStringList counted;
        for (const QString &line : log.lines().mid(before)) {
            if (line.startsWith(Bounce))
                counted << line.mid(Bounce.size(), line.indexOf(QStringLiteral(" -> ")) - Bounce.size());
        }
        return counted;
    }
};

// The collection's own table: file name, failed addresses, and whether it
// is a warning of delay rather than a failure.
struct Expected
{
    QSet<QString> failed;
    bool warning = false;
};

QHash<QString, Expected> noticeTable()
{
    const QString text = QString::fromUtf8(readFile(NoticeTable));
    QHash<QString, Expected> table;
    static const QRegularExpression row(
        QStringLiteral(R"(\(\s*'\w+',\s*'([\w.]+)',\s*\[([^\]]*)\]\s*(,\s*True)?\s*\))"));
    static const QRegularExpression address(QStringLiteral(R"(b'([^']+)')"));
    for (auto m = row.globalMatch(text); m.hasNext();) {
        const auto r = m.next();
        Expected &e = table[r.captured(1)];
        QSet<QString> addresses;
        for (auto a = address.globalMatch(r.captured(2)); a.hasNext();)
            addresses.insert(a.next().captured(1).toLower());
        if (r.capturedLength(3))
            e.warning = true;
        else
            e.failed += addresses;
    }
    return table;
}

} // namespace

class TestDeliveryReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QStringList>("failed");
        const QString head = u8("Reporting-MTA: dns; mx.example.net\n\n");
        QTest::newRow("failed, delivered, failed")
            << head
                   + u8("Final-Recipient: rfc822; a@example.org\nAction: failed\n\n"
                        "Final-Recipient: rfc822;b@example.org\nAction: delivered\n\n"
                        "Final-Recipient: RFC822; <C@Example.org>\nAction: Failed (no mailbox)\n\n"
                        "Final-Recipient: rfc822;d@example.org\nAction: error\n")
            << true << QStringList{u8("a@example.org"), u8("C@Example.org"), u8("d@example.org")};
        QTest::newRow("delays only") << head + u8("Final-Recipient: rfc822; a@example.org\nAction: delayed\n") << true
                                     << QStringList{};
        QTest::newRow("other address type: the original recipient")
            << u8("Original-Recipient: rfc822;a@example.org\r\nFinal-Recipient: x400; /C=xx/S=a/\r\nAction: failed\r\n")
            << true << QStringList{u8("a@example.org")};
        QTest::newRow("folded field, no blank line between recipients")
            << u8("Final-Recipient: rfc822;\n  a@example.org\nAction: failed\nFinal-Recipient: rfc822; "
                  "b@example.org\nAction: failed\n")
            << true << QStringList{u8("a@example.org"), u8("b@example.org")};
        QTest::newRow("UTF-8 address, escaped")
            << u8("Final-Recipient: utf-8; j\\x{F6}rg@example.org\nAction: failed\n") << true
            << QStringList{u8("jörg@example.org")};
        QTest::newRow("text for people") << u8(
            "Your message could not be delivered to a@example.org.\nAction: failed\n")
                                         << false << QStringList{};
        QTest::newRow("fields without an action")
            << u8("Final-Recipient: rfc822; a@example.org\nStatus: 5.0.0\n") << false << QStringList{};
    }

    void fields()
    {
        QFETCH(QString, text);
        QFETCH(bool, present);
        QFETCH(QStringList, failed);
        const DeliveryReport report = readDeliveryReport(text);
        QCOMPARE(report.present, present);
        QCOMPARE(report.failed, failed);
    }

    void inFolder_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("readReports");
        QTest::addColumn<QStringList>("counted");
        QTest::addColumn<bool>("stays");
        const QByteArray twoFailed = recipient("cid@example.org", "failed") + recipient("bob@example.org", "delivered")
                                     + recipient("dan@example.org", "failed") + recipient("cid@example.org", "failed");
        const QStringList cidDan{u8("cid@example.org"), u8("dan@example.org")};
        QTest::newRow("two failed, one delivered, subject in French")
            << report("Non remis : Lettre d'information", twoFailed) << true << cidDan << false;
        QTest::newRow("delays only, under a failure phrase")
            << report("Delivery failure warning: delayed", recipient("cid@example.org", "delayed")) << true
            << QStringList{} << true;
        QTest::newRow("reports not read: every address of the text")
            << report("Undelivered Mail Returned to Sender", twoFailed) << false
            << QStringList{u8("lists@example.net"), u8("cid@example.org"), u8("postmaster@mx.example.net"),
                           u8("20240312.abc@mx.example.net")}
            << false;
        QTest::newRow("global report, UTF-8 address")
            << report("Undeliverable", "Final-Recipient: utf-8; j\xc3\xb6rg@example.org\r\nAction: failed\r\n\r\n",
                      "multipart/report; report-type=global-delivery-status", "message/global-delivery-status")
            << true << QStringList{u8("jörg@example.org")} << false;
        QTest::newRow("mis-cased x- report type, fields as text")
            << report("Returned mail", recipient("dan@example.org", "failed"),
                      "Multipart/Report; Report-Type=X-Delivery-Status", "text/plain")
            << true << QStringList{u8("dan@example.org")} << false;
        QTest::newRow("no closing boundary") << report(
            "Fehler", twoFailed, "multipart/report; report-type=delivery-status", "message/delivery-status", false)
                                             << true << cidDan << false;
        QByteArray wrongBoundary = report("Undelivered Mail Returned to Sender", twoFailed);
        wrongBoundary.replace("boundary=\"b1\"", "boundary=\"b2\"");
        QTest::newRow("boundary that matches nothing: a notice without text, left to the owner")
            << wrongBoundary << true << QStringList{} << true;
        QTest::newRow("notice without a report: each failed address once")
            << testmail::message(
                   "MAILER-DAEMON@mx.example.net", "Mail delivery failed: returning message to sender",
                   "The following address(es) failed:\r\n\r\n  cid@example.org\r\n  DAN@example.org\r\n\r\n"
                   "Final-Recipient: rfc822; cid@example.org\r\n")
            << true << QStringList{u8("cid@example.org"), u8("dan@example.org")} << false;
    }

    void inFolder()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, readReports);
        QFETCH(QStringList, counted);
        QFETCH(bool, stays);
        Rig rig;
        rig.settings.ReadDeliveryReports = readReports;
        bool stayed = false;
        QCOMPARE(rig.check(raw, &stayed), counted);
        QCOMPARE(stayed, stays);
        QVERIFY(rig.prompts.calls().isEmpty());
    }

    // The collection of real notices, each checked alone, against the
    // failed addresses its makers list for it: with reports read, nearly all
    // counted exactly once, no one else counted, no delay warning counted.
    void realNotices_data()
    {
        QTest::addColumn<bool>("readReports");
        QTest::newRow("reports read") << true;
        QTest::newRow("subject phrases only, for comparison") << false;
    }

    void realNotices()
    {
        QFETCH(bool, readReports);
        const QHash<QString, Expected> table = noticeTable();
        const QStringList files = QDir(Notices).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
        if (files.isEmpty() || table.isEmpty())
            QSKIP("the notices of python3-flufl.bounce are not installed");
        Rig rig;
        rig.settings.ReadDeliveryReports = readReports;
        int expected = 0, once = 0, warningsCounted = 0;
        QStringList stray, missed;
        for (const QString &file : files) {
            if (!table.contains(file))
                continue; // no address its makers could name
            bool stayed = false;
            const QStringList counted = rig.check(readFile(QDir(Notices).filePath(file)), &stayed);
            QHash<QString, int> counts;
            for (const QString &a : counted)
                ++counts[a.toLower()];
            const Expected e = table.value(file);
            if (e.warning && e.failed.isEmpty()) {
                warningsCounted += !counted.isEmpty();
                if (readReports) {
                    QVERIFY2(counted.isEmpty(), qPrintable(file + u8(" is a delay warning")));
                    QVERIFY2(stayed, qPrintable(file));
                }
            }
            for (const QString &a : e.failed) {
                ++expected;
                if (counts.value(a) == 1)
                    ++once;
                else
                    missed << file + u8(": ") + a;
            }
            for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
                if (!e.failed.contains(it.key()))
                    stray << file + u8(": ") + it.key();
            }
        }
        QSet<QString> strayNotices;
        for (const QString &s : std::as_const(stray))
            strayNotices.insert(s.section(u':', 0, 0));
        qInfo("failed addresses counted once: %d of %d; notices counting a bystander: %d; delay warnings counted: %d; "
              "missed: %s",
              once, expected, int(strayNotices.size()), warningsCounted, qPrintable(missed.join(u8("; "))));
        if (!readReports)
            return;
        QVERIFY2(stray.isEmpty(), qPrintable(stray.join(u8("; "))));
        QVERIFY2(once * 100 >= expected * 97,
                 qPrintable(QString::number(once) + u8(" of ") + QString::number(expected)));
    }
};

QTEST_MAIN(TestDeliveryReports)
#include "tst_deliveryreports.moc"
