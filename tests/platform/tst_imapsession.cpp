// One IMAP connection against a real Dovecot: security choices, the
// certificate decision, login failures, listing, opening, fetching and the
// three ways of deleting.
#include "platform/imap/ImapSession.h"
#include "testlib/DovecotServer.h"
#include "testlib/MaildirWriter.h"

#include <QTest>

using namespace platform::imap;
using testmail::DovecotServer;

namespace {

const QString NoMove = QStringLiteral("IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE NAMESPACE SPECIAL-USE UIDPLUS");
const QString NoMoveNoUidPlus = QStringLiteral("IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE NAMESPACE SPECIAL-USE");

void deliver(const DovecotServer &server, const QString &folder, int count)
{
    testmail::Store store(server.mailRoot());
    store.addFolder(QStringLiteral("Trash"));
    if (!folder.isEmpty())
        store.addFolder(folder);
    for (int i = 1; i <= count; ++i)
        store.deliver(folder, testmail::message("a@example.org", "subscribe " + QByteArray::number(i), "body"),
                      1700000000 + i);
}

ServerConfig configFor(const DovecotServer &server, Security security = Security::SslTls)
{
    ServerConfig c;
    c.host = server.host();
    c.port = security == Security::SslTls ? server.imapsPort() : server.imapPort();
    c.security = security;
    c.user = server.user();
    c.password = server.password();
    c.timeoutSeconds = 10;
    return c;
}

// The fingerprint the server's certificate is refused with.
QString refusedFingerprint(const DovecotServer &server)
{
    Session s(configFor(server));
    try {
        s.open();
    } catch (const ImapError &e) {
        return e.kind() == ImapError::Kind::Certificate ? e.fingerprint() : QString();
    }
    return {};
}

} // namespace

class TestImapSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void uidRangesJoinRuns()
    {
        const auto ranges = uidRanges({1, 2, 3, 7, 9, 10});
        QCOMPARE(ranges, (QList<std::pair<quint32, quint32>>{{1, 3}, {7, 7}, {9, 10}}));
    }

    void untrustedCertificateRefusedUntilTrusted()
    {
        DovecotServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        Session untrusted(configFor(server));
        try {
            untrusted.open();
            QFAIL("a self-signed certificate was accepted");
        } catch (const ImapError &e) {
            QCOMPARE(e.kind(), ImapError::Kind::Certificate);
            QVERIFY(e.subject().contains(QStringLiteral("quillmar-test")));
            QCOMPARE(e.fingerprint().size(), 32 * 3 - 1);
            QVERIFY(e.message().contains(e.fingerprint()));
            QVERIFY(e.message().contains(server.host()));
        }
        // A fingerprint of another certificate (the server's changed) is refused again.
        ServerConfig changed = configFor(server);
        changed.trustedFingerprint = QString(e_fingerprintOther());
        Session other(changed);
        QVERIFY_THROWS_EXCEPTION(ImapError, other.open());

        for (const Security security : {Security::SslTls, Security::StartTls}) {
            ServerConfig trusted = configFor(server, security);
            trusted.trustedFingerprint = refusedFingerprint(server);
            Session s(trusted);
            s.open();
            QVERIFY(s.hasMove());
            QVERIFY(s.hasUidPlus());
        }
    }

    void plainOnlyOnLoopback()
    {
        DovecotServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        Session local(configFor(server, Security::None));
        local.open();
        QVERIFY(!local.list().isEmpty());

        ServerConfig remote = configFor(server, Security::None);
        remote.host = QStringLiteral("mail.example.org");
        Session s(remote);
        try {
            s.open();
            QFAIL("plain text to another host was allowed");
        } catch (const ImapError &e) {
            QCOMPARE(e.kind(), ImapError::Kind::Insecure);
        }
    }

    void wrongPasswordSaidOnce()
    {
        DovecotServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        ServerConfig c = configFor(server, Security::None);
        c.password = QStringLiteral("wrong");
        Session s(c);
        try {
            s.open();
            QFAIL("a wrong password logged in");
        } catch (const ImapError &e) {
            QCOMPARE(e.kind(), ImapError::Kind::Login);
            QVERIFY(e.message().contains(QStringLiteral("user name or password")));
        }
    }

    void serverNotListening()
    {
        DovecotServer server;
        QVERIFY(server.prepare());
        Session s(configFor(server, Security::None));
        try {
            s.open();
            QFAIL("connected to nothing");
        } catch (const ImapError &e) {
            QCOMPARE(e.kind(), ImapError::Kind::Connection);
            QVERIFY(e.message().contains(QString::number(server.imapPort())));
        }
    }

    void listOpenFetchAndDelete_data()
    {
        QTest::addColumn<QString>("capability");
        QTest::addColumn<bool>("expunged");
        QTest::newRow("MOVE") << QString() << true;
        QTest::newRow("UIDPLUS") << NoMove << true;
        QTest::newRow("neither") << NoMoveNoUidPlus << false;
    }
    void listOpenFetchAndDelete()
    {
        QFETCH(QString, capability);
        QFETCH(bool, expunged);
        DovecotServer server({capability});
        QVERIFY(server.prepare());
        deliver(server, QStringLiteral("Lists"), 5);
        QVERIFY2(server.start(), qPrintable(server.error()));
        Session s(configFor(server, Security::None));
        s.open();
        QCOMPARE(s.hasMove(), capability.isEmpty());

        const QList<Mailbox> boxes = s.list();
        QByteArray trash;
        bool lists = false;
        for (const Mailbox &b : boxes) {
            if (b.specialUse == "trash")
                trash = b.rawName;
            lists = lists || b.rawName == "Lists";
            QCOMPARE(b.delimiter, '/');
        }
        QCOMPARE(trash, QByteArray("Trash"));
        QVERIFY(lists);

        const OpenedMailbox opened = s.select("Lists");
        QVERIFY(opened.uidValidity != 0);
        QCOMPARE(opened.uids, (QList<quint32>{1, 2, 3, 4, 5}));
        QList<MessageSummary> summaries;
        s.fetchSummaries(opened.uids, {"MESSAGE-ID"}, [&](MessageSummary m) { summaries.append(m); });
        QCOMPARE(summaries.size(), 5);
        QVERIFY(summaries.first().header.startsWith("Message-ID: <"));
        QVERIFY(summaries.first().size > 100);
        QMap<quint32, QByteArray> bodies;
        s.fetchMessages(summaries, [&](quint32 uid, QByteArray bytes) { bodies.insert(uid, bytes); });
        QCOMPARE(bodies.size(), 5);
        QVERIFY(bodies.value(3).contains("Subject: subscribe 3"));
        QCOMPARE(qint64(bodies.value(3).size()), summaries.at(2).size);

        s.moveTo({2, 3}, trash);
        const OpenedMailbox after = s.select("Lists");
        QCOMPARE(after.uids, (QList<quint32>{1, 4, 5}));
        // Without UIDPLUS the moved ones stay, flagged, for the user's client to expunge.
        const QDir folder(server.mailRoot() + QStringLiteral("/.Lists"));
        const qsizetype files = QDir(folder.filePath(QStringLiteral("cur"))).entryList(QDir::Files).size()
                                + QDir(folder.filePath(QStringLiteral("new"))).entryList(QDir::Files).size();
        QCOMPARE(files, expunged ? 3 : 5);
        QCOMPARE(s.select(trash).uids.size(), 2);
    }

    void messageOverTheLimitRefused()
    {
        DovecotServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        Session s(configFor(server, Security::None));
        s.open();
        s.select("INBOX");
        try {
            s.fetchMessages({{7, Session::MaxMessageSize + 1, {}}}, [](quint32, QByteArray) {});
            QFAIL("an oversized message was read");
        } catch (const ImapError &e) {
            QCOMPARE(e.kind(), ImapError::Kind::TooLarge);
            QVERIFY(e.message().contains(QStringLiteral("UID 7")));
        }
    }

private:
    static QString e_fingerprintOther() { return QString(QStringLiteral("AB:")).repeated(31) + QStringLiteral("AB"); }
};

QTEST_GUILESS_MAIN(TestImapSession)
#include "tst_imapsession.moc"
