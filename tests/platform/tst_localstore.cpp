// The mail client's automation objects over a Maildir++ store written here,
// and Dovecot reading the same store independently.
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "intake/FolderCheck.h"
#include "platform/outlook/Automation.h"
#include "platform/outlook/ItemSlots.h"
#include "platform/outlook/LocalOutlook.h"
#include "platform/outlook/Maildir.h"
#include "store/EntryRules.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

using namespace platform::outlook;
using testmail::message;

namespace {

OleVariant personalFolders(const QString &storeRoot)
{
    return OleVariant(createLocalApplication(storeRoot))
        .call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
        .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")});
}

OleVariant folderOf(const QString &storeRoot, const QString &name)
{
    return personalFolders(storeRoot).call(QStringLiteral("Folders"), {name});
}

// Names in index order, as the folder scan reads them.
QStringList folderNames(const OleVariant &root)
{
    QStringList names;
    const OleVariant folders = root.call(QStringLiteral("Folders"));
    const int count = folders.call(QStringLiteral("Count")).toInt();
    for (int i = 1; i <= count; ++i)
        names << root.call(QStringLiteral("Folders"), {i}).call(QStringLiteral("Name")).toText();
    return names;
}

QStringList subjects(const OleVariant &folder)
{
    QStringList out;
    const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
    for (int i = 1; i <= count; ++i)
        out << folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("subject")).toText();
    return out;
}

// Folder name -> message count as the facade reports it.
QMap<QString, int> facadeCounts(const QString &storeRoot)
{
    QMap<QString, int> counts;
    const OleVariant root = personalFolders(storeRoot);
    for (const QString &name : folderNames(root))
        counts.insert(name, root.call(QStringLiteral("Folders"), {name})
                                .call(QStringLiteral("Items"))
                                .call(QStringLiteral("Count"))
                                .toInt());
    return counts;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A Dovecot master of its own with no network, reading the store as a
// user "tester"; doveadm needs the master to look the user up.
class Dovecot
{
public:
    Dovecot(const QString &dir, const QString &store)
        : m_dir(dir)
        , m_store(store)
        , m_conf(dir + QStringLiteral("/dovecot.conf"))
    {
        QDir().mkpath(dir + QStringLiteral("/home"));
        QDir().mkpath(dir + QStringLiteral("/state"));
        const bool root = ::geteuid() == 0;
        // Dovecot will not touch mail as root: then the store goes to nobody.
        const uint uid = root ? 65534 : ::getuid();
        const uint gid = root ? 65534 : ::getgid();
        QByteArray conf = "protocols =\nssl = no\n";
        conf += "base_dir = " + dir.toUtf8() + "/run\n";
        conf += "state_dir = " + dir.toUtf8() + "/state\n";
        conf += "log_path = " + dir.toUtf8() + "/dovecot.log\n";
        conf += "mail_location = maildir:" + store.toUtf8() + "\n";
        conf += "first_valid_uid = 1\nfirst_valid_gid = 1\n";
        conf += "service anvil {\n  chroot =\n}\n";
        if (!root) {
            const passwd *pw = ::getpwuid(uid);
            const group *gr = ::getgrgid(gid);
            const QByteArray user = pw ? QByteArray(pw->pw_name) : QByteArray::number(uid);
            conf += "default_internal_user = " + user + "\ndefault_login_user = " + user + "\n";
            conf += "default_internal_group = " + (gr ? QByteArray(gr->gr_name) : QByteArray::number(gid)) + "\n";
        }
        conf += "userdb {\n  driver = static\n  args = uid=" + QByteArray::number(uid)
                + " gid=" + QByteArray::number(gid) + " home=" + dir.toUtf8() + "/home\n}\n";
        conf += "passdb {\n  driver = static\n  args = password=secret\n}\n";
        writeFile(m_conf, conf);
        m_uid = uid;
        handOver();
        QProcess master;
        master.start(program("dovecot"), {QStringLiteral("-c"), m_conf});
        m_started
            = master.waitForFinished(20000) && master.exitStatus() == QProcess::NormalExit && master.exitCode() == 0;
        if (!m_started)
            m_error = QString::fromLocal8Bit(master.readAllStandardError()) + log();
    }
    ~Dovecot() { stop(); }

    static QString program(const char *name)
    {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        return found.isEmpty() ? QStandardPaths::findExecutable(
                   QString::fromLatin1(name), {u8("/usr/sbin"), u8("/usr/bin"), u8("/usr/local/sbin")})
                               : found;
    }

    bool started() const { return m_started; }
    QString error() const { return m_error; }
    QString log() const { return QString::fromUtf8(readFile(m_dir + QStringLiteral("/dovecot.log"))); }

    // Gives the store (and everything we wrote into it since) to the mail user.
    void handOver() const
    {
        if (::geteuid() != 0)
            return;
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("%1:%1").arg(m_uid), m_store,
                                                    m_dir + QStringLiteral("/home")});
    }

    bool doveadm(const QStringList &args, QByteArray *out = nullptr, const QByteArray &input = {}) const
    {
        handOver();
        QProcess p;
        p.start(program("doveadm"), QStringList{QStringLiteral("-c"), m_conf} + args);
        if (!p.waitForStarted(10000))
            return false;
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_lastError = QString::fromLocal8Bit(p.readAllStandardError());
            return false;
        }
        if (out)
            *out = p.readAllStandardOutput();
        return true;
    }
    QString lastError() const { return m_lastError; }

    // Mailbox -> message count; Dovecot's "INBOX" is the facade's "Inbox".
    bool status(QMap<QString, int> &counts) const
    {
        QByteArray out;
        if (!doveadm({QStringLiteral("mailbox"), QStringLiteral("status"), QStringLiteral("-u"),
                      QStringLiteral("tester"), QStringLiteral("messages"), QStringLiteral("*")},
                     &out))
            return false;
        counts.clear();
        for (const QByteArray &line : out.split('\n')) {
            const qsizetype at = line.lastIndexOf(" messages=");
            if (at < 0)
                continue;
            QString name = QString::fromUtf8(line.left(at));
            if (name == QLatin1String("INBOX"))
                name = QStringLiteral("Inbox");
            counts.insert(name, line.mid(at + 10).trimmed().toInt());
        }
        return true;
    }

    void stop()
    {
        if (!m_started)
            return;
        m_started = false;
        doveadm({QStringLiteral("stop")});
        const QString pid = m_dir + QStringLiteral("/run/master.pid");
        for (int waited = 0; QFile::exists(pid) && waited < 10000; waited += 50)
            QTest::qWait(50);
    }

