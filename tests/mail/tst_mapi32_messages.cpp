// What the messages the library writes carry: headers, bodies and
// attachments, whatever the caller's text holds.
#include "mail/Mapi32Test.h"
#include "testlib/SlowCase.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTest>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mapitest;

void TestMapi32::headersNamesAndReceipt()
{
    auto email = makeEmail();
    email->setRecipient({u("\"Núñez, Ana\" <ana@example.org>"), u("Jörg Ñandú <jb@example.org>")});
    email->setCC({u("\"Doe, John\" <SMTP:john@example.org>"), u("\"Sam \\\"The Man\\\" <Ops>\" <sam@example.org>")});
    email->setBcc({QStringLiteral("bcc1@example.org")});
    email->setSubject(u("Grüße – ünïcode ✓, \"quoted\""));
    email->SetLongText(u("Line one\r\nZweite Zeile äöü\r\n"));
    email->setAcknowledge(true);
    QCOMPARE(email->SendMail(), 0);

    const QJsonObject m = readBack();
    QCOMPARE(m.value(QStringLiteral("from")).toArray(), mailbox(u("Quill, Zoë"), QStringLiteral("sender@example.org")));
    QCOMPARE(m.value(QStringLiteral("to")).toArray(), (QJsonArray{QJsonArray{u("Núñez, Ana"), u("ana@example.org")},
                                                                  QJsonArray{u("Jörg Ñandú"), u("jb@example.org")}}));
    QCOMPARE(m.value(QStringLiteral("cc")).toArray(),
             (QJsonArray{QJsonArray{u("Doe, John"), u("john@example.org")},
                         QJsonArray{u("Sam \"The Man\" <Ops>"), u("sam@example.org")}}));
    QCOMPARE(m.value(QStringLiteral("bcc")).toArray(), mailbox(QString(), QStringLiteral("bcc1@example.org")));
    QCOMPARE(m.value(QStringLiteral("notify")).toArray(), m.value(QStringLiteral("from")).toArray());
    QCOMPARE(m.value(QStringLiteral("subject")).toString(), email->Subject());
    QCOMPARE(m.value(QStringLiteral("body")).toString(), u("Line one\nZweite Zeile äöü\n"));
    QCOMPARE(m.value(QStringLiteral("charset")).toString(), QStringLiteral("utf-8"));
    QVERIFY(!m.value(QStringLiteral("date")).toString().isEmpty());
    QVERIFY(m.value(QStringLiteral("message_id")).toString().endsWith(QStringLiteral("@example.org>")));
    QVERIFY(m.value(QStringLiteral("defects")).toArray().isEmpty());
    QVERIFY(m.value(QStringLiteral("longest_line")).toInt() <= 998);
    QVERIFY(m.value(QStringLiteral("longest_header_line")).toInt() <= 78);
}

void TestMapi32::fiveHundredBccAndOneMegabyteBody()
{
    QStringList bcc;
    for (int i = 0; i < 500; ++i)
        bcc.append(QStringLiteral("member%1@list.example.org").arg(i));
    QString body;
    while (body.size() < 1024 * 1024)
        body += u("Zeile mit Umlauten äöü und einem langen Text, der nicht umbricht. ") + QString::number(body.size())
                + (body.size() % 7 ? QStringLiteral(" ") : QStringLiteral("\n"));
    auto email = makeEmail();
    email->setBcc(bcc);
    email->SetLongText(body);
    QCOMPARE(email->SendMail(), 0);

    const QJsonObject m = readBack();
    const QJsonArray got = m.value(QStringLiteral("bcc")).toArray();
    QCOMPARE(got.size(), 500);
    for (int i = 0; i < 500; ++i)
        QCOMPARE(got[i].toArray()[1].toString(), bcc[i]);
    QCOMPARE(m.value(QStringLiteral("body_length")).toInt(), body.size());
    QCOMPARE(m.value(QStringLiteral("body_sha256")).toString(), sha256(body.toUtf8()));
    QVERIFY(m.value(QStringLiteral("longest_header_line")).toInt() <= 78);
    QVERIFY(m.value(QStringLiteral("defects")).toArray().isEmpty());
}

