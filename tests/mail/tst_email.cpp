#include "FakeMapi.h"
#include "mail/Email.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTest>

#include <memory>

using platform::Registry;
using platform::RootKey;

namespace {

void setAvailability(const std::optional<QString> &value, bool asDword = false)
{
    Registry machine(RootKey::LocalMachine);
    QVERIFY(machine.openKey(mapistandin::availabilityKey(), true));
    machine.deleteValue(mapistandin::availabilityValue());
    if (asDword)
        machine.writeInteger(mapistandin::availabilityValue(), 1);
    else if (value)
        machine.writeString(mapistandin::availabilityValue(), *value);
}

// Every event the component fires, in order, while the log exists.
struct EventLog : QObject
{
    explicit EventLog(TEmail &email)
    {
        auto add = [this](const char *name) { return [this, name](QObject *) { events.append(QLatin1String(name)); }; };
        QObject::connect(&email, &TEmail::OnBeforeLogon, this, add("BeforeLogon"));
        QObject::connect(&email, &TEmail::OnAfterLogon, this, add("AfterLogon"));
        QObject::connect(&email, &TEmail::OnBeforeLogoff, this, add("BeforeLogoff"));
        QObject::connect(&email, &TEmail::OnAfterLogoff, this, add("AfterLogoff"));
        QObject::connect(&email, &TEmail::OnBeforeSendMail, this, add("BeforeSendMail"));
        QObject::connect(&email, &TEmail::OnAfterSendMail, this, add("AfterSendMail"));
        QObject::connect(&email, &TEmail::OnMapiError, this, [this, &email](QObject *sender, int code) {
            QCOMPARE(sender, &email);
            events.append(QStringLiteral("MapiError:%1").arg(code));
        });
    }
    QStringList errors() const { return events.filter(QStringLiteral("MapiError")); }
    QStringList events;
};

QStringList strings(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *s : list)
        out.append(QString::fromUtf8(s));
    return out;
}

std::vector<std::string> names(std::initializer_list<const char *> list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

} // namespace

