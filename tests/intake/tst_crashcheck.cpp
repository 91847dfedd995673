// Crash consistency of the folder check: the real check in its own process
// (quillmar-checkrun, the program's start, check and close without windows)
// over a store of a few hundred subscribe, unsubscribe and delivery-failure
// messages, killed at random instants and restarted until a run finishes.
// After every kill: the list file is whole, every message file exists once,
// and the list holds exactly the changes of the messages recorded as handled.
// After the run that finishes: every change applied exactly once (bounce
// counts exact), and the log and error list hold one line per call.
// A failing move after the commit (a file where "Deleted Items" would go)
// stands for a kill between the commit and the move.
#include "core/Prompts.h"
#include "core/SettingsStore.h"
#include "core/TextFile.h"
#include "core/WorkingFiles.h"
#include "store/HandledMessages.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"
#include "testlib/MaildirWriter.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <sqlite3.h>

namespace {

const QString List = QStringLiteral("VMailingList");
const QString Bin = QStringLiteral("Deleted Items");
constexpr int BounceMax = 10;

// Prints what the test did, for a failure to be read back.
class Prompts0 : public Prompts
{
public:
    Answer confirm(const QString &) override { return Answer::No; }
    void information(const QString &) override { }
    void warning(const QString &t) override { qWarning("%s", qPrintable(t)); }
    void error(const QString &t) override { qWarning("%s", qPrintable(t)); }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};

struct Message
{
    enum Kind { Subscribe, Unsubscribe, Notice, Rejected, Other } kind;
    QString unique; // the file's unique name
    QString messageId; // as written in its header
    QStringList addresses; // the address added or removed, or those of a notice
    QByteArray bytes;
};

// The store, list and settings of one trial, all in a fresh temporary tree.
struct Trial
{
    TestEnv env;
    testmail::Store store{env.home() + u8("/Maildir")};
    QList<Message> messages;
    QStringList preloaded; // "item|bounces"

    QString listFile() const { return env.programDir() + MLTable::defaultFileName(); }

    Trial()
    {
        store.create();
        store.addFolder(List);
        createMailingListFile(listFile());
        Settings settings;
        RuleLists lists;
        Prompts0 prompts;
        SettingsStore(env.programDir(), prompts).Loadentries(settings, lists);
        settings.FailedMail = true;
        settings.BounceMax = BounceMax;
        settings.MultipleCategorySupport = false;
        settings.allowfromaddressasentry = true;
        settings.ScanAllEmailLines = false;
        settings.MailingListGroup = List;
        SettingsStore(env.programDir(), prompts).SaveEntries(settings, lists);

        MLTable table;
        table.setFilePath(listFile());
        table.open();
        auto preload = [&](const QString &item, int bounces) {
            table.append(item, u8("Default"), bounces, u8("old"));
            preloaded << item + QLatin1Char('|') + QString::number(bounces);
        };
        for (int i = 0; i < 10; ++i)
            preload(QStringLiteral("keep%1@example.org").arg(i), 0);
        for (int i = 0; i < 60; ++i)
            preload(QStringLiteral("u%1@example.org").arg(i), 0);
        for (int i = 0; i < 40; ++i)
            preload(QStringLiteral("b%1@example.org").arg(i), i % 3);
        table.close();

        // 120 joins, 60 leaves, 100 notices naming 1 to 3 members, 10
        // requests with an invalid address and 10 letters; interleaved.
        QRandomGenerator shape(4711);
        QList<Message::Kind> kinds;
        for (int i = 0; i < 120; ++i)
            kinds << Message::Subscribe;
        for (int i = 0; i < 60; ++i)
            kinds << Message::Unsubscribe;
        for (int i = 0; i < 100; ++i)
            kinds << Message::Notice;
        for (int i = 0; i < 10; ++i)
            kinds << Message::Rejected << Message::Other;
        std::shuffle(kinds.begin(), kinds.end(), shape);
        // The first message is a notice: the one the failing move meets first.
        const auto firstNotice = std::find(kinds.begin(), kinds.end(), Message::Notice);
        std::iter_swap(firstNotice, kinds.begin());
        int counters[5] = {};
        for (int n = 0; n < kinds.size(); ++n) {
            Message m;
            m.kind = kinds.at(n);
            const int i = counters[m.kind]++;
            m.messageId = QStringLiteral("<m%1.crash@example.org>").arg(n);
            const QByteArray id = "Message-ID: " + m.messageId.toUtf8() + "\r\n";
            switch (m.kind) {
            case Message::Subscribe:
                m.addresses << QStringLiteral("s%1@example.org").arg(i);
                m.bytes = raw(m.addresses.first().toUtf8(), "subscribe", "Please add me.\r\n", id);
                break;
            case Message::Unsubscribe:
                m.addresses << QStringLiteral("u%1@example.org").arg(i);
                m.bytes = raw(m.addresses.first().toUtf8(), "unsubscribe", "", id);
                break;
            case Message::Notice: {
                QByteArray body = "Delivery to the following recipients failed:\r\n\r\n";
                const int names = 1 + int(shape.bounded(3));
                QSet<int> picked;
                while (picked.size() < names)
                    picked.insert(int(shape.bounded(40)));
                QList<int> sorted(picked.begin(), picked.end());
                std::sort(sorted.begin(), sorted.end());
                for (int b : sorted) {
                    m.addresses << QStringLiteral("b%1@example.org").arg(b);
                    body += "    " + m.addresses.last().toUtf8() + "\r\n";
                }
                m.bytes = raw("MAILER-DAEMON@mx.example.net", "Undeliverable: Newsletter", body, id);
                break;
            }
            case Message::Rejected:
                m.addresses << QStringLiteral("not..valid%1@example.org").arg(i);
                m.bytes = raw("r@example.org", "subscribe " + m.addresses.first().toUtf8(), "", id);
                break;
            case Message::Other:
                m.bytes = raw("o@example.org", "Question", "How do I join?\r\n", id);
                break;
            }
            const QString path = store.deliver(List, m.bytes, 1700000000 + n);
            m.unique = QFileInfo(path).fileName();
            messages << m;
        }
    }