namespace {

QStringList asLatin1(const QByteArrayList &texts)
{
    QStringList out;
    for (const QByteArray &text : texts)
        out.append(QString::fromLatin1(text));
    return out;
}

} // namespace

void TestMapi32::textArrivesAsGiven_data()
{
    // Subject, display name, body and attachment name; as a reader shows them.
    QTest::addColumn<QByteArrayList>("given");
    QTest::addColumn<QStringList>("expected");
    const QByteArrayList lookalikes{"=?utf-8?q?x?= literal", "=?utf-8?b?eA==?= Lee",
                                    "=?utf-8?q?x?=", "=?utf-8?q?x?=.txt"};
    QTest::newRow("looks like encoded words") << lookalikes << asLatin1(lookalikes);
    QTest::newRow("UTF-8 with stray bytes") << QByteArrayList{"Gr\xc3\xbc\xdf"
                                                              "e",
                                                              "J\xc3\xb6rg \xd1"
                                                              "and\xfa",
                                                              "\x80 5 caf\xc3\xa9", "r\xe9sum\xc3\xa9.txt"}
                                            << QStringList{u("Grüße"), u("Jörg Ñandú"), u("€ 5 café"), u("résumé.txt")};
    QTest::newRow("lone CR in the body") << QByteArrayList{"s", "n", "a\rb\r\nc\n\rd", "f.txt"}
                                         << QStringList{u("s"), u("n"), u("a\nb\nc\n\nd"), u("f.txt")};
    QTest::newRow("line breaks in header text")
        << QByteArrayList{"Hi\r\nBcc: evil@example.org", "Eve\r\nBcc: evil@example.org\r\n", "x",
                          "a\nContent-Type: text/html.txt"}
        << asLatin1({"Hi  Bcc: evil@example.org", "Eve  Bcc: evil@example.org", "x", "a Content-Type: text/html.txt"});
    const QByteArrayList specials{"(not a comment) \"q\" \\", "Sam \"The Man\" <Ops>, (x); \\", ".\n",
                                  "a \"b\" \\c;d.txt"};
    QTest::newRow("quotes and specials") << specials << asLatin1(specials);
    const QByteArrayList longLines{QByteArray(100000, 'a'), QByteArray("Ann Lee ").repeated(12500).trimmed(),
                                   QByteArray(100000, 'y'), QByteArray(300, 'f') + ".txt"};
    QTest::newRow("100k-character lines") << longLines << asLatin1(longLines);
}

void TestMapi32::textArrivesAsGiven()
{
    QFETCH(QByteArrayList, given);
    QFETCH(QStringList, expected);
    const QString file = QDir(m_env->root()).filePath(QStringLiteral("attached.txt"));
    writeFile(file, "x");
    QCOMPARE(send({given[0], given[2], {{MAPI_TO, given[1], "to@example.org"}}, {{QFile::encodeName(file), given[3]}}}),
             0u);

    const QJsonObject m = readBack();
    QCOMPARE(m.value(QStringLiteral("defects")).toArray(), QJsonArray());
    QCOMPARE(m.value(QStringLiteral("subject")).toString(), expected[0]);
    QCOMPARE(m.value(QStringLiteral("to")).toArray(), mailbox(expected[1], QStringLiteral("to@example.org")));
    QVERIFY(m.value(QStringLiteral("bcc")).isNull());
    QCOMPARE(m.value(QStringLiteral("body")).toString(), expected[2]);
    const QJsonArray attachments = m.value(QStringLiteral("attachments")).toArray();
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments[0].toObject().value(QStringLiteral("filename")).toString(), expected[3]);
    QCOMPARE(attachments[0].toObject().value(QStringLiteral("content_type")).toString(), QStringLiteral("text/plain"));
    QVERIFY(m.value(QStringLiteral("longest_header_line")).toInt() <= 78);
    QVERIFY(m.value(QStringLiteral("longest_line")).toInt() <= 998);
}

