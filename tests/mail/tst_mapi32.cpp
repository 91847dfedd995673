// Logon, profiles, name resolution and the store: the library's calls and
// their answers.
#include "mail/Mapi32Test.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "platform/mapi/MapiSetup.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

#include <dlfcn.h>
#include <sys/resource.h>

using namespace mapitest;
using platform::Registry;
using platform::RootKey;

namespace mapitest {

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

} // namespace mapitest

void TestMapi32::registerProfile(const QString &store)
{
    QFile::remove(Registry::hiveFilePath(RootKey::CurrentUser));
    QString error;
    QVERIFY2(registerMapiStandIn(store, QStringLiteral("sender@example.org"), &error), qPrintable(error));
    Registry user(RootKey::CurrentUser);
    QVERIFY(user.openKey(mapistandin::profilesKeyPlain() + QLatin1Char('\\') + standInProfileName(), false));
    user.writeString(mapistandin::senderNameValue(), u("Quill, Zoë"));
}

QStringList TestMapi32::files(const QString &folder, const QString &sub) const
{
    const QDir dir(m_store + QLatin1Char('/') + folder + QLatin1Char('/') + sub);
    QStringList out;
    for (const QString &name : dir.entryList(QDir::Files))
        out.append(dir.filePath(name));
    return out;
}

QJsonObject TestMapi32::readBack(const QString &folder)
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

bool TestMapi32::nothingWritten() const
{
    return files(QStringLiteral(".Outbox")).isEmpty()
           && files(QStringLiteral(".Outbox"), QStringLiteral("tmp")).isEmpty()
           && files(QStringLiteral(".Drafts")).isEmpty();
}

std::unique_ptr<TEmail> TestMapi32::makeEmail()
{
    auto email = std::make_unique<TEmail>(*m_mapi);
    email->setUseDefProfile(true);
    email->setDownLoadFirst(true);
    return email;
}

LHANDLE TestMapi32::logon()
{
    LHANDLE session = 0;
    const ULONG code = f().MAPILogon(0, nullptr, nullptr, 0, 0, &session);
    return code == SUCCESS_SUCCESS ? session : 0;
}

ULONG TestMapi32::send(const RawMessage &message, LHANDLE session)
{
    RawMessage m = message; // the interface takes char *, not const char *
    QVector<MapiRecipDesc> recipients;
    for (auto &[recipClass, name, address] : m.recipients)
        recipients.append({0, recipClass, name.data(), address.isEmpty() ? nullptr : address.data(), 0, nullptr});
    QVector<MapiFileDesc> files;
    for (auto &[path, name] : m.files)
        files.append({0, 0, 0xFFFFFFFF, path.data(), name.isEmpty() ? nullptr : name.data(), nullptr});
    MapiMessage out{};
    out.lpszSubject = m.subject.data();
    out.lpszNoteText = m.body.data();
    out.nRecipCount = ULONG(recipients.size());
    out.lpRecips = recipients.data();
    out.nFileCount = ULONG(files.size());
    out.lpFiles = files.isEmpty() ? nullptr : files.data();
    return f().MAPISendMail(session, 0, &out, 0, 0);
}

void TestMapi32::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    m_store = QDir(m_env->home()).filePath(QStringLiteral("Maildir"));
    QVERIFY(QDir().mkpath(m_store));
    registerProfile(m_store);
    m_mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
    QVERIFY(m_mapi->MapiAvailable());
}

void TestMapi32::init()
{
    for (const char *folder : {".Outbox", ".Drafts", ".Contacts"})
        QDir(m_store + QLatin1Char('/') + QLatin1String(folder)).removeRecursively();
}

void TestMapi32::registrationKeepsWhatIsThere()
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

void TestMapi32::noRecipientsGoesToDrafts()
{
    auto email = makeEmail();
    email->setSubject(QStringLiteral("To be addressed"));
    QCOMPARE(email->SendMail(), 0);
    QVERIFY(files(QStringLiteral(".Outbox")).isEmpty());
    const QJsonObject m = readBack(QStringLiteral(".Drafts"));
    QCOMPARE(m.value(QStringLiteral("subject")).toString(), QStringLiteral("To be addressed"));
    QVERIFY(m.value(QStringLiteral("to")).isNull());
}

