// Hostile and broken servers: a scripted IMAP server on loopback answers the
// facade's commands with mutated, truncated or endless responses. Whatever
// it sends, reading the folder's items ends in an item or a clear failure,
// never a crash, a hang or a read without bound.
#include "platform/outlook/Automation.h"
#include "platform/outlook/ImapOutlook.h"

#include <QRandomGenerator>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

using namespace platform::outlook;

namespace {

QByteArray message(int n)
{
    return "Received: from mx by mail; Tue, 12 Mar 2024 09:15:0" + QByteArray::number(n) + " +0100\r\nMessage-ID: <m"
           + QByteArray::number(n) + "@example.org>\r\nFrom: a" + QByteArray::number(n)
           + "@example.org\r\nSubject: subscribe news\r\n\r\nbody " + QByteArray::number(n) + "\r\n";
}

QByteArray literal(const QByteArray &bytes)
{
    return "{" + QByteArray::number(bytes.size()) + "}\r\n" + bytes;
}

QByteArray summaries(qint64 claimedSize = 0)
{
    QByteArray r;
    for (int n = 1; n <= 3; ++n) {
        const QByteArray m = message(n);
        const QByteArray header = m.left(m.indexOf("From:")) + "\r\n";
        r += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(n) + " RFC822.SIZE "
             + QByteArray::number(claimedSize ? claimedSize : m.size())
             + " BODY[HEADER.FIELDS (MESSAGE-ID RECEIVED DATE)] " + literal(header) + ")\r\n";
    }
    return r;
}

QByteArray bodies()
{
    QByteArray r;
    for (int n = 1; n <= 3; ++n)
        r += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(n) + " BODY[] " + literal(message(n))
             + ")\r\n";
    return r;
}

// One connection at a time on 127.0.0.1; answers by the command's verb.
class ScriptedServer
{
public:
    // Changes the answer to "LIST", "HEADER" or "BODY" fetches.
    std::function<QByteArray(const QByteArray &verb, QByteArray response)> mutate;
    // Streams this many bytes of literal after the body fetch's header.
    qint64 endlessLiteral = 0;
    qint64 claimedSize = 0;
    QByteArray capabilities = "IMAP4rev1 MOVE UIDPLUS";
    bool enablesUtf8 = false;
    QByteArray extraFolder; // listed after Trash, as sent
    std::atomic<qint64> sent{0};

    QByteArrayList commands() const
    {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }

    ScriptedServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        ::listen(m_listener, 4);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    quint16 port() const { return m_port; }

private:
    void serve()
    {
        for (;;) {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                return;
            converse(fd);
            ::close(fd);
        }
    }

    bool send(int fd, const QByteArray &bytes)
    {
        qsizetype off = 0;
        while (off < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.constData() + off, size_t(bytes.size() - off), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            off += n;
            sent += n;
        }
        return true;
    }

    void converse(int fd)
    {
        if (!send(fd, "* OK ready\r\n"))
            return;
        QByteArray buffer;
        char chunk[4096];
        for (;;) {
            const qsizetype eol = buffer.indexOf("\r\n");
            if (eol < 0) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    return;
                buffer.append(chunk, n);
                continue;
            }
            const QByteArray line = buffer.left(eol);
            buffer.remove(0, eol + 2);
            const QByteArray tag = line.left(line.indexOf(' '));
            const QByteArray command = line.mid(tag.size() + 1).toUpper();
            {
                std::lock_guard lock(m_mutex);
                m_commands << line.mid(tag.size() + 1);
            }
            QByteArray verb;
            QByteArray response;
            if (command.startsWith("CAPABILITY")) {
                response = "* CAPABILITY " + capabilities + "\r\n";
            } else if (command.startsWith("ENABLE")) {
                response = enablesUtf8 ? "* ENABLED UTF8=ACCEPT\r\n" : "* ENABLED\r\n";
            } else if (command.startsWith("LIST")) {
                verb = "LIST";
                response = "* LIST () \"/\" INBOX\r\n* LIST (\\Trash) \"/\" Trash\r\n";
                if (!extraFolder.isEmpty())
                    response += "* LIST () \"/\" " + extraFolder + "\r\n";
            } else if (command.startsWith("SELECT")) {
                response = "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] ok\r\n";
            } else if (command.startsWith("UID SEARCH")) {
                response = "* SEARCH 1 2 3\r\n";
            } else if (command.startsWith("UID FETCH") && command.contains("HEADER.FIELDS")) {
                verb = "HEADER";
                response = summaries(claimedSize);
            } else if (command.startsWith("UID FETCH")) {
                verb = "BODY";
                if (endlessLiteral) {
                    if (!send(fd, "* 1 FETCH (UID 1 BODY[] {" + QByteArray::number(endlessLiteral) + "}\r\n"))
                        return;
                    const QByteArray block(1 << 20, 'x');
                    for (qint64 left = endlessLiteral; left > 0; left -= block.size()) {
                        if (!send(fd, block.left(qsizetype(std::min<qint64>(left, block.size())))))
                            return;
                    }
                }
                response = bodies();
            } else if (command.startsWith("LOGOUT")) {
                send(fd, "* BYE\r\n" + tag + " OK bye\r\n");
                return;
            }
            response += tag + " OK done\r\n";
            const bool mutated = mutate && !verb.isEmpty();
            if (mutated)
                response = mutate(verb, response);
            // After a mutated answer the server hangs up, as a broken one would.
            if (!send(fd, response) || mutated)
                return;
        }
    }