    static QByteArray raw(const QByteArray &from, const QByteArray &subject, const QByteArray &body,
                          const QByteArray &id)
    {
        // The writer's own Message-ID line is replaced by the message's.
        QByteArray m = testmail::message(from, subject, body);
        const qsizetype at = m.indexOf("Message-ID: ");
        m.remove(at, m.indexOf("\r\n", at) + 2 - at);
        return m.insert(at, id);
    }

    // Exit code, or -1 when it was killed after `killAfterMs`.
    int run(int killAfterMs = -1, QString *output = nullptr)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(QUILLMAR_CHECKRUN), {env.programDir()});
        if (!p.waitForStarted(10000))
            return -2;
        bool killed = false;
        if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) {
            p.kill();
            killed = true;
        }
        p.waitForFinished(120000);
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        if (killed && p.exitStatus() == QProcess::CrashExit)
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
    }

    // Unique name -> (folder, bytes) of every message file in the store.
    QMultiMap<QString, QPair<QString, QByteArray>> files() const
    {
        QMultiMap<QString, QPair<QString, QByteArray>> out;
        for (const QString &folder : {List, Bin}) {
            for (const char *sub : {"/new", "/cur"}) {
                const QDir dir(store.folderDir(folder) + QLatin1String(sub));
                for (const QString &name : dir.entryList(QDir::Files)) {
                    QFile f(dir.filePath(name));
                    f.open(QIODevice::ReadOnly);
                    out.insert(name.section(QLatin1Char(':'), 0, 0), {folder, f.readAll()});
                }
            }
        }
        return out;
    }
};

class Db
{
public:
    explicit Db(const QString &path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Db() { sqlite3_close(m_db); }
    QList<QByteArrayList> rows(const char *sql) const
    {
        QList<QByteArrayList> out;
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr) != SQLITE_OK)
            return {{QByteArray("error: ") + sqlite3_errmsg(m_db)}};
        while (sqlite3_step(s) == SQLITE_ROW) {
            QByteArrayList row;
            for (int c = 0; c < sqlite3_column_count(s); ++c)
                row << QByteArray(static_cast<const char *>(sqlite3_column_blob(s, c)), sqlite3_column_bytes(s, c));
            out << row;
        }
        sqlite3_finalize(s);
        return out;
    }

private:
    sqlite3 *m_db = nullptr;
};

} // namespace

class TestCrashCheck : public QObject
{
    Q_OBJECT

    int m_fullRunMs = 0;
    quint32 m_seed = 0;

