#include "core/DateTimeText.h"
#include "core/SettingKeys.h"
#include "core/SettingsStore.h"
#include "core/TextFile.h"
#include "platform/registry/Registry.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

using platform::Registry;
using platform::RootKey;

char *toString(const Settings &s)
{
    const auto b = [](bool on) { return on ? "on" : "off"; };
    return qstrdup(QStringLiteral("{group=%1 alt=%2 failed=%3 restrict=%4 bounce=%5 to=%6 multi=%7 ack=%8 send=%9 "
                                  "except=%10 defcat=%11 from=%12 update=%13 scanall=%14 auto=%15}")
                       .arg(s.MailingListGroup, s.AlternativeCategory, QLatin1String(b(s.FailedMail)),
                            QLatin1String(b(s.RestrictCategories)), QString::number(s.BounceMax), s.DefaultToAddress,
                            QLatin1String(b(s.MultipleCategorySupport)), QLatin1String(b(s.Acknowledge)),
                            QString::number(s.SendCount))
                       .arg(QLatin1String(b(s.Except)), s.defaultcategory, QLatin1String(b(s.allowfromaddressasentry)),
                            QLatin1String(b(s.UpdateCommentsWhenEntryExists)), QLatin1String(b(s.ScanAllEmailLines)),
                            QLatin1String(b(s.AutoScan)))
                       .toUtf8()
                       .constData());
}

