// The Outbox sent through a real SMTP server (aiosmtpd on 127.0.0.1 with
// STARTTLS, AUTH and a certificate made for the test) and through a
// stand-in sendmail command: what the server received, what was filed in
// "Sent Items", what stayed in the Outbox and what was counted as a bounce.
#include "commands/Mailing.h"
#include "commands/OutboxSender.h"
#include "commands/SendingAccount.h"
#include "mail/Email.h"
#include "mail/EmailListFields.h"
#include "mail/OutboxJournal.h"
#include "platform/mapi/MapiSetup.h"
#include "store/ListWorkspace.h"
#include "store/MLSchema.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/SmtpServer.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Password = u"s3cret"_s;

QByteArray message(const QByteArray &id, const QByteArray &to, const QByteArray &cc, const QByteArray &bcc)
{
    QByteArray m = "From: Owner <owner@example.org>\nDate: Tue, 12 Mar 2024 09:15:00 +0100\n";
    m += "Message-ID: <" + id + "@example.org>\nSubject: Issue " + id + "\n";
    if (!to.isEmpty())
        m += "To: " + to + "\n";
    if (!cc.isEmpty())
        m += "Cc: " + cc + "\n";
    if (!bcc.isEmpty())
        m += "Bcc: " + bcc + "\n";
    m += "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n\nHello " + id + "\n.\n..a dot line\nend\n";
    return m;
}

// The message without its Bcc field, as SMTP carries it.
QByteArray asSent(QByteArray m)
{
    QByteArrayList lines;
    bool inBcc = false;
    for (const QByteArray &l : m.split('\n')) {
        inBcc = l.startsWith("Bcc:") || (inBcc && l.startsWith(' '));
        if (!inBcc)
            lines += l;
    }
    return lines.join("\r\n");
}

} // namespace