    // The list as the preloaded entries plus the changes of these messages.
    static QStringList expectedEntries(const Trial &t, const QSet<QString> &applied)
    {
        QMap<QString, int> bounces;
        QStringList order;
        for (const QString &row : t.preloaded) {
            order << row.section(u'|', 0, 0);
            bounces.insert(order.last(), row.section(u'|', 1).toInt());
        }
        for (const Message &m : t.messages) {
            if (!applied.contains(m.unique))
                continue;
            for (const QString &a : m.addresses) {
                if (m.kind == Message::Subscribe && !bounces.contains(a)) {
                    order << a;
                    bounces.insert(a, 0);
                } else if (m.kind == Message::Unsubscribe) {
                    bounces.remove(a);
                } else if (m.kind == Message::Notice && bounces.contains(a)) {
                    if (bounces[a] + 1 >= BounceMax)
                        bounces.remove(a);
                    else
                        ++bounces[a];
                }
            }
        }
        QStringList out;
        for (const QString &item : std::as_const(order)) {
            if (bounces.contains(item))
                out << item + QLatin1Char('|') + QString::number(bounces.value(item));
        }
        out.sort();
        return out;
    }

    // What must hold at any instant: empty, or what does not. *applied gets
    // the messages recorded as handled.
    static QString inconsistency(const Trial &t, QSet<QString> *applied)
    {
        Db db(t.listFile());
        const auto integrity = db.rows("PRAGMA integrity_check");
        if (integrity != QList<QByteArrayList>{{QByteArray("ok")}})
            return u8("integrity_check says ") + QString::fromUtf8(integrity.value(0).value(0));

        QSet<QByteArray> recorded;
        for (const QByteArrayList &r : db.rows("SELECT Identity FROM HandledMessages"))
            recorded.insert(r.at(0));
        applied->clear();
        for (const Message &m : t.messages) {
            if (recorded.contains(HandledMessages::identity(m.messageId, m.unique)))
                applied->insert(m.unique);
        }

        QStringList actual;
        for (const QByteArrayList &r : db.rows("SELECT Item, Bounces FROM mailist"))
            actual << QString::fromUtf8(r.at(0)) + QLatin1Char('|') + QString::fromUtf8(r.at(1));
        actual.sort();
        const QStringList expected = expectedEntries(t, *applied);
        if (actual != expected) {
            QStringList extra = actual;
            for (const QString &e : expected)
                extra.removeOne(e);
            QStringList missing = expected;
            for (const QString &a : actual)
                missing.removeOne(a);
            return QStringLiteral("the list is not the preloaded one plus the %1 recorded messages: has %2, lacks %3")
                .arg(applied->size())
                .arg(extra.join(u' '), missing.join(u' '));
        }

        // Every file once, unchanged; in the bin only what was applied.
        const auto files = t.files();
        for (const Message &m : t.messages) {
            const auto found = files.values(m.unique);
            if (found.size() != 1 || found.first().second != m.bytes)
                return QStringLiteral("%1 is there %2 times or changed").arg(m.unique).arg(found.size());
            if (found.first().first == Bin && !applied->contains(m.unique))
                return QStringLiteral("%1 was deleted but never applied").arg(m.unique);
        }
        if (files.size() != t.messages.size())
            return QStringLiteral("%1 message files for %2 messages").arg(files.size()).arg(t.messages.size());
        return {};
    }