void TestMapi32::namesResolveAgainstContacts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::newRow("nickname") << "jb" << 0 << 0 << u("Jörg Brandt") << "SMTP:jb@example.org";
    QTest::newRow("display name, other case")
        << u("JÖRG brandt") << 0 << 0 << u("Jörg Brandt") << "SMTP:jb@example.org";
    QTest::newRow("two contacts") << "Ann Lee" << 0 << 21 << ""
                                  << "";
    QTest::newRow("shared display name stays unique") << "annie" << 0 << 0 << "Ann Lee <ann2@example.org>"
                                                      << "SMTP:ann2@example.org";
    QTest::newRow("unknown") << "nobody" << 0 << 14 << ""
                             << "";
    QTest::newRow("unknown, dialog cancelled") << "nobody" << int(MAPI_DIALOG) << 1 << ""
                                               << "";
    QTest::newRow("address") << " x@y.org " << 0 << 0 << "x@y.org"
                             << "SMTP:x@y.org";
    QTest::newRow("address type") << "smtp:x@y.org" << 0 << 0 << "x@y.org"
                                  << "SMTP:x@y.org";
    QTest::newRow("bracketed address type") << "[SMTP:a@y.org]" << 0 << 0 << "a@y.org"
                                            << "SMTP:a@y.org";
    QTest::newRow("address type, no domain") << "[SMTP:someone]" << 0 << 14 << ""
                                             << "";
    QTest::newRow("other address type") << "[FAX:12345]" << 0 << 14 << ""
                                        << "";
    QTest::newRow("broken address") << "a@b@c" << 0 << 14 << ""
                                    << "";
}

void TestMapi32::namesResolveAgainstContacts()
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

void TestMapi32::resolvedNamesReachTheirAddresses()
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
    QCOMPARE(
        readBack().value(QStringLiteral("bcc")).toArray(),
        (QJsonArray{QJsonArray{u("Ann Lee"), u("ann2@example.org")}, QJsonArray{QString(), u("list@example.org")}}));
}

void TestMapi32::addressesAHeaderCanHold_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("written");
    const QString local64(64, QLatin1Char('l'));
    QTest::newRow("plain") << "ann.lee+list@example.org" << 0 << "ann.lee+list@example.org";
    QTest::newRow("64-octet local part") << local64 + u("@x.org") << 0 << local64 + u("@x.org");
    QTest::newRow("non-ASCII domain") << u("ann@bücher.example") << 0 << "ann@xn--bcher-kva.example";
    QTest::newRow("65-octet local part") << local64 + u("l@x.org") << 14 << "";
    QTest::newRow("no @") << "someone" << 14 << "";
    QTest::newRow("non-ASCII local part") << u("jörg@example.org") << 14 << "";
    QTest::newRow("quoted local part") << "\"a b\"@x.org" << 14 << "";
    QTest::newRow("empty local part") << "@x.org" << 14 << "";
    QTest::newRow("double dot") << "a..b@x.org" << 14 << "";
    QTest::newRow("line break") << "a@x.org\r\nBcc: e@x.org" << 14 << "";
    QTest::newRow("domain over 255 octets") << u("a@") + QString(256, QLatin1Char('d')) << 14 << "";
}

void TestMapi32::addressesAHeaderCanHold()
{
    QFETCH(QString, address);
    QFETCH(int, code);
    QFETCH(QString, written);
    const LHANDLE session = logon();
    auto logoff = qScopeGuard([&] { f().MAPILogoff(session, 0, 0, 0); });
    RawMessage m;
    m.recipients = {{MAPI_TO, "First", "SMTP:first@example.org"}, {MAPI_CC, "", "SMTP:" + address.toUtf8()}};
    QCOMPARE(int(send(m, session)), code);
    // Typed, the address gets the same answer.
    lpMapiRecipDesc r = nullptr;
    QByteArray typed = address.toUtf8();
    QCOMPARE(int(f().MAPIResolveName(session, 0, typed.data(), 0, 0, &r)), code);
    if (r)
        f().MAPIFreeBuffer(r);
    if (code != 0) {
        QVERIFY(nothingWritten());
        return;
    }
    const QJsonObject back = readBack();
    QCOMPARE(back.value(QStringLiteral("cc")).toArray(), mailbox(QString(), written));
    QVERIFY(back.value(QStringLiteral("defects")).toArray().isEmpty());
}

void TestMapi32::storeProblems()
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

    // A disk that fills half way through the message.
    const QString big = QDir(m_env->root()).filePath(QStringLiteral("big.txt"));
    writeFile(big, QByteArray(1 << 20, 'x'));
    QByteArray bigPath = QFile::encodeName(big);
    MapiFileDesc attachment{0, 0, 0xFFFFFFFF, bigPath.data(), nullptr, nullptr};
    m.nFileCount = 1;
    m.lpFiles = &attachment;
    struct rlimit unlimited, small;
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    small = unlimited;
    small.rlim_cur = 256 * 1024;
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const ULONG full = f().MAPISendMail(session, 0, &m, 0, 0);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ::signal(SIGXFSZ, oldHandler);
    QCOMPARE(full, ULONG(MAPI_E_DISK_FULL));
    QVERIFY(nothingWritten());
    m.nFileCount = 0;
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