    mutable std::mutex m_mutex;
    QByteArrayList m_commands;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

platform::imap::ServerConfig configFor(const ScriptedServer &server)
{
    platform::imap::ServerConfig c;
    c.host = QStringLiteral("127.0.0.1");
    c.port = server.port();
    c.security = platform::imap::Security::None;
    c.user = QStringLiteral("u");
    c.password = QStringLiteral("p");
    c.timeoutSeconds = 3;
    return c;
}

// Every item's members the folder check reads; the failures met, if any.
QStringList readInbox(const ScriptedServer &server, const QString &folder = QStringLiteral("Inbox"))
{
    QStringList failures;
    try {
        const OleVariant inbox = OleVariant(createImapApplication(configFor(server), QString()))
                                     .call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
                                     .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")})
                                     .call(QStringLiteral("Folders"), {folder});
        const int count = inbox.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
        for (int i = 1; i <= count; ++i) {
            const OleVariant item = inbox.call(QStringLiteral("Items"), {i});
            for (const char *member : {"EntryID", "InternetMessageID", "ReceivedTime", "subject", "body", "senton"}) {
                try {
                    item.call(QString::fromLatin1(member));
                } catch (const AutomationError &e) {
                    failures << e.message();
                }
            }
        }
    } catch (const AutomationError &e) {
        failures << e.message();
    }
    return failures;
}

} // namespace

class TestImapResponses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wellFormedAnswersGiveItems()
    {
        ScriptedServer server;
        QCOMPARE(readInbox(server), QStringList());
    }

    // Names in UTF-8 once the server enabled UTF8=ACCEPT, else in modified
    // UTF-7 (where "&" starts an escape); sent back as they were listed.
    void folderNamesAsEnabled_data()
    {
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<bool>("enables");
        QTest::addColumn<QByteArray>("listed");
        QTest::newRow("UTF-8") << QByteArray("IMAP4rev1 MOVE ENABLE UTF8=ACCEPT") << true
                               << QByteArray("\"Anmeldungen \xc3\x9c & Co\"");
        QTest::newRow("modified UTF-7") << QByteArray("IMAP4rev1 MOVE") << false
                                        << QByteArray("\"Anmeldungen &ANw- &- Co\"");
        QTest::newRow("offered, left off")
            << QByteArray("IMAP4rev1 MOVE ENABLE UTF8=ACCEPT") << false << QByteArray("\"Anmeldungen &ANw- &- Co\"");
    }
    void folderNamesAsEnabled()
    {
        QFETCH(QByteArray, capabilities);
        QFETCH(bool, enables);
        QFETCH(QByteArray, listed);
        ScriptedServer server;
        server.capabilities = capabilities;
        server.enablesUtf8 = enables;
        server.extraFolder = listed;
        QCOMPARE(readInbox(server, QString::fromUtf8("Anmeldungen \xc3\x9c & Co")), QStringList());
        QVERIFY2(server.commands().contains("SELECT " + listed), server.commands().join('|').constData());
        QCOMPARE(server.commands().contains("ENABLE UTF8=ACCEPT"), capabilities.contains("UTF8=ACCEPT"));
    }

    void mutatedAnswers()
    {
        QRandomGenerator random(20240312);
        int failed = 0;
        for (int round = 0; round < 150; ++round) {
            ScriptedServer server;
            const QByteArray target = QList<QByteArray>{"LIST", "HEADER", "BODY"}.at(round % 3);
            const quint32 seed = random.generate();
            server.mutate = [target, seed](const QByteArray &verb, QByteArray r) {
                if (verb != target)
                    return r;
                QRandomGenerator g(seed);
                const int edits = 1 + int(g.bounded(4));
                for (int e = 0; e < edits && !r.isEmpty(); ++e) {
                    const qsizetype at = qsizetype(g.bounded(int(r.size())));
                    switch (g.bounded(5)) {
                    case 0:
                        r[at] = char(g.bounded(256));
                        break;
                    case 1:
                        r.truncate(at);
                        break;
                    case 2:
                        r.insert(at, "{99999}\r\n");
                        break;
                    case 3:
                        r.insert(at, "((((((((((");
                        break;
                    default:
                        r.remove(at, qsizetype(g.bounded(40)));
                        break;
                    }
                }
                return r;
            };
            failed += readInbox(server).isEmpty() ? 0 : 1;
        }
        // Most mutations break something: they were seen, not passed over.
        QVERIFY(failed > 50);
    }

    void endlessLiteralIsCutOff()
    {
        ScriptedServer server;
        server.endlessLiteral = 300LL << 20;
        const QStringList failures = readInbox(server);
        QVERIFY(!failures.isEmpty());
        QVERIFY2(failures.first().contains(QStringLiteral("more than")), qPrintable(failures.first()));
        // What the client read is bounded by its cap: the server could send
        // no more than that and what the sockets buffer.
        QVERIFY(server.sent < (16LL << 20));
    }

    void claimedHugeMessageRefused()
    {
        ScriptedServer server;
        server.claimedSize = 200LL << 20;
        const QStringList failures = readInbox(server);
        QVERIFY(!failures.isEmpty());
        QVERIFY2(failures.contains(QStringLiteral("The message with UID 1 on the server 127.0.0.1:%1 is 200 MB, more "
                                                  "than the 128 MB this program reads; it stays on the server.")
                                       .arg(server.port())),
                 qPrintable(failures.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestImapResponses)
#include "tst_imapresponses.moc"
