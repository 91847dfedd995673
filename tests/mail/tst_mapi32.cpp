// The stand-in mail library as the program loads it, with every message it
// writes read back by an independent parser (Python's email package).
#include "testlib/TestEnv.h"
#include "mail/Email.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "platform/mapi/MapiSetup.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTest>

#include <memory>

using platform::Registry;
using platform::RootKey;

namespace {

QJsonArray mailbox(const QString &name, const QString &address)
{
    return QJsonArray{QJsonArray{name, address}};
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestMapi32 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<SMapi> m_mapi;
    QString m_store;

    const MapiFunctions &f() const { return m_mapi->functions(); }

    void registerProfile(const QString &store)
    {
        QFile::remove(Registry::hiveFilePath(RootKey::CurrentUser));
        QString error;
        QVERIFY2(registerMapiStandIn(store, QStringLiteral("sender@example.org"), &error), qPrintable(error));
        Registry user(RootKey::CurrentUser);
        QVERIFY(user.openKey(mapistandin::profilesKeyPlain() + QLatin1Char('\\') + standInProfileName(), false));
        user.writeString(mapistandin::senderNameValue(), u("Quill, Zoë"));
    }

    QStringList files(const QString &folder, const QString &sub = QStringLiteral("new")) const
    {
        const QDir dir(m_store + QLatin1Char('/') + folder + QLatin1Char('/') + sub);
        QStringList out;
        for (const QString &name : dir.entryList(QDir::Files))
            out.append(dir.filePath(name));
        return out;
    }

    // The one message that arrived in the folder.
    QJsonObject readBack(const QString &folder = QStringLiteral(".Outbox"))
    {
        const QStringList found = files(folder);
        if (found.size() != 1 || !files(folder, QStringLiteral("tmp")).isEmpty()) {
            qWarning() << "expected one message in" << folder << "found" << found;
            return {};
        }
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral(READ_MESSAGE_PY), found.first()});
        if (!python.waitForFinished(300000) || python.exitCode() != 0) {
            qWarning() << python.readAllStandardError();
            return {};
        }
        const QJsonObject out = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        if (!out.value(QStringLiteral("defects")).toArray().isEmpty())
            qWarning() << "parser defects:" << out.value(QStringLiteral("defects"));
        return out;
    }

    bool nothingWritten() const
    {
        return files(QStringLiteral(".Outbox")).isEmpty() && files(QStringLiteral(".Outbox"), QStringLiteral("tmp")).isEmpty()
            && files(QStringLiteral(".Drafts")).isEmpty();
    }

    std::unique_ptr<TEmail> makeEmail()
    {
        auto email = std::make_unique<TEmail>(*m_mapi);
        email->setUseDefProfile(true);
        email->setDownLoadFirst(true);
        return email;
    }

    LHANDLE logon()
    {
        LHANDLE session = 0;
        const ULONG code = f().MAPILogon(0, nullptr, nullptr, 0, 0, &session);
        return code == SUCCESS_SUCCESS ? session : 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnv>();
        m_store = QDir(m_env->home()).filePath(QStringLiteral("Maildir"));
        QVERIFY(QDir().mkpath(m_store));
        registerProfile(m_store);
        m_mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
        QVERIFY(m_mapi->MapiAvailable());
    }

    void init()
    {
        for (const char *folder : {".Outbox", ".Drafts", ".Contacts"})
            QDir(m_store + QLatin1Char('/') + QLatin1String(folder)).removeRecursively();
    }

    void registrationKeepsWhatIsThere()
    {
        auto restore = qScopeGuard([this] { registerProfile(m_store); });
        QFile::remove(Registry::hiveFilePath(RootKey::LocalMachine));
        QFile::remove(Registry::hiveFilePath(RootKey::CurrentUser));
        QString error;
        QVERIFY(registerMapiStandIn(QStringLiteral("/first/store"), &error));
        Registry user(RootKey::CurrentUser);
        const QString profileKey = mapistandin::profilesKeyPlain() + QLatin1Char('\\') + standInProfileName();
        QVERIFY(user.openKey(profileKey, false));
        QCOMPARE(user.readString(mapistandin::senderAddressValue()), defaultSenderAddress());
        user.writeString(mapistandin::senderAddressValue(), QStringLiteral("me@example.org"));

        QVERIFY(registerMapiStandIn(QStringLiteral("/second/store"), QStringLiteral("other@x.org"), &error));
        QVERIFY(user.openKey(profileKey, false));
        QCOMPARE(user.readString(mapistandin::storePathValue()), QStringLiteral("/first/store"));
        QCOMPARE(user.readString(mapistandin::senderAddressValue()), QStringLiteral("me@example.org"));
        Registry machine(RootKey::LocalMachine);
        QVERIFY(machine.openKey(mapistandin::availabilityKey(), false));
        QCOMPARE(machine.readString(mapistandin::availabilityValue()), QStringLiteral("1"));
        machine.writeString(mapistandin::availabilityValue(), QStringLiteral("0"));
        QVERIFY(registerMapiStandIn(QStringLiteral("/third"), &error));
        QVERIFY(machine.openKey(mapistandin::availabilityKey(), false));
        QCOMPARE(machine.readString(mapistandin::availabilityValue()), QStringLiteral("0")); // the user's choice
        machine.writeString(mapistandin::availabilityValue(), QStringLiteral("1"));
    }

    void headersNamesAndReceipt()
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
    }

    void fiveHundredBccAndOneMegabyteBody()
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
        QVERIFY(m.value(QStringLiteral("longest_line")).toInt() <= 998);
        QVERIFY(m.value(QStringLiteral("defects")).toArray().isEmpty());
    }

    void attachmentsArriveByteForByte()
    {
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char(i % 256);
        QByteArray random(300000, '\0');
        QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
        const QString dir = m_env->root();
        const QList<std::pair<QString, QByteArray>> attachments{
            {u("Überweisung März.bin"), binary}, {u("leer.txt"), QByteArray()}, {u("日本語の名前.pdf"), random},
            {u("text with\r\nbreaks.txt"), QByteArray("a\r\nb\rc\n")}};
        QStringList paths;
        for (const auto &[name, bytes] : attachments) {
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
            QCOMPARE(a.value(QStringLiteral("size")).toInt(), attachments[i].second.size());
            QCOMPARE(a.value(QStringLiteral("sha256")).toString(), sha256(attachments[i].second));
        }
    }

    void noRecipientsGoesToDrafts()
    {
        auto email = makeEmail();
        email->setSubject(QStringLiteral("To be addressed"));
        QCOMPARE(email->SendMail(), 0);
        QVERIFY(files(QStringLiteral(".Outbox")).isEmpty());
        const QJsonObject m = readBack(QStringLiteral(".Drafts"));
        QCOMPARE(m.value(QStringLiteral("subject")).toString(), QStringLiteral("To be addressed"));
        QVERIFY(m.value(QStringLiteral("to")).isNull());
    }

    void namesResolveAgainstContacts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::newRow("nickname") << "jb" << 0 << 0 << u("Jörg Brandt") << "SMTP:jb@example.org";
        QTest::newRow("display name, other case") << u("JÖRG brandt") << 0 << 0 << u("Jörg Brandt")
                                                  << "SMTP:jb@example.org";
        QTest::newRow("two contacts") << "Ann Lee" << 0 << 21 << "" << "";
        QTest::newRow("shared display name stays unique") << "annie" << 0 << 0 << "Ann Lee <ann2@example.org>"
                                                          << "SMTP:ann2@example.org";
        QTest::newRow("unknown") << "nobody" << 0 << 14 << "" << "";
        QTest::newRow("unknown, dialog cancelled") << "nobody" << int(MAPI_DIALOG) << 1 << "" << "";
        QTest::newRow("address") << " x@y.org " << 0 << 0 << "x@y.org" << "SMTP:x@y.org";
        QTest::newRow("address type") << "smtp:x@y.org" << 0 << 0 << "x@y.org" << "SMTP:x@y.org";
        QTest::newRow("bracketed address type") << "[SMTP:someone]" << 0 << 0 << "someone" << "SMTP:someone";
        QTest::newRow("other address type") << "[FAX:12345]" << 0 << 14 << "" << "";
        QTest::newRow("broken address") << "a@b@c" << 0 << 14 << "" << "";
    }

    void namesResolveAgainstContacts()
    {
        QFETCH(QString, typed);
        QFETCH(int, flags);
        QFETCH(int, code);
        QFETCH(QString, name);
        QFETCH(QString, address);
        writeFile(m_store + QStringLiteral("/.Contacts/cur/1.vcf"),
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:J\xc3\xb6rg Brandt\r\nNICKNAME:jb,joe\r\n"
                  "EMAIL;TYPE=INTERNET:jb@example.org\r\nEND:VCARD\r\n");
        writeFile(m_store + QStringLiteral("/.Contacts/new/2.vcf"),
                  "BEGIN:VCARD\nFN:Ann Lee\nEMAIL:ann1@example.org\nEND:VCARD\n"
                  "BEGIN:VCARD\nFN:Ann Lee\nNICKNAME:annie\nEMAIL:ann2@example.org\nEND:VCARD\n");
        const LHANDLE session = logon();
        QVERIFY(session);
        lpMapiRecipDesc r = nullptr;
        QByteArray text = typed.toUtf8();
        QCOMPARE(int(f().MAPIResolveName(session, 0, text.data(), FLAGS(flags), 0, &r)), code);
        if (code == 0) {
            QVERIFY(r);
            QCOMPARE(QString::fromUtf8(r->lpszName), name);
            QCOMPARE(QString::fromUtf8(r->lpszAddress), address);
            QCOMPARE(f().MAPIFreeBuffer(r), ULONG(0));
            QCOMPARE(f().MAPIFreeBuffer(r), ULONG(MAPI_E_FAILURE)); // taken back once only
        } else {
            QVERIFY(!r);
        }
        QCOMPARE(f().MAPILogoff(session, 0, 0, 0), ULONG(0));
    }

    void resolvedNamesReachTheirAddresses()
    {
        writeFile(m_store + QStringLiteral("/.Contacts/cur/1.vcf"),
                  "BEGIN:VCARD\nFN:Ann Lee\nEMAIL:ann1@example.org\nEND:VCARD\n"
                  "BEGIN:VCARD\nFN:Ann Lee\nNICKNAME:annie\nEMAIL:ann2@example.org\nEND:VCARD\n");
        auto email = makeEmail();
        QCOMPARE(email->Logon(), 0);
        // As the send dialog does: resolve when typed, then send the kept names.
        email->setBcc({email->ResolveRecipient(QStringLiteral("annie")),
                       email->ResolveRecipient(QStringLiteral("[SMTP:list@example.org]"))});
        QCOMPARE(email->SendMail(), 0);
        QCOMPARE(email->Logoff(), 0);
        QCOMPARE(readBack().value(QStringLiteral("bcc")).toArray(),
                 (QJsonArray{QJsonArray{u("Ann Lee"), u("ann2@example.org")}, QJsonArray{QString(), u("list@example.org")}}));
    }

    void badAttachmentsWriteNothing()
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
        const QList<std::pair<QString, int>> cases{{QStringLiteral("/nonexistent/a.txt"), 11},
                                                   {m_env->root(), 12},
                                                   {noAccess, enforced ? 12 : 0}};
        for (const auto &[path, expected] : cases) {
            QByteArray p1 = present.toUtf8(), p2 = path.toUtf8();
            MapiFileDesc files[2] = {{0, 0, 0xFFFFFFFF, p1.data(), nullptr, nullptr},
                                     {0, 0, 0xFFFFFFFF, p2.data(), nullptr, nullptr}};
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

    void hundredMegabyteAttachment()
    {
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

    void invalidTextAndHeaderInjection()
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

    void storeProblems()
    {
        QByteArray to("to@example.org");
        MapiRecipDesc recip{0, MAPI_TO, to.data(), nullptr, 0, nullptr};
        MapiMessage m{};
        m.nRecipCount = 1;
        m.lpRecips = &recip;
        const LHANDLE session = logon();
        auto logoff = qScopeGuard([&] { f().MAPILogoff(session, 0, 0, 0); });

        // A missing Outbox is made.
        QCOMPARE(f().MAPISendMail(session, 0, &m, 0, 0), ULONG(0));
        QCOMPARE(files(QStringLiteral(".Outbox")).size(), 1);
        init();

        // An Outbox whose tmp/ cannot take a file.
        QVERIFY(QDir().mkpath(m_store + QStringLiteral("/.Outbox/new")));
        writeFile(m_store + QStringLiteral("/.Outbox/tmp"), "not a folder");
        QCOMPARE(f().MAPISendMail(session, 0, &m, 0, 0), ULONG(MAPI_E_FAILURE));
        QVERIFY(files(QStringLiteral(".Outbox")).isEmpty());
        init();

        QVERIFY(QDir().mkpath(m_store + QStringLiteral("/.Outbox/tmp")));
        const QString tmp = m_store + QStringLiteral("/.Outbox/tmp");
        QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        bool locked = !QFile(tmp + QStringLiteral("/probe")).open(QIODevice::WriteOnly);
        if (!locked) {
            // Root writes anywhere, except into an immutable folder.
            QFile::remove(tmp + QStringLiteral("/probe"));
            locked = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), tmp}) == 0;
        }
        auto writable = qScopeGuard([&] {
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), tmp});
            QFile::setPermissions(tmp, QFileDevice::Permissions(0x7000));
        });
        if (!locked)
            QSKIP("cannot make a folder read-only here");
        QCOMPARE(f().MAPISendMail(session, 0, &m, 0, 0), ULONG(MAPI_E_ACCESS_DENIED));
        QVERIFY(nothingWritten());
    }

    void profileNamingMissingStore()
    {
        auto restore = qScopeGuard([this] { registerProfile(m_store); });
        registerProfile(QDir(m_env->root()).filePath(QStringLiteral("no such store")));
        LHANDLE session = 7;
        QCOMPARE(f().MAPILogon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &session), ULONG(MAPI_E_LOGON_FAILURE));
        QCOMPARE(session, LHANDLE(0));
        QByteArray unknown("No such profile");
        QCOMPARE(f().MAPILogon(0, unknown.data(), nullptr, 0, 0, &session), ULONG(MAPI_E_LOGON_FAILURE));
        QCOMPARE(f().MAPILogon(0, unknown.data(), nullptr, MAPI_LOGON_UI, 0, &session), ULONG(MAPI_E_USER_ABORT));
        auto email = makeEmail();
        QCOMPARE(email->SendMail(), MAPI_E_LOGON_FAILURE);
        QVERIFY(!QFileInfo::exists(QDir(m_env->root()).filePath(QStringLiteral("no such store"))));
    }

    void callsOutsideTheSendPath()
    {
        const LHANDLE session = logon();
        QCOMPARE(f().MAPIFindNext(session, 0, nullptr, nullptr, 0, 0, nullptr), ULONG(MAPI_E_NOT_SUPPORTED));
        QCOMPARE(f().MAPIReadMail(session, 0, nullptr, 0, 0, nullptr), ULONG(MAPI_E_NOT_SUPPORTED));
        QCOMPARE(f().MAPISaveMail(session, 0, nullptr, 0, 0, nullptr), ULONG(MAPI_E_NOT_SUPPORTED));
        QCOMPARE(f().MAPIDeleteMail(session, 0, nullptr, 0, 0), ULONG(MAPI_E_NOT_SUPPORTED));
        int notOurs = 0;
        QCOMPARE(f().MAPIFreeBuffer(&notOurs), ULONG(MAPI_E_FAILURE));

        QByteArray name("Given"), address("SMTP:given@example.org"), typed("x@example.org"), fax("FAX:12345");
        MapiRecipDesc in[2] = {{0, MAPI_CC, name.data(), address.data(), 0, nullptr},
                               {0, MAPI_BCC, typed.data(), nullptr, 0, nullptr}};
        ULONG count = 0;
        lpMapiRecipDesc out = nullptr;
        char empty[] = "";
        QCOMPARE(f().MAPIAddress(session, 0, empty, 4, empty, 2, in, 0, 0, &count, &out), ULONG(0));
        QCOMPARE(count, ULONG(2));
        QCOMPARE(out[0].ulRecipClass, ULONG(MAPI_CC));
        QCOMPARE(QByteArray(out[0].lpszName), name);
        QCOMPARE(QByteArray(out[1].lpszAddress), QByteArray("SMTP:x@example.org"));
        QCOMPARE(f().MAPIFreeBuffer(out), ULONG(0));
        QCOMPARE(f().MAPIAddress(session, 0, empty, 5, empty, 2, in, 0, 0, &count, &out),
                 ULONG(MAPI_E_INVALID_EDITFIELDS));

        MapiMessage m{};
        m.nRecipCount = 1;
        m.lpRecips = in;
        in[0].ulRecipClass = MAPI_ORIG;
        QCOMPARE(f().MAPISendMail(session, 0, &m, 0, 0), ULONG(MAPI_E_BAD_RECIPTYPE));
        in[0] = {0, MAPI_TO, name.data(), fax.data(), 0, nullptr};
        QCOMPARE(f().MAPISendMail(session, 0, &m, 0, 0), ULONG(MAPI_E_UNKNOWN_RECIPIENT));
        m.nRecipCount = 0;
        QCOMPARE(f().MAPISendMail(session, 0, &m, 0, 0), ULONG(MAPI_E_INVALID_RECIPS));
        QCOMPARE(f().MAPILogoff(session, 0, 0, 0), ULONG(0));
        QCOMPARE(f().MAPILogoff(session, 0, 0, 0), ULONG(MAPI_E_INVALID_SESSION));
        QCOMPARE(f().MAPISendMail(session, 0, &m, MAPI_DIALOG, 0), ULONG(MAPI_E_INVALID_SESSION));
        QVERIFY(nothingWritten());
    }
};

QTEST_GUILESS_MAIN(TestMapi32)
#include "tst_mapi32.moc"