void TestMapi32::invalidTextAndHeaderInjection()
{
    // Not UTF-8: read as windows-1252 (the five bytes it leaves open are skipped here).
    QByteArray body;
    for (int b = 1; b < 256; ++b) {
        if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D && b != '\r')
            body += char(b);
    }
    QByteArray subject("caf\xe9\r\nBcc: evil@example.org");
    QByteArray to("to@example.org");
    MapiRecipDesc recip{0, MAPI_TO, to.data(), nullptr, 0, nullptr};
    MapiMessage m{};
    m.lpszSubject = subject.data();
    m.lpszNoteText = body.data();
    m.nRecipCount = 1;
    m.lpRecips = &recip;
    QCOMPARE(f().MAPISendMail(0, 0, &m, 0, 0), ULONG(0)); // session 0: the default profile for one call
    const QJsonObject out = readBack();
    QCOMPARE(out.value(QStringLiteral("subject")).toString(), u("café  Bcc: evil@example.org"));
    QVERIFY(out.value(QStringLiteral("bcc")).isNull());
    QCOMPARE(out.value(QStringLiteral("body")).toString(), QStringDecoder("windows-1252").decode(body));
}

void TestMapi32::attachmentsArriveByteForByte()
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char(i % 256);
    QByteArray random(300000, '\0');
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    const QString dir = m_env->root();
    // Text is labelled UTF-8 where its bytes are.
    const QList<std::tuple<QString, QByteArray, QString>> attachments{
        {u("Überweisung März.bin"), binary, QString()},
        {u("leer.txt"), QByteArray(), QStringLiteral("utf-8")},
        {u("日本語の名前.pdf"), random, QString()},
        {u("text with\r\nbreaks.txt"), QByteArray("a\r\nb\rc\n"), QStringLiteral("utf-8")},
        // Characters across the pieces the file is read in.
        {u("utf8.csv"), QByteArray(65535, 'a') + u("é").toUtf8() + QByteArray(65534, 'b') + u("😀").toUtf8(),
         QStringLiteral("utf-8")},
        {u("latin1.csv"), QByteArray("caf\xe9\n"), QString()}};
    QStringList paths;
    for (const auto &[name, bytes, charset] : attachments) {
        paths.append(QDir(dir).filePath(QString(name).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'))));
        writeFile(paths.last(), bytes);
    }
    auto email = makeEmail();
    email->setTruncAttFN(false);
    email->setRecipient({QStringLiteral("to@example.org")});
    email->setAttachment(paths);
    QCOMPARE(email->SendMail(), 0);

    const QJsonArray got = readBack().value(QStringLiteral("attachments")).toArray();
    QCOMPARE(got.size(), attachments.size());
    for (int i = 0; i < got.size(); ++i) {
        const QJsonObject a = got[i].toObject();
        QCOMPARE(a.value(QStringLiteral("filename")).toString(), QFileInfo(paths[i]).fileName());
        QCOMPARE(a.value(QStringLiteral("sha256")).toString(), sha256(std::get<1>(attachments[i])));
        QCOMPARE(a.value(QStringLiteral("charset")).toString(), std::get<2>(attachments[i]));
    }
}

void TestMapi32::attachmentsOpenedOneAtATime()
{
    // More attachments than open files allowed; the first file's name is
    // not UTF-8.
    const QByteArray dir = QFile::encodeName(QDir(m_env->root()).filePath(QStringLiteral("many")));
    QVERIFY(QDir().mkpath(QFile::decodeName(dir)));
    RawMessage m;
    m.recipients = {{MAPI_TO, "", "to@example.org"}};
    // A name QDir cannot spell is removed here.
    auto remove = qScopeGuard([&] {
        for (const auto &file : std::as_const(m.files))
            ::unlink(file.first.constData());
    });
    for (int i = 0; i < 120; ++i) {
        const QByteArray path = dir + (i == 0 ? QByteArray("/caf\xe9.txt") : '/' + QByteArray::number(i) + ".bin");
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, QByteArray::number(i).constData(), size_t(QByteArray::number(i).size())),
                 ssize_t(QByteArray::number(i).size()));
        ::close(fd);
        m.files.append({path, QByteArray()});
    }
    struct rlimit usual, few;
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &usual), 0);
    few = usual;
    few.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
    const ULONG code = send(m);
    ::setrlimit(RLIMIT_NOFILE, &usual);
    QCOMPARE(code, 0u);

    const QJsonArray got = readBack().value(QStringLiteral("attachments")).toArray();
    QCOMPARE(got.size(), 120);
    QCOMPARE(got[0].toObject().value(QStringLiteral("filename")).toString(), u("café.txt"));
    for (int i = 0; i < 120; ++i)
        QCOMPARE(got[i].toObject().value(QStringLiteral("sha256")).toString(), sha256(QByteArray::number(i)));
}