class TestEmail : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<SMapi> m_mapi;
    FakeMapiState *m_fake = nullptr;

    QString writeFile(const QString &name)
    {
        const QString path = QDir(m_env->root()).filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnv>();
        setAvailability(QStringLiteral("1"));
        m_mapi = std::make_unique<SMapi>(QStringLiteral(FAKE_MAPI_DIR));
        QVERIFY(m_mapi->MapiAvailable());
        QVERIFY(m_mapi->loadError().isEmpty());
        m_fake = reinterpret_cast<FakeMapiState *(*)()>(QLibrary(m_mapi->libraryPath()).resolve("FakeMapi_state"))();
        QVERIFY(m_fake);
    }

    void init() { m_fake->reset(); }

    void cleanup()
    {
        QVERIFY2(m_fake->liveBuffers.empty(), "a buffer of the library was not freed");
        QCOMPARE(m_fake->badFrees, 0);
    }

    void loader_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("dword");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("error");
        const QString fake = QStringLiteral(FAKE_MAPI_DIR);
        QTest::newRow("flag 1") << fake << "1" << false << true << "";
        QTest::newRow("flag 0") << fake << "0" << false << false << "";
        QTest::newRow("flag with blank") << fake << "1 " << false << false << "";
        QTest::newRow("no flag") << fake << QString() << false << false << "";
        QTest::newRow("dword flag") << fake << QString() << true << false << "";
        QTest::newRow("no library") << m_env->programDir() << "1" << false << false << "";
        QTest::newRow("entry point missing") << QStringLiteral(FAKE_MAPI_PARTIAL_DIR) << "1" << false << false
                                             << "GetProcAddress for MAPI.DLL function(s) failed";
    }

    void loader()
    {
        QFETCH(QString, dir);
        QFETCH(QString, value);
        QFETCH(bool, dword);
        QFETCH(bool, available);
        QFETCH(QString, error);
        setAvailability(value.isNull() ? std::nullopt : std::optional<QString>(value), dword);
        SMapi mapi(dir);
        setAvailability(QStringLiteral("1"));
        QCOMPARE(mapi.MapiAvailable(), available);
        QCOMPARE(mapi.loadError(), error);
        if (available)
            return;
        QVERIFY(!mapi.functions().MAPILogon);

        TEmail email(mapi);
        QVERIFY(!email.MapiAvail());
        QVERIFY_THROWS_EXCEPTION(EMapiUnavailable, email.Logon());
        QVERIFY_THROWS_EXCEPTION(EMapiUnavailable, email.Logoff());
        QVERIFY_THROWS_EXCEPTION(EMapiUnavailable, email.SendMail());
        QVERIFY_THROWS_EXCEPTION(EMapiUnavailable, email.ResolveRecipient(QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(EMapiUnavailable, email.OpenAddressBook());
        try {
            email.CheckMapi();
        } catch (const EMapiUnavailable &e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("MAPI services are not available on this system"));
        }
        QCOMPARE(email.SetLongText(QStringLiteral("abc")), 3);
        email.Reset();
        QCOMPARE(email.CheckAttachment(QStringLiteral("/nonexistent")), QString());
    }

    void propertiesAndFlags()
    {
        TEmail email(*m_mapi);
        QCOMPARE(email.Version(), QStringLiteral("2.09.02"));
        QVERIFY(email.TruncAttFN() && email.UseLongMessageID());
        QVERIFY(!email.Acknowledge() && !email.ShowDialog() && !email.UseDefProfile() && !email.DownLoadFirst());
        QCOMPARE(email.LogonFlags(), FLAGS(0));
        email.setDownLoadFirst(true);
        email.setNewSession(true);
        QCOMPARE(email.LogonFlags(), FLAGS(MAPI_FORCE_DOWNLOAD | MAPI_NEW_SESSION));
        email.setNewSession(false);
        QCOMPARE(email.LogonFlags(), FLAGS(MAPI_FORCE_DOWNLOAD));

        email.setSubject(QString(300, QLatin1Char('s')));
        QCOMPARE(email.Subject().size(), 255);
        email.setText(QStringLiteral("short"));
        QCOMPARE(email.SetLongText(QString(1000, QLatin1Char('b'))), 1000);
        QCOMPARE(email.Text(), QString());
        email.setAcknowledge(true);
        email.setRecipient({QStringLiteral("r")});
        email.setAttachment({QStringLiteral("a")});
        email.Reset();
        QVERIFY(!email.Acknowledge() && email.Recipient().isEmpty() && email.Attachment().isEmpty());
        QCOMPARE(email.Subject(), QString());
    }

    void logonWithDefaultProfile_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("NT key first") << mapistandin::profilesKeyNt() << "NT profile";
        QTest::newRow("plain key") << mapistandin::profilesKeyPlain() << "Plain profile";
        QTest::newRow("no key keeps Profile") << QString() << "Typed";
    }

    void logonWithDefaultProfile()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QFile::remove(Registry::hiveFilePath(RootKey::CurrentUser));
        Registry user(RootKey::CurrentUser);
        QVERIFY(user.openKey(mapistandin::profilesKeyPlain(), true));
        if (key != mapistandin::profilesKeyPlain())
            user.deleteValue(mapistandin::defaultProfileValue());
        user.writeString(mapistandin::defaultProfileValue(), QStringLiteral("Plain profile"));
        if (key == mapistandin::profilesKeyNt()) {
            QVERIFY(user.openKey(key, true));
            user.writeString(mapistandin::defaultProfileValue(), QStringLiteral("NT profile"));
        } else if (key.isEmpty()) {
            QFile::remove(Registry::hiveFilePath(RootKey::CurrentUser));
        }

        TEmail email(*m_mapi);
        EventLog log(email);
        email.setUseDefProfile(true);
        email.setDownLoadFirst(true);
        email.setProfile(QStringLiteral("Typed"));
        QCOMPARE(email.Logon(), 0);
        QCOMPARE(email.Profile(), expected);
        QCOMPARE(email.Logon(), 0); // already open: no second call
        const auto calls = m_fake->callsOf("MAPILogon");
        QCOMPARE(calls.size(), size_t(1));
        QCOMPARE(calls[0].text1, OptText(expected.toStdString()));
        QCOMPARE(calls[0].text2, OptText()); // empty password is nil
        QCOMPARE(calls[0].flags, FLAGS(MAPI_FORCE_DOWNLOAD));
        QCOMPARE(calls[0].uiParam, ULONG_PTR(0));
        QCOMPARE(log.events, strings({"BeforeLogon", "AfterLogon"}));
        QCOMPARE(email.Logoff(), 0);
    }

    void logonRetriesWithProfileChoice()
    {
        TEmail email(*m_mapi);
        EventLog log(email);
        email.setDownLoadFirst(true);
        email.setProfile(QStringLiteral("Gone"));
        email.setPassword(QStringLiteral("pw"));
        m_fake->logonResults = {MAPI_E_LOGON_FAILURE, MAPI_E_USER_ABORT};
        QCOMPARE(email.Logon(), MAPI_E_USER_ABORT);
        QVERIFY(!email.sessionOpen());
        const auto calls = m_fake->callsOf("MAPILogon");
        QCOMPARE(calls.size(), size_t(2));
        QCOMPARE(calls[0].text2, OptText("pw"));
        QCOMPARE(calls[1].text1, OptText());
        QCOMPARE(calls[1].text2, OptText());
        QCOMPARE(calls[1].flags, FLAGS(MAPI_FORCE_DOWNLOAD | MAPI_LOGON_UI));
        QCOMPARE(log.events, strings({"BeforeLogon", "MapiError:1"}));

        m_fake->logonResults = {MAPI_E_LOGON_FAILURE};
        QCOMPARE(email.Logon(), 0);
        QVERIFY(email.sessionOpen());
    }

    void logoffClosesWhateverTheResult()
    {
        TEmail email(*m_mapi);
        EventLog log(email);
        QCOMPARE(email.Logoff(), 0);
        QVERIFY(m_fake->calls.empty());
        QCOMPARE(email.Logon(), 0);
        m_fake->logoffResult = MAPI_E_FAILURE;
        QCOMPARE(email.Logoff(), MAPI_E_FAILURE);
        QVERIFY(!email.sessionOpen());
        QCOMPARE(m_fake->callsOf("MAPILogoff")[0].session, LHANDLE(100));
        QCOMPARE(log.events, strings({"BeforeLogon", "AfterLogon", "BeforeLogoff", "AfterLogoff"}));
    }

    void sendMailPassesRecipientsInOrder()
    {
        TEmail email(*m_mapi);
        EventLog log(email);
        email.setRecipient({QStringLiteral("a"), QString(), QStringLiteral("b")});
        email.setCC({QStringLiteral("c")});
        email.setBcc({QStringLiteral("d")});
        QCOMPARE(email.SendMail(), 0);

        QCOMPARE(m_fake->functionNames(), names({"MAPILogon", "MAPIResolveName", "MAPIFreeBuffer", "MAPIResolveName",
                                                 "MAPIFreeBuffer", "MAPIResolveName", "MAPIFreeBuffer",
                                                 "MAPIResolveName", "MAPIFreeBuffer", "MAPISendMail", "MAPILogoff"}));
        const FakeCall send = m_fake->callsOf("MAPISendMail")[0];
        QCOMPARE(send.session, LHANDLE(100));
        QCOMPARE(send.flags, FLAGS(0));
        QCOMPARE(send.uiParam, ULONG_PTR(0));
        QCOMPARE(send.recipCount, ULONG(4));
        const ULONG classes[] = {MAPI_TO, MAPI_TO, MAPI_CC, MAPI_BCC};
        const char *typed[] = {"a", "b", "c", "d"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(send.recips[i].recipClass, classes[i]);
            QCOMPARE(send.recips[i].name, OptText(std::string(typed[i]) + " (resolved)"));
            QCOMPARE(send.recips[i].address, OptText(std::string("SMTP:") + typed[i]));
            QCOMPARE(send.recips[i].entryId, OptText(std::string("EID:") + typed[i]));
            QCOMPARE(send.recips[i].eidSize, ULONG(4 + 1));
        }
        // Nothing the caller did not set is passed.
        QCOMPARE(send.subject, OptText());
        QCOMPARE(send.noteText, OptText());
        QCOMPARE(send.messageType, OptText());
        QVERIFY(send.originatorNull && send.filesNull);
        QCOMPARE(send.messageFlags, FLAGS(0));
        QCOMPARE(email.Recipient(), strings({"a (resolved)", "", "b (resolved)"}));
        QCOMPARE(email.Bcc(), strings({"d (resolved)"}));
        QCOMPARE(log.events, strings({"BeforeLogon", "AfterLogon", "BeforeSendMail", "AfterSendMail", "BeforeLogoff",
                                      "AfterLogoff"}));

        email.setShowDialog(true);
        QCOMPARE(email.SendMail(), 0);
        QCOMPARE(m_fake->callsOf("MAPISendMail")[1].flags, FLAGS(MAPI_DIALOG));
    }

    void resolveRetriesWithDialog_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("retry");
        QTest::addColumn<QList<ULONG>>("flags");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("unknown, picked") << 14 << 0 << QList<ULONG>{0, MAPI_DIALOG} << true;
        QTest::newRow("ambiguous, picked") << 21 << 0 << QList<ULONG>{0, MAPI_DIALOG} << true;
        QTest::newRow("ambiguous, cancelled") << 21 << 1 << QList<ULONG>{0, MAPI_DIALOG} << false;
        QTest::newRow("failure, no retry") << 2 << 0 << QList<ULONG>{0} << false;
    }

    void resolveRetriesWithDialog()
    {
        QFETCH(int, first);
        QFETCH(int, retry);
        QFETCH(QList<ULONG>, flags);
        QFETCH(bool, accepted);
        m_fake->resolve = [&](const std::string &name, FLAGS f) -> FakeResolution {
            if (name != "x")
                return {0, name, "SMTP:" + name, ""};
            return {ULONG(f & MAPI_DIALOG ? retry : first), "Picked", std::nullopt, ""};
        };
        TEmail email(*m_mapi);
        EventLog log(email);
        email.setBcc({QStringLiteral("x"), QStringLiteral("y")});
        QCOMPARE(email.SendMail(), 0);
        QList<ULONG> seen;
        for (const FakeCall &c : m_fake->callsOf("MAPIResolveName")) {
            if (c.text1 == OptText("x"))
                seen.append(c.flags);
        }
        QCOMPARE(seen, flags);
        const FakeCall send = m_fake->callsOf("MAPISendMail")[0];
        QCOMPARE(send.recipCount, ULONG(accepted ? 2 : 1));
        if (accepted) {
            // A nil address is passed as the name.
            QCOMPARE(send.recips[0].address, OptText("Picked"));
            QCOMPARE(send.recips[0].eidSize, ULONG(0));
            QCOMPARE(email.Bcc().first(), QStringLiteral("Picked"));
        } else {
            QCOMPARE(log.errors(), QStringList{QStringLiteral("MapiError:%1").arg(retry ? retry : first)});
            QCOMPARE(email.Bcc().first(), QStringLiteral("x"));
        }
    }

    void literalAddressPassedAsTyped()
    {
        m_fake->resolve = [](const std::string &name, FLAGS) -> FakeResolution {
            return {0, name == "[SMTP:someone]" ? "someone" : "[odd]", "SMTP:someone", "EID"};
        };
        TEmail email(*m_mapi);
        email.setRecipient({QStringLiteral("[SMTP:someone]"), QStringLiteral("x[y]")});
        QCOMPARE(email.SendMail(), 0);
        const FakeCall send = m_fake->callsOf("MAPISendMail")[0];
        QCOMPARE(send.recips[0].name, OptText("SMTP:someone"));
        QCOMPARE(send.recips[0].address, OptText("SMTP:someone"));
        QCOMPARE(send.recips[0].eidSize, ULONG(0));
        QCOMPARE(send.recips[0].entryId, OptText());
        // A resolved name with brackets is the mail system's own.
        QCOMPARE(send.recips[1].name, OptText("[odd]"));
        QCOMPARE(email.Recipient(), strings({"[SMTP:someone]", "[odd]"}));
    }

    void noRecipientsOpensTheSendDialog()
    {
        TEmail email(*m_mapi);
        email.setSubject(QStringLiteral("Subject"));
        email.setText(QStringLiteral("Body"));
        QCOMPARE(email.SendMail(), 0);
        const FakeCall send = m_fake->callsOf("MAPISendMail")[0];
        QCOMPARE(send.flags, FLAGS(MAPI_DIALOG));
        QVERIFY(send.recipsNull);
        QCOMPARE(send.recipCount, ULONG(0));
        QCOMPARE(send.subject, OptText("Subject"));
        QCOMPARE(send.noteText, OptText("Body"));

        const QString body(1000, QLatin1Char('L'));
        email.SetLongText(body);
        QCOMPARE(email.SendMail(), 0);
        QCOMPARE(m_fake->callsOf("MAPISendMail")[1].noteText, OptText(body.toStdString()));
    }

    void attachmentsAndReceipt()
    {
        const QString longName = writeFile(QStringLiteral("AVeryLongFileName.document"));
        const QString shortName = writeFile(QStringLiteral("report.txt"));
        TEmail email(*m_mapi);
        email.setRecipient({QStringLiteral("a")});
        email.setAttachment({longName, shortName});
        email.setAcknowledge(true);
        QCOMPARE(email.SendMail(), 0);
        FakeCall send = m_fake->callsOf("MAPISendMail")[0];
        QCOMPARE(send.messageFlags, FLAGS(MAPI_RECEIPT_REQUESTED));
        QCOMPARE(send.fileCount, ULONG(2));
        QCOMPARE(send.files[0].path, OptText(longName.toStdString()));
        QCOMPARE(send.files[0].fileName, OptText("ame.document"));
        QCOMPARE(send.files[1].fileName, OptText("report.txt"));
        for (const FakeFile &f : send.files) {
            QCOMPARE(f.position, ULONG(0xFFFFFFFF));
            QCOMPARE(f.flags, ULONG(0));
            QVERIFY(f.fileTypeNull);
        }
        email.setTruncAttFN(false);
        QCOMPARE(email.SendMail(), 0);
        QCOMPARE(m_fake->callsOf("MAPISendMail")[1].files[0].fileName, OptText("AVeryLongFileName.document"));
    }

    void missingAttachmentSendsNothing()
    {
        TEmail email(*m_mapi);
        EventLog log(email);
        email.setRecipient({QStringLiteral("a")});
        email.setAttachment({writeFile(QStringLiteral("present.txt")), QStringLiteral("/nonexistent/file.txt")});
        QCOMPARE(email.SendMail(), MAPI_E_ATTACHMENT_NOT_FOUND);
        QVERIFY(m_fake->calls.empty());
        QCOMPARE(log.events, QStringList{QStringLiteral("MapiError:11")});
        QCOMPARE(email.Recipient(), QStringList{QStringLiteral("a")});
        email.setAttachment({m_env->root()}); // a folder is no file
        QCOMPARE(email.SendMail(), MAPI_E_ATTACHMENT_NOT_FOUND);
    }

    void sessionOwnership()
    {
        TEmail email(*m_mapi);
        EventLog log(email);
        email.setRecipient({QStringLiteral("a")});
        QCOMPARE(email.Logon(), 0);
        m_fake->sendResult = MAPI_E_DISK_FULL;
        QCOMPARE(email.SendMail(), MAPI_E_DISK_FULL);
        QVERIFY(email.sessionOpen()); // the caller's session stays
        QVERIFY(m_fake->callsOf("MAPILogoff").empty());
        QCOMPARE(email.Recipient(), QStringList{QStringLiteral("a (resolved)")});
        QCOMPARE(log.errors(), QStringList{QStringLiteral("MapiError:4")});
        QCOMPARE(email.Logoff(), 0);

        // Its own session ends on the failing path too.
        m_fake->calls.clear();
        QCOMPARE(email.SendMail(), MAPI_E_DISK_FULL);
        QCOMPARE(m_fake->functionNames().back(), std::string("MAPILogoff"));

        m_fake->calls.clear();
        log.events.clear();
        m_fake->logonResults = {MAPI_E_LOGON_FAILURE, MAPI_E_LOGON_FAILURE};
        QCOMPARE(email.SendMail(), MAPI_E_LOGON_FAILURE);
        QCOMPARE(m_fake->functionNames(), names({"MAPILogon", "MAPILogon"}));
        QCOMPARE(log.errors(), strings({"MapiError:3", "MapiError:3"}));
    }

    void resolveRecipient()
    {
        m_fake->resolve = [](const std::string &name, FLAGS) -> FakeResolution {
            if (name == "nobody")
                return {MAPI_E_UNKNOWN_RECIPIENT, "", std::nullopt, ""};
            return {0, name == "[SMTP:x]" ? "x" : "Display", "SMTP:x", ""};
        };
        TEmail email(*m_mapi);
        EventLog log(email);
        QCOMPARE(email.ResolveRecipient(QStringLiteral("typed")), QStringLiteral("Display"));
        QCOMPARE(email.ResolveRecipient(QStringLiteral("[SMTP:x]")), QStringLiteral("[SMTP:x]"));
        QCOMPARE(email.ResolveRecipient(QStringLiteral("nobody")), QString());
        QCOMPARE(log.errors(), QStringList{QStringLiteral("MapiError:14")});
        QVERIFY(!email.sessionOpen());
        QCOMPARE(m_fake->callsOf("MAPILogoff").size(), size_t(3));
    }

    void openAddressBook()
    {
        m_fake->addressReturn = {{0, MAPI_TO, "To one", "SMTP:t", 0, std::nullopt},
                                 {0, MAPI_BCC, "Bcc one", "SMTP:b", 0, std::nullopt},
                                 {0, MAPI_ORIG, "Dropped", "SMTP:o", 0, std::nullopt},
                                 {0, MAPI_CC, "Cc one", "SMTP:c", 0, std::nullopt}};
        TEmail email(*m_mapi);
        email.setRecipient({QStringLiteral("a")});
        email.setCC({QStringLiteral("c")});
        QCOMPARE(email.OpenAddressBook(), 0);
        const FakeCall call = m_fake->callsOf("MAPIAddress")[0];
        QCOMPARE(call.text1, OptText(""));
        QCOMPARE(call.text2, OptText(""));
        QCOMPARE(call.editFields, ULONG(4));
        QCOMPARE(call.flags, FLAGS(0));
        QCOMPARE(call.recipCount, ULONG(2));
        QCOMPARE(call.recips[1].recipClass, ULONG(MAPI_CC));
        QCOMPARE(call.recips[1].name, OptText("c (resolved)"));
        QCOMPARE(email.Recipient(), QStringList{QStringLiteral("To one")});
        QCOMPARE(email.CC(), QStringList{QStringLiteral("Cc one")});
        QCOMPARE(email.Bcc(), QStringList{QStringLiteral("Bcc one")});

        m_fake->addressResult = MAPI_E_USER_ABORT;
        email.setRecipient({QStringLiteral("z")});
        QCOMPARE(email.OpenAddressBook(), MAPI_E_USER_ABORT);
        QCOMPARE(email.Recipient(), QStringList{QStringLiteral("z (resolved)")});
    }

    void truncateFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("long stem") << "AVeryLongFileName.document"
                                   << "ame.document";
        QTest::newRow("no dot") << "abcdefghijklmnop"
                                << "efghijklmnop";
        QTest::newRow("leading dot dropped") << "notes.abcdefghijk"
                                             << "abcdefghijk";
        QTest::newRow("short") << "report.txt"
                               << "report.txt";
        QTest::newRow("twelve") << "abcdefgh.txt"
                                << "abcdefgh.txt";
        QTest::newRow("dots only") << "..............."
                                   << "";
    }

    void truncateFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        TEmail email(*m_mapi);
        QCOMPARE(email.TruncateFileName(name), expected);
    }

    void destructionLogsOff()
    {
        {
            TEmail email(*m_mapi);
            QCOMPARE(email.Logon(), 0);
        }
        QCOMPARE(m_fake->functionNames(), names({"MAPILogon", "MAPILogoff"}));
    }
};

QTEST_GUILESS_MAIN(TestEmail)
#include "tst_email.moc"