    // After a run that finished: everything applied once, and one log line
    // per call, one error line per rejected request.
    static void checkFinished(const Trial &t)
    {
        QSet<QString> applied;
        const QString wrong = inconsistency(t, &applied);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QSet<QString> recognised;
        for (const Message &m : t.messages) {
            if (m.kind != Message::Other)
                recognised.insert(m.unique);
        }
        QCOMPARE(applied, recognised);
        const auto files = t.files();
        for (const Message &m : t.messages)
            QCOMPARE(files.value(m.unique).first, m.kind == Message::Other ? List : Bin);

        QStringList log;
        QVERIFY(textfile::readLines(t.env.programDir() + WorkingFiles::logFileName(), &log));
        QStringList errors;
        QVERIFY(textfile::readLines(t.env.programDir() + WorkingFiles::errorsFileName(), &errors));
        QVERIFY(!QFileInfo::exists(t.env.programDir() + WorkingFiles::logFileName() + WorkingFiles::journalSuffix()));
        QVERIFY(
            !QFileInfo::exists(t.env.programDir() + WorkingFiles::errorsFileName() + WorkingFiles::journalSuffix()));

        // Each call's line, counted: a line missing or twice fails.
        QMap<QString, int> want;
        QStringList wantErrors;
        for (const Message &m : t.messages) {
            for (const QString &a : m.addresses) {
                switch (m.kind) {
                case Message::Subscribe:
                    ++want[u8("ADD ") + a + u8(" Default [")];
                    break;
                case Message::Unsubscribe:
                    ++want[u8("REMOVE ") + a + u8(" Default [")];
                    break;
                case Message::Notice:
                    ++want[u8("Update Undeliverable ") + a + u8(" -> ")];
                    break;
                case Message::Rejected:
                    ++want[u8("ADD ") + a + u8(" Default [")];
                    wantErrors << u8("ADD ") + a + u8(" Default -> Not Added: Invalid E-mail Address!");
                    break;
                case Message::Other:
                    break;
                }
            }
        }
        QMap<QString, int> got;
        for (const QString &line : std::as_const(log)) {
            if (line.startsWith(u8("Update Undeliverable ")))
                ++got[line.left(line.indexOf(u8(" -> ")) + 4)];
            else if (line.startsWith(u8("ADD ")) || line.startsWith(u8("REMOVE ")))
                ++got[line.left(line.indexOf(u8(" [")) + 2)];
        }
        QCOMPARE(got, want);
        for (const QString &line : std::as_const(log)) {
            if (line.startsWith(u8("ADD s")))
                QVERIFY2(line.endsWith(u8("-> Entered Successfully")), qPrintable(line));
            if (line.startsWith(u8("REMOVE u")))
                QVERIFY2(line.endsWith(u8("-> Entry successfully deleted!")), qPrintable(line));
        }
        errors.sort();
        wantErrors.sort();
        QCOMPARE(errors, wantErrors);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray seed = qgetenv("QUILLMAR_CRASH_SEED");
        m_seed = seed.isEmpty() ? QRandomGenerator::system()->generate() : seed.toUInt();
        qInfo("kill instants from seed %u (QUILLMAR_CRASH_SEED)", m_seed);
        Trial t;
        QElapsedTimer clock;
        clock.start();
        QString output;
        QCOMPARE(t.run(-1, &output), 0);
        m_fullRunMs = int(clock.elapsed());
        qInfo("an uninterrupted check of %d messages takes %d ms", int(t.messages.size()), m_fullRunMs);
        checkFinished(t);
    }

    void killedAtRandomInstants()
    {
        QRandomGenerator random(m_seed);
        QElapsedTimer budget;
        budget.start();
        int trials = 0;
        int kills = 0;
        // At least four trials; more while they fit in about 15 seconds.
        while (trials < 4 || (budget.elapsed() < 15000 && trials < 60)) {
            Trial t;
            ++trials;
            const int killsThisTrial = 1 + int(random.bounded(3));
            for (int k = 0; k < killsThisTrial; ++k) {
                const int at = int(random.bounded(m_fullRunMs + 1));
                QString output;
                const int code = t.run(at, &output);
                QVERIFY2(code == -1 || code == 0, qPrintable(QStringLiteral("exit %1: %2").arg(code).arg(output)));
                kills += code == -1;
                QSet<QString> applied;
                const QString wrong = inconsistency(t, &applied);
                QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("trial %1, seed %2, after a kill at %3 ms: %4")
                                                         .arg(trials)
                                                         .arg(m_seed)
                                                         .arg(at)
                                                         .arg(wrong)));
            }
            QString output;
            QCOMPARE(t.run(-1, &output), 0);
            checkFinished(t);
            if (QTest::currentTestFailed()) {
                qWarning("trial %d failed; seed %u", trials, m_seed);
                return;
            }
        }
        qInfo("%d trials, %d kills", trials, kills);
        QVERIFY(kills > 0);
    }

    // A move that fails after the commit, twice: the notice counts once.
    void failedMoveAfterTheCommit()
    {
        Trial t;
        QFile blocker(t.store.root() + u8("/.") + Bin);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const Message &first = t.messages.first();
        QCOMPARE(first.kind, Message::Notice);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString output;
            QCOMPARE(t.run(-1, &output), 3);
            QVERIFY2(output.contains(u8("cannot be created")), qPrintable(output));
            QSet<QString> applied;
            const QString wrong = inconsistency(t, &applied);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            QCOMPARE(applied, QSet<QString>{first.unique});
        }
        QVERIFY(QFile::remove(blocker.fileName()));
        QString output;
        QCOMPARE(t.run(-1, &output), 0);
        checkFinished(t);
    }
};

QTEST_GUILESS_MAIN(TestCrashCheck)
#include "tst_crashcheck.moc"
