// The real folder check and folder scan on an IMAP account served by a real
// Dovecot: with MOVE, with UIDPLUS only and with neither; the server
// stopped in the middle of a check, then the check run again.
#include "core/MailAccountSetting.h"
#include "core/SettingsStore.h"
#include "intake/FolderCheck.h"
#include "intake/FolderScan.h"
#include "store/ListWorkspace.h"
#include "store/MLSchema.h"
#include "store/Validation.h"
#include "testlib/DovecotServer.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>

using testmail::DovecotServer;
using testmail::message;

namespace {

const QString List = QStringLiteral("VMailingList");

qsizetype messagesIn(const QString &folderDir)
{
    return QDir(folderDir + QStringLiteral("/cur")).entryList(QDir::Files).size()
           + QDir(folderDir + QStringLiteral("/new")).entryList(QDir::Files).size();
}

// Dovecot's record of the mailbox's UID validity ("3 V1700000000 N251 ...").
QByteArray uidValidity(const QString &folderDir)
{
    QFile f(folderDir + u"/dovecot-uidlist"_qs);
    return f.open(QIODevice::ReadOnly) ? f.readLine().split(' ').value(1) : QByteArray();
}

struct Rig : ListWorkspace
{
    TestEnv env;
    DovecotServer server;
    testmail::Store mail{server.mailRoot()};
    ScriptedPrompts prompts;

    explicit Rig(const QString &capability = {})
        : ListWorkspace(QStringList())
        , server(DovecotServer::Options{capability})
    {
        server.prepare();
        mail.addFolder(List);
        mail.addFolder(QStringLiteral("Trash"));
        const QString file = env.programDir() + MLTable::defaultFileName();
        createMailingListFile(file);
        openList(file);
        settings.FailedMail = false;
        settings.MailAccount = QStringLiteral("IMAP");
        settings.ImapServer = server.host();
        settings.ImapPort = server.imapPort();
        settings.ImapSecurity = QStringLiteral("None");
        settings.ImapUser = server.user();
        // No desktop session here: the password is kept for this run only.
        mailaccount::keepPassword(settings, server.password());
        mailaccount::registerAccount(settings, prompts);
    }

    void deliver(const QByteArray &from, const QByteArray &subject, qint64 arrival)
    {
        // A body of its own: the Message-ID is made from it.
        mail.deliver(List, message(from, subject, "sent from my phone by " + from), arrival);
    }

    // Requests from p1..pCount, the server started.
    bool startWithRequests(int count)
    {
        for (int i = 1; i <= count; ++i)
            deliver("p" + QByteArray::number(i) + "@example.org", "subscribe", 1700000000 + i);
        return server.start();
    }

    // Calls what at the given advance of the check.
    static FolderCheck::Progress at(int advance, std::function<void()> what)
    {
        FolderCheck::Progress progress;
        progress.advance = [advance, what, n = 0]() mutable {
            if (++n == advance)
                what();
        };
        return progress;
    }