void TestMapi32::badAttachmentsWriteNothing()
{
    const LHANDLE session = logon();
    auto logoff = qScopeGuard([&] { f().MAPILogoff(session, 0, 0, 0); });
    const QString present = QDir(m_env->root()).filePath(QStringLiteral("present.txt"));
    writeFile(present, "x");
    const QString noAccess = QDir(m_env->root()).filePath(QStringLiteral("secret.txt"));
    writeFile(noAccess, "x");
    QFile::setPermissions(noAccess, QFileDevice::Permissions());
    const bool enforced = !QFile(noAccess).open(QIODevice::ReadOnly);

    QByteArray to("to@example.org");
    MapiRecipDesc recip{0, MAPI_TO, to.data(), nullptr, 0, nullptr};
    const QList<std::pair<QString, int>> cases{
        {QStringLiteral("/nonexistent/a.txt"), 11}, {m_env->root(), 12}, {noAccess, enforced ? 12 : 0}};
    for (const auto &[path, expected] : cases) {
        QByteArray p1 = present.toUtf8(), p2 = path.toUtf8();
        MapiFileDesc files[2]
            = {{0, 0, 0xFFFFFFFF, p1.data(), nullptr, nullptr}, {0, 0, 0xFFFFFFFF, p2.data(), nullptr, nullptr}};
        MapiMessage m{};
        m.nRecipCount = 1;
        m.lpRecips = &recip;
        m.nFileCount = 2;
        m.lpFiles = files;
        QCOMPARE(int(f().MAPISendMail(session, 0, &m, 0, 0)), expected);
        if (expected)
            QVERIFY(nothingWritten());
        init();
    }
}

void TestMapi32::pipeAttachmentAnsweredAtOnce()
{
    const QByteArray pipe = QFile::encodeName(QDir(m_env->root()).filePath(QStringLiteral("pipe.txt")));
    QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
    auto removePipe = qScopeGuard([&] { ::unlink(pipe.constData()); });
    const LHANDLE session = logon();
    auto logoff = qScopeGuard([&] { f().MAPILogoff(session, 0, 0, 0); });
    RawMessage m;
    m.recipients = {{MAPI_TO, "", "SMTP:to@example.org"}};
    m.files = {{pipe, "pipe.txt"}};
    auto sending = std::async(std::launch::async, [&] { return send(m, session); });
    const bool answered = sending.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    // An open waiting for a writer returns once one comes and goes, so a
    // library that waits fails here instead of holding up the run.
    while (sending.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int writer = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0)
            ::close(writer);
    }
    const ULONG code = sending.get();
    QVERIFY2(answered, "the send waited for someone to write to the pipe");
    QCOMPARE(code, ULONG(MAPI_E_ATTACHMENT_OPEN_FAILURE));
    QVERIFY(nothingWritten());
}

void TestMapi32::hundredMegabyteAttachment()
{
    QUILLMAR_SLOW_CASE();
    const QString path = QDir(m_env->root()).filePath(QStringLiteral("big.bin"));
    {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(100 * 1024 * 1024));
        big.seek(12345678);
        big.write("needle");
    }
    auto cleanup = qScopeGuard([&] { QFile::remove(path); });
    auto email = makeEmail();
    email->setRecipient({QStringLiteral("to@example.org")});
    email->setAttachment({path});
    QCOMPARE(email->SendMail(), 0);
    QFile big(path);
    QVERIFY(big.open(QIODevice::ReadOnly));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&big);
    const QJsonObject a = readBack().value(QStringLiteral("attachments")).toArray().first().toObject();
    QCOMPARE(a.value(QStringLiteral("size")).toInt(), 100 * 1024 * 1024);
    QCOMPARE(a.value(QStringLiteral("sha256")).toString(), QString::fromLatin1(hash.result().toHex()));
}