void TestMapi32::profileNamingMissingStore()
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

    // A sender address no From header can hold.
    registerProfile(m_store);
    Registry user(RootKey::CurrentUser);
    QVERIFY(user.openKey(mapistandin::profilesKeyPlain() + QLatin1Char('\\') + standInProfileName(), false));
    user.writeString(mapistandin::senderAddressValue(), QStringLiteral("Me <me@example.org>"));
    QCOMPARE(f().MAPILogon(0, nullptr, nullptr, 0, 0, &session), ULONG(MAPI_E_LOGON_FAILURE));
}

void TestMapi32::senderWithControlCharacters_data()
{
    QTest::addColumn<QString>("sender");
    QTest::newRow("CR LF and a header in the domain") << u("me@example.org\r\nBcc: all@example.net");
    QTest::newRow("CR LF in the domain") << u("me@example.org\r\nX-Injected: yes");
    QTest::newRow("LF in the local part") << u("me\n@example.org");
    QTest::newRow("tab") << u("me\t@example.org");
    QTest::newRow("NUL") << QStringLiteral("me") + QChar(0) + u("x@example.org");
    QTest::newRow("bell") << u("me\a@example.org");
    QTest::newRow("DEL") << u("me@exam\x7fple.org");
    QTest::newRow("C1 next line in the domain") << u("me@exam\u0085ple.org");
    QTest::newRow("line separator in the domain") << u("me@exam\u2028ple.org");
}

void TestMapi32::senderWithControlCharacters()
{
    QFETCH(QString, sender);
    auto restore = qScopeGuard([this] { registerProfile(m_store); });
    Registry user(RootKey::CurrentUser);
    QVERIFY(user.openKey(mapistandin::profilesKeyPlain() + QLatin1Char('\\') + standInProfileName(), false));
    user.writeString(mapistandin::senderAddressValue(), sender);
    LHANDLE session = 7;
    QCOMPARE(f().MAPILogon(0, nullptr, nullptr, 0, 0, &session), ULONG(MAPI_E_LOGON_FAILURE));
    QCOMPARE(session, LHANDLE(0));
    auto email = makeEmail();
    email->setRecipient({QStringLiteral("to@example.org")});
    QCOMPARE(email->SendMail(), MAPI_E_LOGON_FAILURE);
    QVERIFY(nothingWritten());
}

void TestMapi32::callsOutsideTheSendPath()
{
    const LHANDLE session = logon();
    QCOMPARE(f().MAPIFindNext(session, 0, nullptr, nullptr, 0, 0, nullptr), ULONG(MAPI_E_NOT_SUPPORTED));
    QCOMPARE(f().MAPIReadMail(session, 0, nullptr, 0, 0, nullptr), ULONG(MAPI_E_NOT_SUPPORTED));
    QCOMPARE(f().MAPISaveMail(session, 0, nullptr, 0, 0, nullptr), ULONG(MAPI_E_NOT_SUPPORTED));
    QCOMPARE(f().MAPIDeleteMail(session, 0, nullptr, 0, 0), ULONG(MAPI_E_NOT_SUPPORTED));
    int notOurs = 0;
    QCOMPARE(f().MAPIFreeBuffer(&notOurs), ULONG(MAPI_E_FAILURE));

    QByteArray name("Given"), address("SMTP:given@example.org"), typed("x@example.org"), fax("FAX:12345");
    MapiRecipDesc in[2]
        = {{0, MAPI_CC, name.data(), address.data(), 0, nullptr}, {0, MAPI_BCC, typed.data(), nullptr, 0, nullptr}};
    // The address book and the details dialog, cancelled.
    ULONG count = 7;
    lpMapiRecipDesc out = in;
    char empty[] = "";
    QCOMPARE(f().MAPIAddress(session, 0, empty, 4, empty, 2, in, 0, 0, &count, &out), ULONG(MAPI_USER_ABORT));
    QCOMPARE(count, ULONG(0));
    QVERIFY(!out);
    QCOMPARE(f().MAPIAddress(session, 0, empty, 5, empty, 2, in, 0, 0, &count, &out), ULONG(MAPI_E_INVALID_EDITFIELDS));
    void *library = ::dlopen(MAPI_LIBRARY_DIR "/libmapi32.so", RTLD_NOW | RTLD_LOCAL);
    auto closeLibrary = qScopeGuard([&] { ::dlclose(library); });
    const auto details = reinterpret_cast<LPMAPIDETAILS>(::dlsym(library, "MAPIDetails"));
    QVERIFY(details);
    QCOMPARE(details(session, 0, in, 0, 0), ULONG(MAPI_USER_ABORT));
    QCOMPARE(details(session + 1000, 0, in, 0, 0), ULONG(MAPI_E_INVALID_SESSION));

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

QTEST_GUILESS_MAIN(TestMapi32)