    // Runs the check; what it failed with, empty when it ended well.
    QString checkFailure(const FolderCheck::Progress &progress = {})
    {
        try {
            check(progress);
        } catch (const std::exception &e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }

    void check(const FolderCheck::Progress &progress = {})
    {
        FolderCheck(settings, lists, rules, prompts).run(progress);
    }

    QStringList entries()
    {
        QStringList out;
        MLTable &t = table();
        for (t.first(); !t.eof(); t.next())
            out << QStringLiteral("%1|%2").arg(t.current().Item, t.current().Category);
        out.sort();
        return out;
    }
};

} // namespace

class TestImapCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkThenScan_data()
    {
        QTest::addColumn<QString>("capability");
        QTest::addColumn<bool>("expunged");
        QTest::newRow("MOVE") << QString() << true;
        QTest::newRow("UIDPLUS only") << u"IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE NAMESPACE SPECIAL-USE UIDPLUS"_qs
                                      << true;
        QTest::newRow("neither") << u"IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE NAMESPACE SPECIAL-USE"_qs << false;
    }
    void checkThenScan()
    {
        QFETCH(QString, capability);
        QFETCH(bool, expunged);
        Rig rig(capability);
        rig.table().append(u"bob@example.org"_qs, u"news"_qs, 0, u"old"_qs);
        rig.deliver("Ann <ann@example.org>", "subscribe news", 1700000001);
        rig.deliver("Bob <bob@example.org>", "unsubscribe news", 1700000002);
        rig.deliver("Cid <cid@example.org>", "lunch on friday?", 1700000003);
        rig.deliver("Dee <dee@example.org>", "subscribe", 1700000004);
        testmail::Store(rig.env.home() + u"/Maildir"_qs).create();
        testmail::Store(rig.env.home() + u"/Maildir"_qs).addFolder(u"Contacts"_qs);
        QVERIFY2(rig.server.start(), qPrintable(rig.server.error()));

        rig.check();
        QCOMPARE(rig.entries(), QStringList({u"ann@example.org|news"_qs, u"dee@example.org|Default"_qs}));
        QVERIFY(rig.prompts.calls().isEmpty());
        const QString listDir = rig.server.mailRoot() + u"/."_qs + List;
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/.Trash"_qs), 3);
        QCOMPARE(messagesIn(listDir), expunged ? 1 : 4);

        // Run again: nothing is applied twice, and flagged messages are not moved twice.
        rig.check();
        QCOMPARE(rig.entries(), QStringList({u"ann@example.org|news"_qs, u"dee@example.org|Default"_qs}));
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/.Trash"_qs), 3);

        // The scan lists the account's folders and the local contacts folder.
        FolderScan scan([&](const QString &a) { return validemailaddress(a, rig.settings, rig.lists); });
        QStringList folders;
        scan.listFolders(folders);
        QCOMPARE(folders, QStringList({u"Inbox"_qs, u"Trash"_qs, u"VMailingList"_qs, u"Contacts"_qs}));
        QStringList found;
        QVERIFY(scan.scan(u"Trash"_qs, FolderScan::Kind::Messages, {}, found));
        found.sort();
        QCOMPARE(found, QStringList({u"ann@example.org"_qs, u"bob@example.org"_qs, u"dee@example.org"_qs}));
    }

    void serverDiesHalfway_data()
    {
        QTest::addColumn<bool>("newUidValidity");
        QTest::newRow("same UID validity") << false;
        // Applied, not moved, then renumbered: known by Message-ID and size.
        QTest::newRow("new UID validity") << true;
    }
    void serverDiesHalfway()
    {
        QFETCH(bool, newUidValidity);
        Rig rig;
        // More than one batch of bodies: the stop is met by a read.
        constexpr int Count = platform::imap::Session::BatchMessages + 50;
        for (int i = 1; i <= Count; ++i)
            rig.deliver("p" + QByteArray::number(i) + "@example.org", "subscribe", 1700000000 + i);
        QVERIFY2(rig.server.start(), qPrintable(rig.server.error()));
        int advances = 0;
        FolderCheck::Progress progress;
        progress.advance = [&] {
            if (++advances == Count / 4)
                rig.server.kill();
        };
        try {
            rig.check(progress);
            QFAIL("the check went on without its server");
        } catch (const std::exception &e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(rig.server.host()), e.what());
        }
        const qsizetype applied = rig.entries().size();
        QVERIFY(applied >= Count / 4 - 1 && applied < Count);
        const QString listDir = rig.server.mailRoot() + u"/."_qs + List;
        const QByteArray validity = uidValidity(listDir);
        if (newUidValidity) {
            QThread::sleep(1); // the new validity is taken from the clock
            for (const QString &f : QDir(listDir).entryList({u"dovecot*"_qs}, QDir::Files))
                QVERIFY(QFile::remove(listDir + u'/' + f));
        }