namespace {

const QString kOpenFailed = QStringLiteral("Error encountered opening your registry file");
const QString kLoadFailed = QStringLiteral("Error encountered loading user settings from registry!");
const QString kListsNotSaved = QStringLiteral(
    "An Error was encountered saving your data files.  Please check that you have sufficient disk space "
    "and the application is run from a write-enabled directory");

const QStringList kSaveOrder = {QStringLiteral("MailingListGroup"),
                                QStringLiteral("AlternativeCategory"),
                                QStringLiteral("FailedMail"),
                                QStringLiteral("RestrictCategories"),
                                QStringLiteral("BounceMax"),
                                QStringLiteral("DefaultToAddress"),
                                QStringLiteral("MultipleCategorySupport"),
                                QStringLiteral("Acknowledge"),
                                QStringLiteral("SendCount "),
                                QStringLiteral("Except"),
                                QStringLiteral("defaultcategory"),
                                QStringLiteral("allowfromaddressasentry"),
                                QStringLiteral("UpdateCommentsWhenEntryExists"),
                                QStringLiteral("ScanAllEmailLines"),
                                QStringLiteral("AutoScan"),
                                QStringLiteral("ReadDeliveryReports"),
                                QStringLiteral("MailAccount"),
                                QStringLiteral("MailStoreFolder"),
                                QStringLiteral("ImapServer"),
                                QStringLiteral("ImapPort"),
                                QStringLiteral("ImapSecurity"),
                                QStringLiteral("ImapUser"),
                                QStringLiteral("ImapTrustedCertificate"),
                                QStringLiteral("SendMethod"),
                                QStringLiteral("SmtpServer"),
                                QStringLiteral("SmtpPort"),
                                QStringLiteral("SmtpSecurity"),
                                QStringLiteral("SmtpUser"),
                                QStringLiteral("SmtpSender"),
                                QStringLiteral("SmtpTrustedCertificate"),
                                QStringLiteral("ListName"),
                                QStringLiteral("SmtpVerp"),
                                QStringLiteral("RemoveComplainers")};
const QStringList kLoadOrder = {QStringLiteral("MailingListGroup"),
                                QStringLiteral("AlternativeCategory"),
                                QStringLiteral("FailedMail"),
                                QStringLiteral("BounceMax"),
                                QStringLiteral("DefaultToAddress"),
                                QStringLiteral("Acknowledge"),
                                QStringLiteral("SendCount "),
                                QStringLiteral("MultipleCategorySupport"),
                                QStringLiteral("Except"),
                                QStringLiteral("RestrictCategories"),
                                QStringLiteral("AutoScan"),
                                QStringLiteral("defaultcategory"),
                                QStringLiteral("allowfromaddressasentry"),
                                QStringLiteral("UpdateCommentsWhenEntryExists"),
                                QStringLiteral("ScanAllEmailLines"),
                                QStringLiteral("ReadDeliveryReports"),
                                QStringLiteral("MailAccount"),
                                QStringLiteral("MailStoreFolder"),
                                QStringLiteral("ImapServer"),
                                QStringLiteral("ImapPort"),
                                QStringLiteral("ImapSecurity"),
                                QStringLiteral("ImapUser"),
                                QStringLiteral("ImapTrustedCertificate"),
                                QStringLiteral("SendMethod"),
                                QStringLiteral("SmtpServer"),
                                QStringLiteral("SmtpPort"),
                                QStringLiteral("SmtpSecurity"),
                                QStringLiteral("SmtpUser"),
                                QStringLiteral("SmtpSender"),
                                QStringLiteral("SmtpTrustedCertificate"),
                                QStringLiteral("ListName"),
                                QStringLiteral("SmtpVerp"),
                                QStringLiteral("RemoveComplainers")};

// What a start on a machine without the key ends with.
Settings firstStartValues()
{
    Settings s;
    s.MailingListGroup = QStringLiteral("VMailingList");
    s.AlternativeCategory = QStringLiteral("Default");
    s.FailedMail = false;
    s.RestrictCategories = false;
    s.BounceMax = 10;
    s.DefaultToAddress = QString();
    s.MultipleCategorySupport = true;
    s.Acknowledge = false;
    s.SendCount = 500;
    s.Except = true;
    s.defaultcategory = QStringLiteral("Default");
    s.allowfromaddressasentry = true;
    s.UpdateCommentsWhenEntryExists = true;
    s.ScanAllEmailLines = false;
    s.AutoScan = false;
    return s;
}

// In force before the key is read; five differ from a first start.
Settings builtInValues()
{
    Settings s = firstStartValues();
    s.AlternativeCategory = QString();
    s.FailedMail = true;
    s.MultipleCategorySupport = false;
    s.UpdateCommentsWhenEntryExists = false;
    s.ScanAllEmailLines = true;
    return s;
}

// Every value away from both its built-in and its missing-value default.
Settings unusualValues()
{
    Settings s;
    s.MailingListGroup = QStringLiteral("Lists/News");
    s.AlternativeCategory = QStringLiteral("Misc");
    s.FailedMail = true;
    s.RestrictCategories = true;
    s.BounceMax = 0;
    s.DefaultToAddress = QStringLiteral("me@example.org");
    s.MultipleCategorySupport = false;
    s.Acknowledge = true;
    s.SendCount = 1;
    s.Except = false;
    s.defaultcategory = QStringLiteral("General");
    s.allowfromaddressasentry = false;
    s.UpdateCommentsWhenEntryExists = false;
    s.ScanAllEmailLines = true;
    s.AutoScan = true;
    s.ReadDeliveryReports = false;
    s.RemoveComplainers = false;
    s.MailAccount = QStringLiteral("IMAP");
    s.MailStoreFolder = QStringLiteral("/srv/mail");
    s.ImapServer = QStringLiteral("mail.example.org");
    s.ImapPort = 143;
    s.ImapSecurity = QStringLiteral("STARTTLS");
    s.ImapUser = QStringLiteral("lists");
    s.ImapTrustedCertificate = QStringLiteral("mail.example.org:143 AB:CD");
    return s;
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

    QString listPath(const char *name) const { return m_env.programDir() + QLatin1String(name); }
    // The fixed sentence of each warning; its second line gives the reason.
    QStringList sentences() const
    {
        QStringList out;
        for (const QString &w : m_prompts.warnings())
            out.append(w.section(QLatin1Char('\n'), 0, 0));
        return out;
    }

    void writeList(const char *name, const QByteArray &bytes)
    {
        QFile f(listPath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static void writeValues(const QList<std::pair<QString, QString>> &values)
    {
        Registry reg;
        QVERIFY(reg.openKey(SettingsStore::registryKey, true));
        for (const auto &[name, value] : values)
            reg.writeString(name, value);
    }
    static QString storedValue(const QString &name)
    {
        Registry reg;
        return reg.openKey(SettingsStore::registryKey, false) ? reg.readString(name) : QStringLiteral("<no key>");
    }
    Settings load(Settings start = {}, RuleLists *lists = nullptr)
    {
        RuleLists own;
        SettingsStore(m_env.programDir(), m_prompts).Loadentries(start, lists ? *lists : own);
        return start;
    }

private Q_SLOTS:
    void cleanup()
    {
        m_prompts.clear();
        QDir(m_env.programDir()).removeRecursively();
        QDir().mkpath(m_env.programDir());
        const QString hive = Registry::hiveFilePath(RootKey::LocalMachine);
        QFile::remove(hive);
        QDir(hive).removeRecursively();
    }

    void firstStartWithoutKey()
    {
        RuleLists lists;
        QCOMPARE(Settings(), builtInValues());
        QCOMPARE(load({}, &lists), firstStartValues());
        QVERIFY(m_prompts.calls().isEmpty());
        QCOMPARE(lists.failed.size(), 15);
        QVERIFY(Registry().keyExists(SettingsStore::registryKey));
    }

    void saveLoadRoundTrip()
    {
        RuleLists lists;
        lists.cats.setItems({QStringLiteral("news"), QStringLiteral("Alerts")});
        lists.never.add(QStringLiteral("Spam@Example.com"));
        SettingsStore(m_env.programDir(), m_prompts).SaveEntries(unusualValues(), lists);
        QVERIFY(m_prompts.calls().isEmpty());

        QCOMPARE(storedValue(QStringLiteral("SendCount ")), QStringLiteral("1"));
        QCOMPARE(storedValue(QStringLiteral("SendCount")), QString());
        QCOMPARE(storedValue(QStringLiteral("FailedMail")), QStringLiteral("true"));
        QCOMPARE(storedValue(QStringLiteral("Except")), QStringLiteral("False"));
        QCOMPARE(storedValue(QStringLiteral("BounceMax")), QStringLiteral("0"));
        {
            Registry reg;
            QVERIFY(reg.openKey(SettingsStore::registryKey, false));
            QCOMPARE(reg.valueNames(), kSaveOrder);
        }

        RuleLists back;
        QCOMPARE(load({}, &back), unusualValues());
        QCOMPARE(back.cats.items(), lists.cats.items());
        QCOMPARE(back.never.items(), lists.never.items());
        QCOMPARE(back.failed.items(), RuleLists().failed.items());
        QVERIFY(m_prompts.calls().isEmpty());
    }

    void sendCountNeedsTrailingBlank()
    {
        writeValues({{QStringLiteral("SendCount"), QStringLiteral("42")}});
        QCOMPARE(load().SendCount, 500);
        writeValues({{QStringLiteral("SendCount "), QStringLiteral("7")}});
        QCOMPARE(load().SendCount, 7);
    }

    void storedText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("boolean"); // -1: the value's default
        QTest::addColumn<int>("integer"); // -1: the value's default

        QTest::newRow("TRUE") << QStringLiteral("TRUE") << 1 << -1;
        QTest::newRow("tRuE") << QStringLiteral("tRuE") << 1 << -1;
        QTest::newRow("false") << QStringLiteral("false") << 0 << -1;
        QTest::newRow("FaLsE") << QStringLiteral("FaLsE") << 0 << -1;
        QTest::newRow("yes") << QStringLiteral("yes") << -1 << -1;
        QTest::newRow("padded") << QStringLiteral(" true") << -1 << -1;
        QTest::newRow("long s look-alike") << QStringLiteral("fal\u017Fe") << -1 << -1;
        QTest::newRow("empty") << QString() << -1 << -1;
        QTest::newRow("number") << QStringLiteral("25") << -1 << 25;
        QTest::newRow("number with text") << QStringLiteral("25x") << -1 << -1;
        QTest::newRow("zero") << QStringLiteral("0") << -1 << 0;
        QTest::newRow("negative") << QStringLiteral("-1") << -1 << -1;
        QTest::newRow("negative, large") << QStringLiteral("-2147483648") << -1 << -1;
    }

    // Each text goes into a Boolean defaulting on, one defaulting off and
    // both integers, so the default used is the right one per value.
    void storedText()
    {
        QFETCH(QString, stored);
        QFETCH(int, boolean);
        QFETCH(int, integer);
        writeValues({{QStringLiteral("Except"), stored},
                     {QStringLiteral("FailedMail"), stored},
                     {QStringLiteral("BounceMax"), stored},
                     {QStringLiteral("SendCount "), stored}});
        const Settings s = load();
        QCOMPARE(s.Except, boolean == -1 ? true : boolean == 1);
        QCOMPARE(s.FailedMail, boolean == -1 ? false : boolean == 1);
        QCOMPARE(s.BounceMax, integer == -1 ? 10 : integer);
        QCOMPARE(s.SendCount, integer == -1 ? 500 : integer);
    }

    void emptyTextsFallBack()
    {
        writeValues({{QStringLiteral("MailingListGroup"), QString()},
                     {QStringLiteral("defaultcategory"), QStringLiteral("News")},
                     {QStringLiteral("AlternativeCategory"), QString()}});
        Settings s = load();
        QCOMPARE(s.MailingListGroup, QStringLiteral("VMailingList"));
        QCOMPARE(s.AlternativeCategory, QStringLiteral("News"));
        writeValues({{QStringLiteral("defaultcategory"), QString()}});
        s = load();
        QCOMPARE(s.defaultcategory, QStringLiteral("Default"));
        QCOMPARE(s.AlternativeCategory, QStringLiteral("Default"));
    }

    void restrictNeedsCategories_data()
    {
        QTest::addColumn<QByteArray>("cats"); // null: no cats.txt
        QTest::addColumn<bool>("restricted");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("blank lines only") << QByteArray("\r\n  \r\n") << false;
        QTest::newRow("one category") << QByteArray("news\r\n") << true;
    }

    void restrictNeedsCategories()
    {
        QFETCH(QByteArray, cats);
        QFETCH(bool, restricted);
        if (!cats.isNull())
            writeList("cats.txt", cats);
        writeValues({{QStringLiteral("RestrictCategories"), QStringLiteral("true")}});
        QCOMPARE(load().RestrictCategories, restricted);
    }

    void valueOfWrongKindStopsLoading()
    {
        writeValues({{QStringLiteral("MailingListGroup"), QStringLiteral("Group")},
                     {QStringLiteral("FailedMail"), QStringLiteral("False")},
                     {QStringLiteral("BounceMax"), QStringLiteral("3")},
                     {QStringLiteral("AutoScan"), QStringLiteral("true")}});
        {
            Registry reg;
            QVERIFY(reg.openKey(SettingsStore::registryKey, false));
            reg.writeInteger(QStringLiteral("DefaultToAddress"), 1);
        }
        const Settings before = unusualValues();
        const Settings s = load(before);
        QCOMPARE(sentences(), QStringList{kLoadFailed});
        QVERIFY(m_prompts.warnings().constFirst().contains(QStringLiteral("\"DefaultToAddress\"")));
        QVERIFY(m_prompts.warnings().constFirst().contains(Registry::hiveFilePath(RootKey::LocalMachine)));
        QCOMPARE(s.MailingListGroup, QStringLiteral("Group"));
        QCOMPARE(s.FailedMail, false);
        QCOMPARE(s.BounceMax, 3);
        Settings rest = before;
        rest.MailingListGroup = s.MailingListGroup;
        rest.AlternativeCategory = QString(); // read raw before the failure
        rest.FailedMail = s.FailedMail;
        rest.BounceMax = s.BounceMax;
        QCOMPARE(s, rest);
    }

    void unreadableValueStopsInReadingOrder_data()
    {
        QTest::addColumn<int>("failing");
        for (int i = 0; i < kLoadOrder.size(); ++i)
            QTest::newRow(qPrintable(kLoadOrder.at(i))) << i;
    }

    // Values read before the unreadable one are loaded; it and the rest keep theirs.
    void unreadableValueStopsInReadingOrder()
    {
        QFETCH(int, failing);
        SettingsStore(m_env.programDir(), m_prompts).SaveEntries(unusualValues(), RuleLists());
        writeList("cats.txt", "news\r\n");
        {
            Registry reg;
            QVERIFY(reg.openKey(SettingsStore::registryKey, false));
            reg.writeInteger(kLoadOrder.at(failing), 1);
        }
        const Settings s = load(firstStartValues());
        QCOMPARE(sentences(), QStringList{kLoadFailed});
        for (const settingkeys::Key &key : settingkeys::keys()) {
            const qsizetype step = kLoadOrder.indexOf(key.valueName());
            const Settings &expected = step < failing ? unusualValues() : firstStartValues();
            QVERIFY2(key.stored(s) == key.stored(expected), key.name);
        }
    }

    void unopenableHive_data()
    {
        QTest::addColumn<bool>("asDirectory");
        QTest::newRow("malformed") << false;
        QTest::newRow("unreadable") << true;
    }

    void unopenableHive()
    {
        QFETCH(bool, asDirectory);
        const QString hive = Registry::hiveFilePath(RootKey::LocalMachine);
        QVERIFY(QDir().mkpath(QFileInfo(hive).path()));
        if (asDirectory) {
            QVERIFY(QDir().mkpath(hive));
        } else {
            QFile f(hive);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a hive\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n\"x\"=dword:zz\n");
        }
        writeList("remstr.txt", "QUIT\r\n");
        RuleLists lists;
        QCOMPARE(load(unusualValues(), &lists), unusualValues());
        QCOMPARE(sentences(), QStringList{kOpenFailed});
        QVERIFY(m_prompts.warnings().constFirst().contains(hive));
        QCOMPARE(lists.remstr.items(), QStringList{QStringLiteral("QUIT")});

        m_prompts.clear();
        SettingsStore(m_env.programDir(), m_prompts).SaveEntries(unusualValues(), lists);
        QCOMPARE(sentences(), QStringList{QStringLiteral("Registry Update Failed, using defaults")});
        QVERIFY(m_prompts.warnings().constFirst().contains(hive));
        QVERIFY(QFile::exists(listPath("failed.txt")));
    }

    void unwritableListCostsOnlyItself()
    {
        QVERIFY(QDir().mkpath(listPath("cats.txt")));
        SettingsStore(m_env.programDir(), m_prompts).SaveEntries(unusualValues(), RuleLists());
        QCOMPARE(sentences(), QStringList{kListsNotSaved});
        QVERIFY(m_prompts.warnings().constFirst().contains(listPath("cats.txt")));
        QVERIFY(QFile::exists(listPath("addstr.txt")));
        QVERIFY(QFile::exists(listPath("never.txt")));
        QVERIFY(QFile::exists(listPath("failed.txt")));
        QCOMPARE(storedValue(QStringLiteral("AutoScan")), QStringLiteral("true"));
    }

    void unreadableListKeepsItsEntries()
    {
        QVERIFY(QDir().mkpath(listPath("except.txt")));
        writeList("addstr.txt", "Enrol\r\n");
        RuleLists lists;
        load({}, &lists);
        QCOMPARE(m_prompts.warnings().size(), 1);
        QVERIFY(m_prompts.warnings().constFirst().contains(QStringLiteral("except.txt")));
        QCOMPARE(lists.except.items(), RuleLists().except.items());
        QCOMPARE(lists.addstr.items(), QStringList{QStringLiteral("Enrol")});
    }

    void listFilesAsFoundOnDisk()
    {
        writeList("except.txt", "zz\r\n\r\nAb\r\naa\r\nAA\r\n");
        writeList("remstr.txt", "quit\nLeave\n\nstop");
        writeList("addstr.txt", "b\ra\r");
        writeList("cats.txt", "zeta\r\nAlpha\r\n\r\nmid\r\n");
        writeList("never.txt", "m\xFCller@example.com\r\nBob@x.org\r\n");
        RuleLists lists;
        load({}, &lists);
        QVERIFY(m_prompts.calls().isEmpty());
        QCOMPARE(lists.except.items(), (QStringList{QStringLiteral("aa"), QStringLiteral("Ab"), QStringLiteral("zz")}));
        QCOMPARE(lists.remstr.items(),
                 (QStringList{QStringLiteral("Leave"), QStringLiteral("quit"), QStringLiteral("stop")}));
        QCOMPARE(lists.addstr.items(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(lists.cats.items(),
                 (QStringList{QStringLiteral("zeta"), QStringLiteral("Alpha"), QStringLiteral("mid")}));
        QCOMPARE(lists.never.items(),
                 (QStringList{QStringLiteral("Bob@x.org"), QStringLiteral("m\u00FCller@example.com")}));
        QVERIFY(lists.never.contains(QStringLiteral("M\u00DCLLER@EXAMPLE.COM")));
    }

    void deletedFailedListComesBackBuiltIn()
    {
        RuleLists lists;
        lists.failed.setItems({QStringLiteral("bounced")});
        SettingsStore(m_env.programDir(), m_prompts).SaveEntries(Settings(), lists);
        QStringList onDisk;
        QVERIFY(textfile::readLines(listPath("failed.txt"), &onDisk));
        QCOMPARE(onDisk, QStringList{QStringLiteral("bounced")});

        QVERIFY(QFile::remove(listPath("failed.txt")));
        RuleLists restarted;
        load({}, &restarted);
        QCOMPARE(restarted.failed.size(), 15);
        QCOMPARE(restarted.failed.items().constFirst(), QStringLiteral("Delivery failure"));
        QCOMPARE(restarted.failed.items().constLast(), QStringLiteral("Unzustellbar"));
    }

    void ruleListOrderAndCase()
    {
        RuleList sorted(true, {QStringLiteral("b"), QStringLiteral("C"), QStringLiteral("a"), QStringLiteral("B")});
        QCOMPARE(sorted.items(), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("C")}));
        sorted.add(QStringLiteral("Ba"));
        sorted.add(QStringLiteral("A"));
        QCOMPARE(sorted.items(),
                 (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("Ba"), QStringLiteral("C")}));
        QVERIFY(sorted.contains(QStringLiteral("c")));
        QVERIFY(!sorted.contains(QStringLiteral("bA ")));

        RuleList plain(false, {QStringLiteral("z"), QStringLiteral("a"), QStringLiteral("z")});
        plain.add(QStringLiteral("m"));
        QCOMPARE(plain.items(),
                 (QStringList{QStringLiteral("z"), QStringLiteral("a"), QStringLiteral("z"), QStringLiteral("m")}));
        QVERIFY(plain.contains(QStringLiteral("Z")));
    }