private:
    QString m_dir;
    QString m_store;
    QString m_conf;
    uint m_uid = 0;
    bool m_started = false;
    QString m_error;
    mutable QString m_lastError;
};

} // namespace

class TestLocalStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;
    QString m_root; // the default store, $HOME/Maildir

    // Empty when the call raised an AutomationError that mentions `mentions`.
    static QString automationFailure(const std::function<void()> &call, const QString &mentions = {})
    {
        try {
            call();
            return QStringLiteral("no AutomationError");
        } catch (const AutomationError &e) {
            return e.message().contains(mentions) ? QString() : e.message();
        } catch (const std::exception &e) {
            return QStringLiteral("another exception: ") + QString::fromUtf8(e.what());
        }
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_root = m_env->home() + QStringLiteral("/Maildir");
    }

    void folderNamesRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("onDisk");
        QTest::newRow("blanks") << u8("Sent Items") << u8("Sent Items");
        QTest::newRow("umlaut") << u8("Grüne Liste") << u8("Gr&APw-ne Liste");
        QTest::newRow("ampersand") << u8("A & B") << u8("A &- B");
        QTest::newRow("run of CJK") << u8("日本語") << u8("&ZeVnLIqe-");
        QTest::newRow("two runs") << u8("Ärger ✓") << u8("&AMQ-rger &JxM-");
        QTest::newRow("outside the BMP") << u8("Smile 😀") << u8("Smile &2D3eAA-");
        QTest::newRow("comma for slash") << u8("Ͽ") << u8("&A,8-");
    }

    // The names as IMAP servers write them: what we create, another program
    // finds, and what another program created, we show decoded.
    void folderNamesRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, onDisk);
        testmail::Store written(m_root);
        written.create();
        written.addFolder(onDisk);
        written.deliver(onDisk, message("a@example.org", "hello", "x\r\n"), 1);
        // Listed in name order, ignoring letter case.
        QStringList both{u8("Inbox"), name};
        if (QString::compare(name, u8("Inbox"), Qt::CaseInsensitive) < 0)
            both.swapItemsAt(0, 1);
        const OleVariant root = personalFolders(m_root);
        QCOMPARE(folderNames(root), both);
        QCOMPARE(subjects(root.call(QStringLiteral("Folders"), {name.toUpper()})), QStringList{u8("hello")});

        QTemporaryDir other;
        testmail::Store(other.path()).create();
        personalFolders(other.path()).call(QStringLiteral("Folders")).call(QStringLiteral("add"), {name});
        for (const char *sub : {"cur", "new", "tmp"})
            QVERIFY(QFileInfo(other.path() + QStringLiteral("/.") + onDisk + QLatin1Char('/') + QLatin1String(sub))
                        .isDir());
        QCOMPARE(folderNames(personalFolders(other.path())), both);
    }

    void folderNamesThatCannotBeFolders()
    {
        testmail::Store(m_root).create();
        const OleVariant folders = personalFolders(m_root).call(QStringLiteral("Folders"));
        for (const QString &bad : {u8("a.b"), u8("a/b"), QString()})
            QCOMPARE(automationFailure([&] { folders.call(QStringLiteral("add"), {bad}); }), QString());
        QCOMPARE(QDir(m_root).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{u8("cur"), u8("new"), u8("tmp")}));
    }

    void inboxIsTheRootAndOrderIsByArrival()
    {
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("Zeta"));
        store.addFolder(u8("alpha"));
        // Leading number of the unique name, numerically; then the name.
        const QStringList names = {u8("1000000000.M1.host"),
                                   u8("9.M2.host:2,S"),
                                   u8("noprefix.host"),
                                   u8("10.M1.host"),
                                   u8("9.M1.host"),
                                   u8("100.M1.host:2,RS"),
                                   u8("123456789012345678901234567890.M1.host")};
        for (const QString &n : names) {
            const QString sub = n.contains(u8(":2,")) ? u8("/cur/") : u8("/new/");
            QVERIFY(writeFile(m_root + sub + n, message("a@example.org", n.toUtf8(), "body\r\n")));
        }
        // Not messages: hidden files, half-delivered ones, index files.
        QVERIFY(writeFile(m_root + u8("/new/.nfs0001"), message("a@example.org", "hidden", "")));
        QVERIFY(writeFile(m_root + u8("/tmp/5.M1.host"), message("a@example.org", "in tmp", "")));
        QVERIFY(writeFile(m_root + u8("/dovecot-uidlist"), "3 V1 N7\n"));
        QVERIFY(writeFile(m_root + u8("/.Zeta/dovecot.index.log"), QByteArray(100, '\0')));

        const OleVariant root = personalFolders(m_root);
        QCOMPARE(folderNames(root), (QStringList{u8("alpha"), u8("Inbox"), u8("Zeta")}));
        QCOMPARE(subjects(root.call(QStringLiteral("Folders"), {u8("INBOX")})),
                 (QStringList{u8("noprefix.host"), u8("9.M1.host"), u8("9.M2.host:2,S"), u8("10.M1.host"),
                              u8("100.M1.host:2,RS"), u8("1000000000.M1.host"),
                              u8("123456789012345678901234567890.M1.host")}));
        QCOMPARE(subjects(root.call(QStringLiteral("Folders"), {u8("Zeta")})), QStringList{});
    }

    // Deleting item i leaves items 1..i-1 where they were, so a visit from
    // the last item to the first sees every item once.
    void deleteMovesTheMessageUnchanged()
    {
        testmail::Store store(m_root);
        store.create();
        const QString list = store.addFolder(u8("VMailingList"));
        QList<QByteArray> messages;
        for (int i = 1; i <= 5; ++i) {
            messages << message("a@example.org", "m" + QByteArray::number(i), "line\r\n");
            QVERIFY(!store.deliver(u8("VMailingList"), messages.last(), 100 + i, i % 2 == 0).isEmpty());
        }
        const auto before = store.snapshot();
        QVERIFY(!QFileInfo::exists(m_root + u8("/.Deleted Items")));

        const OleVariant folder = folderOf(m_root, u8("VMailingList"));
        for (int i = 5; i >= 1; --i) {
            QCOMPARE(folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("subject")).toText(),
                     QStringLiteral("m%1").arg(i));
            if (i % 2 == 1)
                folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("Delete"));
        }
        QCOMPARE(subjects(folder), (QStringList{u8("m2"), u8("m4")}));
        QCOMPARE(store.contents(u8("Deleted Items")), testmail::sorted({messages[0], messages[2], messages[4]}));
        QCOMPARE(store.contents(u8("VMailingList")), testmail::sorted({messages[1], messages[3]}));
        // Created as a folder of its own, visible to the client.
        QVERIFY(folderNames(personalFolders(m_root)).contains(u8("Deleted Items")));
        QVERIFY(QFileInfo(m_root + u8("/.Deleted Items/new")).isDir());

        // Nothing else changed: every file kept its bytes, only names moved.
        auto after = store.snapshot();
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (after.contains(it.key()))
                QCOMPARE(after.take(it.key()), it.value());
        }
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            QVERIFY2(it.key().startsWith(u8(".Deleted Items/cur/")) || it.key() == u8(".Deleted Items/maildirfolder"),
                     qPrintable(it.key()));
        // Unseen messages get the info part a client gives a seen one.
        QCOMPARE(QDir(m_root + u8("/.Deleted Items/cur")).entryList(QDir::Files).filter(u8(":2,")).size(), 3);
        QCOMPARE(QDir(list + u8("/new")).entryList(QDir::Files).size()
                     + QDir(list + u8("/cur")).entryList(QDir::Files).size(),
                 2);
    }

    // Deleting moves the later items down by one, in whatever order items go.
    void deleteKeepsTheRestInOrder_data()
    {
        QTest::addColumn<QList<int>>("order"); // listed numbers, deleted in this order
        QTest::newRow("first to last") << QList<int>{1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("last to first") << QList<int>{7, 6, 5, 4, 3, 2, 1};
        QTest::newRow("scattered") << QList<int>{4, 1, 7, 2};
    }
    void deleteKeepsTheRestInOrder()
    {
        QFETCH(QList<int>, order);
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("VMailingList"));
        for (int i = 1; i <= 7; ++i)
            store.deliver(u8("VMailingList"), message("a@example.org", "m" + QByteArray::number(i), "x\r\n"), 100 + i);
        const OleVariant folder = folderOf(m_root, u8("VMailingList"));
        QList<int> left{1, 2, 3, 4, 5, 6, 7};
        for (const int listed : order) {
            const int index = int(left.indexOf(listed)) + 1;
            const OleVariant item = folder.call(QStringLiteral("Items"), {index});
            QCOMPARE(item.call(QStringLiteral("subject")).toText(), QStringLiteral("m%1").arg(listed));
            item.call(QStringLiteral("delete"));
            left.removeOne(listed);
            QStringList expected;
            for (const int i : left)
                expected << QStringLiteral("m%1").arg(i);
            QCOMPARE(subjects(folder), expected);
        }
    }

    // An item's index and its slot, both ways, whatever was removed before.
    void itemSlotsCountTheItemsLeft()
    {
        platform::outlook::ItemSlots slots;
        slots.reset(37);
        for (const qsizetype removed : {0, 36, 5, 6, 7, 20, 1, 31}) {
            QVERIFY(slots.remove(removed));
            int index = 0;
            for (qsizetype slot = 0; slot < 37; ++slot) {
                if (slots.isRemoved(slot))
                    continue;
                QCOMPARE(slots.indexOf(slot), ++index);
                QCOMPARE(slots.slotOf(index), slot);
            }
            QCOMPARE(index, slots.count());
        }
    }

    void deleteNeverOverwritesAndNeverRepeats()
    {
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("VMailingList"));
        store.addFolder(u8("Deleted Items"));
        const QByteArray mine = message("a@example.org", "mine", "x\r\n");
        const QByteArray older = message("b@example.org", "older namesake", "y\r\n");
        const QString path = store.deliver(u8("VMailingList"), mine, 7, true);
        // A message of the same name already in the bin.
        QVERIFY(writeFile(m_root + u8("/.Deleted Items/cur/") + QFileInfo(path).fileName(), older));
        const OleVariant item = folderOf(m_root, u8("VMailingList")).call(QStringLiteral("Items"), {1});
        item.call(QStringLiteral("delete"));
        QCOMPARE(store.contents(u8("Deleted Items")), testmail::sorted({mine, older}));
        QCOMPARE(automationFailure([&] { item.call(QStringLiteral("delete")); }), QString());
        QCOMPARE(automationFailure([&] { item.call(QStringLiteral("subject")); }), QString());
        QCOMPARE(store.count(u8("Deleted Items")), 2);
    }

    // A mail client renames a message as it marks it (new/ to cur/, flags
    // after ":2,"): the item is found again under its unique name, for
    // reading and for deleting, and keeps its EntryID.
    void renamedItemsAreFoundAgain()
    {
        testmail::Store store(m_root);
        store.create();
        const QString list = store.addFolder(u8("VMailingList"));
        const QByteArray raw = message("a@example.org", "renamed", "x\r\n", "Message-ID:\r\n <folded@example.org>\r\n");
        const QString path = store.deliver(u8("VMailingList"), raw, 42);
        const QString unique = QFileInfo(path).fileName();
        const OleVariant item = folderOf(m_root, u8("VMailingList")).call(QStringLiteral("Items"), {1});
        QCOMPARE(item.call(QStringLiteral("EntryID")).toText(), unique);

        const QString seen = list + u8("/cur/") + unique + u8(":2,S");
        QVERIFY(QFile::rename(path, seen));
        QCOMPARE(item.call(QStringLiteral("subject")).toText(), u8("renamed"));
        // The writer's own Message-ID comes first; a folded value is unfolded.
        QCOMPARE(item.call(QStringLiteral("InternetMessageID")).toText(),
                 QStringLiteral("<%1@example.org>").arg(qHash(QByteArray("renamed") + "x\r\n")));
        QCOMPARE(item.call(QStringLiteral("EntryID")).toText(), unique);

        QVERIFY(QFile::rename(seen, list + u8("/cur/") + unique + u8(":2,RS")));
        item.call(QStringLiteral("delete"));
        QCOMPARE(store.contents(u8("Deleted Items")), QList<QByteArray>{raw});
        QCOMPARE(store.count(u8("VMailingList")), 0);
        // The bin keeps the client's flags and the unique name.
        QCOMPARE(QDir(m_root + u8("/.Deleted Items/cur")).entryList(QDir::Files), QStringList{unique + u8(":2,RS")});
    }

    void messageIdOfTheHeaderOnly()
    {
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("VMailingList"));
        store.deliver(u8("VMailingList"), "Subject: no id\r\n\r\nMessage-ID: <in-the-body@example.org>\r\n", 1);
        store.deliver(u8("VMailingList"), "message-id:   <lower@example.org>  \r\nSubject: x\r\n\r\n", 2);
        const OleVariant folder = folderOf(m_root, u8("VMailingList"));
        QCOMPARE(folder.call(QStringLiteral("Items"), {1}).call(QStringLiteral("InternetMessageID")).toText(),
                 QString());
        QCOMPARE(folder.call(QStringLiteral("Items"), {2}).call(QStringLiteral("InternetMessageID")).toText(),
                 u8("<lower@example.org>"));
    }

    // The topmost Received line is the delivery here; without a dated one,
    // the Date header, then the file's arrival.
    void receivedTime_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QDateTime>("received");
        const QDateTime fromFile = QDateTime::fromSecsSinceEpoch(1700000000);
        QTest::newRow("topmost Received") << QByteArray("Received: from b by c;\r\n Tue, 12 Mar 2024 10:00:00 +0100\r\n"
                                                        "Received: from a by b; Tue, 12 Mar 2024 08:00:00 +0000\r\n"
                                                        "Date: Mon, 11 Mar 2024 07:00:00 +0000\r\n")
                                          << QDateTime(QDate(2024, 3, 12), QTime(9, 0), Qt::UTC);
        QTest::newRow("undated Received, then Date") << QByteArray("Received: from a by b\r\n"
                                                                   "Date: Mon, 11 Mar 2024 07:00:00 +0000\r\n")
                                                     << QDateTime(QDate(2024, 3, 11), QTime(7, 0), Qt::UTC);
        QTest::newRow("neither: the file's arrival") << QByteArray("X-Note: none\r\n") << fromFile;
        QTest::newRow("unparseable date: the file's arrival") << QByteArray("Date: sometime\r\n") << fromFile;
    }

    void receivedTime()
    {
        QFETCH(QByteArray, header);
        QFETCH(QDateTime, received);
        testmail::Store store(m_root);
        store.create();
        store.deliver(QString(), header + "Subject: x\r\n\r\nReceived: from body; Fri, 1 Jan 2021 00:00:00 +0000\r\n",
                      1700000000);
        const OleVariant item = folderOf(m_root, u8("Inbox")).call(QStringLiteral("Items"), {1});
        QCOMPARE(item.call(QStringLiteral("ReceivedTime")).toDateTime().toUTC(), received.toUTC());
    }

    // Only regular files are items: links (to a device, to a message),
    // pipes and directories are not, and are left alone.
    void onlyRegularFilesAreItems()
    {
        testmail::Store store(m_root);
        store.create();
        const QString list = store.addFolder(u8("VMailingList"));
        const QString real = store.deliver(u8("VMailingList"), message("a@example.org", "real", "x\r\n"), 5);
        QVERIFY(QFile::link(u8("/dev/zero"), list + u8("/new/1.zero.host")));
        QVERIFY(QFile::link(real, list + u8("/cur/2.link.host:2,S")));
        QCOMPARE(::mkfifo(QFile::encodeName(list + u8("/new/3.fifo.host")).constData(), 0600), 0);
        QVERIFY(QDir().mkdir(list + u8("/new/4.dir.host")));
        QCOMPARE(Maildir::messageFiles(list), QStringList{real});
        QCOMPARE(subjects(folderOf(m_root, u8("VMailingList"))), QStringList{u8("real")});
        QCOMPARE(Maildir::findMessage(list, u8("1.zero.host")), QString());
        QCOMPARE(Maildir::findMessage(list, u8("2.link.host")), QString());
        QCOMPARE(Maildir::findMessage(list, QFileInfo(real).fileName()), real);
    }

    // The item's address and name come from the file's first card.
    void contactItemsReadTheirFirstCard_data()
    {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QString>("email1");
        QTest::addColumn<QString>("fullName");
        QTest::newRow("byte order mark, two cards")
            << QByteArray("\xef\xbb\xbf"
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Gus\r\nEMAIL:gus@example.org\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Hal\r\nEMAIL:hal@example.org\r\nEND:VCARD\r\n")
            << u8("gus@example.org") << u8("Gus");
        QTest::newRow("preferred is not first")
            << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Carl\r\nEMAIL:carl@example.org\r\n"
                          "EMAIL;PREF=1:pref@example.org\r\nEND:VCARD\r\n")
            << u8("carl@example.org") << u8("Carl");
        QTest::newRow("no address") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eve\r\nTEL:123\r\nEND:VCARD\r\n")
                                    << QString() << u8("Eve");
    }

    void contactItemsReadTheirFirstCard()
    {
        QFETCH(QByteArray, card);
        QFETCH(QString, email1);
        QFETCH(QString, fullName);
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("Contacts"));
        QVERIFY(!store.deliver(u8("Contacts"), card, 1, true).isEmpty());
        const OleVariant item = folderOf(m_root, u8("Contacts")).call(QStringLiteral("Items"), {1});
        QCOMPARE(item.call(QStringLiteral("Email1Address")).toText(), email1);
        QCOMPARE(item.call(QStringLiteral("FullName")).toText(), fullName);
    }

    void membersIgnoreLetterCase()
    {
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("VMailingList"));
        const QByteArray raw = message("Ann <ann@example.org>", "subscribe news", "hello\r\n",
                                       "Cc: Cid <cid@example.org>\r\nReply-To: list-ann@example.org\r\n");
        store.deliver(u8("VMailingList"), raw, 1);
        const OleVariant app = CreateOleObject(u8("outlook.application"));
        const OleVariant root
            = app.call(u8("GETNAMESPACE"), {u8("mapi")}).call(u8("folders"), {u8("personal folders")});
        const OleVariant folder = root.call(u8("FOLDERS"), {u8("vmailinglist")});
        QCOMPARE(folder.call(u8("items")).call(u8("COUNT")).toInt(), 1);
        const OleVariant item = folder.call(u8("ITEMS"), {1});
        QCOMPARE(item.call(u8("SUBJECT")).toText(), u8("subscribe news"));
        QCOMPARE(item.call(u8("Body")).toText(), u8("hello\r\n"));
        QCOMPARE(item.call(u8("SentOn")).toDateTime().toUTC(), QDateTime(QDate(2024, 3, 12), QTime(8, 15), Qt::UTC));
        const OleVariant sender = item.call(u8("reply")).call(u8("RECIPIENTS"), {1});
        QCOMPARE(sender.call(u8("address")).toText(), u8("list-ann@example.org"));
        const OleVariant recipients = item.call(u8("recipients"));
        QCOMPARE(recipients.call(u8("count")).toInt(), 2);
        QCOMPARE(recipients.call(u8("ITEM"), {2}).call(u8("ADDRESS")).toText(), u8("cid@example.org"));
        QCOMPARE(recipients.call(u8("item"), {1}).call(u8("NAME")).toText(), u8("Lists"));
        item.call(u8("DELETE"));
        QCOMPARE(folder.call(u8("Items")).call(u8("Count")).toInt(), 0);
    }

    void missingValuesAreEmptyText()
    {
        testmail::Store store(m_root);
        store.create();
        store.deliver(QString(), "Subject: bare\r\n\r\nno date, no sender\r\n", 1);
        const OleVariant item = folderOf(m_root, u8("Inbox")).call(QStringLiteral("Items"), {1});
        QCOMPARE(item.call(QStringLiteral("senton")).toText(), QString());
        QVERIFY(!item.call(QStringLiteral("senton")).toDateTime().isValid());
        const OleVariant sender = item.call(QStringLiteral("Reply")).call(QStringLiteral("Recipients"), {1});
        QCOMPARE(sender.call(QStringLiteral("Address")).toText(), QString());
        QCOMPARE(sender.call(QStringLiteral("Name")).toText(), QString());
        QCOMPARE(item.call(QStringLiteral("Recipients")).call(QStringLiteral("Count")).toInt(), 0);
    }

    void failuresAreAutomationErrors()
    {
        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("VMailingList"));
        const QString path = store.deliver(u8("VMailingList"), message("a@example.org", "one", "x\r\n"), 1);
        const OleVariant root = personalFolders(m_root);
        const OleVariant folder = root.call(QStringLiteral("Folders"), {u8("VMailingList")});
        const OleVariant items = folder.call(QStringLiteral("Items"));
        const OleVariant item = folder.call(QStringLiteral("Items"), {1});

        QCOMPARE(automationFailure([&] { root.call(QStringLiteral("Folders"), {u8("Nowhere")}); }), QString());
        QCOMPARE(automationFailure([&] { root.call(QStringLiteral("Folders"), {0}); }), QString());
        QCOMPARE(automationFailure([&] { root.call(QStringLiteral("Folders"), {3}); }), QString());
        QCOMPARE(automationFailure([&] { items.call(QStringLiteral("Item"), {0}); }), QString());
        QCOMPARE(automationFailure([&] { folder.call(QStringLiteral("Items"), {2}); }), QString());
        QCOMPARE(automationFailure([&] { folder.call(QStringLiteral("Items"), {u8("first")}); }), QString());
        QCOMPARE(automationFailure([&] { item.call(QStringLiteral("Reply")).call(QStringLiteral("Recipients"), {2}); }),
                 QString());
        QCOMPARE(automationFailure([&] { item.call(QStringLiteral("Frobnicate")); }, u8("Frobnicate")), QString());
        QCOMPARE(automationFailure([&] {
                     CreateOleObject(u8("Outlook.Application")).call(QStringLiteral("GetNameSpace"), {u8("LDAP")});
                 }),
                 QString());
        QCOMPARE(automationFailure([&] {
                     CreateOleObject(u8("Outlook.Application"))
                         .call(QStringLiteral("GetNameSpace"), {u8("MAPI")})
                         .call(QStringLiteral("Folders"), {u8("Archive")});
                 }),
                 QString());
        QCOMPARE(automationFailure([] { CreateOleObject(u8("Word.Application")); }), QString());
        QCOMPARE(
            automationFailure([&] { folder.call(QStringLiteral("Folders")).call(QStringLiteral("add"), {u8("Sub")}); }),
            QString());
        QCOMPARE(automationFailure([] { OleVariant(QVariant(3)).call(QStringLiteral("Count")); }), QString());

        // The file went away after the folder was listed, before it was read.
        const OleVariant unread = folderOf(m_root, u8("VMailingList")).call(QStringLiteral("Items"), {1});
        QVERIFY(QFile::remove(path));
        QCOMPARE(automationFailure([&] { unread.call(QStringLiteral("ReceivedTime")); }, QFileInfo(path).fileName()),
                 QString());
        QCOMPARE(automationFailure([&] { unread.call(QStringLiteral("body")); }, QFileInfo(path).fileName()),
                 QString());
        // Deleting asks that the item leave the folder: another program took it out already.
        unread.call(QStringLiteral("delete"));
        QCOMPARE(store.count(u8("Deleted Items")), 0);
        QCOMPARE(automationFailure([&] { unread.call(QStringLiteral("delete")); }), QString());
    }

    void aMissingStoreIsAnErrorAndIsNotCreated()
    {
        QVERIFY(!QFileInfo::exists(m_root));
        const OleVariant nameSpace
            = CreateOleObject(u8("Outlook.Application")).call(QStringLiteral("GetNameSpace"), {u8("MAPI")});
        QCOMPARE(automationFailure([&] { nameSpace.call(QStringLiteral("Folders"), {u8("Personal Folders")}); },
                                   QDir::toNativeSeparators(m_root)),
                 QString());
        QVERIFY(!QFileInfo::exists(m_root));
        // A file where the store should be is no store either.
        QVERIFY(writeFile(m_root, "not a directory"));
        QCOMPARE(automationFailure([&] { nameSpace.call(QStringLiteral("Folders"), {u8("Personal Folders")}); }),
                 QString());
        QCOMPARE(readFile(m_root), QByteArray("not a directory"));
    }

    void setupMakesTheUsualFoldersOnce()
    {
#ifndef QUILLMAR_SETUP
        QSKIP("the set-up tool is not built");
#else
        auto runSetup = [] {
            QProcess setup;
            setup.start(QStringLiteral(QUILLMAR_SETUP), {});
            return setup.waitForFinished(30000) && setup.exitCode() == 0;
        };
        QVERIFY(runSetup());
        QCOMPARE(folderNames(personalFolders(m_root)),
                 (QStringList{u8("Contacts"), u8("Deleted Items"), u8("Drafts"), u8("Inbox"), u8("Outbox"),
                              u8("Sent Items"), u8("VMailingList")}));
        testmail::Store store(m_root);
        store.deliver(u8("VMailingList"), message("a@example.org", "keep me", "x\r\n"), 1);
        store.deliver(QString(), message("a@example.org", "inbox", "x\r\n"), 2);
        const auto before = store.snapshot();
        QVERIFY(runSetup());
        QCOMPARE(store.snapshot(), before);
#endif
    }

    // Dovecot reads the store after a check and must see what the facade sees;
    // then a folder and a message that Dovecot made are read by the facade.
    void dovecotSeesWhatTheFacadeSees()
    {
        if (Dovecot::program("doveadm").isEmpty() || Dovecot::program("dovecot").isEmpty())
            QSKIP("Dovecot (dovecot-core) is not installed");
        // The mail user must reach the store through our temporary folders.
        for (const QString &dir : {m_env->root(), m_env->home()})
            QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther | QFile::ReadOther | QFile::ExeGroup);

        testmail::Store store(m_root);
        store.create();
        store.addFolder(u8("VMailingList"));
        store.addFolder(u8("Gr&APw-ne Liste"));
        store.addFolder(u8("Sent Items"));
        store.deliver(QString(), message("a@example.org", "inbox", "x\r\n"), 1);
        store.deliver(u8("Gr&APw-ne Liste"), message("a@example.org", "green 1", "x\r\n"), 2, true);
        store.deliver(u8("Gr&APw-ne Liste"), message("a@example.org", "green 2", "x\r\n"), 3);
        store.deliver(u8("Sent Items"), message("a@example.org", "sent", "x\r\n"), 4, true);
        store.deliver(u8("VMailingList"), message("ann@example.org", "subscribe news", ""), 5);
        store.deliver(u8("VMailingList"), message("bob@example.org", "hello", "just saying\r\n"), 6, true);
        store.deliver(u8("VMailingList"), message("cid@example.org", "Re: unsubscribe", ""), 7);

        // The check, as the user runs it.
        const QString listFile = m_env->programDir() + u8("mailist.DAT");
        createMailingListFile(listFile);
        MLTable table;
        table.setFilePath(listFile);
        table.open();
        Settings settings;
        RuleLists lists;
        LineList log, errors;
        EntryRules rules(table, settings, lists, log, errors);
        ScriptedPrompts prompts;
        FolderCheck(settings, lists, rules, prompts).run({});
        QCOMPARE(log.size(), 2);

        const QMap<QString, int> expected = {{u8("Inbox"), 1},
                                             {u8("Grüne Liste"), 2},
                                             {u8("Sent Items"), 1},
                                             {u8("VMailingList"), 1},
                                             {u8("Deleted Items"), 2}};
        QCOMPARE(facadeCounts(m_root), expected);

        Dovecot dovecot(m_env->root() + u8("/dovecot"), m_root);
        QVERIFY2(dovecot.started(), qPrintable(dovecot.error()));
        QMap<QString, int> seen;
        QTRY_VERIFY2_WITH_TIMEOUT(dovecot.status(seen), qPrintable(dovecot.lastError() + dovecot.log()), 15000);
        QCOMPARE(seen, expected);

        // Dovecot's own folder and delivery, read back through the facade.
        QVERIFY2(dovecot.doveadm({u8("mailbox"), u8("create"), u8("-u"), u8("tester"), u8("Ärger & Freude")}),
                 qPrintable(dovecot.lastError()));
        QVERIFY2(dovecot.doveadm({u8("save"), u8("-u"), u8("tester"), u8("-m"), u8("VMailingList")}, nullptr,
                                 message("dan@example.org", "join sports", "")),
                 qPrintable(dovecot.lastError()));
        QVERIFY(QFileInfo(m_root + u8("/.&AMQ-rger &- Freude/cur")).isDir());
        QMap<QString, int> withDovecots = expected;
        withDovecots.insert(u8("Ärger & Freude"), 0);
        withDovecots[u8("VMailingList")] = 2;
        QCOMPARE(facadeCounts(m_root), withDovecots);

        // Its index files beside cur/ and new/ are no messages and stay where they are.
        QVERIFY(!QDir(m_root + u8("/.VMailingList")).entryList({u8("dovecot*")}, QDir::Files).isEmpty());
        FolderCheck(settings, lists, rules, prompts).run({});
        QVERIFY2(log.last().startsWith(u8("ADD dan@example.org sports [")), qPrintable(log.last()));
        QCOMPARE(log.size(), 3);
        QVERIFY(!QDir(m_root + u8("/.VMailingList")).entryList({u8("dovecot*")}, QDir::Files).isEmpty());
        withDovecots[u8("VMailingList")] = 1;
        withDovecots[u8("Deleted Items")] = 3;
        QCOMPARE(facadeCounts(m_root), withDovecots);
        QVERIFY(dovecot.status(seen));
        QCOMPARE(seen, withDovecots);
        dovecot.stop();
        QVERIFY2(!dovecot.log().contains(u8("Error")), qPrintable(dovecot.log()));
    }
};

QTEST_GUILESS_MAIN(TestLocalStore)
#include "tst_localstore.moc"
