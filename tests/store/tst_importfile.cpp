// The batch routine over real files and a real table: delimiter cases, the
// shapes spreadsheets and newsletter tools export, a round trip through the
// export, failing lines and files that are no import file.
#include "store/StoreTestUtil.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include "intake/StrToStringlist.h"
#include "store/Importfile.h"
#include "store/ListWorkspace.h"
#include "store/SqliteDb.h"
#include "store/exportlist.h"

#include <QFile>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using Kind = ScriptedPrompts::Kind;
using Answer = Prompts::Answer;

namespace {
const QString Stamp = QStringLiteral("1/2/2024 10:00:00");
}

class TestImportfile : public QObject
{
    Q_OBJECT

    struct List
    {
        explicit List(const TestEnv &env, const QStringList &entries = {})
            : path(env.root() + QStringLiteral("/mailist.DAT"))
        {
            QFile::remove(path);
            createMailingListFile(path);
            ws.openList(path);
            ws.settings.defaultcategory = QStringLiteral("General");
            for (const QString &e : entries) {
                const QStringList f = e.split(QLatin1Char('|'));
                ws.table().append(f.value(0), f.value(1), f.value(2).toInt(), f.value(3));
            }
        }
        int run(const ImportLines &lines, const QString &mode, const QString &category, bool withCategory,
                const QString &delimiter)
        {
            return runFull(lines, mode, category, withCategory, delimiter).processed();
        }
        ImportResult runFull(const ImportLines &lines, const QString &mode, const QString &category, bool withCategory,
                             const QString &delimiter, StopQuery stop = {}, int batchLines = 0)
        {
            ImportServices s{ws.rules, prompts, {}, &StrToStringlist, [] { return Stamp; }, std::move(stop)};
            s.batchLines = batchLines;
            return Importfile(s, lines, mode == u"add", mode == u"remove", mode == u"bounce", category, withCategory,
                              delimiter, QStringLiteral("Import of entries from file, x.csv"));
        }
        // "item|category|bounces" of every entry, in order.
        QStringList entries()
        {
            QStringList out;
            for (const QString &row : RawDb(path).rows())
                out << row.section(QLatin1Char('|'), 0, 2);
            return out;
        }
        QString path;
        ListWorkspace ws{QStringList()};
        ScriptedPrompts prompts;
    };

    QString writeFile(const QByteArray &bytes, const QString &name = QStringLiteral("import.csv"))
    {
        const QString path = m_env.root() + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the import file");
        return path;
    }