        QVERIFY2(rig.server.start(), qPrintable(rig.server.error()));
        rig.check();
        QCOMPARE(uidValidity(listDir) != validity, newUidValidity);
        QCOMPARE(rig.entries().size(), Count);
        QCOMPARE(rig.log.lines().filter(u"ADD"_qs).size(), Count);
        QCOMPARE(rig.log.lines().filter(u"already"_qs, Qt::CaseInsensitive).size(), 0);
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/.Trash"_qs), Count);
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/."_qs + List), 0);
    }

    // Another client adds a message and deletes one already applied and ten
    // not yet read. The check ends (at worst naming the server); the
    // next applies the rest, each once.
    void anotherClientChangesTheFolder()
    {
        Rig rig;
        constexpr int Count = platform::imap::Session::BatchMessages + 50;
        QVERIFY2(rig.startWithRequests(Count), qPrintable(rig.server.error()));
        const QByteArray added = message("q@example.org", "subscribe", "added");
        const QString failure = rig.checkFailure(Rig::at(Count / 4, [&] {
            const QByteArray said = rig.server.converse(
                {"SELECT " + List.toUtf8(), "SEARCH RETURN (SAVE) FROM \"p24\"", "STORE $ +FLAGS.SILENT (\\Deleted)",
                 "EXPUNGE", "APPEND " + List.toUtf8() + " {" + QByteArray::number(added.size()) + "+}\r\n" + added});
            QVERIFY2(said.contains("\r\nc5 OK"), said.constData());
        }));
        QVERIFY2(failure.isEmpty() || failure.contains(rig.server.host()), qPrintable(failure));
        // Moving what the other client removed stopped nothing before p240.
        QCOMPARE(rig.entries().size(), 239);
        QCOMPARE(rig.checkFailure(), QString());
        QStringList expected;
        for (int i = 1; i <= Count; ++i) {
            if (i < 240 || i > 249)
                expected << u"p%1@example.org|Default"_qs.arg(i);
        }
        expected << u"q@example.org|Default"_qs;
        expected.sort();
        QCOMPARE(rig.entries(), expected);
        QCOMPARE(rig.log.lines().filter(u"already"_qs, Qt::CaseInsensitive).size(), 0);
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/."_qs + List), 0);
    }

    // The list's mailbox renamed or deleted by another client mid-check:
    // the check ends naming the server; a renamed one checked again under
    // its new name applies nothing twice.
    void mailboxGoneMidCheck_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("renamed") << QByteArray("RENAME VMailingList Elsewhere");
        QTest::newRow("deleted") << QByteArray("DELETE VMailingList");
    }
    void mailboxGoneMidCheck()
    {
        QFETCH(QByteArray, command);
        Rig rig;
        constexpr int Count = 150;
        QVERIFY2(rig.startWithRequests(Count), qPrintable(rig.server.error()));
        const QString failure
            = rig.checkFailure(Rig::at(Count / 4, [&] { QVERIFY(rig.server.converse({command}).contains("c1 OK")); }));
        QVERIFY2(failure.contains(rig.server.host()), qPrintable(failure));
        const qsizetype applied = rig.entries().size();
        QVERIFY(applied >= Count / 4 - 1);
        if (command.startsWith("DELETE"))
            return;
        rig.settings.MailingListGroup = u"Elsewhere"_qs;
        QCOMPARE(rig.checkFailure(), QString());
        QCOMPARE(rig.entries().size(), Count);
        QCOMPARE(rig.log.lines().filter(u"already"_qs, Qt::CaseInsensitive).size(), 0);
    }

    // A server that stops answering mid-check is given up after the time-out
    // (shortened here), with what was committed kept.
    void serverStopsAnswering()
    {
        qputenv("QUILLMAR_IMAP_TIMEOUT", "2");
        Rig rig;
        constexpr int Count = 150;
        QVERIFY2(rig.startWithRequests(Count), qPrintable(rig.server.error()));
        QElapsedTimer timer;
        timer.start();
        const QString failure = rig.checkFailure(Rig::at(Count / 4, [&] { rig.server.pause(); }));
        const qint64 waited = timer.elapsed();
        rig.server.resume();
        qunsetenv("QUILLMAR_IMAP_TIMEOUT");
        QVERIFY2(failure.contains(rig.server.host()) && failure.contains(u"2 seconds"_qs), qPrintable(failure));
        QVERIFY2(waited < 15000, QByteArray::number(waited).constData());
        QVERIFY(rig.entries().size() >= Count / 4 - 1);
        QCOMPARE(rig.checkFailure(), QString());
        QCOMPARE(rig.entries().size(), Count);
        QCOMPARE(rig.log.lines().filter(u"already"_qs, Qt::CaseInsensitive).size(), 0);
    }

    // The program's own start, check and close in a process killed at
    // growing instants until a run ends: every notice counted once.
    void killedAndRunAgain()
    {
        Rig rig;
        constexpr int Members = 100;
        constexpr int Notices = 3 * Members;
        rig.settings.FailedMail = true;
        rig.settings.BounceMax = 100;
        SettingsStore(rig.env.programDir(), rig.prompts).SaveEntries(rig.settings, rig.lists);
        for (int i = 0; i < Members; ++i)
            rig.table().append(u"b%1@example.org"_qs.arg(i), u"Default"_qs, 0, u"old"_qs);
        rig.table().close();
        for (int n = 0; n < Notices; ++n) {
            const QByteArray body = "Delivery to the following recipients failed:\r\n\r\n    b"
                                    + QByteArray::number(n % Members) + "@example.org\r\n";
            rig.mail.deliver(List,
                             message("MAILER-DAEMON@mx.example.net", "Undeliverable: Newsletter", body,
                                     "Message-ID: <n" + QByteArray::number(n) + "@example.org>\r\n"),
                             1700000000 + n);
        }
        QVERIFY2(rig.server.start(), qPrintable(rig.server.error()));

        auto run = [&](int killAfterMs) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QStringLiteral(QUILLMAR_CHECKRUN), {rig.env.programDir()});
            p.write(rig.server.password().toUtf8() + "\n");
            p.closeWriteChannel();
            if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) {
                p.kill();
                p.waitForFinished();
                return -1;
            }
            p.waitForFinished(60000);
            if (p.exitCode() != 0)
                qWarning("%s", p.readAll().constData());
            return p.exitCode();
        };
        auto countedSoFar = [&] {
            rig.openList(rig.env.programDir() + MLTable::defaultFileName());
            int sum = 0;
            MLTable &t = rig.table();
            for (t.first(); !t.eof(); t.next())
                sum += t.current().Bounces;
            t.close();
            return sum;
        };
        // Killed ever later until a run finishes; at least one kill must land
        // part way, where changes are committed and their messages not moved.
        bool partWay = false;
        int result = -1;
        for (int delay = 30; result == -1 && delay < 30000; delay += 40) {
            result = run(delay);
            const int counted = countedSoFar();
            partWay = partWay || (counted > 0 && counted < Notices && result == -1);
        }
        QCOMPARE(result, 0);
        QVERIFY(partWay);

        rig.openList(rig.env.programDir() + MLTable::defaultFileName());
        QStringList bounces;
        MLTable &t = rig.table();
        for (t.first(); !t.eof(); t.next())
            bounces << QStringLiteral("%1|%2").arg(t.current().Item).arg(t.current().Bounces);
        QCOMPARE(bounces.size(), Members);
        for (const QString &b : std::as_const(bounces))
            QVERIFY2(b.endsWith(u"|3"_qs), qPrintable(b));
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/."_qs + List), 0);
        QCOMPARE(messagesIn(rig.server.mailRoot() + u"/.Trash"_qs), Notices);
    }
};

QTEST_GUILESS_MAIN(TestImapCheck)
#include "tst_imapcheck.moc"
