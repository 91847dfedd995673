// Export to delimited text on real table files: the bytes written, the
// order and the filter, refused targets and a record that cannot be read.
#include "StoreTestUtil.h"
#include "store/exportlist.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QVector<Row> Mixed{
    {u"ann@example.com"_s, u"news"_s, 0, u"web, form"_s},
    {u"bob@example.com"_s, u""_s, 3, u""_s},
    {u"\u00E9mile@example.org"_s, u"Caf\u00E9"_s, 1, u"Gr\u00FC\u00DFe; a"_s},
};

// Each ordering puts these four in another order; "Alpha" and "alpha" are
// one category.
const QVector<Row> Ordered{
    {u"dora@example.org"_s, u"beta"_s, 2, {}},
    {u"Anna@example.org"_s, u"Alpha"_s, 0, {}},
    {u"carl@example.org"_s, u"alpha"_s, 5, {}},
    {u"bert@example.org"_s, u"Gamma"_s, 1, {}},
};

struct ProgressCall
{
    bool show;
    int position;
    int total;
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Makes the last leaf page of the table's one-level tree unreadable and
// returns the largest row id before it; 0 when the tree is not as expected.
qint64 breakLastLeaf(const QString &path)
{
    qint64 pageSize = 0;
    qint64 root = 0;
    {
        RawDb raw(path);
        pageSize = raw.scalar("PRAGMA page_size");
        root = raw.scalar("SELECT rootpage FROM sqlite_master WHERE name = 'mailist'");
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek((root - 1) * pageSize))
        return 0;
    const QByteArray page = f.read(pageSize);
    auto u8 = [&](qint64 i) { return quint64(quint8(page.at(i))); };
    auto be = [&](qint64 i, int n) {
        quint64 v = 0;
        for (int k = 0; k < n; ++k)
            v = v << 8 | u8(i + k);
        return v;
    };
    if (u8(0) != 0x05)
        return 0;
    const qint64 cells = qint64(be(3, 2));
    const qint64 lastLeaf = qint64(be(8, 4));
    qint64 at = qint64(be(12 + 2 * (cells - 1), 2)) + 4;
    quint64 key = 0;
    for (int k = 0; k < 9; ++k) {
        const quint64 b = u8(at++);
        key = key << 7 | (b & 0x7F);
        if (!(b & 0x80))
            break;
    }
    // Not a page type SQLite knows.
    if (!f.seek((lastLeaf - 1) * pageSize) || f.write("\x00", 1) != 1)
        return 0;
    return qint64(key);
}

} // namespace

class TestExportList : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    MLTable m_table;
    ScriptedPrompts m_prompts;
    QList<ProgressCall> m_progress;

    QString dir() const { return m_env.root() + u"/out"_s; }
    QString target() const { return dir() + u"/list.csv"_s; }

    void openWith(const QVector<Row> &rows)
    {
        m_table.close();
        const QString path = newTableFile(m_env.root());
        RawDb raw(path);
        QVERIFY(raw.insert(rows));
        m_table.setFilePath(path);
        m_table.open();
    }

    bool run(bool email, bool category, bool comments, const QString &delimiter, const QString &file = {})
    {
        const ProgressFn show = [this](bool s, int position, int total, const QString &) {
            m_progress.append({s, position, total});
        };
        return exportlist(m_table, m_prompts, show, file.isEmpty() ? target() : file, email, category, comments,
                          delimiter);
    }

    QStringList filesInDir() const { return QDir(dir()).entryList(QDir::Files | QDir::Hidden); }