class TestOutboxSender : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    SmtpServer m_server;
    std::unique_ptr<ListWorkspace> m_work;
    QString m_store;

    QString outbox() const { return m_store + u"/.Outbox/new"_s; }
    QString sent() const { return m_store + u"/.Sent Items/cur"_s; }

    QString put(const QByteArray &bytes, const QString &name)
    {
        const QString path = outbox() + u'/' + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    int count(const QString &dir) const { return int(QDir(dir).entryList(QDir::Files).size()); }

    void smtpSettings(quint16 port)
    {
        Settings &s = m_work->settings;
        s.SendMethod = u"SMTP"_s;
        s.SmtpServer = u"127.0.0.1"_s;
        s.SmtpPort = port;
        s.SmtpSecurity = u"STARTTLS"_s;
        s.SmtpUser = u"owner"_s;
        s.SmtpTrustedCertificate = m_server.fingerprint();
        s.FailedMail = true;
        s.BounceMax = 10;
    }

    OutboxSender::Result send(OutboxSender::Callbacks callbacks = {})
    {
        OutboxSender sender(m_work->settings, m_store, u"owner@example.org"_s, m_env.programDir(), m_work->log,
                            &m_work->rules);
        if (!callbacks.password)
            callbacks.password = [] { return Password; };
        sender.setCallbacks(callbacks);
        return sender.run();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(u"starttls"_s, u"owner"_s, Password), qPrintable(m_server.error())); }

    void init()
    {
        m_store = m_env.home() + u"/Maildir"_s;
        QDir(m_store).removeRecursively();
        for (const char *dir : {"/.Outbox/new", "/.Outbox/cur", "/.Outbox/tmp"})
            QDir().mkpath(m_store + QLatin1String(dir));
        QFile::remove(m_env.programDir() + OutboxJournal::fileName());
        const QString list = m_env.root() + u"/mailist.DAT"_s;
        QFile::remove(list);
        createMailingListFile(list);
        m_work = std::make_unique<ListWorkspace>(QStringList());
        m_work->openList(list);
        for (const char *a : {"perm1@example.net", "perm2@example.net", "ok@example.net"})
            m_work->table().append(QLatin1String(a), u"news"_s, 0, QString());
        smtpSettings(m_server.port());
    }

    void submission_data()
    {
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QByteArray>("cc");
        QTest::addColumn<QByteArray>("bcc");
        QTest::addColumn<QStringList>("received"); // the envelope's recipients; empty: nothing accepted
        QTest::addColumn<bool>("filed"); // in Sent Items, else still in the Outbox
        QTest::addColumn<int>("refused");
        QTest::addColumn<bool>("failed"); // the run stopped with a reason

        QTest::newRow("every field") << QByteArray("\"Doe, J\" <a@example.net>") << QByteArray("b@example.net (Bee)")
                                     << QByteArray("c@example.net,\n  Dee <d@example.net>")
                                     << QStringList{u"a@example.net"_s, u"b@example.net"_s, u"c@example.net"_s,
                                                    u"d@example.net"_s}
                                     << true << 0 << false;
        QTest::newRow("one refused") << QByteArray() << QByteArray() << QByteArray("perm1@example.net, ok@example.net")
                                     << QStringList{u"ok@example.net"_s} << true << 1 << false;
        QTest::newRow("all refused") << QByteArray() << QByteArray() << QByteArray("perm2@example.net") << QStringList()
                                     << true << 1 << false;
        QTest::newRow("one put off") << QByteArray() << QByteArray() << QByteArray("temp1@example.net, ok@example.net")
                                     << QStringList() << false << 0 << false;
        QTest::newRow("dropped in DATA") << QByteArray("drop@example.net") << QByteArray() << QByteArray()
                                         << QStringList() << false << 0 << true;
    }

    void submission()
    {
        QFETCH(QByteArray, to);
        QFETCH(QByteArray, cc);
        QFETCH(QByteArray, bcc);
        QFETCH(QStringList, received);
        QFETCH(bool, filed);
        QFETCH(int, refused);
        QFETCH(bool, failed);
        const QByteArray id = QTest::currentDataTag();
        const QByteArray bytes = message(QByteArray(id).replace(' ', '-'), to, cc, bcc);
        put(bytes, u"1.M1P1.host"_s);
        const int before = int(m_server.received().size());

        const OutboxSender::Result r = send();

        QCOMPARE(r.failure.isEmpty(), !failed);
        QCOMPARE(r.refused, refused);
        QCOMPARE(r.sent, received.isEmpty() ? 0 : 1);
        QCOMPARE(r.retry, !filed);
        QCOMPARE(count(sent()), filed ? 1 : 0);
        QCOMPARE(count(outbox()), filed ? 0 : 1);
        const QList<SmtpServer::Received> got = m_server.received().mid(before);
        QCOMPARE(got.size(), received.isEmpty() ? 0 : 1);
        if (!received.isEmpty()) {
            QCOMPARE(got.first().from, u"owner@example.org"_s);
            QCOMPARE(got.first().to, received);
            QCOMPARE(got.first().data, asSent(bytes));
        }
        // A refused recipient counts once against its entry.
        for (const char *a : {"perm1@example.net", "perm2@example.net"}) {
            QVERIFY(m_work->table().locate(QLatin1String(a)));
            QCOMPARE(m_work->table().current().Bounces, bcc.contains(a) ? 1 : 0);
        }
        QVERIFY(!QFile::exists(m_env.programDir() + OutboxJournal::fileName()));
    }

    // Not messages that can be sent: named, left where they are, and the
    // others still go.
    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not a message") << QByteArray("just some text\nwith lines\n") << u"is not a mail message"_s;
        QTest::newRow("no recipient") << message("nr", "", "", "") << u"no recipient"_s;
        QTest::newRow("header line over 998")
            << message("long", "x@example.net", "", "").replace("Subject: ", "Subject: " + QByteArray(990, 'y'))
            << u"longer than 998 octets"_s;
    }

    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        const QString bad = put(bytes, u"1.M1P1.host"_s);
        put(message("good", "ok@example.net", "", ""), u"2.M1P1.host"_s);

        const OutboxSender::Result r = send();

        QCOMPARE(r.skipped, 1);
        QCOMPARE(r.sent, 1);
        QCOMPARE(r.problems.size(), 1);
        QVERIFY2(r.problems.first().contains(problem) && r.problems.first().contains(u"1.M1P1.host"_s),
                 qPrintable(r.problems.first()));
        QVERIFY(QFile::exists(bad));
        QCOMPARE(count(outbox()), 1);
    }

    // Faults that stop the run: nothing sent, everything left, the reason named.
    void refusedRuns_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong password") << u"password"_s << u"refused the user name or password"_s;
        QTest::newRow("certificate not trusted") << u"certificate"_s << u"is not trusted"_s;
        QTest::newRow("line break in sender") << u"sender"_s << u"line break"_s;
        QTest::newRow("no encryption to another computer") << u"none"_s << u"unencrypted"_s;
        QTest::newRow("server gone") << u"port"_s << u"connection to the mail server"_s;
    }

    void refusedRuns()
    {
        QFETCH(QString, setting);
        QFETCH(QString, reason);
        put(message("r", "ok@example.net", "", ""), u"1.M1P1.host"_s);
        OutboxSender::Callbacks callbacks;
        bool forgotten = false;
        callbacks.passwordRefused = [&] { forgotten = true; };
        if (setting == u"password")
            callbacks.password = [] { return u"wrong"_s; };
        if (setting == u"certificate")
            m_work->settings.SmtpTrustedCertificate.clear();
        if (setting == u"sender")
            m_work->settings.SmtpSender = u"owner@example.org\r\nRCPT TO:<x@example.net>"_s;
        if (setting == u"none") {
            m_work->settings.SmtpServer = u"mail.example.net"_s;
            m_work->settings.SmtpSecurity = u"None"_s;
        }
        if (setting == u"port") {
            SmtpServer gone;
            QVERIFY(gone.start(u"plain"_s));
            m_work->settings.SmtpPort = gone.port();
            gone.stop();
        }
        const int before = int(m_server.received().size());

        const OutboxSender::Result r = send(callbacks);

        QVERIFY2(r.failure.contains(reason), qPrintable(r.failure));
        QCOMPARE(m_server.received().size(), before);
        QCOMPARE(count(outbox()), 1);
        QCOMPARE(forgotten, setting == u"password");
        if (setting == u"certificate")
            QVERIFY2(r.failure.contains(m_server.fingerprint()) && r.failure.contains(u"quillmar-test-server"_s),
                     qPrintable(r.failure));
        if (setting == u"port")
            QVERIFY(r.retry);
    }

    // Trusted when asked: kept for the rest of the run, and the message goes.
    void certificateTrustedWhenAsked()
    {
        m_work->settings.SmtpTrustedCertificate.clear();
        put(message("t1", "ok@example.net", "", ""), u"1.M1P1.host"_s);
        put(message("t2", "ok@example.net", "", ""), u"2.M1P1.host"_s);
        QString shown;
        OutboxSender::Callbacks callbacks;
        callbacks.trust = [&](const QString &, const QString &subject, const QString &fingerprint) {
            shown += subject + u' ' + fingerprint;
            return true;
        };
        const OutboxSender::Result r = send(callbacks);
        QCOMPARE(r.sent, 2);
        QCOMPARE(shown, u"quillmar-test-server "_s + m_server.fingerprint());
    }

    // Accepted by a run that died before filing it: filed, never sent again.
    void acceptedIsNeverSentAgain()
    {
        const QByteArray bytes = message("once", "ok@example.net", "", "");
        put(bytes, u"1.M1P1.host"_s);
        OutboxJournal earlier(m_env.programDir());
        QString why;
        QVERIFY(earlier.accepted({u"1.M1P1.host"_s, u"<once@example.org>"_s, bytes.size()}, &why));
        const int before = int(m_server.received().size());

        const OutboxSender::Result r = send();

        QCOMPARE(r.sent, 0);
        QCOMPARE(r.filed, 1);
        QCOMPARE(count(sent()), 1);
        QCOMPARE(m_server.received().size(), before);
        QVERIFY(!QFile::exists(m_env.programDir() + OutboxJournal::fileName()));

        // Killed after filing, before forgetting: the record of a message
        // no longer waiting goes with the next run, even an empty one.
        QVERIFY(earlier.accepted({u"2.M1P1.host"_s, u"<gone@example.org>"_s, 10}, &why));
        QCOMPARE(send().sent, 0);
        QVERIFY(!QFile::exists(m_env.programDir() + OutboxJournal::fileName()));
    }

    // A mailing to a category through the local mail library reaches the
    // server as list mail: each message with the list's fields, no Bcc.
    void bulkSendCarriesListFields()
    {
        QString why;
        QVERIFY2(registerMapiStandIn(m_store, u"owner@example.org"_s, &why), qPrintable(why));
        SMapi mapi(QStringLiteral(MAPI_LIBRARY_DIR));
        QVERIFY(mapi.MapiAvailable());
        TEmail email(mapi);
        ScriptedPrompts prompts;
        MLTable &table = m_work->table();
        for (const char *a : {"a@example.net", "b@example.net", "c@example.net"})
            table.append(QLatin1String(a), u"club"_s, 0, QString());
        table.setFilterCategory(u"club"_s);
        table.setFiltered(true);
        m_work->settings.SendCount = 2;
        Mailing mailing(table, m_work->settings, email, prompts);
        QVERIFY(mailing.countRecipients());
        MessageDraft draft;
        draft.subject = u"Club news"_s;
        draft.text = u"Hello club"_s;
        QCOMPARE(mailing.send(draft), Mailing::Outcome::Finished);
        mailing.logOff();
        const int before = int(m_server.received().size());

        const OutboxSender::Result r = send();

        QCOMPARE(r.sent, 2);
        const QList<SmtpServer::Received> got = m_server.received().mid(before);
        QCOMPARE(got.size(), 2);
        QStringList to;
        for (const SmtpServer::Received &m : got) {
            to += m.to;
            const QByteArray head = m.data.left(m.data.indexOf("\r\n\r\n") + 2);
            for (const char *field : {"\r\nList-Id: <owner.example.org>\r\n",
                                      "\r\nList-Unsubscribe: <mailto:owner@example.org?subject=unsubscribe%20club>\r\n",
                                      "\r\nPrecedence: bulk\r\n"})
                QVERIFY2(head.contains(field), head.constData());
            QVERIFY(!head.contains("\r\nBcc:"));
        }
        to.sort();
        QCOMPARE(to, QStringList({u"a@example.net"_s, u"b@example.net"_s, u"c@example.net"_s}));
        // Nothing but the list's own fields may be added.
        email.setRecipient({u"a@example.net"_s});
        email.setListFields({"Reply-To: someone@example.net"});
        QCOMPARE(email.SendMail(), int(MAPI_E_FAILURE));
    }

    void listFields_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("listName");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QByteArrayList>("fields");
        QTest::newRow("whole list, name made")
            << u"list@example.org"_s << QString() << QString()
            << QByteArrayList{"List-Id: <list.example.org>",
                              "List-Unsubscribe: <mailto:list@example.org?subject=unsubscribe>", "Precedence: bulk"};
        QTest::newRow("dotted name, plus address")
            << u"a.list+x@Example.ORG"_s << u"news.example.org"_s << u"b&w"_s
            << QByteArrayList{"List-Id: <news.example.org>",
                              "List-Unsubscribe: <mailto:a.list%2Bx@Example.ORG?subject=unsubscribe%20b%26w>",
                              "Precedence: bulk"};
        QTest::newRow("described") << u"\"odd one\"@example.org"_s << u"Our \"club\""_s << QString()
                                   << QByteArrayList{
                                          "List-Id: \"Our \\\"club\\\"\" <-odd-one-.example.org>",
                                          "List-Unsubscribe: <mailto:%22odd%20one%22@example.org?subject=unsubscribe>",
                                          "Precedence: bulk"};
        QTest::newRow("no address") << u"owner"_s << QString() << QString() << QByteArrayList{};
    }

    void listFields()
    {
        QFETCH(QString, owner);
        QFETCH(QString, listName);
        QFETCH(QString, category);
        QFETCH(QByteArrayList, fields);
        QCOMPARE(listfields::fields(owner, listName, category), fields);
    }

    // The sender killed after a message's acceptance was recorded and before
    // it was filed, then at and just after the server's acceptance, and run
    // again until a run finishes: only the message the server took last
    // before a kill may come once more (the reply had not reached the
    // journal); every other comes once, and everything ends in Sent Items.
    void killedRunsSendEachMessageOnce_data()
    {
        QTest::addColumn<bool>("verp");
        QTest::newRow("one transaction a message") << false;
        QTest::newRow("one transaction a recipient") << true;
    }

    void killedRunsSendEachMessageOnce()
    {
        QFETCH(bool, verp);
        SmtpServer plain;
        QVERIFY2(plain.start(u"plain"_s), qPrintable(plain.error()));
        constexpr int Messages = 20;
        for (int i = 0; i < Messages; ++i)
            put(message("k" + QByteArray::number(i), "ok@example.net", "", verp ? "a@example.net, b@example.net" : ""),
                u"%1.M1P1.host"_s.arg(i));
        const QString pidFile = m_env.root() + u"/sender.pid"_s;
        // Which message to which recipients.
        const auto idOf = [](const SmtpServer::Received &r) {
            const qsizetype at = r.data.indexOf("Message-ID: <");
            return r.data.mid(at + 13, r.data.indexOf('>', at) - at - 13) + ' ' + r.to.join(u',').toUtf8();
        };
        const int delays[] = {-1, 0, 1, 2, 3, 4, 5, 6, 8, 0, 1, 2, 3, 4};
        QHash<QByteArray, int> mayRepeat; // kills at which it was the last taken
        bool finished = false;
        int run = 0;
        for (; run < 24 && !finished; ++run) {
            const int before = int(plain.received().size());
            // Past the list, an order that never fires replaces the last.
            const bool order = run > 0 && run <= int(std::size(delays));
            plain.killClientAt(pidFile, order ? before + 1 + run % 2 : 0, order ? delays[run - 1] : 0);
            QProcess child;
            if (run == 0) {
                // First at the one point a server cannot reach: accepted and
                // recorded, not yet filed.
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(u"LD_PRELOAD"_s, QStringLiteral(QUILLMAR_KILLATMOVE));
                env.insert(u"QUILLMAR_KILL_AT_MOVE"_s, u"2"_s);
                // A sanitizer build wants its runtime first and would refuse the preload.
                const QString asan = env.value(u"ASAN_OPTIONS"_s);
                env.insert(u"ASAN_OPTIONS"_s,
                           (asan.isEmpty() ? QString() : asan + u':') + u"verify_asan_link_order=0"_s);
                child.setProcessEnvironment(env);
            }
            child.start(
                QStringLiteral(QUILLMAR_OUTBOXSEND),
                {m_store, m_env.programDir(), QString::number(plain.port()), pidFile, verp ? u"verp"_s : u"once"_s});
            QVERIFY(child.waitForFinished(60000));
            finished = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
            if (!finished && run == 0) {
                // Recorded as accepted: no second copy is allowed for it.
                QFile journal(m_env.programDir() + OutboxJournal::fileName());
                QVERIFY(journal.open(QIODevice::ReadOnly) && journal.readAll().contains("\"accepted\""));
            } else if (!finished) {
                QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());
                // The server may still be filing a message whose end the child
                // sent just before it died: that one is the last it took.
                QList<SmtpServer::Received> got = plain.received();
                for (int settled = -1; got.size() != settled;) {
                    settled = int(got.size());
                    QTest::qWait(300);
                    got = plain.received();
                }
                if (got.size() > before)
                    ++mayRepeat[idOf(got.last())];
            }
        }
        QVERIFY(finished);
        QVERIFY(run > 1);
        QHash<QByteArray, int> times;
        for (const SmtpServer::Received &r : plain.received())
            ++times[idOf(r)];
        QCOMPARE(times.size(), verp ? 3 * Messages : Messages);
        for (auto it = times.cbegin(); it != times.cend(); ++it)
            QVERIFY2(it.value() <= 1 + mayRepeat.value(it.key()), it.key().constData());
        QCOMPARE(count(sent()), Messages);
        QCOMPARE(count(outbox()), 0);
        QVERIFY(!QFile::exists(m_env.programDir() + OutboxJournal::fileName()));
    }

    // Each recipient its own transaction and return address, the same data;
    // a message some recipients already had goes on after them.
    void verpSendsEachOnItsOwn()
    {
        m_work->settings.SmtpVerp = true;
        const QByteArray bytes = message("v", "a@example.net", "", "perm1@example.net, ok@example.net");
        put(bytes, u"1.M1P1.host"_s);
        const QByteArray later = message("w", "a@example.net", "b@example.net", "ok@example.net");
        put(later, u"2.M1P1.host"_s);
        OutboxJournal earlier(m_env.programDir());
        QString why;
        QVERIFY(earlier.progress({u"2.M1P1.host"_s, u"<w@example.org>"_s, later.size()}, 2, &why));
        const int before = int(m_server.received().size());

        const OutboxSender::Result r = send();

        QCOMPARE(r.sent, 2);
        QCOMPARE(r.refused, 1);
        QCOMPARE(count(sent()), 2);
        QVERIFY(m_work->table().locate(u"perm1@example.net"_s));
        QCOMPARE(m_work->table().current().Bounces, 1);
        const QList<SmtpServer::Received> got = m_server.received().mid(before);
        QStringList envelopes;
        for (const SmtpServer::Received &m : got)
            envelopes += m.from + u' ' + m.to.join(u',');
        QCOMPARE(got.size(), 3);
        QCOMPARE(got.at(0).data, asSent(bytes));
        QCOMPARE(got.at(1).data, asSent(bytes));
        QCOMPARE(got.at(2).data, asSent(later));
        QCOMPARE(envelopes, QStringList({u"owner+a=example.net@example.org a@example.net"_s,
                                         u"owner+ok=example.net@example.org ok@example.net"_s,
                                         u"owner+ok=example.net@example.org ok@example.net"_s}));
        QVERIFY(!QFile::exists(m_env.programDir() + OutboxJournal::fileName()));
    }

    void verpAddress_data()
    {
        QTest::addColumn<QByteArray>("owner");
        QTest::addColumn<QByteArray>("recipient");
        QTest::addColumn<QByteArray>("sender");
        QTest::newRow("plain") << QByteArray("list@example.org") << QByteArray("ann@example.net")
                               << QByteArray("list+ann=example.net@example.org");
        QTest::newRow("owner with a tag") << QByteArray("list+news@example.org") << QByteArray("a.b@sub.example.net")
                                          << QByteArray("list+news+a.b=sub.example.net@example.org");
        QTest::newRow("quoted local part")
            << QByteArray("list@example.org") << QByteArray("\"a b\"@example.net") << QByteArray();
    }

    void verpAddress()
    {
        QFETCH(QByteArray, owner);
        QFETCH(QByteArray, recipient);
        QFETCH(QByteArray, sender);
        QCOMPARE(platform::smtp::verpSender(owner, recipient), sender);
    }

    // Without a secret store the password lasts for the run; a refused one
    // is forgotten, so the next send asks again.
    void passwordWithoutSecretStore()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        const Settings &s = m_work->settings;
        QVERIFY(!sending::keepPassword(s, Password));
        QCOMPARE(sending::storedPassword(s), Password);
        Settings other = s;
        other.SmtpUser = u"someone"_s;
        QVERIFY(sending::storedPassword(other).isEmpty());
        sending::forgetPassword(s);
        QVERIFY(sending::storedPassword(s).isEmpty());
    }

    // The sendmail command: its arguments and the message without Bcc.
    void sendmailCommand()
    {
        const QString dir = m_env.root() + u"/sendmail"_s;
        QDir().mkpath(dir);
        const QString script = dir + u"/sendmail"_s;
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\ncat > \"$(dirname \"$0\")/input\"\n"
                "case \"$*\" in *temp*) exit 75;; esac\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        qputenv("QUILLMAR_SENDMAIL", script.toLocal8Bit());
        m_work->settings.SendMethod = u"Sendmail"_s;
        const QByteArray bytes = message("sm", "a@example.net", "", "b@example.net, temp@example.net");
        put(bytes, u"1.M1P1.host"_s);

        OutboxSender::Result r = send();
        QCOMPARE(r.sent, 0);
        QVERIFY(r.retry);
        QCOMPARE(count(outbox()), 1);

        QFile(outbox() + u"/1.M1P1.host"_s).remove();
        const QByteArray good = message("sm2", "a@example.net", "", "b@example.net");
        put(good, u"2.M1P1.host"_s);
        r = send();
        qunsetenv("QUILLMAR_SENDMAIL");
        QCOMPARE(r.sent, 1);
        QFile args(dir + u"/args"_s), input(dir + u"/input"_s);
        QVERIFY(args.open(QIODevice::ReadOnly) && input.open(QIODevice::ReadOnly));
        QCOMPARE(args.readAll(), QByteArray("-i\n-f\nowner@example.org\n--\na@example.net\nb@example.net\n"));
        QCOMPARE(input.readAll(), asSent(good).replace("\r\n", "\n"));
        QCOMPARE(count(sent()), 1);
    }
};

QTEST_GUILESS_MAIN(TestOutboxSender)
#include "tst_outboxsender.moc"
