// Crash consistency of an import: the real import in its own process
// (quillmar-importrun, the program's start, import and close without
// windows), killed as kill -9 would kill it just before or just after one
// of its commits, then started again. After the restart the log and the
// error list hold one line per line imported before the kill, in order,
// and the list is exactly the preloaded one plus the changes those lines
// report: no entry without its line, no line without its entry.
#include "store/StoreTestUtil.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include "core/LineList.h"
#include "core/SettingsStore.h"
#include "core/TextFile.h"
#include "core/WorkingFiles.h"

#include <QFile>
#include <QMap>
#include <QProcess>

namespace {

constexpr int BounceMax = 3;
const QStringList Preloaded{u8("p0@example.org|news|0"), u8("p1@example.org|news|2"), u8("p2@example.org|news|0"),
                            u8("keep@example.org|news|0")};
// New, on the list, invalid, not on the list: every kind of answer.
const QStringList Addresses{u8("n0@example.org"), u8("p0@example.org"), u8("bad..one@example.org"),
                            u8("n1@example.org"), u8("p1@example.org"), u8("nobody@example.org"),
                            u8("p2@example.org"), u8("n2@example.org"), u8("p0@example.org")};

struct Trial
{
    TestEnv env;

    QString file(const QString &name) const { return env.programDir() + name; }

    Trial()
    {
        createMailingListFile(file(MLTable::defaultFileName()));
        ScriptedPrompts prompts;
        Settings settings;
        RuleLists lists;
        SettingsStore(env.programDir(), prompts).Loadentries(settings, lists);
        settings.BounceMax = BounceMax;
        settings.MultipleCategorySupport = false;
        settings.defaultcategory = u8("news");
        SettingsStore(env.programDir(), prompts).SaveEntries(settings, lists);
        QVector<Row> rows;
        for (const QString &p : Preloaded)
            rows << Row{p.section(u'|', 0, 0), p.section(u'|', 1, 1), p.section(u'|', 2).toInt(), u8("old")};
        RawDb raw(file(MLTable::defaultFileName()));
        if (!raw.insert(rows))
            qFatal("cannot preload the list");
        QFile f(file(u8("members.csv")));
        if (!f.open(QIODevice::WriteOnly) || f.write(Addresses.join(u8("\r\n")).toUtf8()) < 0)
            qFatal("cannot write the import file");
    }

    // The exit code, or -1 when the run killed itself.
    int run(const QStringList &args = {})
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(QUILLMAR_IMPORTRUN), QStringList{env.programDir()} + args);
        if (!p.waitForStarted(10000) || !p.waitForFinished(60000))
            return -2;
        if (p.exitStatus() == QProcess::CrashExit)
            return -1;
        return p.exitCode();
    }

    // "item|category|bounces" of every entry, sorted.
    QStringList entries() const
    {
        QStringList out;
        for (const QString &row : RawDb(file(MLTable::defaultFileName())).rows())
            out << row.section(u'|', 0, 2);
        out.sort();
        return out;
    }

    QStringList lines(const QString &name) const
    {
        QStringList out;
        textfile::readLines(file(name), &out);
        return out;
    }
};

// What the start of a call's log line reads.
QString linePrefix(const QString &mode, const QString &address)
{
    if (mode == u8("add"))
        return u8("ADD ") + address + u8(" news [");
    if (mode == u8("remove"))
        return u8("REMOVE ") + address + u8(" news [");
    return u8("Update Undeliverable ") + address + u8(" -> ");
}

// The preloaded list with the changes that these log lines report.
QStringList reportedList(const QStringList &log)
{
    QMap<QString, int> bounces;
    for (const QString &p : Preloaded)
        bounces.insert(p.section(u'|', 0, 0), p.section(u'|', 2).toInt());
    for (qsizetype i = 0; i < log.size(); ++i) {
        const QString &address = Addresses.at(i);
        if (log.at(i).endsWith(u8("-> Entered Successfully")))
            bounces.insert(address, 0);
        else if (log.at(i).endsWith(u8("-> Entry successfully deleted!")))
            bounces.remove(address);
        else if (log.at(i).endsWith(u8("-> Bounce count incremented!")))
            ++bounces[address];
    }
    QStringList out;
    for (auto it = bounces.cbegin(); it != bounces.cend(); ++it)
        out << it.key() + u8("|news|") + QString::number(it.value());
    out.sort();
    return out;
}

} // namespace

class TestImportCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedAtACommit_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("when"); // before or after the commit, or empty for no kill
        QTest::addColumn<int>("commit");
        QTest::addColumn<int>("lines"); // the calls whose lines the log holds after the restart
        QTest::addColumn<int>("changes"); // how many of them changed the list
        // "after N" counts the commits that wrote: a new entry, an existing
        // entry's comment, a deletion, a count. "before N" counts every
        // call's commit, written or not.
        QTest::newRow("add, killed after the first change") << u8("add") << u8("after") << 1 << 1 << 1;
        QTest::newRow("add, killed after a comment update") << u8("add") << u8("after") << 2 << 2 << 1;
        QTest::newRow("add, killed after a later change") << u8("add") << u8("after") << 3 << 4 << 2;
        QTest::newRow("add, killed before a commit") << u8("add") << u8("before") << 4 << 3 << 1;
        QTest::newRow("remove, killed after a change") << u8("remove") << u8("after") << 2 << 5 << 2;
        QTest::newRow("remove, killed before a commit") << u8("remove") << u8("before") << 2 << 1 << 0;
        QTest::newRow("bounce, killed after a removal") << u8("bounce") << u8("after") << 2 << 5 << 2;
        QTest::newRow("bounce, killed after a count") << u8("bounce") << u8("after") << 3 << 7 << 3;
        QTest::newRow("add, not killed") << u8("add") << QString() << 0 << 9 << 4;
        QTest::newRow("bounce, not killed") << u8("bounce") << QString() << 0 << 9 << 4;
    }

    void killedAtACommit()
    {
        QFETCH(QString, mode);
        QFETCH(QString, when);
        QFETCH(int, commit);
        QFETCH(int, lines);
        QFETCH(int, changes);
        Trial t;
        QStringList args{t.file(u8("members.csv")), mode};
        // One line a commit, so that each kill lands between two lines.
        if (!when.isEmpty())
            args << when << QString::number(commit) << u8("1");
        QCOMPARE(t.run(args), when.isEmpty() ? 0 : -1);
        QCOMPARE(t.run(), 0); // the restart recovers the journals and closes
        QVERIFY(!QFileInfo::exists(t.file(WorkingFiles::logFileName() + WorkingFiles::journalSuffix())));
        QVERIFY(!QFileInfo::exists(t.file(WorkingFiles::errorsFileName() + WorkingFiles::journalSuffix())));

        QStringList log = t.lines(WorkingFiles::logFileName());
        QCOMPARE(log.mid(0, 3), LineList::logHeader());
        log.remove(0, 3);
        QCOMPARE(log.size(), lines);
        QStringList wantErrors;
        for (qsizetype i = 0; i < log.size(); ++i) {
            QVERIFY2(log.at(i).startsWith(linePrefix(mode, Addresses.at(i))), qPrintable(log.at(i)));
            if (mode == u8("add") && Addresses.at(i).startsWith(u8("bad")))
                wantErrors << u8("ADD ") + Addresses.at(i) + u8(" news -> Not Added: Invalid E-mail Address!");
        }
        QCOMPARE(t.entries(), reportedList(log));
        QCOMPARE(t.lines(WorkingFiles::errorsFileName()), wantErrors);

        int changed = 0;
        for (const QString &line : std::as_const(log))
            changed += !line.endsWith(u8("-> Entry already exists!")) && !line.endsWith(u8("not found!"))
                       && !line.endsWith(u8("Invalid E-mail Address!"));
        QCOMPARE(changed, changes);
    }

    // Lines stored four to a commit, killed as the second commit starts:
    // the first four lines stand in the list and the log, nothing of the
    // second four does, and running the import again restores them.
    void aBatchLostToAKillComesBackOnTheNextRun()
    {
        Trial t;
        const QStringList args{t.file(u8("members.csv")), u8("add")};
        QCOMPARE(t.run(args + QStringList{u8("before"), u8("2"), u8("4")}), -1);
        QCOMPARE(t.run(args), 0);

        const QString added = u8("-> Entered Successfully");
        const QString there = u8("-> Entry already exists!");
        const QString invalid = u8("-> Not Added: Invalid E-mail Address!");
        const QStringList firstRun{added, there, invalid, added};
        const QStringList secondRun{there, there, invalid, there, there, added, there, added, there};
        QStringList log = t.lines(WorkingFiles::logFileName()).mid(3);
        QCOMPARE(log.size(), firstRun.size() + secondRun.size());
        const QStringList results = firstRun + secondRun;
        for (qsizetype i = 0; i < log.size(); ++i) {
            const QString &address = Addresses.at(i < firstRun.size() ? i : i - firstRun.size());
            QVERIFY2(log.at(i).startsWith(linePrefix(u8("add"), address)) && log.at(i).endsWith(results.at(i)),
                     qPrintable(log.at(i)));
        }
        QStringList want{u8("n0@example.org|news|0"), u8("n1@example.org|news|0"), u8("n2@example.org|news|0"),
                         u8("nobody@example.org|news|0")};
        for (const QString &p : Preloaded)
            want << p.section(u'|', 0, 2);
        want.sort();
        QCOMPARE(t.entries(), want);
        QCOMPARE(t.lines(WorkingFiles::errorsFileName()).size(), 2); // the invalid line, once a run
    }
};

QTEST_GUILESS_MAIN(TestImportCrash)
#include "tst_importcrash.moc"