private Q_SLOTS:
    void init()
    {
        QDir(dir()).removeRecursively();
        QDir().mkpath(dir());
        m_prompts.clear();
        m_progress.clear();
    }

    void fieldsAndDelimiters_data()
    {
        QTest::addColumn<QString>("fields"); // a address, c category, m comments
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("all, comma") << u"acm"_s << u","_s
                                    << QByteArray("ann@example.com,news,\"web, form\",\r\n"
                                                  "bob@example.com,,,\r\n"
                                                  "\xC3\xA9mile@example.org,Caf\xC3\xA9,Gr\xC3\xBC\xC3\x9F"
                                                  "e; a,\r\n");
        QTest::newRow("address and comments, semicolon")
            << u"am"_s << u";"_s
            << QByteArray("ann@example.com;web, form;\r\nbob@example.com;;\r\n"
                          "\xC3\xA9mile@example.org;\"Gr\xC3\xBC\xC3\x9F"
                          "e; a\";\r\n");
        QTest::newRow("category alone, tab") << u"c"_s << u"\t"_s << QByteArray("news\t\r\n\t\r\nCaf\xC3\xA9\t\r\n");
        QTest::newRow("all, no delimiter") << u"acm"_s << QString()
                                           << QByteArray("ann@example.comnewsweb, form\r\nbob@example.com\r\n"
                                                         "\xC3\xA9mile@example.orgCaf\xC3\xA9Gr\xC3\xBC\xC3\x9F"
                                                         "e; a\r\n");
        QTest::newRow("address, non-ASCII delimiter")
            << u"a"_s << u"\u00A7"_s
            << QByteArray("ann@example.com\xC2\xA7\r\nbob@example.com\xC2\xA7\r\n\xC3\xA9mile@example.org\xC2\xA7\r\n");
    }

    void fieldsAndDelimiters()
    {
        QFETCH(QString, fields);
        QFETCH(QString, delimiter);
        QFETCH(QByteArray, expected);
        openWith(Mixed);
        QVERIFY(run(fields.contains(u'a'), fields.contains(u'c'), fields.contains(u'm'), delimiter));
        QCOMPARE(contents(target()), expected);
        QCOMPARE(m_prompts.calls().size(), 0);
        QCOMPARE(filesInDir(), QStringList{u"list.csv"_s});
    }

    // Quoted as spreadsheets read it; a delimiter of several characters
    // counts only whole.
    void quotedFields_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("quote") << u"say \"hi\""_s << u","_s << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("lone quote") << u"\""_s << u","_s << QByteArray("\"\"\"\"");
        QTest::newRow("CR LF") << u"one\r\ntwo"_s << u","_s << QByteArray("\"one\r\ntwo\"");
        QTest::newRow("bare LF") << u"one\ntwo"_s << u"\t"_s << QByteArray("\"one\ntwo\"");
        QTest::newRow("tab delimiter") << u"a\tb"_s << u"\t"_s << QByteArray("\"a\tb\"");
        QTest::newRow("comma, tab delimiter") << u"a,b"_s << u"\t"_s << QByteArray("a,b");
        QTest::newRow("whole delimiter") << u"a::b"_s << u"::"_s << QByteArray("\"a::b\"");
        QTest::newRow("part of delimiter") << u"a:b"_s << u"::"_s << QByteArray("a:b");
        QTest::newRow("no delimiter, quote") << u"x\"y"_s << QString() << QByteArray("\"x\"\"y\"");
    }

    void quotedFields()
    {
        QFETCH(QString, comment);
        QFETCH(QString, delimiter);
        QFETCH(QByteArray, written);
        openWith({{u"ann@example.com"_s, u"news"_s, 0, comment}});
        QVERIFY(run(true, false, true, delimiter));
        const QByteArray sep = delimiter.toUtf8();
        QCOMPARE(contents(target()), "ann@example.com" + sep + written + sep + "\r\n");
    }

    void emptyListAndOverwrite()
    {
        QVERIFY(writeFile(target(), QByteArray("an older and much longer export\r\n").repeated(50)));
        openWith({});
        QVERIFY(run(true, true, true, u","_s));
        QCOMPARE(contents(target()), QByteArray());
        QCOMPARE(filesInDir(), QStringList{u"list.csv"_s});
        QCOMPARE(m_progress.size(), 1);
        QVERIFY(!m_progress.first().show);
    }

    // The file follows the chosen ordering, and holds every entry while a
    // filter is in force, which stays in force with the cursor where it was.
    void wholeListInIndexOrder_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QList<int>>("order"); // rows of Ordered

        QTest::newRow("natural") << QString() << QList<int>{0, 1, 2, 3};
        QTest::newRow("ByItem") << u"ByItem"_s << QList<int>{1, 3, 2, 0};
        QTest::newRow("ByCategory") << u"ByCategory"_s << QList<int>{1, 2, 0, 3};
        QTest::newRow("ByBounce") << u"ByBounce"_s << QList<int>{1, 3, 0, 2};
    }

    void wholeListInIndexOrder()
    {
        QFETCH(QString, index);
        QFETCH(QList<int>, order);
        openWith(Ordered);
        m_table.setIndexName(index);
        m_table.setFilterCategory(u"ALP"_s);
        m_table.setFiltered(true);
        m_table.first();
        m_table.next();
        const Entry current = m_table.current();

        QVERIFY(run(true, false, false, u","_s));
        QByteArray expected;
        for (int i : order)
            expected += Ordered.at(i).item.toUtf8() + ",\r\n";
        QCOMPARE(contents(target()), expected);

        QVERIFY(m_table.filtered());
        QCOMPARE(m_table.filterCategory(), u"ALP"_s);
        QCOMPARE(m_table.indexName(), index);
        QCOMPARE(m_table.recordCount(), 2);
        QCOMPARE(m_table.current().rowid, current.rowid);
        m_table.next();
        QVERIFY(m_table.eof());

        // First and last line shown, then hidden.
        QVERIFY(m_progress.size() >= 3);
        QCOMPARE(m_progress.first().position, 1);
        QCOMPARE(m_progress.first().total, 4);
        QCOMPARE(m_progress.at(m_progress.size() - 2).position, 4);
        QVERIFY(m_progress.at(m_progress.size() - 2).show);
        QVERIFY(!m_progress.last().show);
    }

    // The sentence users know, then why and which file: %1 stands for the
    // file, %2 for its folder.
    void refusedTargets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason");

        QTest::newRow("folder does not exist")
            << u"missing/list.csv"_s << u"missing folder"_s << u"%1: the folder %2 does not exist."_s;
        QTest::newRow("read-only file") << u"list.csv"_s << u"read-only file"_s << u"%1 is read-only."_s;
        QTest::newRow("read-only folder")
            << u"list.csv"_s << u"read-only folder"_s << u"%1: the folder %2 is read-only for you."_s;
        QTest::newRow("a folder") << u"folder"_s << u"folder"_s << u"%1 is a folder, not a file."_s;
        QTest::newRow("file size limit") << u"list.csv"_s << u"size limit"_s
                                         << u"%1: "_s + QString::fromLocal8Bit(std::strerror(EFBIG));
    }

    void refusedTargets()
    {
        QFETCH(QString, name);
        QFETCH(QString, how);
        QFETCH(QString, reason);
        const QString file = dir() + u'/' + name;
        const QByteArray old = "kept as it was\r\n";
        const bool existing = how != u"missing folder" && how != u"folder";
        if (existing)
            QVERIFY(writeFile(file, old));
        else if (how == u"folder")
            QVERIFY(QDir().mkpath(file));
        auto writable = qScopeGuard([this] { QFile::setPermissions(dir(), QFileDevice::Permissions(0x7700)); });
        if (how == u"read-only file") {
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else if (how == u"read-only folder") {
            QVERIFY(QFile::setPermissions(dir(), QFile::ReadOwner | QFile::ExeOwner));
            if (QFile(dir() + u"/probe"_s).open(QIODevice::WriteOnly)) {
                QFile::remove(dir() + u"/probe"_s);
                QSKIP("permissions do not bind this user");
            }
        }
        const QStringList before = filesInDir();
        openWith(Mixed);

        struct rlimit unlimited;
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        if (how == u"size limit") {
            struct rlimit small = unlimited;
            small.rlim_cur = 16;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        const bool written = run(true, true, true, u","_s, file);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        ::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QCOMPARE(m_prompts.warnings(),
                 QStringList{u"An error was encountered saving the file, "_s + file
                             + u", check you have sufficient disk space and try again.\n"_s
                             + reason.replace(u"%2"_s, QDir::toNativeSeparators(QFileInfo(file).absolutePath()))
                                   .replace(u"%1"_s, QDir::toNativeSeparators(file))});
        QCOMPARE(m_prompts.calls().size(), 1);
        QCOMPARE(filesInDir(), before);
        if (existing)
            QCOMPARE(contents(file), old);
        QVERIFY(m_progress.isEmpty() || !m_progress.last().show);
    }

    // A record that cannot be read: Yes tries it again under the next line
    // number, No ends the export without touching the file or saying more.
    void unreadableRecordAsksPerLine()
    {
        QVector<Row> rows;
        for (int i = 0; i < 2000; ++i)
            rows << Row{u"reader%1@example.com"_s.arg(i), u"news"_s, 0, u"imported"_s};
        m_table.close();
        const QString path = newTableFile(m_env.root());
        {
            RawDb raw(path);
            QVERIFY(raw.insert(rows));
        }
        const qint64 readable = breakLastLeaf(path);
        QVERIFY(readable > 256 && readable < 2000);
        m_table.setFilePath(path);
        m_table.open();
        QVERIFY(writeFile(target(), "old\r\n"));

        m_prompts.queueConfirm(Prompts::Answer::Yes);
        m_prompts.queueConfirm(Prompts::Answer::No);
        QVERIFY(!run(true, true, true, u","_s));
        const auto question = [](qint64 line) {
            return u"An error was encountered with line %1.  Do you want to continue?"_s.arg(line);
        };
        QCOMPARE(m_prompts.texts(ScriptedPrompts::Kind::Confirm),
                 (QStringList{question(readable + 1), question(readable + 2)}));
        QCOMPARE(m_prompts.calls().size(), 2);
        QCOMPARE(contents(target()), QByteArray("old\r\n"));
        QCOMPARE(filesInDir(), QStringList{u"list.csv"_s});
        QVERIFY(!m_progress.last().show);
        // Still usable for reading what can be read.
        QVERIFY(m_table.locate(u"reader0@example.com"_s));
    }
};

QTEST_GUILESS_MAIN(TestExportList)
#include "tst_exportlist.moc"
