#include "platform/registry/Registry.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using platform::Registry;
using platform::RegistryError;
using platform::RootKey;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\Varnel\\Quillmar");
const QByteArray kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray utf16leWithBom(const QString &text)
{
    QByteArray out("\xff\xfe");
    for (QChar c : text) {
        out += char(c.unicode() & 0xff);
        out += char(c.unicode() >> 8);
    }
    return out;
}

// Root ignores file permissions; such checks only mean something otherwise.
bool permissionsEnforced(const QString &readOnlyDir)
{
    QFile probe(QDir(readOnlyDir).filePath(QStringLiteral("probe")));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        return false;
    }
    return true;
}

} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> m_env;
    QString m_file;
    QString m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnv>();
        m_file = Registry::hiveFilePath(RootKey::LocalMachine);
        m_dir = QFileInfo(m_file).absolutePath();
        QCOMPARE(m_file, m_env->configDir() + QStringLiteral("/quillmar/registry/HKEY_LOCAL_MACHINE.reg"));
    }

    void init()
    {
        QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(m_env->configDir() + QStringLiteral("/quillmar")).removeRecursively();
        QFile::remove(m_env->configDir() + QStringLiteral("/quillmar"));
    }

    void missingFileIsAnEmptyHive()
    {
        Registry r;
        QVERIFY(!r.openKey(kKey, false));
        QVERIFY(!QFile::exists(m_file));
        QVERIFY(!r.keyExists(kKey));

        QVERIFY(r.openKey(kKey, true));
        QCOMPARE(readBytes(m_file), kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]\r\n\r\n");
        QVERIFY(r.keyExists(QStringLiteral("SOFTWARE")));
        QVERIFY(!r.keyExists(QStringLiteral("SOFTWARE\\Other")));
        QCOMPARE(r.readString(QStringLiteral("Nothing")), QString());
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readInteger(QStringLiteral("Nothing")));
        QVERIFY(!r.deleteValue(QStringLiteral("Nothing")));

        // The other hive is a file of its own.
        Registry user(RootKey::CurrentUser);
        const QString profiles
            = QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles");
        QVERIFY(user.openKey(profiles, true));
        user.writeString(QStringLiteral("DefaultProfile"), QStringLiteral("Outlook"));
        QVERIFY(readBytes(Registry::hiveFilePath(RootKey::CurrentUser))
                    .contains("[HKEY_CURRENT_USER\\Software\\Microsoft\\"));
        QVERIFY(!readBytes(m_file).contains("Profiles"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("MailingListGroup") << QStringLiteral("VMailingList");
        QTest::newRow("blanks") << QStringLiteral("  lead and trail  ") << QStringLiteral("  two  spaces  ");
        QTest::newRow("quotes, backslashes") << QStringLiteral("a\"b\\c") << QStringLiteral("C:\\dir\\\"quoted\"\\");
        QTest::newRow("trailing backslash") << QStringLiteral("x\\") << QStringLiteral("\\\\server\\share\\");
        QTest::newRow("looks like syntax") << QStringLiteral("[not a key]") << QStringLiteral("\"=-\n[x]");
        QTest::newRow("non-ASCII") << QString::fromUtf8("Größe ✓") << QString::fromUtf8("日本語 — émoji 😀");
        QTest::newRow("LF") << QStringLiteral("multi") << QStringLiteral("line1\nline2");
        QTest::newRow("CR LF and CR") << QStringLiteral("crlf") << QStringLiteral("a\r\nb\rc\n");
        QTest::newRow("control chars") << QStringLiteral("ctl") << QString::fromUtf16(u"tab\there\x01\x7f");
        QTest::newRow("lone surrogate") << QStringLiteral("sur") << (QChar(0xd800) + QStringLiteral("x"));
        QTest::newRow("long with newline")
            << QStringLiteral("long") << (QString(150, QLatin1Char('w')) + QStringLiteral("\nend"));
        QTest::newRow("empty") << QStringLiteral("empty") << QString();
        QTest::newRow("default value") << QString() << QStringLiteral("default");
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        {
            Registry w;
            QVERIFY(w.openKey(kKey, true));
            w.writeString(name, value);
            w.writeString(QStringLiteral("After"), QStringLiteral("ok"));
        }
        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QCOMPARE(r.readString(name), value);
        QCOMPARE(r.readString(QStringLiteral("After")), QStringLiteral("ok"));
        QCOMPARE(r.valueNames(), QStringList({name, QStringLiteral("After")}));

        const QByteArray bytes = readBytes(m_file);
        QVERIFY(bytes.startsWith(kHeader));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
        for (const QByteArray &line : bytes.split('\n'))
            QVERIFY2(line.size() < 90 || !line.contains("hex"), line.constData());
    }

    void trailingBlankMakesADifferentName()
    {
        Registry w;
        QVERIFY(w.openKey(kKey, true));
        w.writeString(QStringLiteral("SendCount "), QStringLiteral("25"));
        w.writeString(QStringLiteral("SendCount"), QStringLiteral("7"));

        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QCOMPARE(r.readString(QStringLiteral("SendCount ")), QStringLiteral("25"));
        QCOMPARE(r.readString(QStringLiteral("SendCount")), QStringLiteral("7"));
        QCOMPARE(r.valueNames(), QStringList({QStringLiteral("SendCount "), QStringLiteral("SendCount")}));
        QVERIFY(r.deleteValue(QStringLiteral("SendCount")));
        QVERIFY(!r.valueExists(QStringLiteral("SendCount")));
        QCOMPARE(r.readString(QStringLiteral("SendCount ")), QStringLiteral("25"));
    }

    void namesIgnoreLetterCaseAndKeepTheirSpelling()
    {
        Registry w;
        QVERIFY(w.openKey(kKey, true));
        w.writeString(QStringLiteral("SendCount "), QStringLiteral("5"));

        Registry r;
        QVERIFY(r.openKey(QStringLiteral("software\\VARNEL\\quillmar"), false));
        QVERIFY(r.valueExists(QStringLiteral("SENDCOUNT ")));
        QCOMPARE(r.readString(QStringLiteral("sendcount ")), QStringLiteral("5"));
        r.writeString(QStringLiteral("sendCOUNT "), QStringLiteral("6"));
        QCOMPARE(r.valueNames(), QStringList{QStringLiteral("SendCount ")});

        const QByteArray bytes = readBytes(m_file);
        QVERIFY(bytes.contains("\"SendCount \"=\"6\""));
        QCOMPARE(bytes.count("\r\n["), 1);
        QVERIFY(bytes.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]"));
        QVERIFY(r.keyExists(QStringLiteral("Software\\varnel")));
        QVERIFY(r.keyExists(QStringLiteral("\\SOFTWARE\\Varnel\\Quillmar\\")));
        QVERIFY(!r.keyExists(QStringLiteral("SOFTWARE\\Var")));
        QVERIFY(!r.openKey(QStringLiteral("SOFTWARE\\\\Varnel"), true));
    }

    void typesAreChecked()
    {
        Registry w;
        QVERIFY(w.openKey(kKey, true));
        w.writeInteger(QStringLiteral("Count"), 10);
        w.writeInteger(QStringLiteral("Max"), 0xffffffffu);
        w.writeString(QStringLiteral("Text"), QStringLiteral("12"));
        QVERIFY(readBytes(m_file).contains("\"Count\"=dword:0000000a\r\n"));

        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QCOMPARE(r.readInteger(QStringLiteral("count")), 10u);
        QCOMPARE(r.readInteger(QStringLiteral("Max")), 0xffffffffu);
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readString(QStringLiteral("Count")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readInteger(QStringLiteral("Text")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readInteger(QStringLiteral("Missing")));

        // Writing another type replaces the value, as Windows does.
        r.writeString(QStringLiteral("Count"), QStringLiteral("x"));
        QCOMPARE(r.readString(QStringLiteral("Count")), QStringLiteral("x"));

        r.closeKey();
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readString(QStringLiteral("Count")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.writeString(QStringLiteral("Count"), QString()));
        QVERIFY(!r.valueExists(QStringLiteral("Count")));
    }

    void regeditExportIsReadAndPreserved_data()
    {
        QTest::addColumn<bool>("utf16");
        QTest::addColumn<QString>("eol");
        QTest::addColumn<QByteArray>("bom");
        QTest::newRow("UTF-16LE, CR LF") << true << QStringLiteral("\r\n") << QByteArray();
        QTest::newRow("UTF-8 with BOM, LF") << false << QStringLiteral("\n") << QByteArray("\xef\xbb\xbf");
        QTest::newRow("UTF-8, CR LF") << false << QStringLiteral("\r\n") << QByteArray();
    }

    void regeditExportIsReadAndPreserved()
    {
        QFETCH(bool, utf16);
        QFETCH(QString, eol);
        QFETCH(QByteArray, bom);
        const QStringList preserved = {
            QStringLiteral("@=\"default text\""),
            QStringLiteral("\"Binary\"=hex:00,01,02,ff"),
            QStringLiteral("\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00"),
            QStringLiteral("\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00"),
            QStringLiteral("\"Quad\"=hex(b):01,00,00,00,00,00,00,00"),
            QStringLiteral("\"Long\"=hex(1):48,00,65,00,6c,00,6c,00,6f,00,0a,00,57,00,\\"),
            QStringLiteral("  6f,00,72,00,6c,00,64,00,00,00"),
            QStringLiteral("\"Upper\"=dword:0000000A"),
            QString::fromUtf8("\"Ünïcode\"=\"Grüße\""),
            QStringLiteral("\"Keep\"=\"me\""),
        };
        const QStringList lines = {
            QStringLiteral("Windows Registry Editor Version 5.00"),
            QString(),
            QStringLiteral("; a comment"),
            QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]"),
            preserved[0],
            preserved[1],
            preserved[2],
            preserved[3],
            preserved[4],
            preserved[5],
            preserved[6],
            preserved[7],
            preserved[8],
            QStringLiteral("\"Gone\"=\"x\""),
            QStringLiteral("\"Gone\"=-"),
            QString(),
            QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]"),
            preserved[9],
            QString(),
            QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]"),
            QStringLiteral("\"x\"=\"y\""),
            QString(),
            QStringLiteral("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]"),
            QString(),
        };
        const QString text = lines.join(eol);
        writeBytes(m_file, utf16 ? utf16leWithBom(text) : bom + text.toUtf8());

        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QCOMPARE(r.readString(QString()), QStringLiteral("default text"));
        QCOMPARE(r.readString(QStringLiteral("LONG")), QStringLiteral("Hello\nWorld"));
        QCOMPARE(r.readString(QString::fromUtf8("ünïcode")), QString::fromUtf8("Grüße"));
        QCOMPARE(r.readString(QStringLiteral("Expand")), QStringLiteral("%TEMP%"));
        QCOMPARE(r.readInteger(QStringLiteral("Upper")), 10u);
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readString(QStringLiteral("Binary")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readString(QStringLiteral("Multi")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.readString(QStringLiteral("Quad")));
        QVERIFY(!r.valueExists(QStringLiteral("Gone")));
        QVERIFY(!r.keyExists(QStringLiteral("SOFTWARE\\Removed")));
        QVERIFY(r.keyExists(QStringLiteral("SOFTWARE\\Other")));

        r.writeString(QStringLiteral("New"), QStringLiteral("v"));
        const QByteArray bytes = readBytes(m_file);
        QVERIFY(bytes.startsWith(kHeader));
        const QStringList written = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
        for (const QString &line : preserved)
            QVERIFY2(written.contains(line), qPrintable(line));

        Registry again;
        QVERIFY(again.openKey(kKey, false));
        QCOMPARE(again.readString(QStringLiteral("Long")), QStringLiteral("Hello\nWorld"));
        QCOMPARE(again.readString(QStringLiteral("New")), QStringLiteral("v"));
        QCOMPARE(again.valueNames().size(), 9);
    }

    void malformedFileIsNeverOverwritten_data()
    {
        const QByteArray key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]\r\n";
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("binary garbage") << QByteArray("\x7f"
                                                      "ELF\x02\x01\x01\0\0\0",
                                                      10);
        QTest::newRow("no header") << key + "\"a\"=\"b\"\r\n";
        QTest::newRow("unterminated string") << kHeader + key + "\"a\"=\"abc\r\n\"b\"=\"c\"\r\n";
        QTest::newRow("unterminated name") << kHeader + key + "\"a=\"abc\"\r\n";
        QTest::newRow("text after string") << kHeader + key + "\"a\"=\"abc\" x\r\n";
        QTest::newRow("unterminated section") << kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n";
        QTest::newRow("value before any section") << kHeader + "\"a\"=\"b\"\r\n" + key;
        QTest::newRow("bad hex") << kHeader + key + "\"a\"=hex:0g,01\r\n";
        QTest::newRow("hex past the end") << kHeader + key + "\"a\"=hex:01,\\\r\n";
        QTest::newRow("dword too long") << kHeader + key + "\"a\"=dword:123456789\r\n";
        QTest::newRow("unknown type") << kHeader + key + "\"a\"=qword:1\r\n";
        QTest::newRow("stray text") << kHeader + key + "hello\r\n";
        QTest::newRow("invalid UTF-8") << kHeader + key + "\"a\"=\"\xc3\x28\"\r\n";
        QTest::newRow("odd UTF-16") << QByteArray("\xff\xfeW\0i\0n", 7);
    }

    void malformedFileIsNeverOverwritten()
    {
        QFETCH(QByteArray, bytes);
        Registry before;
        QVERIFY(before.openKey(kKey, true));

        writeBytes(m_file, bytes);
        Registry r;
        QVERIFY(!r.openKey(kKey, true));
        QVERIFY(!r.openKey(QStringLiteral("SOFTWARE\\Elsewhere"), true));
        QVERIFY(!r.keyExists(kKey));
        // One that opened the key before the damage must not write over it either.
        QVERIFY_THROWS_EXCEPTION(RegistryError, before.writeString(QStringLiteral("a"), QStringLiteral("b")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, before.deleteValue(QStringLiteral("a")));
        QCOMPARE(readBytes(m_file), bytes);
    }

    void failedWriteKeepsTheOldFile()
    {
        Registry r;
        QVERIFY(r.openKey(kKey, true));
        r.writeString(QStringLiteral("Keep"), QStringLiteral("old"));
        const QByteArray old = readBytes(m_file);

        // A file size limit stands in for a full disk and works as root too.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        });
        rlimit small = saved;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);

        QVERIFY_THROWS_EXCEPTION(RegistryError, r.writeString(QStringLiteral("Big"), QString(4096, QLatin1Char('x'))));
        QCOMPARE(readBytes(m_file), old);
        QCOMPARE(r.readString(QStringLiteral("Keep")), QStringLiteral("old"));
        QVERIFY(!r.valueExists(QStringLiteral("Big")));
        QCOMPARE(QDir(m_dir).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void readOnlyFolderRefusesWrites()
    {
        Registry r;
        QVERIFY(r.openKey(kKey, true));
        r.writeString(QStringLiteral("Keep"), QStringLiteral("old"));
        const QByteArray old = readBytes(m_file);

        QVERIFY(QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        if (!permissionsEnforced(m_dir))
            QSKIP("file permissions are not enforced for this user");

        QVERIFY_THROWS_EXCEPTION(RegistryError, r.writeString(QStringLiteral("Keep"), QStringLiteral("new")));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.writeInteger(QStringLiteral("N"), 1));
        QVERIFY(!r.openKey(QStringLiteral("SOFTWARE\\New"), true));
        QVERIFY(r.openKey(kKey, true)); // exists: nothing to write
        QCOMPARE(r.readString(QStringLiteral("Keep")), QStringLiteral("old"));
        QCOMPARE(readBytes(m_file), old);

        // A read-only file in a writable folder: replacing it would be possible,
        // but the file says no.
        QVERIFY(QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QVERIFY(QFile::setPermissions(m_file, QFileDevice::ReadOwner));
        QVERIFY_THROWS_EXCEPTION(RegistryError, r.writeString(QStringLiteral("Keep"), QStringLiteral("new")));
        QCOMPARE(readBytes(m_file), old);
        QVERIFY(QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    void unreadableHiveCannotBeOpened()
    {
        // Where the folder should be there is a file: nothing can be created.
        writeBytes(m_env->configDir() + QStringLiteral("/quillmar"), "x");
        Registry r;
        QVERIFY(!r.openKey(kKey, true));
        QCOMPARE(readBytes(m_env->configDir() + QStringLiteral("/quillmar")), QByteArray("x"));
        init();

        // The hive path is a folder.
        QVERIFY(QDir().mkpath(m_file));
        QVERIFY(!r.openKey(kKey, true));
        QVERIFY(QFileInfo(m_file).isDir());
        init();

        writeBytes(m_file, kHeader);
        QVERIFY(QFile::setPermissions(m_file, QFileDevice::WriteOwner));
        QFile probe(m_file);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("file permissions are not enforced for this user");
        QVERIFY(!r.openKey(kKey, true));
        QVERIFY(QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(readBytes(m_file), kHeader);
    }

    void writersDoNotLoseEachOthersChanges()
    {
        Registry a;
        Registry b;
        QVERIFY(a.openKey(kKey, true));
        QVERIFY(b.openKey(kKey.toUpper(), false));

        a.writeString(QStringLiteral("A1"), QStringLiteral("1"));
        b.writeString(QStringLiteral("B1"), QStringLiteral("2"));
        a.writeInteger(QStringLiteral("A2"), 3);
        QVERIFY(b.deleteValue(QStringLiteral("a1")));

        // As the set-up script would: another key added behind our backs.
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::Append));
        f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n\"MAPI\"=\"1\"\r\n");
        f.close();

        // A lock left behind by a crashed writer is taken over once stale.
        writeBytes(m_file + QStringLiteral(".lock"), "garbage");
        QFile lock(m_file + QStringLiteral(".lock"));
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        lock.close();

        QElapsedTimer timer;
        timer.start();
        a.writeString(QStringLiteral("A3"), QStringLiteral("4"));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(a.valueExists(QStringLiteral("B1")));

        Registry c;
        QVERIFY(c.openKey(kKey, false));
        QVERIFY(!c.valueExists(QStringLiteral("A1")));
        QCOMPARE(c.readString(QStringLiteral("B1")), QStringLiteral("2"));
        QCOMPARE(c.readInteger(QStringLiteral("A2")), 3u);
        QCOMPARE(c.readString(QStringLiteral("A3")), QStringLiteral("4"));
        QVERIFY(c.openKey(QStringLiteral("SOFTWARE\\Microsoft\\Windows Messaging Subsystem"), false));
        QCOMPARE(c.readString(QStringLiteral("MAPI")), QStringLiteral("1"));
    }

    // An export that deletes as many keys and values as it writes.
    void manyDeletionsLeaveTheRest()
    {
        constexpr int n = 20000;
        QByteArray text = kHeader;
        for (int i = 0; i < n; ++i)
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K" + QByteArray::number(i) + "]\r\n\"v\"=\"1\"\r\n";
        for (int i = 1; i < n; i += 2)
            text += "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K" + QByteArray::number(i) + "]\r\n";
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]\r\n";
        for (int i = 0; i < n; ++i)
            text += "\"V" + QByteArray::number(i) + "\"=\"" + QByteArray::number(i) + "\"\r\n";
        for (int i = 0; i < n; ++i) {
            if (i % 1000 != 7)
                text += "\"v" + QByteArray::number(i) + "\"=-\r\n";
        }
        text += "\"V8\"=\"back\"\r\n";
        writeBytes(m_file, text);

        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QStringList expected;
        for (int i = 7; i < n; i += 1000)
            expected.append(QStringLiteral("V%1").arg(i));
        expected.append(QStringLiteral("V8"));
        QCOMPARE(r.valueNames(), expected);
        QCOMPARE(r.readString(QStringLiteral("v8")), QStringLiteral("back"));
        QVERIFY(r.keyExists(QStringLiteral("SOFTWARE\\Bulk\\K19998")));
        QVERIFY(!r.keyExists(QStringLiteral("SOFTWARE\\Bulk\\K19999")));
        QVERIFY(!r.keyExists(QStringLiteral("SOFTWARE\\Bulk\\K1")));
        QVERIFY(r.keyExists(QStringLiteral("SOFTWARE\\Bulk")));

        r.writeString(QStringLiteral("V9"), QStringLiteral("new"));
        const QString written = QString::fromUtf8(readBytes(m_file));
        QCOMPARE(written.count(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K")), n / 2);
        QVERIFY(!written.contains(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K1]")));
        Registry again;
        QVERIFY(again.openKey(kKey, false));
        QCOMPARE(again.valueNames(), expected << QStringLiteral("V9"));
    }

    // Text only UTF-16 can hold survives a rewrite of other values.
    void loneSurrogatesSurviveARewrite()
    {
        const QString name = QStringLiteral("na") + QChar(0xdc00) + QStringLiteral("me");
        const QString value = QChar(0xd800) + QStringLiteral("text");
        const QString keyLine = QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]");
        const QString untouched = QLatin1Char('"') + name + QStringLiteral("\"=\"") + value + QLatin1Char('"');
        writeBytes(m_file, utf16leWithBom(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n") + keyLine
                                          + QStringLiteral("\r\n") + untouched + QStringLiteral("\r\n")));
        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QCOMPARE(r.readString(name), value);
        r.writeString(QStringLiteral("Other"), QStringLiteral("v"));

        const QByteArray bytes = readBytes(m_file);
        QVERIFY(bytes.contains(utf16leWithBom(untouched).mid(2)));
        Registry again;
        QVERIFY(again.openKey(kKey, false));
        QCOMPARE(again.valueNames(), QStringList({name, QStringLiteral("Other")}));
        QCOMPARE(again.readString(name), value);
        QCOMPARE(again.readString(QStringLiteral("other")), QStringLiteral("v"));
    }

    void largeHiveLoadsQuickly()
    {
        QByteArray text = kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Quillmar]\r\n";
        for (int i = 0; i < 10000; ++i)
            text += "\"Value" + QByteArray::number(i) + "\"=\"some text number " + QByteArray::number(i) + "\"\r\n";
        writeBytes(m_file, text);

        QElapsedTimer timer;
        timer.start();
        Registry r;
        QVERIFY(r.openKey(kKey, false));
        QCOMPARE(r.readString(QStringLiteral("value9999")), QStringLiteral("some text number 9999"));
        r.writeString(QStringLiteral("Value5000"), QStringLiteral("changed"));
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(r.valueNames().size(), 10000);
        QCOMPARE(r.valueNames().at(5000), QStringLiteral("Value5000"));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