    void dateTimeText()
    {
        if (QLocale::system().name() != QLatin1String("C"))
            QSKIP("expects the C locale that CTest sets");
        const QDate day(2024, 3, 9);
        QCOMPARE(getdatetimestring(QDateTime(day, QTime(13, 5, 9))), QStringLiteral("9 Mar 2024 13:05:09"));
        QCOMPARE(getdatetimestring(QDateTime(day, QTime(0, 0))), QStringLiteral("9 Mar 2024"));
        QCOMPARE(getdatetimestring(QDateTime(day, QTime(0, 0, 0, 1))), QStringLiteral("9 Mar 2024 00:00:00"));
        QCOMPARE(getdatetimestring(QDateTime()), QString());
    }

    // Made directly or by QLocale, the text is QLocale's.
    void clockFormatGivesQLocalesText()
    {
        const QList<QTime> times{QTime(0, 0),   QTime(0, 0, 0, 1), QTime(9, 5, 7),
                                 QTime(12, 30), QTime(13, 59, 59), QTime(23, 0, 10)};
        for (const char *name : {"C", "de_DE", "en_US", "en_GB", "fr_CA", "fi_FI", "ar_EG", "ja_JP", "ko_KR"}) {
            const QLocale locale{QLatin1String(name)};
            for (const QString &format :
                 {locale.timeFormat(QLocale::LongFormat), locale.timeFormat(QLocale::ShortFormat),
                  QStringLiteral("H.m.s"), QStringLiteral("hhh:mmm"), QStringLiteral("h 'h' mm"),
                  QStringLiteral("HH:mm:ss.zzz"), QStringLiteral("h:mm ap"), QStringLiteral(" - ")}) {
                const ClockFormat clock(locale, format);
                for (const QTime &time : times)
                    QCOMPARE(clock.text(time), locale.toString(time, format));
            }
        }
    }

private:
    TestEnv m_env;
    ScriptedPrompts m_prompts;
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