    TestEnv m_env;

private Q_SLOTS:
    void importsEachLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("withCategory");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<int>("processed");
        QTest::addColumn<QStringList>("entries");
        const QString a = QStringLiteral("a@example.org");
        QTest::newRow("blank lines skipped, mixed line ends, BOM")
            << QByteArray("\xEF\xBB\xBF a@example.org \r\n\r\n   \nb@example.org\rc@example.org") << "add" << false
            << "," << 3
            << QStringList{QStringLiteral("old@example.org|Old|0"), a + QStringLiteral("|Dialog|0"),
                           QStringLiteral("b@example.org|Dialog|0"), QStringLiteral("c@example.org|Dialog|0")};
        QTest::newRow("hash delimiter, leading delimiter, me and Re:")
            << QByteArray("a@example.org#News#\n#b@example.org#\nme#Re:#c@example.org#Arts\n#\n") << "add" << true
            << "#" << 3
            << QStringList{QStringLiteral("old@example.org|Old|0"), QStringLiteral("a@example.org|News|0"),
                           QStringLiteral("b@example.org|Dialog|0"), QStringLiteral("c@example.org|Arts|0")};
        QTest::newRow("empty delimiter splits at commas")
            << QByteArray("a@example.org,Sports,ignored comment,\n") << "add" << true << "" << 1
            << QStringList{QStringLiteral("old@example.org|Old|0"), QStringLiteral("a@example.org|Sports|0")};
        QTest::newRow("without the option a line is one address")
            << QByteArray("a@example.org,Sports\n") << "add" << false << "," << 1
            << QStringList{QStringLiteral("old@example.org|Old|0")};
        QTest::newRow("spreadsheet export: header, quotes, padding, semicolons")
            << QByteArray("\"Email\";\"Group\"\r\n\"a@example.org\" ; \"Members\"\r\n  b@example.org  ;  Board  \r\n"
                          "\"c@example.org\";\r\n")
            << "add" << true << ";" << 4
            << QStringList{QStringLiteral("old@example.org|Old|0"), QStringLiteral("a@example.org|Members|0"),
                           QStringLiteral("b@example.org|Board|0"), QStringLiteral("c@example.org|Dialog|0")};
        QTest::newRow("remove from all categories")
            << QByteArray("old@example.org\nnobody@example.org\n") << "remove" << false << "," << 2 << QStringList{};
        QTest::newRow("bounce ignores categories") << QByteArray("old@example.org,Elsewhere\n") << "bounce" << true
                                                   << "," << 1 << QStringList{QStringLiteral("old@example.org|Old|1")};
        QTest::newRow("quotes, percent, semicolon and NUL reach the rules as characters")
            << QByteArray("x'); DROP TABLE mailist;--@example.org\n%@example.org\nn") + QByteArray(1, '\0')
                   + "ul@example.org\n"
            << "add" << false << "," << 3
            << QStringList{QStringLiteral("old@example.org|Old|0"), QStringLiteral("%@example.org|Dialog|0")};
        QTest::newRow("no one before the at, once a control character is trimmed")
            << QByteArray("\x07@iana.org\n@iana.org,News\n") << "add" << true << "," << 2
            << QStringList{QStringLiteral("old@example.org|Old|0")};
        QTest::newRow("windows-1252 file")
            << QByteArray("a@example.org,Caf\xE9\n") << "add" << true << "," << 1
            << QStringList{QStringLiteral("old@example.org|Old|0"), QStringLiteral("a@example.org|Caf\u00e9|0")};
    }
    void importsEachLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, mode);
        QFETCH(bool, withCategory);
        QFETCH(QString, delimiter);
        QFETCH(int, processed);
        QFETCH(QStringList, entries);
        List list(m_env, {QStringLiteral("old@example.org|Old|0|kept")});
        QString why;
        const auto lines = ImportLines::fromFile(writeFile(file), &why);
        QVERIFY2(lines, qPrintable(why));
        const QString category = mode == u"remove" ? QString() : QStringLiteral(" Dialog ");
        QCOMPARE(list.run(*lines, mode, category, withCategory, delimiter), processed);
        QCOMPARE(list.entries(), entries);
        const QStringList told = list.prompts.texts(Kind::Information);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.constFirst().startsWith(QString::number(processed)
                                              + QStringLiteral(" entries have been processed!\n")),
                 qPrintable(told.constFirst()));
        QVERIFY(list.prompts.texts(Kind::Confirm).isEmpty());
        // Every processed line reached the log, rejected or not.
        QCOMPARE(list.ws.log.size(), processed);
        if (mode == u"add" && !entries.isEmpty() && entries.size() > 1)
            QVERIFY(list.ws.log.lines().constFirst().contains(QStringLiteral("[Import of entries from file, x.csv ")
                                                              + Stamp + QLatin1Char(']')));
    }

    void readsBackItsOwnExport()
    {
        List source(m_env, {QStringLiteral("a@example.org|News|2|first, with comma"),
                            QStringLiteral("b@example.org|Sports|0|")});
        const QString file = m_env.root() + QStringLiteral("/export.csv");
        QVERIFY(exportlist(source.ws.table(), source.prompts, {}, file, true, true, true, QStringLiteral(",")));
        List target(m_env);
        const auto lines = ImportLines::fromFile(file, nullptr);
        QVERIFY(lines);
        QCOMPARE(target.run(*lines, QStringLiteral("add"), QStringLiteral("Dialog"), true, QStringLiteral(",")), 2);
        QCOMPARE(target.entries(),
                 (QStringList{QStringLiteral("a@example.org|News|0"), QStringLiteral("b@example.org|Sports|0")}));
    }

    // Categories the export quotes come back as they were.
    void readsBackQuotedFields_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("delimiter");
        QTest::newRow("delimiter inside") << QStringLiteral("News, Daily") << QStringLiteral(",");
        QTest::newRow("quotes inside") << QStringLiteral("The \"Daily\" News") << QStringLiteral(",");
        QTest::newRow("both, semicolon") << QStringLiteral("A;\"B\";C") << QStringLiteral(";");
        QTest::newRow("two-character delimiter") << QStringLiteral("a::b") << QStringLiteral("::");
    }

    void readsBackQuotedFields()
    {
        QFETCH(QString, category);
        QFETCH(QString, delimiter);
        List source(m_env, {QStringLiteral("a@example.org|") + category + QStringLiteral("|0|x")});
        const QString file = m_env.root() + QStringLiteral("/export.csv");
        QVERIFY(exportlist(source.ws.table(), source.prompts, {}, file, true, true, true, delimiter));
        List target(m_env);
        const auto lines = ImportLines::fromFile(file, nullptr);
        QVERIFY(lines);
        QCOMPARE(target.run(*lines, QStringLiteral("add"), QStringLiteral("Dialog"), true, delimiter), 1);
        QCOMPARE(target.entries(), QStringList{QStringLiteral("a@example.org|") + category + QStringLiteral("|0")});
    }

    void aFailingLineAsksWhetherToGoOn_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("processed");
        QTest::addColumn<QList<qsizetype>>("left");
        QTest::newRow("yes goes on") << int(Answer::Yes) << 2 << QList<qsizetype>{1};
        QTest::newRow("no stops") << int(Answer::No) << 1 << QList<qsizetype>{1, 2};
    }
    void aFailingLineAsksWhetherToGoOn()
    {
        QFETCH(int, answer);
        QFETCH(int, processed);
        QFETCH(QList<qsizetype>, left);
        List list(m_env);
        list.prompts.queueConfirm(Answer(answer));
        const ImportLines lines({QStringLiteral("a@example.org"), QString(LongestImportLine + 1, QLatin1Char('x')),
                                 QStringLiteral("b@example.org")});
        const ImportResult result = list.runFull(lines, QStringLiteral("add"), QString(), false, QString());
        QCOMPARE(result.changed, processed);
        QCOMPARE(result.refused, 1);
        QCOMPARE(result.left, left);
        QCOMPARE(list.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("An error was encountered with line 1.  Do you want to continue?")});
        QCOMPARE(list.entries().size(), processed);
    }

    // What became of each line is counted and told; a line the list file
    // would not take is on the error list and left to the user, and the
    // question about it comes once, not once a line.
    void eachLineIsCountedByWhatBecameOfIt()
    {
        List list(m_env, {QStringLiteral("old@example.org|Old|0|kept")});
        {
            RawDb raw(list.path);
            QCOMPARE(raw.exec("CREATE TRIGGER stuck BEFORE INSERT ON mailist WHEN NEW.Item LIKE 'stuck%' "
                              "BEGIN SELECT RAISE(ABORT, 'disk full'); END"),
                     SQLITE_OK);
        }
        list.prompts.queueConfirm(Answer::Yes);
        const ImportLines lines({QStringLiteral("new@example.org"), QStringLiteral("stuck1@example.org"),
                                 QStringLiteral("old@example.org"), QString(), QStringLiteral("no..dots@example.org"),
                                 QStringLiteral("stuck2@example.org")});
        const ImportResult result = list.runFull(lines, QStringLiteral("add"), QStringLiteral("News"), false, {});
        QCOMPARE(result.left, (QList<qsizetype>{1, 5}));
        QCOMPARE(list.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("5 entries have been processed!\n1 added, 1 already there, 3 refused.")});
        const QStringList asked = list.prompts.texts(Kind::Confirm);
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.constFirst().startsWith(QStringLiteral("Line 1 could not be stored")),
                 qPrintable(asked.constFirst()));
        QVERIFY2(asked.constFirst().contains(QStringLiteral("disk full")), qPrintable(asked.constFirst()));
        QCOMPARE(list.ws.errors.lines(),
                 (QStringList{QStringLiteral("ADD stuck1@example.org News -> Error inserting into database!"),
                              QStringLiteral("ADD no..dots@example.org News -> Not Added: Invalid E-mail Address!"),
                              QStringLiteral("ADD stuck2@example.org News -> Error inserting into database!")}));
        QCOMPARE(list.entries(),
                 (QStringList{QStringLiteral("old@example.org|Old|0"), QStringLiteral("new@example.org|News|0")}));
    }

    // A count the file refuses after changing the row, in the middle of a
    // batch, is undone alone: the counts before and after it stand.
    void aCountRefusedInABatchIsUndoneAlone()
    {
        List list(m_env, {QStringLiteral("a@example.org|News|0"), QStringLiteral("stuck@example.org|News|1"),
                          QStringLiteral("b@example.org|News|0")});
        {
            RawDb raw(list.path);
            QCOMPARE(raw.exec("CREATE TRIGGER stuck AFTER UPDATE ON mailist WHEN NEW.Item = 'stuck@example.org' "
                              "BEGIN SELECT RAISE(ABORT, 'disk full'); END"),
                     SQLITE_OK);
        }
        list.prompts.queueConfirm(Answer::Yes);
        const ImportLines lines(
            {QStringLiteral("a@example.org"), QStringLiteral("stuck@example.org"), QStringLiteral("b@example.org")});
        const ImportResult result = list.runFull(lines, QStringLiteral("bounce"), QString(), false, {});
        QCOMPARE(result.changed, 2);
        QCOMPARE(result.left, QList<qsizetype>{1});
        QCOMPARE(list.entries(),
                 (QStringList{QStringLiteral("a@example.org|News|1"), QStringLiteral("stuck@example.org|News|1"),
                              QStringLiteral("b@example.org|News|1")}));
    }

    // A stop between lines keeps every line before it stored, tells how far
    // it came, and leaves the rest to the user.
    void aStopKeepsWhatWasDone_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("add") << QStringLiteral("add")
                             << QStringLiteral("Import cancelled: 3 of 6 lines processed.\n3 added, 0 already there, "
                                               "0 refused.")
                             << QStringList{QStringLiteral("u0@example.org|Dialog|0"),
                                            QStringLiteral("u1@example.org|Dialog|0"),
                                            QStringLiteral("u2@example.org|Dialog|0"),
                                            QStringLiteral("u3@example.org|News|0"),
                                            QStringLiteral("u4@example.org|News|0"),
                                            QStringLiteral("u5@example.org|News|0")};
        QTest::newRow("remove") << QStringLiteral("remove")
                                << QStringLiteral("Import cancelled: 3 of 6 lines processed.\n0 removed, 3 not found, "
                                                  "0 refused.")
                                << QStringList{QStringLiteral("u3@example.org|News|0"),
                                               QStringLiteral("u4@example.org|News|0"),
                                               QStringLiteral("u5@example.org|News|0")};
    }
    void aStopKeepsWhatWasDone()
    {
        QFETCH(QString, mode);
        QFETCH(QString, told);
        QFETCH(QStringList, entries);
        List list(m_env, {QStringLiteral("u3@example.org|News|0|c"), QStringLiteral("u4@example.org|News|0|c"),
                          QStringLiteral("u5@example.org|News|0|c")});
        QStringList text;
        for (int i = 0; i < 6; ++i)
            text << QStringLiteral("u%1@example.org").arg(mode == u"add" ? i : i + 6);
        // The fourth question is the user's Cancel.
        int asked = 0;
        const ImportResult result = list.runFull(ImportLines(text), mode, QStringLiteral(" Dialog "), false, {},
                                                 [&asked] { return ++asked == 4; });
        QVERIFY(result.stopped);
        QCOMPARE(result.left, (QList<qsizetype>{3, 4, 5}));
        QCOMPARE(list.prompts.texts(Kind::Information), QStringList{told});
        // Stored for good: another connection sees them.
        QStringList stored = list.entries();
        stored.sort();
        QCOMPARE(stored, entries);
    }

    // A batch the file refuses to commit is taken back whole: from the
    // counts, the log and the error list; the run stops there and says so.
    void aBatchNotStoredIsTakenBack()
    {
        List list(m_env);
        int commits = 0;
        sqlite3_commit_hook(
            list.ws.table().connection().handle(), [](void *n) { return int(++*static_cast<int *>(n) == 2); },
            &commits);
        const ImportLines lines({QStringLiteral("a@example.org"), QStringLiteral("b@example.org"),
                                 QStringLiteral("c@example.org"), QStringLiteral("no..dots@example.org"),
                                 QStringLiteral("d@example.org")});
        const ImportResult result = list.runFull(lines, QStringLiteral("add"), QString(), false, {}, {}, 2);
        QVERIFY(result.stopped);
        QCOMPARE(result.changed, 2);
        QCOMPARE(result.processed(), 2);
        QCOMPARE(result.left, (QList<qsizetype>{2, 3, 4}));
        QCOMPARE(list.entries(),
                 (QStringList{QStringLiteral("a@example.org|General|0"), QStringLiteral("b@example.org|General|0")}));
        QCOMPARE(list.ws.log.lines().size(), 2);
        QVERIFY(list.ws.errors.lines().isEmpty());
        const QStringList told = list.prompts.texts(Kind::Error);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.constFirst().startsWith(QStringLiteral("Lines 3 to 4 could not be stored in the mailing list "
                                                             "file ")
                                              + list.path),
                 qPrintable(told.constFirst()));
        QVERIFY(list.prompts.texts(Kind::Information).isEmpty());
    }

    void aClosedTableFailsLineByLine()
    {
        List list(m_env);
        list.ws.table().close();
        list.prompts.queueConfirm(Answer::Yes);
        const ImportLines lines({QStringLiteral("a@example.org"), QStringLiteral("b@example.org")});
        const ImportResult result = list.runFull(lines, QStringLiteral("add"), QString(), false, QString());
        QCOMPARE(result.left, (QList<qsizetype>{0, 1}));
        QCOMPARE(list.prompts.texts(Kind::Confirm).size(), 2);
        QCOMPARE(list.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("2 entries have been processed!\n0 added, 0 already there, 2 refused.")});
        QCOMPARE(list.ws.errors.lines(),
                 (QStringList{QStringLiteral("ADD a@example.org"), QStringLiteral("ADD b@example.org")}));
    }

    // Every kind of line end cuts lines alike; blank lines stay lines (the
    // import skips them) and a last line needs no end.
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        const QStringList abc{QStringLiteral("a@x.org"), QStringLiteral("b@x.org"), QString(),
                              QStringLiteral("c@x.org")};
        QTest::newRow("CR LF") << QByteArray("a@x.org\r\nb@x.org\r\n\r\nc@x.org\r\n") << abc;
        QTest::newRow("LF") << QByteArray("a@x.org\nb@x.org\n\nc@x.org\n") << abc;
        QTest::newRow("CR") << QByteArray("a@x.org\rb@x.org\r\rc@x.org\r") << abc;
        QTest::newRow("mixed") << QByteArray("a@x.org\nb@x.org\r\n\rc@x.org") << abc;
        QTest::newRow("LF CR is two ends")
            << QByteArray("a@x.org\n\rb@x.org")
            << QStringList{QStringLiteral("a@x.org"), QString(), QStringLiteral("b@x.org")};
        QTest::newRow("CR CR LF is two ends")
            << QByteArray("a@x.org\r\r\nb@x.org\n")
            << QStringList{QStringLiteral("a@x.org"), QString(), QStringLiteral("b@x.org")};
        QTest::newRow("LF lines, then one CR far on")
            << QByteArray("a@x.org\nb@x.org\n\nc@x.org\rd@x.org\n") << abc + QStringList{QStringLiteral("d@x.org")};
        QTest::newRow("CR lines, then one LF far on")
            << QByteArray("a@x.org\rb@x.org\r\rc@x.org\nd@x.org") << abc + QStringList{QStringLiteral("d@x.org")};
        QTest::newRow("only line ends") << QByteArray("\r\n\n\r") << QStringList{QString(), QString(), QString()};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }
    void lineEnds()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QString why;
        const auto read = ImportLines::fromFile(writeFile(file), &why);
        QVERIFY2(read, qPrintable(why));
        QStringList got;
        for (qsizetype i = 0; i < read->size(); ++i)
            got << read->at(i);
        QCOMPARE(got, lines);
    }

    // A small file is read into a buffer of its own size: the import works
    // where the address space could not hold one of the largest file's.
    void aSmallFileNeedsNoLargeBuffer()
    {
        const QString path = writeFile("a@example.org\r\nb@example.org\r\n");
        QFile statm(QStringLiteral("/proc/self/statm"));
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const qint64 inUse = statm.readAll().split(' ').value(0).toLongLong() * sysconf(_SC_PAGESIZE);
        const rlim_t room = rlim_t(inUse + ImportLines::LargestFile / 4);
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_AS, &limit) == 0);
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < room)
            QSKIP("the address space is already limited below what this test needs");
        // In a child: a failed allocation must not end the test program.
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            limit.rlim_cur = room;
            int code = 3;
            if (setrlimit(RLIMIT_AS, &limit) == 0) {
                try {
                    const auto lines = ImportLines::fromFile(path, nullptr);
                    code = lines && lines->size() == 2 ? 0 : 1;
                } catch (const std::bad_alloc &) {
                    code = 2;
                }
            }
            _exit(code);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), "the reading child died");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void refusesWhatIsNoImportFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("/missing.csv") << QStringLiteral("No such file");
        QTest::newRow("folder") << QString() << QStringLiteral("it is a folder, not a file");
        QTest::newRow("binary") << QStringLiteral("/binary.csv") << QStringLiteral("it is not a text file");
        QTest::newRow("too large") << QStringLiteral("/large.csv") << QStringLiteral("it is too large to import");
    }
    void refusesWhatIsNoImportFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QByteArray binary(4096, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = i % 3 ? '\0' : 'A';
        writeFile(binary, QStringLiteral("binary.csv"));
        {
            QFile large(m_env.root() + QStringLiteral("/large.csv"));
            QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(ImportLines::LargestFile + 1));
        }
        QString why;
        QVERIFY(!ImportLines::fromFile(m_env.root() + path, &why));
        QVERIFY2(why.contains(reason), qPrintable(why));
        QFile::remove(m_env.root() + QStringLiteral("/large.csv"));
    }
};

QTEST_GUILESS_MAIN(TestImportfile)
#include "tst_importfile.moc"
