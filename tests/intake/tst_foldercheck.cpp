// The mailing-list folder check end to end: real Maildir stores and RFC 5322
// messages written here, the real table and entry rules, the check itself
// and the window it runs in.
#include "core/SettingsStore.h"
#include "dialogs/getlist.h"
#include "intake/FolderCheck.h"
#include "platform/outlook/Maildir.h"
#include "store/HandledMessages.h"
#include "store/ListWorkspace.h"
#include "store/MLSchema.h"
#include "store/SqliteDb.h"
#include "store/StoreTestUtil.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/SlowCase.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using testmail::message;

namespace {

const QString List = QStringLiteral("VMailingList");
const QString Bin = QStringLiteral("Deleted Items");

// The sent time of testmail::DefaultDate as the comment shows it.
QString sentText()
{
    return getdatetimestring(QDateTime(QDate(2024, 3, 12), QTime(8, 15), Qt::UTC).toLocalTime());
}

QString withDate(QString line)
{
    return line.replace(u8("%D"), sentText());
}

QStringList withDate(QStringList lines)
{
    for (QString &l : lines)
        l = withDate(l);
    return lines;
}

// A user's store, list and settings as after a first start; the log starts
// empty, so a test sees only the lines its messages made.
struct Rig : ListWorkspace
{
    TestEnv env;
    testmail::Store store{env.home() + u8("/Maildir")};
    ScriptedPrompts prompts;
    QList<int> maxima;
    int advances = 0;
    std::function<void(int)> onAdvance; // gets the listed index of the item about to be read

    explicit Rig(bool withFolder = true)
        : ListWorkspace(QStringList())
    {
        store.create();
        if (withFolder)
            store.addFolder(List);
        const QString file = env.programDir() + MLTable::defaultFileName();
        createMailingListFile(file);
        openList(file);
        settings.FailedMail = false;
        settings.MultipleCategorySupport = true;
        settings.UpdateCommentsWhenEntryExists = true;
        settings.ScanAllEmailLines = false;
        settings.AlternativeCategory = settings.defaultcategory;
    }

    QString deliver(const QByteArray &bytes, qint64 arrival, bool seen = false)
    {
        return store.deliver(List, bytes, arrival, seen);
    }

    FolderCheck::Progress progress()
    {
        FolderCheck::Progress p;
        p.setMaximum = [this](int n) { maxima << n; };
        // The test messages share one received time: they go in arrival order.
        p.advance = [this] {
            ++advances;
            if (onAdvance)
                onAdvance(advances);
        };
        return p;
    }

    void run() { FolderCheck(settings, lists, rules, prompts).run(progress()); }

    // "Item|Category|Bounces" of every entry, in table order.
    QStringList entries()
    {
        QStringList out;
        MLTable &t = table();
        for (t.first(); !t.eof(); t.next())
            out << QStringLiteral("%1|%2|%3").arg(t.current().Item, t.current().Category).arg(t.current().Bounces);
        return out;
    }
};

const QStringList Preloaded
    = {u8("bob@example.org|sports|0"), u8("bob@example.org|news|0"), u8("cid@example.org|Default|3")};

void preload(Rig &rig)
{
    for (const QString &row : Preloaded) {
        const QStringList f = row.split(u'|');
        rig.table().append(f[0], f[1], f[2].toInt(), u8("old"));
    }
}

} // namespace

class TestFolderCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>(
            "flags"); // S scan all lines, N no sender fallback, F failure notices, B word on both lists
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QStringList>("entries"); // besides the preloaded ones
        const QByteArray ann = "Ann Berg <ann@example.org>";
        const QString byAnn = u8(" [Changed enacted by e-mail sent %D by ann@example.org] -> ");
        const QStringList none;

        QTest::newRow("subscribe in the subject")
            << message(ann, "subscribe news", "Hello,\r\nplease add me.\r\n") << QString()
            << QStringList{u8("ADD ann@example.org news") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|news|0")};
        QTest::newRow("unsubscribe on the first body line")
            << message("Bob <bob@example.org>", "list", "unsubscribe\r\nthanks\r\n") << QString()
            << QStringList{u8(
                   "REMOVE bob@example.org Default [Changed enacted by e-mail sent %D by bob@example.org] -> "
                   "E-mail address not found!")}
            << none << none;
        QTest::newRow("later line, whole message searched")
            << message(ann, "hi", "Hello,\r\n\r\njoin sports\r\nsubscribe news\r\n") << u8("S")
            << QStringList{u8("ADD ann@example.org sports") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|sports|0")};
        QTest::newRow("line 3 not searched")
            << message(ann, "hi", "Hello,\r\n\r\njoin sports\r\n") << QString() << none << none << none;
        QTest::newRow("address and category words")
            << message(ann, "unsubscribe bob@example.org sports news", "") << QString()
            << QStringList{u8("REMOVE bob@example.org sports") + byAnn + u8("Entry successfully deleted!")} << none
            << QStringList{u8("-bob@example.org|sports|0")};
        QTest::newRow("category before the address, second address ignored")
            << message(ann, "join news dan@example.org eve@example.org", "") << QString()
            << QStringList{u8("ADD dan@example.org news") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("dan@example.org|news|0")};
        QTest::newRow("Re: and me dropped")
            << message(ann, "Re: subscribe me", "") << QString()
            << QStringList{u8("ADD ann@example.org Default") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|Default|0")};
        QTest::newRow("RE: SUBSCRIBE, empty body")
            << message(ann, "RE: SUBSCRIBE", "") << QString()
            << QStringList{u8("ADD ann@example.org Default") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|Default|0")};
        QTest::newRow("unsubscribe all") << message("bob@example.org", "unsubscribe all", "") << QString()
                                         << QStringList{u8(
                                                "REMOVE bob@example.org  [Changed enacted by e-mail sent %D by "
                                                "bob@example.org] -> Entry successfully deleted!")}
                                         << none
                                         << QStringList{u8("-bob@example.org|sports|0"), u8("-bob@example.org|news|0")};
        QTest::newRow("word on both lists unsubscribes")
            << message("bob@example.org", "both news", "") << u8("B")
            << QStringList{u8("REMOVE bob@example.org news [Changed enacted by e-mail sent %D by bob@example.org] -> "
                              "Entry successfully deleted!")}
            << none << QStringList{u8("-bob@example.org|news|0")};
        QTest::newRow("no sender fallback")
            << message(ann, "subscribe", "") << u8("N")
            << QStringList{u8("ADD  Default") + byAnn + u8("Not Added: Invalid E-mail Address!")}
            << QStringList{u8("ADD  Default -> Not Added: Invalid E-mail Address!")} << none;
        QTest::newRow("no sender fallback, address given")
            << message(ann, "subscribe dan@example.org", "") << u8("N")
            << QStringList{u8("ADD dan@example.org Default") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("dan@example.org|Default|0")};
        QTest::newRow("Reply-To before From")
            << message(ann, "subscribe news", "", "Reply-To: Ann at home <ann.home@example.net>\r\n") << QString()
            << QStringList{u8(
                   "ADD ann.home@example.net news [Changed enacted by e-mail sent %D by ann.home@example.net] -> "
                   "Entered Successfully")}
            << none << QStringList{u8("ann.home@example.net|news|0")};
        QTest::newRow("control character before the at")
            << message(ann, "subscribe \x07@iana.org", "") << QString()
            << QStringList{u8("ADD @iana.org Default") + byAnn + u8("Not Added: Invalid E-mail Address!")}
            << QStringList{u8("ADD @iana.org Default -> Not Added: Invalid E-mail Address!")} << none;
        QTest::newRow("sender without an address")
            << message("Ann Berg", "subscribe news", "") << QString()
            << QStringList{u8(
                   "ADD  news [Changed enacted by e-mail sent %D by ] -> Not Added: Invalid E-mail Address!")}
            << QStringList{u8("ADD  news -> Not Added: Invalid E-mail Address!")} << none;
        QTest::newRow("no From, no Date")
            << message("", "subscribe news", "", {}, "") << QString()
            << QStringList{u8("ADD  news [Changed enacted by e-mail sent  by ] -> Not Added: Invalid E-mail Address!")}
            << QStringList{u8("ADD  news -> Not Added: Invalid E-mail Address!")} << none;
        QTest::newRow("existing entry gets the newer comment")
            << message("BOB@example.org", "subscribe news", "") << QString()
            << QStringList{u8("ADD BOB@example.org news [Changed enacted by e-mail sent %D by BOB@example.org] -> "
                              "Entry already exists!")}
            << none << none;
        QTest::newRow("encoded subject, base64")
            << message(ann, "=?UTF-8?B?c3Vic2NyaWJlIG5ld3M=?=", "") << QString()
            << QStringList{u8("ADD ann@example.org news") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|news|0")};
        QTest::newRow("encoded subject, Q in two words")
            << message(ann, "=?ISO-8859-1?Q?join_sp?= =?ISO-8859-1?Q?orts_caf=E9?=", "") << QString()
            << QStringList{u8("ADD ann@example.org sports") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|sports|0")};
        QTest::newRow("folded subject keeps two words")
            << message(ann, "subscribe\r\n\tnews", "") << QString()
            << QStringList{u8("ADD ann@example.org news") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|news|0")};
        QTest::newRow("HTML only") << QByteArray(
            "Date: Tue, 12 Mar 2024 09:15:00 +0100\r\nFrom: Ann Berg <ann@example.org>\r\nSubject: hi\r\n"
            "MIME-Version: 1.0\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
            "<html><body><p>join&nbsp;news</p><p>Bye</p></body></html>\r\n")
                                   << QString()
                                   << QStringList{u8("ADD ann@example.org news") + byAnn + u8("Entered Successfully")}
                                   << none << QStringList{u8("ann@example.org|news|0")};
        QTest::newRow("base64 body") << QByteArray(
            "Date: Tue, 12 Mar 2024 09:15:00 +0100\r\nFrom: ann@example.org\r\n"
            "Subject: hi\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\nc3Vic2NyaWJlIG5ld3MNCg==\r\n")
                                     << QString()
                                     << QStringList{u8("ADD ann@example.org news") + byAnn + u8("Entered Successfully")}
                                     << none << QStringList{u8("ann@example.org|news|0")};
        QTest::newRow("failure phrase with failure notices off")
            << message(ann, "Undeliverable: subscribe news", "subscribe sports\r\n") << QString()
            << QStringList{u8("ADD ann@example.org sports") + byAnn + u8("Entered Successfully")} << none
            << QStringList{u8("ann@example.org|sports|0")};
        QTest::newRow("failure phrase and command, notices on")
            << message("MAILER-DAEMON@example.net", "Undeliverable: subscribe news",
                       "Your message to <cid@example.org> could not be delivered.\r\n")
            << u8("F") << QStringList{u8("Update Undeliverable cid@example.org -> Bounce count incremented!")} << none
            << QStringList{u8("-cid@example.org|Default|3"), u8("cid@example.org|Default|4")};
        QTest::newRow("unrecognised") << message(ann, "Question", "How do I join?\r\n") << u8("SF") << none << none
                                      << none;
    }

    void commands()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, flags);
        QFETCH(QStringList, log);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, entries);
        Rig rig;
        preload(rig);
        rig.settings.ScanAllEmailLines = flags.contains(u'S');
        rig.settings.allowfromaddressasentry = !flags.contains(u'N');
        rig.settings.FailedMail = flags.contains(u'F');
        if (flags.contains(u'B')) {
            rig.lists.addstr.add(u8("BOTH"));
            rig.lists.remstr.add(u8("BOTH"));
        }
        const QString path = rig.deliver(raw, 1000);
        rig.run();

        QCOMPARE(rig.log.lines(), withDate(log));
        QCOMPARE(rig.errors.lines(), errors);
        QStringList expectedEntries = Preloaded;
        for (const QString &e : std::as_const(entries)) {
            if (e.startsWith(u'-'))
                expectedEntries.removeOne(e.mid(1));
            else
                expectedEntries << e;
        }
        QCOMPARE(rig.entries(), expectedEntries);
        // Recognised means deleted: moved to the bin unchanged; else untouched.
        const bool recognised = !log.isEmpty();
        QCOMPARE(QFileInfo::exists(path), !recognised);
        if (recognised)
            QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{raw});
        else
            QCOMPARE(readFile(path), raw);
        QVERIFY(rig.prompts.calls().isEmpty());
    }

    void failureNotices_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QStringList>("phrases"); // empty: the built-in ones
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("deleted");
        const QByteArray daemon = "Mail Delivery System <MAILER-DAEMON@mx.example.net>";
        const QStringList unchanged
            = {u8("bob@example.org|sports|0"), u8("cid@example.org|Default|3"), u8("dan@example.org|x|9")};
        QTest::newRow("repeated address, removal at the limit")
            << message(daemon, "Mail delivery failed: returning message to sender",
                       "This message was created automatically by mail delivery software.\r\n\r\n"
                       "  cid@example.org\r\n    host mx.example.org: 550 no such user\r\n"
                       "  dan@example.org\r\n    mailbox full\r\n\r\n"
                       "Final-Recipient: rfc822; cid@example.org\r\n"
                       "Reporting-MTA: dns; mx.example.net\r\n")
            << QStringList{}
            << QStringList{u8("Update Undeliverable cid@example.org -> Bounce count incremented!"),
                           u8("Update Undeliverable dan@example.org -> Entry successfully deleted!"),
                           u8("Update Undeliverable cid@example.org -> Bounce count incremented!")}
            << QStringList{u8("bob@example.org|sports|0"), u8("cid@example.org|Default|5")} << true;
        QTest::newRow("addresses in the subject first, sender not read")
            << message(daemon, "Undelivered Mail to <Bob@Example.org>", "To: unknown@example.com\r\n") << QStringList{}
            << QStringList{u8("Update Undeliverable Bob@Example.org -> Bounce count incremented!"),
                           u8("Update Undeliverable unknown@example.com -> E-mail address not found!")}
            << QStringList{u8("bob@example.org|sports|1"), u8("cid@example.org|Default|3"), u8("dan@example.org|x|9")}
            << true;
        QTest::newRow("no address: still deleted")
            << message(daemon, "Undelivered Mail Returned to Sender", "The mail system could not deliver it.\r\n")
            << QStringList{} << QStringList{} << unchanged << true;
        QTest::newRow("phrase in any letter case")
            << message(daemon, "uNdElIvErAbLe", "x cid@example.org\r\n") << QStringList{}
            << QStringList{u8("Update Undeliverable cid@example.org -> "
                              "Bounce count incremented!")}
            << QStringList{u8("bob@example.org|sports|0"), u8("cid@example.org|Default|4"), u8("dan@example.org|x|9")}
            << true;
        QTest::newRow("phrase only in the body")
            << message(daemon, "Notice", "Delivery failure for cid@example.org\r\n") << QStringList{} << QStringList{}
            << unchanged << false;
        QTest::newRow("an empty phrase matches nothing")
            << message(daemon, "Notice", "cid@example.org\r\n") << QStringList{QString(), u8("Zustellung")}
            << QStringList{} << unchanged << false;
        QTest::newRow("invalid addresses are not counted")
            << message(daemon, "failure notice", "x..y@example.org, no.dot@localhost, <cid@example.org>.\r\n")
            << QStringList{} << QStringList{u8("Update Undeliverable cid@example.org -> Bounce count incremented!")}
            << QStringList{u8("bob@example.org|sports|0"), u8("cid@example.org|Default|4"), u8("dan@example.org|x|9")}
            << true;
    }

    void failureNotices()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QStringList, phrases);
        QFETCH(QStringList, log);
        QFETCH(QStringList, entries);
        QFETCH(bool, deleted);
        Rig rig;
        rig.settings.FailedMail = true;
        rig.settings.ReadDeliveryReports = false;
        if (!phrases.isEmpty())
            rig.lists.failed.setItems(phrases);
        rig.table().append(u8("bob@example.org"), u8("sports"), 0, u8("old"));
        rig.table().append(u8("cid@example.org"), u8("Default"), 3, u8("old"));
        rig.table().append(u8("dan@example.org"), u8("x"), 9, u8("old"));
        const QString path = rig.deliver(raw, 1);
        rig.run();
        QCOMPARE(rig.log.lines(), log);
        QCOMPARE(rig.errors.lines(), QStringList{});
        QCOMPARE(rig.entries(), entries);
        QCOMPARE(QFileInfo::exists(path), !deleted);
        QCOMPARE(rig.store.contents(Bin), deleted ? QList<QByteArray>{raw} : QList<QByteArray>{});
    }

    // Oldest item first; what is recognised leaves unchanged, the rest stays
    // exactly where and as it was.
    void mixedFolderOldestFirst()
    {
        Rig rig;
        rig.settings.FailedMail = true;
        rig.table().append(u8("old@example.org"), u8("news"), 0, u8("old"));
        const QList<QByteArray> messages = {
            message("a@example.org", "subscribe news", ""),
            message("b@example.org", "Lunch?", "Are you free on Friday?\r\njoin us\r\n"),
            message("MAILER-DAEMON@example.net", "Returned mail: see transcript",
                    "<old@example.org>... User unknown\r\n"),
            message("c@example.org", "unsubscribe", ""),
            message("d@example.org", "Newsletter", "<p>subscribe now!</p>\r\n"),
            message("e@example.org", "hello", "join sports\r\n"),
        };
        QStringList paths;
        for (int i = 0; i < messages.size(); ++i)
            paths << rig.deliver(messages[i], 1700000000 + i * 60, i % 2);
        const auto before = rig.store.snapshot();
        rig.run();

        QCOMPARE(rig.log.lines(),
                 withDate(QStringList{
                     u8("ADD a@example.org news [Changed enacted by e-mail sent %D by a@example.org] -> Entered "
                        "Successfully"),
                     u8("Update Undeliverable old@example.org -> Bounce count incremented!"),
                     u8("REMOVE c@example.org Default [Changed enacted by e-mail sent %D by c@example.org] -> "
                        "E-mail address not found!"),
                     u8("ADD e@example.org sports [Changed enacted by e-mail sent %D by e@example.org] -> Entered "
                        "Successfully")}));
        QCOMPARE(rig.maxima, QList<int>{6});
        QCOMPARE(rig.advances, 6);
        QCOMPARE(rig.store.contents(Bin), testmail::sorted({messages[0], messages[2], messages[3], messages[5]}));
        auto after = rig.store.snapshot();
        for (int i : {1, 4}) {
            const QString rel = QDir(rig.store.root()).relativeFilePath(paths[i]);
            QCOMPARE(after.value(rel), before.value(rel));
        }
        // Apart from the moves, nothing was added, removed or changed.
        for (int i : {0, 2, 3, 5})
            after.remove(QDir(rig.store.root()).relativeFilePath(paths[i]));
        QStringList added;
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (!before.contains(it.key()))
                added << it.key();
            else
                QCOMPARE(it.value(), before.value(it.key()));
        }
        QCOMPARE(added.size(), 5); // four messages and the new folder's marker
        for (const QString &a : std::as_const(added))
            QVERIFY2(a.startsWith(u8(".Deleted Items/")), qPrintable(a));
    }

    // Requests apply oldest received first, whatever order their files
    // arrived in; equal times keep arrival order.
    void requestsApplyInReceivedOrder_data()
    {
        QTest::addColumn<QByteArrayList>("subjects"); // in arrival order
        QTest::addColumn<QByteArrayList>("received");
        QTest::addColumn<QStringList>("entries");
        const QByteArray early = "Tue, 12 Mar 2024 09:00:00 +0000";
        const QByteArray late = "Tue, 12 Mar 2024 09:05:00 +0000";
        const QStringList in{u8("p@example.org|Default|0")};
        QTest::newRow("subscribe, then unsubscribe")
            << QByteArrayList{"subscribe", "unsubscribe"} << QByteArrayList{early, late} << QStringList();
        QTest::newRow("unsubscribe, then subscribe")
            << QByteArrayList{"unsubscribe", "subscribe"} << QByteArrayList{early, late} << in;
        QTest::newRow("same time: arrival order")
            << QByteArrayList{"subscribe", "unsubscribe"} << QByteArrayList{early, early} << QStringList();
        QTest::newRow("unsubscribe received first, arrived last")
            << QByteArrayList{"subscribe", "unsubscribe"} << QByteArrayList{late, early} << in;
        QTest::newRow("subscribe received first, arrived last")
            << QByteArrayList{"unsubscribe", "subscribe"} << QByteArrayList{late, early} << QStringList();
        // 10:04 +0100 is 09:04 UTC: before the unsubscribe, though later on the clock.
        QTest::newRow("times in other zones")
            << QByteArrayList{"unsubscribe", "subscribe", "subscribe news"}
            << QByteArrayList{"Tue, 12 Mar 2024 09:06:00 +0000", "Tue, 12 Mar 2024 10:04:00 +0100", late}
            << QStringList{u8("p@example.org|news|0")};
    }

    void requestsApplyInReceivedOrder()
    {
        QFETCH(QByteArrayList, subjects);
        QFETCH(QByteArrayList, received);
        QFETCH(QStringList, entries);
        Rig rig;
        for (int i = 0; i < subjects.size(); ++i) {
            QByteArray raw = message("p@example.org", subjects[i], "");
            raw.replace("Tue, 12 Mar 2024 09:15:05 +0100", received[i]);
            QVERIFY(raw.contains(received[i]));
            rig.deliver(raw, 1700000000 + i);
        }
        rig.run();
        QCOMPARE(rig.entries(), entries);
        QCOMPARE(rig.store.count(List), 0);
    }

    void emptyFolder()
    {
        Rig rig;
        const auto before = rig.store.snapshot();
        rig.run();
        QCOMPARE(rig.maxima, QList<int>{0});
        QCOMPARE(rig.advances, 0);
        QVERIFY(rig.log.lines().isEmpty());
        QVERIFY(rig.prompts.calls().isEmpty());
        QCOMPARE(rig.store.snapshot(), before);
    }

    void missingFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << List << true;
        QTest::newRow("no") << List << false;
        QTest::newRow("yes, name with blanks and umlauts") << u8("Anmeldungen für Listen") << true;
    }

    void missingFolder()
    {
        QFETCH(QString, name);
        QFETCH(bool, yes);
        Rig rig(false);
        rig.settings.MailingListGroup = name;
        rig.store.addFolder(u8("Other"));
        rig.store.deliver(u8("Other"), message("a@example.org", "subscribe", ""), 1);
        const auto before = rig.store.snapshot();
        const QStringList dirsBefore
            = QDir(rig.store.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        rig.prompts.queueConfirm(yes ? Prompts::Answer::Yes : Prompts::Answer::No);
        rig.run();

        QCOMPARE(rig.prompts.calls().size(), 1);
        QCOMPARE(rig.prompts.texts(ScriptedPrompts::Kind::Confirm),
                 QStringList{u8("The folder, ") + name + u8(", cannot be found.  Would you like to create it?")});
        const platform::outlook::Maildir maildir(rig.store.root());
        QCOMPARE(maildir.folderNames().contains(name), yes);
        QVERIFY(rig.log.lines().isEmpty());
        if (yes) {
            QCOMPARE(rig.maxima, QList<int>{0});
            QVERIFY(QFileInfo(maildir.folderPath(name) + u8("/new")).isDir());
        } else {
            QVERIFY(rig.maxima.isEmpty());
            QCOMPARE(QDir(rig.store.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     dirsBefore);
        }
        // Only the new folder's own files, if any, were added.
        auto after = rig.store.snapshot();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.take(it.key()), it.value());
        QCOMPARE(after.keys(),
                 yes ? QStringList{u8(".") + platform::outlook::Maildir::encodeName(name) + u8("/maildirfolder")}
                     : QStringList{});
    }

    void folderThatCannotBeCreated()
    {
        Rig rig(false);
        // A file where the folder would go: creation fails even for root.
        QFile blocker(rig.store.root() + u8("/.VMailingList"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("in the way");
        blocker.close();
        rig.prompts.queueConfirm(Prompts::Answer::Yes);
        rig.run();
        QCOMPARE(rig.prompts.texts(ScriptedPrompts::Kind::Confirm).size(), 1);
        QCOMPARE(rig.prompts.warnings().size(), 1);
        QVERIFY2(rig.prompts.warnings().first().startsWith(u8("The folder, VMailingList, could not be created")),
                 qPrintable(rig.prompts.warnings().first()));
        QCOMPARE(readFile(rig.store.root() + u8("/.VMailingList")), QByteArray("in the way"));
        QVERIFY(rig.maxima.isEmpty());
    }

    void aMissingStoreEndsTheCheck()
    {
        Rig rig;
        QVERIFY(QDir(rig.store.root()).removeRecursively());
        try {
            rig.run();
            QFAIL("the check went on without a store");
        } catch (const platform::outlook::AutomationError &e) {
            QVERIFY2(e.message().contains(rig.store.root()), qPrintable(e.message()));
        }
        QVERIFY(!QFileInfo::exists(rig.store.root()));
        QVERIFY(rig.prompts.calls().isEmpty());
    }

    // A message that vanishes or cannot be read ends the check at that item:
    // what came before stays handled, what comes after stays in the folder.
    void unreadableMessageEndsTheCheck_data()
    {
        QTest::addColumn<bool>("vanish");
        QTest::newRow("vanished") << true;
        QTest::newRow("cannot be read") << false;
    }

    void unreadableMessageEndsTheCheck()
    {
        QFETCH(bool, vanish);
        Rig rig;
        QList<QByteArray> messages;
        QStringList paths;
        for (int i = 1; i <= 4; ++i) {
            messages << message(QStringLiteral("m%1@example.org").arg(i).toUtf8(), "subscribe", "");
            paths << rig.deliver(messages.last(), i);
        }
        rig.onAdvance = [&](int index) {
            if (index != 2)
                return;
            QFile::remove(paths[1]);
            if (!vanish)
                QDir().mkdir(paths[1]); // a directory reads as no file at all
        };
        QString failure;
        try {
            rig.run();
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        QVERIFY2(failure.contains(QFileInfo(paths[1]).fileName()), qPrintable(failure));
        QCOMPARE(rig.log.size(), 1);
        QVERIFY(rig.log.lines()[0].startsWith(u8("ADD m1@example.org Default")));
        QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{messages[0]});
        QCOMPARE(readFile(paths[2]), messages[2]);
        QCOMPARE(readFile(paths[3]), messages[3]);
        QCOMPARE(rig.entries(), QStringList{u8("m1@example.org|Default|0")});
    }

    void failedDeleteEndsTheCheck()
    {
        Rig rig;
        const QByteArray first = message("m1@example.org", "subscribe", "");
        const QByteArray second = message("m2@example.org", "subscribe", "");
        const QString p1 = rig.deliver(first, 1);
        const QString p2 = rig.deliver(second, 2);
        // The bin cannot be made: a file stands where it would go.
        QFile blocker(rig.store.root() + u8("/.Deleted Items"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY_THROWS_EXCEPTION(platform::outlook::AutomationError, rig.run());
        // The list changed before the delete failed; the message stays for the next check.
        QCOMPARE(rig.log.size(), 1);
        QCOMPARE(rig.entries(), QStringList{u8("m1@example.org|Default|0")});
        QCOMPARE(readFile(p2), second);
        QCOMPARE(readFile(p1), first);
    }

    void readOnlyFolderEndsTheCheck()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root; failedDeleteEndsTheCheck covers the failing move");
        Rig rig;
        const QByteArray raw = message("m1@example.org", "subscribe", "");
        const QString path = rig.deliver(raw, 1);
        rig.store.addFolder(Bin);
        const QString dir = QFileInfo(path).path();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY_THROWS_EXCEPTION(platform::outlook::AutomationError, rig.run());
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readFile(path), raw);
        QCOMPARE(rig.store.count(Bin), 0);
    }

    void tableFailureEndsTheCheck()
    {
        Rig rig;
        const QByteArray raw = message("a@example.org", "subscribe news", "");
        const QString path = rig.deliver(raw, 0);
        rig.deliver(message("b@example.org", "subscribe news", ""), 1);
        rig.table().close();
        QVERIFY_THROWS_EXCEPTION(TableError, rig.run());
        QCOMPARE(rig.log.lines(),
                 withDate(QStringList{
                     u8("ADD a@example.org news [Changed enacted by e-mail sent %D by a@example.org] -> ")}));
        QCOMPARE(readFile(path), raw);
        QCOMPARE(rig.store.count(List), 2);
    }

    // A list file that cannot be written consumes no request: the change
    // that cannot be stored ends the check and its message stays; a rule's
    // answer (here: not found) still deletes its message.
    void listFileThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only file") << u8("file");
        QTest::newRow("read-only connection") << u8("connection");
        QTest::newRow("busy past the limit") << u8("busy");
    }

    void listFileThatCannotBeWritten()
    {
        QFETCH(QString, how);
        Rig rig;
        preload(rig);
        const QByteArray first = message("a1@example.org", "subscribe", "");
        const QByteArray second = message("a2@example.org", "subscribe news", "");
        const QByteArray ghost = message("ghost@example.org", "unsubscribe", "");
        const QString p3 = rig.deliver(ghost, 1);
        const QString p2 = rig.deliver(second, 2);
        const QString p1 = rig.deliver(first, 3);
        const QString file = rig.table().filePath();

        std::unique_ptr<RawDb> holder;
        // Permissions do not bind root; an immutable file does.
        auto setReadOnly = [&](bool on) {
            if (::geteuid() == 0)
                return QProcess::execute(u8("chattr"), {on ? u8("+i") : u8("-i"), file}) == 0;
            // SQLite gives its side files the list file's mode.
            const QFileDevice::Permissions mode = on ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner;
            for (const QString &side : {u8("-wal"), u8("-shm")})
                QFile::setPermissions(file + side, mode);
            return QFile::setPermissions(file, mode);
        };
        // Whatever the test's outcome, the file ends writable (and removable).
        auto restore = qScopeGuard([&] {
            if (how == u8("file"))
                setReadOnly(false);
        });
        if (how == u8("file")) {
            rig.table().close();
            if (!setReadOnly(true))
                QSKIP("chattr cannot make the file immutable here");
            rig.openList(file);
            const bool readOnly = rig.table().readOnly();
            if (!readOnly)
                setReadOnly(false);
            QVERIFY(readOnly);
        } else if (how == u8("connection")) {
            rig.table().connection().exec("PRAGMA query_only = ON");
        } else {
            holder = std::make_unique<RawDb>(file);
            QCOMPARE(holder->exec("BEGIN IMMEDIATE"), SQLITE_OK);
        }
        QString failure;
        try {
            rig.run();
        } catch (const TableError &e) {
            failure = e.message();
        }
        QVERIFY2(failure.contains(u8("could not be changed")) && failure.contains(QDir::toNativeSeparators(file)),
                 qPrintable(failure));
        QVERIFY2(failure.contains(how == u8("busy") ? u8("busy") : u8("read-only")), qPrintable(failure));
        QCOMPARE(readFile(p1), first);
        QCOMPARE(rig.entries(), Preloaded);
        QCOMPARE(rig.errors.lines(), QStringList{}); // the request is in the folder, not lost to the error list
        if (how != u8("file")) {
            // No transaction could even begin: the rejection waits too.
            QVERIFY2(failure.contains(u8("\"unsubscribe\"")), qPrintable(failure));
            QCOMPARE(readFile(p3), ghost);
            QCOMPARE(readFile(p2), second);
            QCOMPARE(rig.log.lines(), QStringList{});
            if (holder)
                holder->exec("ROLLBACK");
            else
                rig.table().connection().exec("PRAGMA query_only = OFF");
        } else {
            QVERIFY2(failure.contains(u8("\"subscribe news\"")) && failure.contains(QFileInfo(p2).fileName()),
                     qPrintable(failure));
            QCOMPARE(readFile(p2), second);
            QVERIFY(!QFileInfo::exists(p3));
            QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{ghost});
            QCOMPARE(rig.log.lines(),
                     withDate({u8("REMOVE ghost@example.org Default [Changed enacted by e-mail sent %D by "
                                  "ghost@example.org] -> E-mail address not found!"),
                               u8("ADD a2@example.org news [Changed enacted by e-mail sent %D by a2@example.org] -> "
                                  "Error inserting into database!")}));
            rig.table().close();
            QVERIFY(setReadOnly(false));
            rig.openList(file);
        }
        // Writable again: the next check applies what stayed, once.
        rig.log.clear();
        rig.run();
        const QStringList added{u8("a2@example.org|news|0"), u8("a1@example.org|Default|0")};
        QCOMPARE(rig.entries(), Preloaded + added);
        QCOMPARE(rig.store.count(List), 0);
        QCOMPARE(rig.store.count(Bin), 3);
        QCOMPARE(rig.log.size(), how == u8("file") ? 2 : 3);
    }

    // A message whose move fails after its change was stored is applied
    // once, however often the check meets it again.
    void failedMoveAppliesOnce()
    {
        Rig rig;
        rig.settings.FailedMail = true;
        rig.table().append(u8("cid@example.org"), u8("Default"), 3, u8("old"));
        const QByteArray notice = message("MAILER-DAEMON@example.net", "Undeliverable: news",
                                          "Your message to <cid@example.org> failed.\r\n");
        const QString path = rig.deliver(notice, 1);
        QFile blocker(rig.store.root() + u8("/.Deleted Items"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        for (int check = 0; check < 4; ++check)
            QVERIFY_THROWS_EXCEPTION(platform::outlook::AutomationError, rig.run());
        QCOMPARE(rig.entries(), QStringList{u8("cid@example.org|Default|4")});
        QCOMPARE(rig.log.lines(), QStringList{u8("Update Undeliverable cid@example.org -> Bounce count incremented!")});
        QCOMPARE(readFile(path), notice);
        QCOMPARE(HandledMessages(rig.table()).count(), 1);

        QVERIFY(blocker.remove());
        rig.run();
        QCOMPARE(rig.entries(), QStringList{u8("cid@example.org|Default|4")});
        QCOMPARE(rig.log.size(), 1);
        QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{notice});
    }

    // A mail client marks messages as seen while the check runs: new/ to
    // cur/, flags after ":2,". Each is the same item under its unique name.
    void messagesRenamedDuringTheCheck()
    {
        Rig rig;
        QList<QByteArray> messages;
        for (int i = 1; i <= 6; ++i) {
            messages << message(QStringLiteral("r%1@example.org").arg(i).toUtf8(), "subscribe", "");
            rig.deliver(messages.last(), i, i % 2 == 0);
        }
        const QString dir = rig.store.folderDir(List);
        rig.onAdvance = [&](int) {
            // Every message changes its name before each item is read.
            for (const QString &name : QDir(dir + u8("/new")).entryList(QDir::Files))
                QVERIFY(QFile::rename(dir + u8("/new/") + name, dir + u8("/cur/") + name + u8(":2,S")));
            for (const QString &name : QDir(dir + u8("/cur")).entryList(QDir::Files)) {
                const QString flags = name.endsWith(u8(",S")) ? u8(":2,RS") : u8(":2,S");
                QVERIFY(QFile::rename(dir + u8("/cur/") + name, dir + u8("/cur/") + name.section(u':', 0, 0) + flags));
            }
        };
        rig.run();
        QCOMPARE(rig.log.size(), 6);
        QCOMPARE(rig.entries().size(), 6);
        QCOMPARE(rig.store.count(List), 0);
        QCOMPARE(rig.store.contents(Bin), testmail::sorted(messages));
    }

    // Only regular files are messages: a link (to a device or to a message),
    // a pipe and a directory are passed over and left as they are.
    void onlyRegularFilesAreItems()
    {
        Rig rig;
        const QByteArray raw = message("real@example.org", "subscribe", "");
        const QString real = rig.deliver(raw, 5);
        const QString dir = rig.store.folderDir(List);
        QVERIFY(QFile::link(u8("/dev/zero"), dir + u8("/new/1.zero.host")));
        QVERIFY(QFile::link(real, dir + u8("/new/2.copy.host")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir + u8("/new/3.fifo.host")).constData(), 0600), 0);
        QVERIFY(QDir().mkdir(dir + u8("/cur/4.dir.host:2,S")));
        rig.run();
        QCOMPARE(rig.maxima, QList<int>{1});
        QCOMPARE(rig.log.size(), 1);
        QCOMPARE(rig.entries(), QStringList{u8("real@example.org|Default|0")});
        QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{raw});
        QVERIFY(QFileInfo(dir + u8("/new/1.zero.host")).isSymLink());
        QVERIFY(QFileInfo(dir + u8("/new/2.copy.host")).isSymLink());
        QVERIFY(QFileInfo::exists(dir + u8("/new/3.fifo.host")));
        QVERIFY(QFileInfo(dir + u8("/cur/4.dir.host:2,S")).isDir());
    }

    // A message file the user cannot read ends the check, naming the file.
    void unreadableFileIsNamed()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root");
        Rig rig;
        const QString readable = rig.deliver(message("m1@example.org", "subscribe", ""), 1);
        const QString locked = rig.deliver(message("m2@example.org", "subscribe", ""), 2);
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        QString failure;
        try {
            rig.run();
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY2(failure.contains(QDir::toNativeSeparators(locked)), qPrintable(failure));
        QVERIFY(rig.log.lines().isEmpty());
        QVERIFY(QFileInfo::exists(readable));
    }

    // The window: painted first, then the check once, then it closes itself.
    void windowRunsTheCheckOnce()
    {
        Rig rig;
        for (int i = 1; i <= 3; ++i)
            rig.deliver(message(QStringLiteral("w%1@example.org").arg(i).toUtf8(), "join", ""), i);
        rig.deliver(message("x@example.org", "no command", ""), 0);
        FolderCheck check(rig.settings, rig.lists, rig.rules, rig.prompts);
        TfrmExtractentries window(check);
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(window.isModal());
        QCOMPARE(window.Label1->text(), u8("Accessing Outlook Entries.."));
        QVERIFY(window.Label1->font().bold());
        int checks = 0;
        connect(window.ProgressBar1, &QProgressBar::valueChanged, &window, [&](int v) { checks += v == 1; });

        window.show();
        QVERIFY(rig.log.lines().isEmpty()); // not before the window is painted
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 20000);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(window.failure(), QString());
        QCOMPARE(rig.log.size(), 3);
        QCOMPARE(window.ProgressBar1->maximum(), 4);
        QCOMPARE(window.ProgressBar1->value(), 4);
        QCOMPARE(checks, 1);
        QVERIFY(!window.Timer1.isActive());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(rig.store.count(List), 1);
    }

    void windowKeepsTheFailure()
    {
        Rig rig;
        QStringList paths;
        for (int i = 1; i <= 3; ++i)
            paths << rig.deliver(message(QStringLiteral("w%1@example.org").arg(i).toUtf8(), "join", ""), i);
        FolderCheck check(rig.settings, rig.lists, rig.rules, rig.prompts);
        TfrmExtractentries window(check);
        // The bar moves before each item is read: the second one goes away
        // once the first is under way (later positions may go unpainted).
        connect(window.ProgressBar1, &QProgressBar::valueChanged, &window, [&](int v) {
            if (v == 1)
                QFile::remove(paths[1]);
        });
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 20000);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY2(window.failure().contains(QFileInfo(paths[1]).fileName()), qPrintable(window.failure()));
        QCOMPARE(rig.log.size(), 1);
        QCOMPARE(rig.store.count(Bin), 1);
        QVERIFY(QFileInfo::exists(paths[2]));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(rig.prompts.calls().isEmpty()); // the main window reports it, not the check
    }

    // Whatever a file holds, the check neither crashes nor loses or alters it.
    void badInput_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QByteArray binary(4096, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char((i * 7919 + 13) % 256);
        QByteArray nested = "From: a@example.org\r\nSubject: deep\r\nMIME-Version: 1.0\r\n";
        for (int i = 0; i < 200; ++i)
            nested += "Content-Type: multipart/mixed; boundary=\"b" + QByteArray::number(i) + "\"\r\n\r\n--b"
                      + QByteArray::number(i) + "\r\n";
        nested += "Content-Type: text/plain\r\n\r\nsubscribe deep\r\n";

        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("only blank lines") << QByteArray("\r\n\r\n\n\n");
        QTest::newRow("headerless text") << QByteArray("subscribe news\r\nplease\r\n");
        QTest::newRow("binary") << binary;
        QTest::newRow("binary after headers") << QByteArray("Subject: subscribe\r\n\r\n") + binary;
        QTest::newRow("headers only, no blank line") << QByteArray("From: a@example.org\r\nSubject: join news");
        QTest::newRow("no Date, no From") << QByteArray("Subject: subscribe\r\n\r\nhi\r\n");
        QTest::newRow("broken encoded words")
            << QByteArray("From: =?utf-8?B?!!!?= <a@example.org>\r\nSubject: =?utf-8?Q?sub=ZZscribe?= =?x?B?\r\n\r\n");
        QTest::newRow("broken base64 body") << QByteArray(
            "From: a@example.org\r\nSubject: x\r\nContent-Transfer-Encoding: base64\r\n\r\n@@@@c3Vi!!\r\n");
        QTest::newRow("invalid UTF-8 labelled UTF-8") << QByteArray(
            "From: a@example.org\r\nSubject: \xff\xfe sub\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
            "join \xc3\x28 \xed\xa0\x80 news\r\n");
        QTest::newRow("unknown charset") << QByteArray(
            "From: a@example.org\r\nSubject: =?x-klingon?Q?join?=\r\nContent-Type: text/plain; "
            "charset=x-klingon\r\n\r\n"
            "\x81\x82 unsubscribe\r\n");
        QTest::newRow("unterminated multipart") << QByteArray(
            "From: a@example.org\r\nSubject: x\r\nContent-Type: multipart/mixed; boundary=zz\r\n\r\n--zz\r\n"
            "Content-Type: text/plain\r\n\r\nunsubscribe\r\n--z");
        QTest::newRow("deeply nested multipart") << nested;
        QTest::newRow("NUL in a header") << QByteArray("From: a@example.org\r\nSubject: join\0news\r\n\r\nx\r\n", 42);
        QTest::newRow("one megabyte line")
            << QByteArray("From: a@example.org\r\nSubject: undeliverable\r\n\r\n") + QByteArray(1 << 20, '@');
        QTest::newRow("lone CR line ends") << QByteArray("From: a@example.org\rSubject: join news\r\rjoin\r");
    }

    void badInput()
    {
        QFETCH(QByteArray, raw);
        for (bool all : {false, true}) {
            Rig rig;
            rig.settings.FailedMail = true;
            rig.settings.ScanAllEmailLines = all;
            const QString path = rig.deliver(raw, 1);
            const QByteArray neighbour = message("n@example.org", "neighbour", "");
            const QString neighbourPath = rig.deliver(neighbour, 0);
            rig.run();
            for (const QString &line : rig.log.lines())
                QVERIFY2(rig.log.size() == 1 || line.startsWith(u8("Update Undeliverable ")), qPrintable(line));
            // Where the message went, it went whole.
            if (QFileInfo::exists(path)) {
                QCOMPARE(readFile(path), raw);
                QCOMPARE(rig.store.count(Bin), 0);
            } else {
                QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{raw});
            }
            QCOMPARE(readFile(neighbourPath), neighbour);
        }
    }

    void twentyMegabyteMessages_data()
    {
        QTest::addColumn<bool>("readReports");
        QTest::addRow("every address in the text") << false;
        QTest::addRow("reports read") << true;
    }

    void twentyMegabyteMessages()
    {
        QUILLMAR_SLOW_CASE();
        QFETCH(bool, readReports);
        Rig rig;
        rig.settings.FailedMail = true;
        rig.settings.ReadDeliveryReports = readReports;
        rig.settings.ScanAllEmailLines = true;
        QByteArray body;
        body.reserve(21 << 20);
        int addresses = 0;
        for (int line = 0; body.size() < (20 << 20); ++line) {
            if (line % 10000 == 5000) {
                body += "Final-Recipient: rfc822; lost" + QByteArray::number(line) + "@example.org\r\n";
                ++addresses;
            } else {
                body += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\r\n";
            }
        }
        const QByteArray notice = message("MAILER-DAEMON@example.net", "Undeliverable: big", body);
        QByteArray plainBody = body;
        plainBody.replace("Final-Recipient: rfc822; ", "Contact ");
        const QByteArray letter = message("big@example.org", "A long letter", plainBody);
        const QString letterPath = rig.deliver(letter, 1);
        rig.deliver(notice, 2);
        rig.run();
        if (readReports) {
            // Field lines with no action name no failure: nobody counted, the notice kept.
            QCOMPARE(rig.log.size(), 0);
            QCOMPARE(rig.errors.lines(),
                     QStringList{QStringLiteral("Delivery failure: no failed address found in 'Undeliverable: big'")});
            QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{});
        } else {
            QCOMPARE(rig.log.size(), addresses);
            QVERIFY(rig.log.lines().first().startsWith(u8("Update Undeliverable lost5000@example.org -> ")));
            QCOMPARE(rig.store.contents(Bin), QList<QByteArray>{notice});
        }
        QCOMPARE(readFile(letterPath), letter);
    }
};

QTEST_MAIN(TestFolderCheck)
#include "tst_foldercheck.moc"
